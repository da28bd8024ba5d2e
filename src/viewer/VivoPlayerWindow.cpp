#include "VivoPlayerWindow.h"

#include "core/Services.h"
#include "movie/MovieControl.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"
#include "ui/StatusBar.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QVBoxLayout>

#include <cmath>

namespace lumorra {
namespace {

const QString Playing = QStringLiteral("Vivo Movie Player - Playing");
const QString Paused = QStringLiteral("Vivo Movie Player - Paused");

qint64 milliseconds(double seconds) {
    return std::isfinite(seconds) ? static_cast<qint64>(seconds * 1000.0) : 0;
}

} // namespace

VivoPlayerWindow::VivoPlayerWindow(Services& services, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Window), s_(services) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Vivo Movie Player"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (mainWindow) {
        // Not owned by the main window, which can then come in front of it unless "OnTop" keeps
        // it on top; it still goes with the main window.
        connect(mainWindow, &QObject::destroyed, this, [this] { delete this; });
    }

    VvWeb1 = new MovieControl(this);
    VvWeb1->setObjectName(QStringLiteral("VvWeb1"));
    StatusBar1 = new StatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    using Bevel = StatusBar::Bevel;
    StatusBar1->addPanel({QString(), QStringLiteral("File"), QString(), Bevel::Inset, true, 60});
    StatusBar1->addPanel(
        {QStringLiteral("play"), QStringLiteral("Play"), QStringLiteral(">"), Bevel::Raised});
    StatusBar1->addPanel(
        {QStringLiteral("pause"), QStringLiteral("Pause"), QStringLiteral("||"), Bevel::Raised});
    StatusBar1->addPanel({QStringLiteral("restart"), QStringLiteral("Restart"),
                          QString(QChar(0x00AB)), Bevel::Raised});
    StatusBar1->addPanel({QStringLiteral("info"), QStringLiteral("Movie Info"),
                          QStringLiteral("Info"), Bevel::Raised});
    StatusBar1->addPanel(
        {QString(), QStringLiteral("Current position"), QString(), Bevel::Inset, false, 44});
    StatusBar1->addPanel(
        {QString(), QStringLiteral("Total duration"), QString(), Bevel::Inset, false, 44});

    // 4572 x 3744 twips of client area, the movie at 120 twips from the edges, the status bar
    // along the bottom from one side of the window to the other.
    const double tx = s_.screen.twipsPerPixelX();
    const double ty = s_.screen.twipsPerPixelY();
    auto* movie = new QVBoxLayout;
    movie->setContentsMargins(qRound(120 / tx), qRound(120 / ty), qRound(120 / tx),
                              qRound(120 / ty));
    VvWeb1->setMinimumSize(qRound(4332 / tx), qRound(3252 / ty));
    movie->addWidget(VvWeb1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(movie, 1);
    layout->addWidget(StatusBar1);
    resize(qRound(4572 / tx), qRound(3744 / ty));
    setFixedSize(sizeHint().expandedTo(size()));

    connect(StatusBar1, &StatusBar::panelClicked, this, &VivoPlayerWindow::StatusBar1_PanelClick);
    connect(VvWeb1, &MovieControl::loaded, this, &VivoPlayerWindow::VvWeb1_AtStart);
    connect(VvWeb1, &MovieControl::positionChanged, this, &VivoPlayerWindow::VvWeb1_Time);
    connect(VvWeb1, &MovieControl::failed, this, [this](const Error& e) {
        // The window tells what it cannot play rather than stand there empty.
        ignoreErrors([&] {
            setWindowTitle(QStringLiteral("Vivo Movie Player"));
            s_.dialogs.message(QStringLiteral("Unable to play the selected Vivo movie:\n") +
                                   StatusBar1->text(1) + QStringLiteral("\n\n") + e.description,
                               QStringLiteral("Vivo Movie Player"), Buttons::Ok, Icon::Critical,
                               std::nullopt, this);
        });
    });
    showInfo = [this](const QString& title, const QString& text) {
        s_.dialogs.message(text, title, Buttons::Ok, Icon::Information, std::nullopt, this);
    };
}

VivoPlayerWindow::~VivoPlayerWindow() {
    Form_Unload();
}

void VivoPlayerWindow::showMovie(const QString& path) {
    VvWeb1->setFileName(path);
    StatusBar1->setText(1, path);
    StatusBar1->setText(6, QString());
    StatusBar1->setText(7, QString());
    if (s_.settings.read(keys::OnTop) == QLatin1String("1"))
        setKeepOnTop(this, true);
    setPlaying(true);
    show();
    raise();
    activateWindow();
}

void VivoPlayerWindow::setPlaying(bool playing) {
    setWindowTitle(playing ? Playing : Paused);
    StatusBar1->setBevel(2, playing ? StatusBar::Bevel::Inset : StatusBar::Bevel::Raised);
    StatusBar1->setBevel(3, playing ? StatusBar::Bevel::Raised : StatusBar::Bevel::Inset);
}

void VivoPlayerWindow::StatusBar1_PanelClick(int, const QString& key) {
    if (key == QLatin1String("play")) {
        ignoreErrors([&] { VvWeb1->play(); });
        setPlaying(true);
    } else if (key == QLatin1String("pause")) {
        ignoreErrors([&] { VvWeb1->pause(); });
        setPlaying(false);
    } else if (key == QLatin1String("restart")) {
        // A Vivo file cannot seek: loading the movie again starts it from the beginning.
        ignoreErrors([&] { VvWeb1->setFileName(StatusBar1->text(1)); });
        setPlaying(true);
    } else if (key == QLatin1String("info")) {
        ignoreErrors([&] { setKeepOnTop(this, false); });
        ignoreErrors([&] { showInfo(QStringLiteral("Movie Info"), infoText()); });
        ignoreErrors([&] {
            if (s_.settings.read(keys::OnTop) == QLatin1String("1"))
                setKeepOnTop(this, true);
        });
    }
}

QString VivoPlayerWindow::infoText() const {
    QString text = StatusBar1->text(1);
    for (const auto& [label, value] : VvWeb1->info())
        text += QLatin1Char('\n') + label + QStringLiteral(": ") + value;
    return text;
}

void VivoPlayerWindow::VvWeb1_AtStart() {
    ignoreErrors([&] { StatusBar1->setText(7, timeText(milliseconds(VvWeb1->duration()))); });
}

void VivoPlayerWindow::VvWeb1_Time(double seconds) {
    ignoreErrors([&] { StatusBar1->setText(6, timeText(milliseconds(seconds))); });
}

void VivoPlayerWindow::Form_GotFocus() {
    ignoreErrors([&] {
        if (s_.settings.read(keys::OnTop) == QLatin1String("1"))
            setKeepOnTop(this, true);
    });
}

bool VivoPlayerWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        Form_GotFocus();
    return QWidget::event(e);
}

void VivoPlayerWindow::focusInEvent(QFocusEvent* e) {
    Form_GotFocus();
    QWidget::focusInEvent(e);
}

void VivoPlayerWindow::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    ignoreErrors([&] { VvWeb1->pause(); });
    ignoreErrors([&] { VvWeb1->setFileName(QString()); });
}

void VivoPlayerWindow::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

} // namespace lumorra
