#pragma once

#include <QSystemTrayIcon>
#include <QWidget>

class QLabel;
class QMenu;
class QPushButton;

namespace lumorra {

class Dialogs;
class Launcher;
class SettingsStore;
struct Error;

namespace tray {

// The window of lmtray. It owns the tray icon; a click on the icon (or on "Start Lumorra" in its
// menu or in this window) starts the main program named by "AppPath" and "EXEName". The window
// itself stays hidden while the icon is in the tray and is shown only when there is no icon, so
// that lmtray never runs without anything to see.
//
// "SystrayLoaded" tells the main program that an lmtray runs: load() sets it to "1" when it
// puts the icon up, closing the window and destroying it each set it back to "0".
class TrayWindow : public QWidget {
    Q_OBJECT
public:
    // trayAvailable says whether the desktop has a system tray to put the icon into.
    TrayWindow(SettingsStore& settings, Launcher& launcher, Dialogs& dialogs, bool trayAvailable,
               QWidget* parent = nullptr);
    ~TrayWindow() override;

    // Shows the icon (or this window) as the state of "SystrayLoaded" asks.
    void load();
    // Starts the main program; a failure is reported in a message box.
    void startProgram();
    // A click on the tray icon: starts the main program.
    void STI1_Click();
    // The program ends: "SystrayLoaded" goes back to "0" (the window's closing does so too).
    void Form_Terminate() noexcept;

    QSystemTrayIcon* trayIcon() const { return trayIcon_; }
    QMenu* trayMenu() const { return trayMenu_; }
    QPushButton* startButton() const { return startButton_; }
    QPushButton* exitButton() const { return exitButton_; }
    QLabel* messageLabel() const { return messageLabel_; }

signals:
    // The window was closed; the program should end.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void showWindow(const QString& why);
    void reportStartFailure(const QString& program, const Error& error);
    void markLoaded(const QString& value) noexcept;

    SettingsStore& settings_;
    Launcher& launcher_;
    Dialogs& dialogs_;
    const bool trayAvailable_;

    QSystemTrayIcon* trayIcon_;
    QMenu* trayMenu_;
    QLabel* messageLabel_;
    QPushButton* startButton_;
    QPushButton* exitButton_;
};

} // namespace tray
} // namespace lumorra
