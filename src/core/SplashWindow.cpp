#include "SplashWindow.h"

#include "Artwork.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace lumorra {

SplashWindow::SplashWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form15"));
    setWindowTitle(QStringLiteral("Lumorra"));
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    setStyleSheet(QStringLiteral("QDialog#Form15 { background: qlineargradient(x1:0, y1:0, x2:1, "
                                 "y2:1, stop:0 #1c3f7a, stop:1 #5a9bd8); border: 1px solid "
                                 "#10203c; } QLabel { color: white; }"));

    Label1 = titleLabel("Label1", QStringLiteral("Lumorra 3.0"), 28, true, this);
    Label2 = titleLabel("Label2", QStringLiteral("For Windows 95/98/NT"), 11, false, this);
    Image2 = pictureLabel("Image2", 128, this);
    Image3 = pictureLabel("Image3", 48, this);

    auto* text = new QVBoxLayout;
    text->addStretch();
    text->addWidget(Label1);
    text->addWidget(Label2);
    text->addStretch();
    text->addWidget(Image3, 0, Qt::AlignRight);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(24, 24, 24, 24);
    row->setSpacing(24);
    row->addWidget(Image2);
    row->addLayout(text);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(2000);
    // A coarse timer may fire up to 5 % early; the splash stays its full two seconds.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &SplashWindow::Timer1_Timer);
    Form_Load();
}

void SplashWindow::Form_Load() {
    Timer1->start();
}

void SplashWindow::Timer1_Timer() {
    Timer1->stop();
    accept();
}

} // namespace lumorra
