#pragma once

#include <QObject>

namespace lumorra {

class MainWindow;
struct Services;

// The main window's "&Copy" and "&Paste" buttons: the picture of the picture area to the
// system clipboard, and the clipboard's picture into the picture area at its natural size.
// They work on pictures, not files: a paste changes neither the current file nor the list.
class ClipboardCommands : public QObject {
    Q_OBJECT
public:
    ClipboardCommands(MainWindow& window, Services& services);

    void Command6_Click();
    void Command3_Click();

private:
    MainWindow& w_;
    Services& s_;
};

} // namespace lumorra
