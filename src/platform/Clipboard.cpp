#include "Clipboard.h"

#include "Error.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace lumorra {
namespace {

QClipboard& systemClipboard() {
    QClipboard* clipboard = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                ? QGuiApplication::clipboard()
                                : nullptr;
    if (!clipboard)
        throw Error::program(errc::InvalidCall);
    return *clipboard;
}

// The type of the picture another program put onto the clipboard, in the formats pictures
// travel in between programs, most faithful first; empty when the picture there is this
// process's own (Qt keeps it as an image, which it offers in these types only to others).
QByteArray foreignPictureType(const QClipboard& clipboard) {
    const QMimeData* data = clipboard.mimeData();
    if (!data || clipboard.ownsClipboard())
        return {};
    for (const char* type : {"image/png", "image/bmp", "image/x-bmp", "image/jpeg", "image/gif",
                             "image/webp", "image/tiff"}) {
        if (data->hasFormat(QLatin1String(type)))
            return type;
    }
    return {};
}

} // namespace

void QtClipboard::clear() {
    systemClipboard().clear();
}

void QtClipboard::setPicture(const QImage& picture) {
    if (picture.isNull())
        throw Error::program(errc::InvalidPicture);
    systemClipboard().setImage(picture);
}

QImage QtClipboard::picture() const {
    QClipboard& clipboard = systemClipboard();
    const QMimeData* data = clipboard.mimeData();
    // Another program's picture is decoded from pictureBytes(), in a worker, never here.
    if (!data || !data->hasImage() || !foreignPictureType(clipboard).isEmpty())
        throw Error::program(errc::InvalidPicture);
    const QImage picture = clipboard.image();
    if (picture.isNull())
        throw Error::program(errc::InvalidPicture);
    return picture;
}

QByteArray QtClipboard::pictureBytes() const {
    const QByteArray type = foreignPictureType(systemClipboard());
    return type.isEmpty() ? QByteArray() : systemClipboard().mimeData()->data(QLatin1String(type));
}

} // namespace lumorra
