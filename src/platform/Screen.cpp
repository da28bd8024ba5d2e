#include "Screen.h"

#include "Error.h"

#include <QGuiApplication>
#include <QScreen>

namespace lumorra {
namespace {

QScreen* primary() {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s)
        throw Error{errc::InvalidCall, QStringLiteral("No screen is available")};
    return s;
}

double twipsPerPixel(double dpi) {
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

} // namespace

QSize QtScreen::size() const {
    return primary()->size();
}
QRect QtScreen::availableGeometry() const {
    return primary()->availableGeometry();
}
double QtScreen::twipsPerPixelX() const {
    return twipsPerPixel(primary()->logicalDotsPerInchX());
}
double QtScreen::twipsPerPixelY() const {
    return twipsPerPixel(primary()->logicalDotsPerInchY());
}

} // namespace lumorra
