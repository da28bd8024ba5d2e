#pragma once

#include <QObject>
#include <QString>

namespace lumorra {

class MainWindow;
struct Services;

// The autoskip slide show: while it runs, the timer moves the file list's selection one entry
// down every interval, and the selection shows each file as a click would. Works on the main
// window's interval box, "&Run" and "&Stop" buttons and timer.
class SlideShow : public QObject {
    Q_OBJECT
public:
    SlideShow(MainWindow& window, Services& services);

    void Command4_Click(); // "&Run"
    void Command5_Click(); // "&Stop"
    void Timer1_Timer();

    bool running() const;

    // The decimal number at the start of a text: leading blanks skipped, then an optional sign,
    // digits with an optional fraction and exponent; reading stops at the first character that
    // cannot continue the number. A text that does not begin with a number gives 0.
    static double leadingNumber(const QString& text);

private:
    void invalidInterval();
    void endOfList();
    void stop();

    MainWindow& w_;
    Services& s_;
    bool ticking_ = false;
};

} // namespace lumorra
