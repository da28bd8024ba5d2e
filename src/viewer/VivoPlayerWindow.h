#pragma once

#include <QWidget>

#include <functional>

namespace lumorra {

class MovieControl;
class StatusBar;
struct Services;

// "Vivo Movie Player": plays a Vivo movie; the status bar's panels are its buttons (play,
// pause, restart, info) and show the file, the position and the duration.
class VivoPlayerWindow : public QWidget {
    Q_OBJECT
public:
    // A window of its own; deleted when it closes or when the main window goes.
    explicit VivoPlayerWindow(Services& services, QWidget* mainWindow = nullptr);
    ~VivoPlayerWindow() override;

    MovieControl* VvWeb1;
    StatusBar* StatusBar1;

    // What the main window does when a Vivo file is selected.
    void showMovie(const QString& path);

    void StatusBar1_PanelClick(int index, const QString& key);
    void VvWeb1_AtStart();
    void VvWeb1_Time(double seconds);
    void Form_GotFocus();
    void Form_Unload();

    // The movie information dialog of the "Info" panel; replaceable for tests.
    std::function<void(const QString& title, const QString& text)> showInfo;

protected:
    void closeEvent(QCloseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    void setPlaying(bool playing);
    QString infoText() const;

    Services& s_;
    bool unloaded_ = false;
};

} // namespace lumorra
