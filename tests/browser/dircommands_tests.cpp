#include "browser/DirBrowserWindow.h"
#include "browser/DirectoryCommands.h"
#include "browser/MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnv.h"
#include "support/TestServices.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

// A main window with its directory commands, standing in a private directory tree:
// top/{pics, empty} with a file in pics.
struct Dirs : TestServices {
    QString top = env.makeDir(QStringLiteral("top"));
    QString pics = top + QStringLiteral("/pics");
    QString empty = top + QStringLiteral("/empty");
    std::unique_ptr<MainWindow> window;
    DirectoryCommands* commands = nullptr;

    Dirs() {
        QDir().mkpath(pics);
        QDir().mkpath(empty);
        writeFile(pics + QStringLiteral("/a.jpg"), "picture");
        openProgramLog();
        window = std::make_unique<MainWindow>(
            services, std::vector<Volume>{Volume{QStringLiteral("/"), QStringLiteral("/"), true}});
        commands = new DirectoryCommands(*window);
        window->setFilePattern(QStringLiteral("*"));
        window->setDirPath(pics);
    }
    // The names the directory list shows below the current directory.
    QStringList listedSubdirs(DirList* list) const {
        QStringList out;
        QTreeWidgetItem* current = list->currentItem();
        for (int i = 0; current && i < current->childCount(); ++i)
            out << current->child(i)->text(0);
        return out;
    }
};

const QString SubDirMessage =
    QStringLiteral("Unable to create sub directory, please make sure that the current path is "
                   "valid");

} // namespace

class DirCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void renameNeverReplacesAnExistingDirectory();
    void renameToANewName();
    void createSubDirectory();
    void copyDefaultAndStartupDirectories();
    void dirBrowser();
    void dirBrowserSubDirectory();
    void dirBrowserOpensFromPanel3();
};

void DirCommandsTest::renameNeverReplacesAnExistingDirectory() {
    Dirs d;
    // An empty directory is what a plain rename would replace without a word.
    d.dialogs.answerInput(d.empty);
    d.window->mnurenamedir->trigger();
    const InputBoxSpec ask = d.dialogs.inputs().at(0);
    QCOMPARE(ask.title, QStringLiteral("Rename directory"));
    QCOMPARE(ask.prompt, QStringLiteral("Rename: ") + d.pics +
                             QStringLiteral("\n\nEnter name directory name (full path)"));
    QCOMPARE(ask.defaultText, d.pics);

    QCOMPARE(d.dialogs.beeps(), 1);
    const MessageBoxSpec m = d.dialogs.messages().at(0);
    QCOMPARE(m.title, QStringLiteral("Directory rename ERROR"));
    QCOMPARE(m.text, QStringLiteral("Unabled to rename the selected directory\n\nPlease check that "
                                    "the file is valid and the directory isn't write protected"));
    QCOMPARE(m.icon, Icon::Critical);
    QCOMPARE(d.programLogLines(), QStringList({"\"<d, t> Directory rename ERROR\""}));
    QCOMPARE(readFile(d.pics + QStringLiteral("/a.jpg")), QByteArray("picture"));
    QVERIFY(QFileInfo(d.empty).isDir());
    QVERIFY(QDir(d.empty).isEmpty());
    QCOMPARE(d.window->Dir1->path(), d.pics);
}

void DirCommandsTest::renameToANewName() {
    Dirs d;
    // A cancelled or empty answer does nothing.
    d.dialogs.cancelInput();
    d.dialogs.answerInput(QString());
    d.commands->mnurenamedir_Click();
    d.commands->mnurenamedir_Click();
    QVERIFY(QFileInfo(d.pics).isDir());

    // A full path moves it; the lists follow it to its new name.
    const QString moved = d.empty + QStringLiteral("/photos");
    d.dialogs.answerInput(moved);
    d.commands->mnurenamedir_Click();
    QVERIFY(!QFileInfo::exists(d.pics));
    QCOMPARE(readFile(moved + QStringLiteral("/a.jpg")), QByteArray("picture"));
    QCOMPARE(d.window->Dir1->path(), moved);
    QCOMPARE(d.window->File1->count(), 1);

    // A bare name stays beside the directory.
    d.dialogs.answerInput(QStringLiteral("holiday"));
    d.commands->mnurenamedir_Click();
    QCOMPARE(readFile(d.empty + QStringLiteral("/holiday/a.jpg")), QByteArray("picture"));
    QVERIFY(d.dialogs.messages().empty());
}

