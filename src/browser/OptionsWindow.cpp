#include "OptionsWindow.h"

#include "SecondaryWindows.h"
#include "core/AboutWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "platform/DialogButton.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Help.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumorra {
namespace {

QString userCaption(const QString& user) {
    return QStringLiteral("User name (current: ") + user + QLatin1Char(')');
}

} // namespace

OptionsWindow::OptionsWindow(Services& services, const SecondaryWindows& secondary, QWidget* parent)
    : QDialog(parent), s_(services), secondary_(secondary) {
    setObjectName(QStringLiteral("Form14"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);

    QGridLayout* grid = createFrames();
    QHBoxLayout* buttons = createButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(Command3, &QPushButton::clicked, this, &OptionsWindow::Command3_Click);
    connect(Command11, &QPushButton::clicked, this, &OptionsWindow::Command11_Click);
    connect(Command8, &QPushButton::clicked, this, &OptionsWindow::Command8_Click);
    connect(Command12, &QPushButton::clicked, this, &OptionsWindow::Command12_Click);
    connect(Command13, &QPushButton::clicked, this, &OptionsWindow::Command13_Click);
    connect(Command14, &QPushButton::clicked, this, &OptionsWindow::Command14_Click);
    showAbout = [] {
        AboutWindow about;
        about.exec();
    };
    Form_Load();
}

QGridLayout* OptionsWindow::createFrames() {
    auto* grid = new QGridLayout;
    // One frame per setting: check box at the left, Help at the right.
    const auto frame = [&](QGroupBox*& f, const char* frameName, const QString& title,
                           QCheckBox*& box, const char* boxName, const QString& caption,
                           const char* helpName, const QString& helpTip,
                           void (OptionsWindow::*helpHandler)(), int row, int column,
                           QPushButton* middle = nullptr) {
        f = new QGroupBox(title, this);
        f->setObjectName(QString::fromLatin1(frameName));
        box = new QCheckBox(caption, f);
        box->setObjectName(QString::fromLatin1(boxName));
        QPushButton* help = dialogButton(helpName, QStringLiteral("Help"), f);
        help->setToolTip(helpTip);
        connect(help, &QPushButton::clicked, this, helpHandler);
        auto* row_ = new QHBoxLayout(f);
        row_->addWidget(box, 1);
        if (middle) {
            middle->setParent(f);
            row_->addWidget(middle);
        }
        row_->addWidget(help);
        grid->addWidget(f, row, column);
    };
    Command8 = dialogButton("Command8", QStringLiteral("Change"), this);
    frame(Frame5, "Frame5", QStringLiteral("Auto Zoom"), Check2, "Check2",
          QStringLiteral("Shrink large pictures"), "Command5",
          QStringLiteral("Show information about Auto Zoom"), &OptionsWindow::Command5_Click, 0, 0);
    frame(Frame6, "Frame6", QStringLiteral("AutoSkip restart"), Check3, "Check3",
          QStringLiteral("Restart at bottom of filelist"), "Command6",
          QStringLiteral("Show information about AutoSkip"), &OptionsWindow::Command6_Click, 1, 0);
    frame(Frame8, "Frame8", QStringLiteral("Delete Confirmation"), Check5, "Check5",
          QStringLiteral("Confirmation is required"), "Command9", QString(),
          &OptionsWindow::Command9_Click, 2, 0);
    frame(Frame10, "Frame10", QStringLiteral("Separate Window"), Check7, "Check7",
          QStringLiteral("Keep window on top"), "Command15", QString(),
          &OptionsWindow::Command15_Click, 3, 0);
    frame(Frame4, "Frame4", QStringLiteral("OLE activation"), Check1, "Check1",
          QStringLiteral("OLE activate picture on errors"), "Command4",
          QStringLiteral("Show information about OLE activation"), &OptionsWindow::Command4_Click,
          0, 1);
    frame(Frame7, "Frame7", QStringLiteral("User name"), Check4, "Check4",
          QStringLiteral("Required at startup"), "Command7", QString(),
          &OptionsWindow::Command7_Click, 1, 1, Command8);
    frame(Frame9, "Frame9", QStringLiteral("Move Confirmation"), Check6, "Check6",
          QStringLiteral("Confirmation is required"), "Command10", QString(),
          &OptionsWindow::Command10_Click, 2, 1);
    frame(Frame11, "Frame11", QStringLiteral("Systray Icon"), Check8, "Check8",
          QStringLiteral("Display icon in Systray"), "Command16", QString(),
          &OptionsWindow::Command16_Click, 3, 1);
    return grid;
}

QHBoxLayout* OptionsWindow::createButtons() {
    Command3 = dialogButton("Command3", QStringLiteral("OK"), this);
    Command3->setToolTip(QStringLiteral("Close this window"));
    Command3->setDefault(true);
    Command11 = dialogButton("Command11", QStringLiteral("Cancel"), this);
    Command13 = dialogButton("Command13", QStringLiteral("&Help"), this);
    Command12 = dialogButton("Command12", QStringLiteral("Special..."), this);
    Command14 = dialogButton("Command14", QStringLiteral("&About..."), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {Command3, Command11, Command13, Command12, Command14})
        buttons->addWidget(b);
    buttons->addStretch();
    return buttons;
}

OptionsWindow::~OptionsWindow() {
    Form_Unload();
}

std::vector<OptionsWindow::Setting> OptionsWindow::settings() const {
    return {
        {keys::OLE, Check1},     {keys::AutoZoom, Check2},        {keys::AutoSkip, Check3},
        {keys::UserReq, Check4}, {keys::DelConfirmation, Check5}, {keys::MoveConfirmation, Check6},
        {keys::OnTop, Check7},   {keys::Systray, Check8}};
}

void OptionsWindow::Form_Load() {
    ignoreErrors([&] { secondary_.setOnTop(false); });
    for (const Setting& setting : settings()) {
        ignoreErrors([&] {
            const double v = numberValue(s_.settings.read(setting.key));
            setting.box->setChecked(std::lround(v) == 1);
        });
    }
    ignoreErrors([&] { Frame7->setTitle(userCaption(s_.settings.read(keys::User))); });
}

void OptionsWindow::Command3_Click() {
    withFailureHandler(
        [&] {
            for (const Setting& setting : settings())
                s_.settings.write(setting.key, setting.box->isChecked() ? QStringLiteral("1")
                                                                        : QStringLiteral("0"));
            accept();
        },
        [&](const Error& e) {
            s_.dialogs.message(QStringLiteral("Unable to store the options. Please check that "
                                              "the settings file can be written.\n\n") +
                                   e.description,
                               QStringLiteral("Options"), Buttons::Ok, Icon::Critical, std::nullopt,
                               this);
        });
}

void OptionsWindow::Command11_Click() {
    reject();
}

void OptionsWindow::Command8_Click() {
    withFailureHandler(
        [&] {
            InputBoxSpec prompt;
            prompt.title = QStringLiteral("User change");
            prompt.prompt =
                QStringLiteral("Enter a new User name (Capital letters will be remembered)");
            prompt.owner = this;
            const QString answer = s_.dialogs.input(prompt).value_or(QString());
            if (answer.isEmpty())
                return;
            s_.settings.write(keys::User, answer);
            Frame7->setTitle(userCaption(answer));
            s_.log.emptyLine();
            s_.log.record(QStringLiteral("User name changed to: ") + answer);
            s_.log.emptyLine();
        },
        [&](const Error& e) {
            s_.dialogs.message(
                QStringLiteral("Unable to store the new user name.\n\n") + e.description,
                QStringLiteral("User change"), Buttons::Ok, Icon::Critical, std::nullopt, this);
        });
}

void OptionsWindow::Command12_Click() {
    withFailureHandler(
        [&] {
            InputBoxSpec prompt;
            prompt.title = QStringLiteral("Lumorra - Special setting entry");
            prompt.prompt = QStringLiteral(
                "Enter Lumorra special setting information.\nThis function is only to be used by "
                "Tovik Software\nor if you have been instructed by Tovik Software");
            prompt.helpFile = s_.paths.helpFile();
            prompt.helpTopic = 30;
            prompt.owner = this;
            const QString answer = s_.dialogs.input(prompt).value_or(QString());
            if (!answer.isEmpty())
                s_.settings.write(keys::SpcSetting, answer);
        },
        [&](const Error& e) {
            s_.dialogs.message(QStringLiteral("Unable to store the special setting.\n\n") +
                                   e.description,
                               QStringLiteral("Lumorra - Special setting entry"), Buttons::Ok,
                               Icon::Critical, std::nullopt, this);
        });
}

void OptionsWindow::Command13_Click() {
    ignoreErrors([&] { s_.help.showContents(s_.paths.helpFile()); });
}

void OptionsWindow::Command14_Click() {
    ignoreErrors([&] { showAbout(); });
}

void OptionsWindow::Command4_Click() {
    helpClick(25);
}
void OptionsWindow::Command5_Click() {
    helpClick(24);
}
void OptionsWindow::Command6_Click() {
    helpClick(26);
}
void OptionsWindow::Command7_Click() {
    helpClick(27);
}
void OptionsWindow::Command9_Click() {
    helpClick(28);
}
void OptionsWindow::Command10_Click() {
    helpClick(29);
}
void OptionsWindow::Command15_Click() {
    helpClick(31);
}
void OptionsWindow::Command16_Click() {
    helpClick(32);
}

void OptionsWindow::helpClick(int topic) {
    ignoreErrors([&] { s_.help.showTopic(s_.paths.helpFile(), topic); });
}

void OptionsWindow::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

void OptionsWindow::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    ignoreErrors([&] { secondary_.setOnTop(true); });
}

} // namespace lumorra
