#include "DirBrowserWindow.h"

#include "DirectoryCommands.h"
#include "Lists.h"
#include "MainWindow.h"
#include "core/Services.h"
#include "core/Startup.h"
#include "platform/DialogButton.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>

namespace lumorra {
namespace {

QLabel* label(const char* name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

const QString CurrentCopy = QStringLiteral("Current copy DIR: ");
const QString DefaultCopy = QStringLiteral("Default copy DIR: ");
const QString Startup = QStringLiteral("Startup DIR: ");

} // namespace

DirBrowserWindow::DirBrowserWindow(MainWindow& main, QWidget* parent)
    : QDialog(parent), main_(main) {
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("DIR browser"));
    setModal(true);

    Drive1 = new DriveList(main_.volumes().volumes(), this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Dir1 = new DirList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setMinimumSize(240, 260);

    Frame1 = new QGroupBox(QStringLiteral("Settings"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Label1 = label("Label1", Frame1);
    Label2 = label("Label2", Frame1);
    Label3 = label("Label3", Frame1);
    Command1 = dialogButton("Command1", QStringLiteral("Use as copy DIR (this session)"), Frame1);
    Command2 = dialogButton("Command2", QStringLiteral("Set as default copy DIR"), Frame1);
    Command3 = dialogButton("Command3", QStringLiteral("Set as Startup DIR"), Frame1);
    Command4 = dialogButton("Command4", QStringLiteral("Create Sub DIR"), Frame1);
    Command5 = dialogButton("Command5", QStringLiteral("Close"), Frame1);

    auto* settings = new QVBoxLayout(Frame1);
    settings->addWidget(Label1);
    settings->addWidget(Label2);
    settings->addWidget(Label3);
    settings->addSpacing(8);
    for (QPushButton* b : {Command1, Command2, Command3, Command4})
        settings->addWidget(b);
    settings->addStretch();
    settings->addWidget(Command5);
    Frame1->setMinimumWidth(300);

    auto* lists = new QVBoxLayout;
    lists->addWidget(Drive1);
    lists->addWidget(Dir1, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addWidget(Frame1, 1);
    resize(620, 380);

    connect(Drive1, &DriveList::changed, this, &DirBrowserWindow::Drive1_Change);
    connect(Dir1, &DirList::changed, this, &DirBrowserWindow::Dir1_Change);
    connect(&main_.volumes(), &VolumeWatch::changed, this, &DirBrowserWindow::volumesChanged);
    connect(Command1, &QPushButton::clicked, this, &DirBrowserWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &DirBrowserWindow::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &DirBrowserWindow::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &DirBrowserWindow::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &DirBrowserWindow::Command5_Click);

    Form_Load();
}

void DirBrowserWindow::Form_Load() {
    const QString copyDir = main_.Text3->text();
    ignoreErrors([&] { Drive1->setDrive(copyDir); });
    ignoreErrors([&] { Dir1->setPath(copyDir); });
    // Without a usable copy directory the browser starts where the main directory list stands,
    // so that its commands always have a directory to act on.
    if (Dir1->path().isEmpty()) {
        for (const QString& fallback : {main_.Dir1->path(), QDir::homePath(), QDir::rootPath()}) {
            ignoreErrors([&] {
                Drive1->setDrive(fallback);
                Dir1->setPath(fallback);
            });
            if (!Dir1->path().isEmpty())
                break;
        }
    }
    Services& s = main_.services();
    ignoreErrors([&] { Label1->setText(CurrentCopy + copyDir); });
    ignoreErrors([&] { Label2->setText(DefaultCopy + s.settings.read(keys::DefaultCopyDir)); });
    ignoreErrors([&] { Label3->setText(Startup + s.settings.read(keys::StartupDir)); });
}

void DirBrowserWindow::Drive1_Change() {
    try {
        const Volume* v = Drive1->selectedVolume();
        if (!v || !v->ready)
            throw Error::fromErrno(ENOMEDIUM);
        Dir1->setPath(v->rootPath);
    } catch (...) {
        // No medium or not readable: back to the drive of the directory shown, silently.
        ignoreErrors([this] { Drive1->follow(Dir1->path()); });
    }
}

void DirBrowserWindow::Dir1_Change() {
    // The directory list can move onto another volume by itself (a mount point inside a tree).
    ignoreErrors([this] { Drive1->follow(Dir1->path()); });
}

void DirBrowserWindow::volumesChanged() {
    const std::vector<Volume> before = Drive1->volumes();
    ignoreErrors([this] { Drive1->setVolumes(main_.volumes().volumes()); });
    if (onRemovedVolume(Dir1->path(), before, Drive1->volumes()))
        ignoreErrors([this] { Dir1->setPath(StartupSequence::recoveryDir()); });
    ignoreErrors([this] { Drive1->follow(Dir1->path()); });
    // The main window has already moved its copy directory off a volume that went away.
    ignoreErrors([this] { Label1->setText(CurrentCopy + main_.Text3->text()); });
}

void DirBrowserWindow::Command1_Click() {
    ignoreErrors([this] {
        useAsCopyDirectory(main_, directoryText(Dir1->path()));
        Label1->setText(CurrentCopy + main_.Text3->text());
    });
    close();
}

void DirBrowserWindow::Command2_Click() {
    Services& s = main_.services();
    ignoreErrors([&] {
        s.settings.write(keys::DefaultCopyDir, directoryText(Dir1->path()));
        Label2->setText(DefaultCopy + s.settings.read(keys::DefaultCopyDir));
    });
}

void DirBrowserWindow::Command3_Click() {
    Services& s = main_.services();
    ignoreErrors([&] {
        s.settings.write(keys::StartupDir, directoryText(Dir1->path()));
        Label3->setText(Startup + s.settings.read(keys::StartupDir));
    });
}

void DirBrowserWindow::Command4_Click() {
    Services& s = main_.services();
    withFailureHandler(
        [&] {
            const QString dir = directoryText(Dir1->path());
            const std::optional<QString> name = askSubDirectoryName(s, dir, this);
            if (!name)
                return;
            makeDirectory(dir + *name);
            Dir1->refresh();
        },
        [&](const Error& e) {
            const QString title = e.description.isEmpty()
                                      ? QStringLiteral("Unknown SubDIR Create ERROR")
                                      : QStringLiteral("ERROR ") + QString::number(e.number) +
                                            QStringLiteral(" (") + e.description + QLatin1Char(')');
            s.dialogs.message(QStringLiteral("Unable to create sub directory, please make sure "
                                             "that the current path is valid"),
                              title, Buttons::Ok, Icon::Critical, std::nullopt, this);
        });
}

void DirBrowserWindow::Command5_Click() {
    close();
}

} // namespace lumorra