void DirCommandsTest::createSubDirectory() {
    Dirs d;
    d.dialogs.answerInput(QStringLiteral("new one"));
    d.window->mnusub->trigger();
    const InputBoxSpec ask = d.dialogs.inputs().at(0);
    QCOMPARE(ask.title, QStringLiteral("Create sub directory"));
    QCOMPARE(ask.prompt, QStringLiteral("You are currently in: ") + d.pics +
                             QStringLiteral("/\n\nEnter new sub directory name"));
    QCOMPARE(ask.helpTopic, 19);
    QVERIFY(QFileInfo(d.pics + QStringLiteral("/new one")).isDir());
    QCOMPARE(d.listedSubdirs(d.window->Dir1), QStringList({"new one"}));

    // Nothing typed, nothing made, nothing said.
    d.dialogs.answerInput(QString());
    d.dialogs.cancelInput();
    d.commands->mnusub_Click();
    d.commands->mnusub_Click();
    QCOMPARE(QDir(d.pics).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({"new one"}));
    QVERIFY(d.dialogs.messages().empty());

    // A name that exists: no beep, the error in the record and the title.
    d.window->setDirPath(d.top);
    d.dialogs.answerInput(QStringLiteral("pics"));
    d.commands->mnusub_Click();
    QCOMPARE(d.dialogs.beeps(), 0);
    const MessageBoxSpec m = d.dialogs.messages().at(0);
    QCOMPARE(m.title, QStringLiteral("SubDIR Creation ERROR 17 (File exists)"));
    QCOMPARE(m.text, SubDirMessage);
    QCOMPARE(m.icon, Icon::Critical);
    QCOMPARE(d.programLogLines(),
             QStringList({"\"<d, t> SubDIR Creation ERROR 17 (File exists)\""}));
    QCOMPARE(readFile(d.pics + QStringLiteral("/a.jpg")), QByteArray("picture"));
}

void DirCommandsTest::copyDefaultAndStartupDirectories() {
    Dirs d;
    d.window->mnusession->trigger();
    QCOMPARE(d.window->Text3->text(), d.pics + '/');
    QCOMPARE(d.window->StatusBar1->text(3), QStringLiteral("  ") + d.pics + '/');
    QCOMPARE(d.settings.read(keys::DefaultCopyDir), QString());
    // The root keeps its one "/".
    d.window->setDirPath(QStringLiteral("/"));
    d.commands->mnusession_Click();
    QCOMPARE(d.window->Text3->text(), QStringLiteral("/"));
    QCOMPARE(d.window->StatusBar1->text(3), QStringLiteral("  /"));

    // Stored under one key whatever its spelling; the copy directory of this run stays.
    d.window->setDirPath(d.pics);
    d.window->mnudefault->trigger();
    QCOMPARE(d.settings.read(QStringLiteral("Defaultcopydir")), d.pics + '/');
    QCOMPARE(d.window->Text3->text(), QStringLiteral("/"));
    QCOMPARE(d.window->StatusBar1->text(3), QStringLiteral("  /"));
    d.window->setDirPath(d.empty);
    d.window->mnustartup->trigger();
    QCOMPARE(d.settings.read(QStringLiteral("Startupdir")), d.empty + '/');
    const QByteArray file = readFile(d.settings.filePath());
    QCOMPARE(file.count("startupdir"), qsizetype(1));
    QCOMPARE(file.count("defaultcopydir"), qsizetype(1));
    QVERIFY(d.dialogs.events().empty());
}

