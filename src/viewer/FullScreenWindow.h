#pragma once

#include "ui/PictureArea.h"

#include <QWidget>

#include <memory>

namespace lumorra {

class Screen;
class ShownPicture;

// The full-screen view, "Form2": the picture centred on a borderless window over the whole
// screen, at its natural size; keypad plus and minus zoom by 5 %, a click anywhere returns.
// Made once and afterwards only hidden and shown again.
class FullScreenWindow : public QWidget {
    Q_OBJECT
public:
    explicit FullScreenWindow(const Screen& screen, QWidget* parent = nullptr);

    PictureArea* Image1;

    // The main window's picture click: this picture at its natural size, centred, shown from
    // `image` (the main area's image of it; the picture's own when null), and from regions of
    // it where the picture is drawn from regions. The animation another view plays goes on here
    // from the frame that one shows.
    void showPicture(std::shared_ptr<const ShownPicture> picture, const QImage& image = QImage(),
                     const PictureAnimation* animation = nullptr);
    void Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void Form_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void centre();
    const Screen& screen_;
};

} // namespace lumorra
