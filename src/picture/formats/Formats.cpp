#include "Support.h"

#include <QTransform>

namespace lumorra::formats {

QImage newPicture(QSize size, QImage::Format format, qint64 budget, uint fill) {
    requirePixels(size, budget);
    QImage image(size, format);
    if (image.isNull())
        throw tooLarge();
    image.fill(fill);
    return image;
}

QImageIOHandler::Transformations transformationOf(int orientation) {
    using T = QImageIOHandler;
    switch (orientation) {
    case 2:
        return T::TransformationMirror;
    case 3:
        return T::TransformationRotate180;
    case 4:
        return T::TransformationFlip;
    case 5:
        return T::TransformationFlipAndRotate90;
    case 6:
        return T::TransformationRotate90;
    case 7:
        return T::TransformationMirrorAndRotate90;
    case 8:
        return T::TransformationRotate270;
    default:
        return T::TransformationNone;
    }
}

QSize uprightSize(QSize stored, int orientation) {
    return orientation >= 5 && orientation <= 8 ? stored.transposed() : stored;
}

QImage turnedUpright(QImage image, int orientation) {
    return turned(std::move(image), transformationOf(orientation));
}

QImage turned(QImage image, QImageIOHandler::Transformations t) {
    if (t == QImageIOHandler::TransformationNone)
        return image;
    image = image.mirrored(t.testFlag(QImageIOHandler::TransformationMirror),
                           t.testFlag(QImageIOHandler::TransformationFlip));
    if (t.testFlag(QImageIOHandler::TransformationRotate90))
        image = image.transformed(QTransform().rotate(90));
    if (image.isNull())
        throw tooLarge();
    return image;
}

} // namespace lumorra::formats
