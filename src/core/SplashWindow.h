#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace lumorra {

// The splash window: product name and artwork for two seconds at start-up.
class SplashWindow : public QDialog {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Image2;
    QLabel* Image3;
    QTimer* Timer1;

    void Form_Load();
    void Timer1_Timer();

protected:
    // The splash stays its two seconds: Escape and the close box do not end it early.
    void reject() override {}
};

} // namespace lumorra
