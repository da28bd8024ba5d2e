#pragma once

#include "ui/PictureArea.h"

#include <QWidget>

namespace lumorra {

class Screen;

// The full-screen view, "Form2": the picture centred on a borderless window over the whole
// screen, at its natural size; keypad plus and minus zoom by 5 %, a click anywhere returns.
// Made once and afterwards only hidden and shown again.
class FullScreenWindow : public QWidget {
    Q_OBJECT
public:
    explicit FullScreenWindow(const Screen& screen, QWidget* parent = nullptr);

    PictureArea* Image1;

    // The main window's picture click: this picture at its natural size, centred, shown, drawn
    // from `source` where it has more of it. The animation another view plays goes on here
    // from the frame that one shows.
    void showPicture(const QImage& image, QSize naturalSize, PictureArea::Source source = {},
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
