#pragma once

#include <QDialog>

#include <functional>
#include <vector>

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QPushButton;

namespace lumorra {

class SecondaryWindows;
struct Services;

// "Options": the eight on/off settings, the user name and the special settings.
class OptionsWindow : public QDialog {
    Q_OBJECT
public:
    OptionsWindow(Services& services, const SecondaryWindows& secondary, QWidget* parent = nullptr);
    ~OptionsWindow() override;

    // Frames and check boxes, one per setting.
    QGroupBox* Frame5;      // "Auto Zoom"
    QGroupBox* Frame4;      // "OLE activation"
    QGroupBox* Frame6;      // "AutoSkip restart"
    QGroupBox* Frame7;      // "User name (current: ...)"
    QGroupBox* Frame8;      // "Delete Confirmation"
    QGroupBox* Frame9;      // "Move Confirmation"
    QGroupBox* Frame10;     // "Separate Window"
    QGroupBox* Frame11;     // "Systray Icon"
    QCheckBox* Check1;      // OLE
    QCheckBox* Check2;      // AutoZoom
    QCheckBox* Check3;      // AutoSkip
    QCheckBox* Check4;      // UserReq
    QCheckBox* Check5;      // DelConfirmation
    QCheckBox* Check6;      // MoveConfirmation
    QCheckBox* Check7;      // OnTop
    QCheckBox* Check8;      // Systray
    QPushButton* Command8;  // "Change"
    QPushButton* Command3;  // "OK"
    QPushButton* Command11; // "Cancel"
    QPushButton* Command13; // "&Help"
    QPushButton* Command12; // "Special..."
    QPushButton* Command14; // "&About..."

    void Form_Load();
    void Command3_Click();
    void Command11_Click();
    void Command8_Click();
    void Command12_Click();
    void Command13_Click();
    void Command14_Click();
    // The frames' Help buttons, each opening its frame's topic through helpClick.
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command9_Click();
    void Command10_Click();
    void Command15_Click();
    void Command16_Click();
    void helpClick(int topic);
    void Form_Unload();

    // The About window, shown modally; replaceable for tests.
    std::function<void()> showAbout;

protected:
    void done(int result) override;

private:
    struct Setting {
        const QString& key;
        QCheckBox* box;
    };
    std::vector<Setting> settings() const;
    // The setting frames in two columns, with their Help buttons connected.
    QGridLayout* createFrames();
    // The row of buttons below the frames.
    QHBoxLayout* createButtons();

    Services& s_;
    const SecondaryWindows& secondary_;
    bool unloaded_ = false;
};

} // namespace lumorra