void DirCommandsTest::dirBrowser() {
    Dirs d;
    d.settings.write(keys::DefaultCopyDir, QStringLiteral("/stored/copies/"));
    d.settings.write(keys::StartupDir, QStringLiteral("/stored/start/"));
    d.window->setCopyDir(d.empty + '/');
    DirBrowserWindow b(*d.window);
    b.show();
    QCOMPARE(b.Dir1->path(), d.empty);
    QCOMPARE(b.Label1->text(), QStringLiteral("Current copy DIR: ") + d.empty + '/');
    QCOMPARE(b.Label2->text(), QStringLiteral("Default copy DIR: /stored/copies/"));
    QCOMPARE(b.Label3->text(), QStringLiteral("Startup DIR: /stored/start/"));

    b.Dir1->setPath(d.top);
    QTest::mouseClick(b.Command2, Qt::LeftButton);
    QCOMPARE(d.settings.read(keys::DefaultCopyDir), d.top + '/');
    QCOMPARE(b.Label2->text(), QStringLiteral("Default copy DIR: ") + d.top + '/');
    QTest::mouseClick(b.Command3, Qt::LeftButton);
    QCOMPARE(d.settings.read(keys::StartupDir), d.top + '/');
    QCOMPARE(b.Label3->text(), QStringLiteral("Startup DIR: ") + d.top + '/');
    QVERIFY(b.isVisible());
    QCOMPARE(d.window->Text3->text(), d.empty + '/');

    QTest::mouseClick(b.Command1, Qt::LeftButton);
    QCOMPARE(d.window->Text3->text(), d.top + '/');
    QCOMPARE(d.window->StatusBar1->text(3), QStringLiteral("  ") + d.top + '/');
    QCOMPARE(b.Label1->text(), QStringLiteral("Current copy DIR: ") + d.top + '/');
    QVERIFY(!b.isVisible());
    QVERIFY(d.dialogs.events().empty());

    // A copy directory that is gone, or was never set: the browser stands where the main
    // directory list does.
    for (const QString& copy : {QString(), d.top + QStringLiteral("/gone/")}) {
        d.window->setCopyDir(copy);
        DirBrowserWindow again(*d.window);
        QCOMPARE(again.Dir1->path(), d.pics);
    }
}

void DirCommandsTest::dirBrowserSubDirectory() {
    Dirs d;
    d.window->setCopyDir(d.top + '/');
    d.window->setDirPath(d.top);
    DirBrowserWindow b(*d.window);
    d.dialogs.answerInput(QStringLiteral("made here"));
    b.Command4_Click();
    QCOMPARE(d.dialogs.inputs().at(0).prompt,
             QStringLiteral("You are currently in: ") + d.top +
                 QStringLiteral("/\n\nEnter new sub directory name"));
    QCOMPARE(d.listedSubdirs(b.Dir1), QStringList({"empty", "made here", "pics"}));
    // The main list is not listed again.
    QCOMPARE(d.listedSubdirs(d.window->Dir1), QStringList({"empty", "pics"}));

    // Failure: no beep, no record, the error in the title.
    d.dialogs.answerInput(QStringLiteral("pics"));
    b.Command4_Click();
    QCOMPARE(d.dialogs.beeps(), 0);
    QVERIFY(d.programLogLines().isEmpty());
    const MessageBoxSpec m = d.dialogs.messages().at(0);
    QCOMPARE(m.title, QStringLiteral("ERROR 17 (File exists)"));
    QCOMPARE(m.text, SubDirMessage);
}

void DirCommandsTest::dirBrowserOpensFromPanel3() {
    Dirs d;
    d.window->setCopyDir(d.empty + '/');
    d.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(d.window.get()));
    QString seenDir;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        auto* b = qobject_cast<DirBrowserWindow*>(QApplication::activeModalWidget());
        if (!b)
            return;
        modal = b->parentWidget() == d.window.get();
        seenDir = b->Dir1->path();
        b->Command5->click();
    });
    QWidget* panel = d.window->StatusBar1->panelWidget(3);
    QTest::mouseClick(panel, Qt::LeftButton, {}, panel->rect().center());
    QVERIFY(modal);
    QCOMPARE(seenDir, d.empty);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(DirCommandsTest)
#include "dircommands_tests.moc"
