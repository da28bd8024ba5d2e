#pragma once

#include "SeparateWindow.h"

namespace lumorra {

class MovieControl;

// "Separate Animation", "Form4": an animation playing in a window of its own in the lower
// right corner of the screen.
class AnimationWindow : public SeparateWindow {
    Q_OBJECT
public:
    AnimationWindow(Services& services, QWidget* mainWindow);
    ~AnimationWindow() override;

    MovieControl* AM1;

    // Margins in twips around the movie: the width and the height.
    static constexpr double WidthMargin = 100;
    static constexpr double HeightMargin = 350;

protected:
    void placeContent(const QRect& area) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void stop();
};

} // namespace lumorra
