#pragma once

#include <QDialog>
#include <QString>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace lumorra {

class MainWindow;

// "Filetype Select": chooses between picture and animation files and edits the two search
// patterns. Opened modally from the main window's status bar.
class FileTypeWindow : public QDialog {
    Q_OBJECT
public:
    FileTypeWindow(MainWindow& main, QWidget* parent = nullptr);
    ~FileTypeWindow() override;

    QGroupBox* Frame1;
    QRadioButton* Option1; // picture files
    QRadioButton* Option2; // animation files
    QPushButton* Command1; // "OK"
    QPushButton* Command5; // "SetPic"
    QPushButton* Command4; // "SetAni"
    QPushButton* Command6; // "Defaults"
    QPushButton* Command3; // "Help"
    QLabel* Label1;        // pending picture pattern
    QLabel* Label2;        // pending animation pattern

    void Form_Load();
    void Command1_Click();
    void Command5_Click();
    void Command4_Click();
    void Command6_Click();
    void Command3_Click();
    void Form_Unload();

protected:
    void done(int result) override;

private:
    struct PatternPrompt {
        QString key;
        QString fallback;
        QString title;
        QString prompt;
        QLabel* pending;
        QRadioButton* option;
        QString (*caption)(const QString&);
    };
    void askPattern(const PatternPrompt& prompt);

    MainWindow& main_;
    bool unloaded_ = false;
};

} // namespace lumorra
