#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace lumorra {

// The About window, opened from the options window.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Image1;
    QPushButton* Command1;

    void Command1_Click();
};

} // namespace lumorra
