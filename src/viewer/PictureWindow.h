#pragma once

#include "SeparateWindow.h"

#include <memory>

class QAction;
class QMenu;

namespace lumorra {

class PictureArea;
class ShownPicture;

// "Separate Picture", "Form3": a picture in a window of its own in the lower right corner of
// the screen. Any key sizes the window to the picture (keypad plus and minus zoom by 5 %
// first); a right click on the picture opens the "&Edit" menu, whose "&Copy" puts the picture
// on the clipboard.
class PictureWindow : public SeparateWindow {
    Q_OBJECT
public:
    PictureWindow(Services& services, QWidget* mainWindow);

    PictureArea* Image1;
    QMenu* mnuedit;
    QAction* mnucopy;

    // Loads the picture afresh at its natural size (stretch off) from the bytes of `shown`, the
    // picture the main window shows of the file, or from the file when there is none; an
    // animated GIF or WebP plays. On failure the picture area is left empty.
    void loadFile(const QString& path, const std::shared_ptr<const ShownPicture>& shown = {});
    // Shrinks a picture that takes 0.6 of the screen's width or height or more in steps of
    // 0.9 until it is below both, and then draws it stretched.
    void fitToScreen();
    // The window around the picture: 100 twips wider, and the status bar plus the given
    // margin higher.
    void sizeToPicture(double heightMargin);

    void Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    // A mouse button pressed on the picture, at a position on the screen.
    void Image1_MouseDown(Qt::MouseButton button, const QPoint& globalPosition);
    void mnucopy_Click();

    // Margins in twips: the width, the height at opening and the height after a key.
    static constexpr double WidthMargin = 100;
    static constexpr double OpeningHeightMargin = 350;
    static constexpr double KeyHeightMargin = 300;

protected:
    void placeContent(const QRect& area) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace lumorra
