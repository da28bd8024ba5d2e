#include "FileTypeWindow.h"

#include "MainWindow.h"
#include "core/Services.h"
#include "platform/DialogButton.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Help.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lumorra {
namespace {

QString pictureCaption(const QString& pattern) {
    return QStringLiteral("Picture files (") + pattern + QLatin1Char(')');
}
QString animationCaption(const QString& pattern) {
    return QStringLiteral("Animation files (") + pattern + QLatin1Char(')');
}

} // namespace

FileTypeWindow::FileTypeWindow(MainWindow& main, QWidget* parent) : QDialog(parent), main_(main) {
    setObjectName(QStringLiteral("Form13"));
    setWindowTitle(QStringLiteral("Filetype Select"));
    setModal(true);

    Frame1 = new QGroupBox(QStringLiteral("Please select filetype"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    // The default patterns until the stored ones are read: the captions show the patterns in
    // force.
    Option1 = new QRadioButton(pictureCaption(defaults::PicPattern), Frame1);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setToolTip(QStringLiteral("Click to select picture files"));
    Option2 = new QRadioButton(animationCaption(defaults::AniPattern), Frame1);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option2->setToolTip(QStringLiteral("Click to select animation files"));
    auto* options = new QVBoxLayout(Frame1);
    options->addWidget(Option1);
    options->addWidget(Option2);

    Command1 = dialogButton("Command1", QStringLiteral("OK"), this);
    Command1->setToolTip(QStringLiteral("Accept selected file type"));
    Command1->setDefault(true);
    Command5 = dialogButton("Command5", QStringLiteral("SetPic"), this);
    Command4 = dialogButton("Command4", QStringLiteral("SetAni"), this);
    Command6 = dialogButton("Command6", QStringLiteral("Defaults"), this);
    Command3 = dialogButton("Command3", QStringLiteral("Help"), this);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->hide();
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addStretch();
    buttons->addWidget(Command5);
    buttons->addWidget(Command4);
    buttons->addWidget(Command6);
    buttons->addWidget(Command3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);

    connect(Command1, &QPushButton::clicked, this, &FileTypeWindow::Command1_Click);
    connect(Command5, &QPushButton::clicked, this, &FileTypeWindow::Command5_Click);
    connect(Command4, &QPushButton::clicked, this, &FileTypeWindow::Command4_Click);
    connect(Command6, &QPushButton::clicked, this, &FileTypeWindow::Command6_Click);
    connect(Command3, &QPushButton::clicked, this, &FileTypeWindow::Command3_Click);

    // The option of the mode the main window is in.
    (main_.Label2->text() == QLatin1String("avi") ? Option2 : Option1)->setChecked(true);
    Form_Load();
}

FileTypeWindow::~FileTypeWindow() {
    Form_Unload();
}

void FileTypeWindow::Form_Load() {
    Services& s = main_.services();
    ignoreErrors([&] { main_.secondaryWindows().setOnTop(false); });
    ignoreErrors([&] {
        const QString pic = s.settings.read(keys::PicPattern);
        if (!pic.isEmpty())
            Option1->setText(pictureCaption(pic));
    });
    ignoreErrors([&] {
        const QString ani = s.settings.read(keys::AniPattern);
        if (!ani.isEmpty())
            Option2->setText(animationCaption(ani));
    });
}

void FileTypeWindow::askPattern(const PatternPrompt& p) {
    Services& s = main_.services();
    ignoreErrors([&] {
        const QString stored = s.settings.read(p.key);
        InputBoxSpec prompt;
        prompt.title = p.title;
        prompt.prompt = p.prompt;
        prompt.defaultText = stored.isEmpty() ? p.fallback : stored;
        prompt.owner = this;
        const QString answer = s.dialogs.input(prompt).value_or(QString());
        if (answer.isEmpty())
            return;
        // Kept until OK; not checked until the file list is given it.
        p.pending->setText(answer);
        p.option->setText(p.caption(answer));
    });
}

void FileTypeWindow::Command5_Click() {
    askPattern({keys::PicPattern, defaults::PicPattern, QStringLiteral("Picture pattern change"),
                QStringLiteral("Enter new Picture pattern\n\nExample: *.jpg;*.bmp;*.gif"), Label1,
                Option1, pictureCaption});
}

void FileTypeWindow::Command4_Click() {
    askPattern({keys::AniPattern, defaults::AniPattern, QStringLiteral("Animation pattern change"),
                QStringLiteral("Enter new Animation pattern\n\nExample: *.avi;*.mov;*.mpg"), Label2,
                Option2, animationCaption});
}

void FileTypeWindow::Command6_Click() {
    Services& s = main_.services();
    ignoreErrors([&] {
        const Answer answer = s.dialogs.message(
            QStringLiteral("This will delete the current user selected pattern settings and "
                           "reload the defaults\n\nDo you wish to continue?"),
            QStringLiteral("Reload default pattern settings"), Buttons::YesNo, Icon::Question,
            Answer::No, this);
        if (answer != Answer::Yes)
            return;
        Label1->clear();
        Label2->clear();
        s.settings.write(keys::PicPattern, QString());
        s.settings.write(keys::AniPattern, QString());
        Option1->setText(pictureCaption(defaults::PicPattern));
        Option2->setText(animationCaption(defaults::AniPattern));
    });
}

void FileTypeWindow::Command3_Click() {
    Services& s = main_.services();
    ignoreErrors([&] { s.help.showTopic(s.paths.helpFile(), 5); });
}

void FileTypeWindow::Command1_Click() {
    Services& s = main_.services();
    // A pattern that cannot be stored must not keep the window from doing the rest.
    ignoreErrors([&] {
        if (!Label1->text().isEmpty())
            s.settings.write(keys::PicPattern, Label1->text());
    });
    ignoreErrors([&] {
        if (!Label2->text().isEmpty())
            s.settings.write(keys::AniPattern, Label2->text());
    });
    ignoreErrors([&] {
        if (Option1->isChecked())
            main_.setPictureMode();
        else
            main_.setAnimationMode();
    });
    ignoreErrors([&] { main_.updateFileCount(); });
    ignoreErrors([&] { main_.Label7->setText(QStringLiteral("Current: ")); });
    accept();
}

void FileTypeWindow::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

void FileTypeWindow::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    ignoreErrors([&] { main_.secondaryWindows().setOnTop(true); });
}

} // namespace lumorra
