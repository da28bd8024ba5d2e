#include "TrayWindow.h"

#include "TrayArtwork.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Keys.h"
#include "platform/Launcher.h"
#include "platform/SettingsStore.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumorra::tray {
namespace {

const QString Caption = QStringLiteral("LMSystray");
const QString StartText = QStringLiteral("Start Lumorra");
const QString ExitText = QStringLiteral("Exit");

} // namespace

TrayWindow::TrayWindow(SettingsStore& settings, Launcher& launcher, Dialogs& dialogs,
                       bool trayAvailable, QWidget* parent)
    : QWidget(parent), settings_(settings), launcher_(launcher), dialogs_(dialogs),
      trayAvailable_(trayAvailable) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Caption);
    const QIcon icon = makeTrayIcon();
    setWindowIcon(icon);

    auto* picture = new QLabel(this);
    picture->setPixmap(drawTrayPixmap(32));
    messageLabel_ = new QLabel(this);
    messageLabel_->setWordWrap(true);
    messageLabel_->setMinimumWidth(220);

    startButton_ = new QPushButton(StartText, this);
    startButton_->setObjectName(QStringLiteral("cmdStart"));
    exitButton_ = new QPushButton(ExitText, this);
    exitButton_->setObjectName(QStringLiteral("Command1"));
    connect(startButton_, &QPushButton::clicked, this, [this] { startProgram(); });
    connect(exitButton_, &QPushButton::clicked, this, [this] { close(); });

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addWidget(messageLabel_, 1);
    // Both buttons take half of the row each, "Exit" on the right.
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startButton_, 1);
    buttons->addWidget(exitButton_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    trayMenu_ = new QMenu(this);
    connect(trayMenu_->addAction(StartText), &QAction::triggered, this, [this] { startProgram(); });
    connect(trayMenu_->addAction(ExitText), &QAction::triggered, this, [this] { close(); });

    trayIcon_ = new QSystemTrayIcon(icon, this);
    trayIcon_->setObjectName(QStringLiteral("STI1"));
    trayIcon_->setToolTip(QStringLiteral("Lumorra"));
    trayIcon_->setContextMenu(trayMenu_);
    connect(trayIcon_, &QSystemTrayIcon::activated, this, &TrayWindow::onTrayActivated);
}

TrayWindow::~TrayWindow() {
    Form_Terminate();
}

void TrayWindow::Form_Terminate() noexcept {
    markLoaded(QStringLiteral("0"));
}

void TrayWindow::STI1_Click() {
    startProgram();
}

void TrayWindow::load() {
    QString loaded;
    // An unreadable settings file counts as "no lmtray running": better a second icon than none.
    ignoreErrors([&] { loaded = settings_.read(keys::SystrayLoaded); });
    if (loaded == QLatin1String("1")) {
        // Another lmtray has the icon up, or one was killed before it could say it ended.
        showWindow(QStringLiteral("Another LMSystray is already running, or the last one did not "
                                  "end properly, so no tray icon was added."));
        return;
    }
    if (trayAvailable_)
        trayIcon_->show();
    else
        showWindow(QStringLiteral("There is no system tray on this desktop."));
    markLoaded(QStringLiteral("1"));
}

void TrayWindow::startProgram() {
    QString program;
    withFailureHandler(
        [&] {
            const QString appPath = settings_.read(keys::AppPath);
            const QString exeName = settings_.read(keys::EXEName);
            program = appPath + exeName;
            if (appPath.isEmpty() || exeName.isEmpty()) {
                throw Error{errc::PathNotFound,
                            QStringLiteral("The location of the Lumorra program is not recorded "
                                           "yet. Start Lumorra once so that it records it.")};
            }
            launcher_.start(program, {}, LaunchFocus::Focused);
        },
        [&](const Error& e) { reportStartFailure(program, e); });
}

void TrayWindow::closeEvent(QCloseEvent* event) {
    trayIcon_->hide();
    markLoaded(QStringLiteral("0"));
    event->accept();
    emit unloaded();
}

void TrayWindow::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger)
        STI1_Click();
}

void TrayWindow::showWindow(const QString& why) {
    messageLabel_->setText(why);
    show();
}

void TrayWindow::reportStartFailure(const QString& program, const Error& error) {
    QString text = QStringLiteral(
        "Unable to start the Lumorra program, please check that the program exists.");
    if (!program.isEmpty())
        text += QStringLiteral("\n\n") + program;
    if (!error.description.isEmpty())
        text += QStringLiteral("\n\n") + error.description;
    dialogs_.message(text, Caption, Buttons::Ok, Icon::Critical, std::nullopt,
                     isVisible() ? this : nullptr);
}

void TrayWindow::markLoaded(const QString& value) noexcept {
    ignoreErrors([&] { settings_.write(keys::SystrayLoaded, value); });
}

} // namespace lumorra::tray
