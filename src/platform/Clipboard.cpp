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
    if (!data || !data->hasImage())
        throw Error::program(errc::InvalidPicture);
    const QImage picture = clipboard.image();
    if (picture.isNull())
        throw Error::program(errc::InvalidPicture);
    return picture;
}

} // namespace lumorra
