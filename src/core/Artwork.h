#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <vector>

class QLabel;
class QWidget;

namespace lumorra {

// The product artwork, drawn rather than stored: a framed landscape picture with a film strip.
// The picture may be drawn on any thread once the application object exists.
QImage productArtworkImage(int size);
QPixmap productArtwork(int size);
// Labels of the splash and About windows, with their object names: a title text, and the
// artwork at a size.
QLabel* titleLabel(const char* name, const QString& text, int pointSize, bool bold,
                   QWidget* parent);
QLabel* pictureLabel(const char* name, int size, QWidget* parent);
// The program's icon in the usual sizes: their pictures (drawn on any thread once the
// application object exists), and the icon made of them.
std::vector<QImage> programIconImages();
QIcon programIcon(const std::vector<QImage>& images = programIconImages());

} // namespace lumorra
