#pragma once

#include <QIcon>
#include <QPixmap>

class QLabel;
class QWidget;

namespace lumorra {

// The product artwork, drawn rather than stored: a framed landscape picture with a film strip.
QPixmap productArtwork(int size);
// Labels of the splash and About windows, with their object names: a title text, and the
// artwork at a size.
QLabel* titleLabel(const char* name, const QString& text, int pointSize, bool bold,
                   QWidget* parent);
QLabel* pictureLabel(const char* name, int size, QWidget* parent);
// The program's icon in the usual sizes.
QIcon programIcon();

} // namespace lumorra
