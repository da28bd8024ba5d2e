#include "browser/Lists.h"
#include "browser/MainWindow.h"
#include "fileops/ClipboardCommands.h"
#include "fileops/FileOperations.h"
#include "platform/Clipboard.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "support/FileSizeLimit.h"
#include "support/WindowTest.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"
#include "viewer/FileListKeys.h"
#include "viewer/FullScreenWindow.h"
#include "viewer/PictureWindow.h"
#include "viewer/SelectionViewer.h"
#include "viewer/SeparateViewer.h"

#include <QApplication>
#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

namespace {

const QString CopyMessage =
    QStringLiteral("Unable to copy the selected file, the file/path may be corrupted\nPlease "
                   "select another file or check the destination path");
const QString MoveMessage =
    QStringLiteral("Unable to move the selected file, the file/path may be corrupted\nPlease "
                   "select another file or check the destination path");
const QString OverwriteText =
    QStringLiteral("File allready exist\n\nDo you want overwrite the file?");

// The main window with its viewer, the file operations and the keys of the file list, wired as
// the program wires them, on a picture directory and a copy directory of its own.
struct Ops : WindowTest {
    QString copyDir = env.makeDir(QStringLiteral("copies"));
    std::unique_ptr<SelectionViewer> viewer;
    std::unique_ptr<FileOperations> ops;
    std::unique_ptr<FileListKeys> keys;

    Ops() : WindowTest(QStringLiteral("pics")) {
        turnOff({keys::AutoZoom, keys::OLE, keys::DelConfirmation, keys::MoveConfirmation});
        openWindow();
        viewer = std::make_unique<SelectionViewer>(*window, services);
        ops = std::make_unique<FileOperations>(*window, services);
        keys = std::make_unique<FileListKeys>(*window);
        keys->deleteSelected = [this] {
            ops->deleteCurrentFile(FileOperations::Reporting::Logged, window.get());
        };
        window->setCopyDir(copyDir + QLatin1Char('/'));
    }
    ~Ops() {
        keys.reset();
        ops.reset();
        viewer.reset();
    }
    // A real JPEG whose bytes differ from picture to picture.
    QString picture(const QString& name, int shade = 100, QSize size = QSize(40, 30)) {
        return savePicture(name, size, QColor(shade % 256, 120, 200), "JPG");
    }
    QStringList names(const QString& d) const {
        return QDir(d).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
};

// Takes the write permission of a directory away while the object lives.
struct ReadOnlyDir {
    QByteArray path;
    explicit ReadOnlyDir(const QString& dir) : path(QFile::encodeName(dir)) {
        ::chmod(path.constData(), 0555);
    }
    ~ReadOnlyDir() { ::chmod(path.constData(), 0755); }
};

// Undoes the immutable flag a test set, also when the test fails.
struct Immutable {
    QString path;
    bool set = false;
    explicit Immutable(const QString& p) : path(p) {
        set = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
    }
    ~Immutable() {
        if (set)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
    }
};

} // namespace

class FileOpsTest : public QObject {
    Q_OBJECT
private slots:
    void copyAsksBeforeReplacingANameInOtherLetterCase();
    void copyReplacesAReadOnlyDestination();
    void copyAnswerNoChangesNothing();
    void moveAsksBothQuestions();
    void moveAnswersNoLeaveEverything();
    void copyAfterMoveNamesTheMissingFile();
    void destinationThatIsTheSourceIsRefused();
    void emptyCopyDirectoryOrNoSelectionIsRefused();
    void interruptedCopyLeavesNoDestination();
    void failedReplacingCopyKeepsTheEarlierFile();
    void moveKeepsBothFilesWhenTheSourceStays();
    void readOnlyDirectoryKeepsItsFiles_data();
    void readOnlyDirectoryKeepsItsFiles();
    void deleteSelectsTheFollowingFile();
    void deleteOfTheLastEntryLeavesNoSelection();
    void deleteAsksAndNoKeepsEverything();
    void deleteAndMoveLeaveTheListAsANewReadWouldShow();
    void deleteFailureIsRecorded();
    void keysZoomAndDelete();
    void renameKeepsOrChangesTheExtension();
    void renameNeverReplacesAFile();
    void renameCancelAndPathsChangeNothing();
    void saveAsCopyKeepsTheFormat();
    void saveAsBitmapWritesTheHeldPicture();
    void profiledPictureIsShownInScreenColoursAndLeavesAsSrgb();
    void saveAsNeverWritesOverTheCurrentFile();
    void saveAsAsksBeforeReplacingAnotherName();
    void saveAsInAnimationMode();
    void copyAndSaveAsTakeTheFrameShown();
    void reducedPictureIsActedOnWhateverBecomesOfItsFile_data();
    void reducedPictureIsActedOnWhateverBecomesOfItsFile();
    void heldDeleteKeyDeletesOneFile();
};

void FileOpsTest::copyAsksBeforeReplacingANameInOtherLetterCase() {
    Ops t;
    const QString source = t.picture(QStringLiteral("cat.jpg"));
    writeFile(t.copyDir + QStringLiteral("/CAT.JPG"), "old");
    t.select(QStringLiteral("cat.jpg"));
    t.dialogs.answerMessage(Answer::Yes);
    t.ops->Command2_Click();

    const auto messages = t.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text, OverwriteText);
    QCOMPARE(messages[0].title, QStringLiteral("Overwrite file?"));
    QCOMPARE(messages[0].buttons, Buttons::YesNo);
    QCOMPARE(messages[0].icon, Icon::Exclamation);
    QCOMPARE(t.names(t.copyDir), QStringList{QStringLiteral("cat.jpg")});
    QCOMPARE(readFile(t.copyDir + QStringLiteral("/cat.jpg")), readFile(source));
    QCOMPARE(t.window->Command2->text(), QStringLiteral("File Copied"));
    QVERIFY(!t.window->Command2->isEnabled());
    QCOMPARE(t.window->Command7->text(), QStringLiteral("File &Move"));
    QVERIFY(t.window->Command7->isEnabled());
    QCOMPARE(t.dialogs.beeps(), 0);
    // The viewer stays on the source.
    QCOMPARE(t.window->Label1->text(), source);

    // A new selection offers the buttons again.
    t.picture(QStringLiteral("dog.jpg"));
    t.select(QStringLiteral("dog.jpg"));
    QCOMPARE(t.window->Command2->text(), QStringLiteral("&File Copy"));
    QVERIFY(t.window->Command2->isEnabled());
}

void FileOpsTest::copyReplacesAReadOnlyDestination() {
    Ops t;
    const QString source = t.picture(QStringLiteral("cat.jpg"));
    const QString old = t.copyDir + QStringLiteral("/cat.jpg");
    writeFile(old, "old");
    setFileAttributes(old, attr::ReadOnly | attr::Hidden | attr::Archive);
    // A hidden file is no file to the look-up, so it is not replaced: the copy fails.
    t.select(QStringLiteral("cat.jpg"));
    t.ops->Command2_Click();
    QCOMPARE(readFile(old), QByteArray("old"));
    QCOMPARE(t.programLogLines().last(),
             QStringLiteral("\"<d, t> File copy ERROR 17 (File exists)\""));

    setFileAttributes(old, attr::ReadOnly | attr::Archive);
    t.dialogs.clear();
    t.dialogs.answerMessage(Answer::Yes);
    t.ops->Command2_Click();
    QCOMPARE(t.dialogs.messages().size(), size_t(1));
    QCOMPARE(readFile(old), readFile(source));
    QCOMPARE(t.window->Command2->text(), QStringLiteral("File Copied"));
}

void FileOpsTest::copyAnswerNoChangesNothing() {
    Ops t;
    t.picture(QStringLiteral("cat.jpg"));
    writeFile(t.copyDir + QStringLiteral("/cat.jpg"), "old");
    t.select(QStringLiteral("cat.jpg"));
    t.dialogs.answerMessage(Answer::No);
    t.ops->Command2_Click();
    QCOMPARE(readFile(t.copyDir + QStringLiteral("/cat.jpg")), QByteArray("old"));
    QCOMPARE(t.window->Command2->text(), QStringLiteral("&File Copy"));
    QVERIFY(t.window->Command2->isEnabled());
    QVERIFY(t.programLogLines().isEmpty());
}

void FileOpsTest::moveAsksBothQuestions() {
    Ops t;
    t.settings.write(keys::MoveConfirmation, QStringLiteral("1"));
    t.picture(QStringLiteral("a.jpg"), 10);
    const QString source = t.picture(QStringLiteral("b.jpg"), 20);
    const QByteArray content = readFile(source);
    writeFile(t.copyDir + QStringLiteral("/b.jpg"), "old");
    t.select(QStringLiteral("b.jpg"));
    t.dialogs.answerMessage(Answer::Yes);
    t.dialogs.answerMessage(Answer::Yes);
    t.ops->Command7_Click();

    const auto messages = t.dialogs.messages();
    QCOMPARE(messages.size(), size_t(2));
    QCOMPARE(messages[0].text,
             QStringLiteral("Are you sure you want to move the following file:\n\n") + source);
    QCOMPARE(messages[0].title, QStringLiteral("Move file?"));
    QCOMPARE(messages[0].buttons, Buttons::YesNo);
    QCOMPARE(messages[0].icon, Icon::Exclamation);
    QCOMPARE(messages[1].title, QStringLiteral("Overwrite file?"));
    QVERIFY(!QFileInfo::exists(source));
    QCOMPARE(readFile(t.copyDir + QStringLiteral("/b.jpg")), content);
    QCOMPARE(t.window->File1->count(), 1);
    QCOMPARE(t.window->Label6->text(), QStringLiteral("1 File(s)"));
    QCOMPARE(t.window->Command7->text(), QStringLiteral("File Moved"));
    QVERIFY(!t.window->Command7->isEnabled());
    QCOMPARE(t.window->Command2->text(), QStringLiteral("&File Copy"));
    QVERIFY(t.programLogLines().isEmpty());
}

void FileOpsTest::moveAnswersNoLeaveEverything() {
    Ops t;
    t.settings.write(keys::MoveConfirmation, QStringLiteral("1"));
    const QString source = t.picture(QStringLiteral("b.jpg"));
    t.select(QStringLiteral("b.jpg"));
    t.dialogs.answerMessage(Answer::No);
    t.ops->Command7_Click();
    QCOMPARE(t.dialogs.messages().size(), size_t(1));
    QVERIFY(QFileInfo::exists(source));
    QVERIFY(t.names(t.copyDir).isEmpty());

    writeFile(t.copyDir + QStringLiteral("/b.jpg"), "old");
    t.dialogs.clear();
    t.dialogs.answerMessage(Answer::Yes);
    t.dialogs.answerMessage(Answer::No);
    t.ops->Command7_Click();
    QCOMPARE(t.dialogs.messages().size(), size_t(2));
    QVERIFY(QFileInfo::exists(source));
    QCOMPARE(readFile(t.copyDir + QStringLiteral("/b.jpg")), QByteArray("old"));
    QCOMPARE(t.window->Command7->text(), QStringLiteral("File &Move"));

    // "MoveConfirmation" other than "1" asks nothing.
    t.settings.write(keys::MoveConfirmation, QStringLiteral("yes"));
    QFile::remove(t.copyDir + QStringLiteral("/b.jpg"));
    t.dialogs.clear();
    t.ops->Command7_Click();
    QVERIFY(t.dialogs.messages().empty());
    QVERIFY(!QFileInfo::exists(source));
}

void FileOpsTest::copyAfterMoveNamesTheMissingFile() {
    Ops t;
    t.picture(QStringLiteral("a.jpg"));
    t.picture(QStringLiteral("b.jpg"));
    t.select(QStringLiteral("b.jpg"));
    t.ops->Command7_Click();
    QCOMPARE(t.window->Command7->text(), QStringLiteral("File Moved"));
    const QByteArray moved = readFile(t.copyDir + QStringLiteral("/b.jpg"));
    QVERIFY(!moved.isEmpty());

    t.ops->Command2_Click();
    const QString record = QStringLiteral("File copy ERROR 2 (No such file or directory)");
    QCOMPARE(t.dialogs.beeps(), 1);
    const auto messages = t.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].title, record);
    QCOMPARE(messages[0].text, CopyMessage);
    QCOMPARE(messages[0].icon, Icon::Critical);
    QCOMPARE(messages[0].buttons, Buttons::Ok);
    QCOMPARE(t.programLogLines(), QStringList{"\"<d, t> " + record + "\""});
    // The moved file is untouched and the button keeps its caption.
    QCOMPARE(readFile(t.copyDir + QStringLiteral("/b.jpg")), moved);
    QCOMPARE(t.window->Command2->text(), QStringLiteral("&File Copy"));
}

void FileOpsTest::destinationThatIsTheSourceIsRefused() {
    Ops t;
    const QString source = t.picture(QStringLiteral("cat.jpg"));
    const QByteArray content = readFile(source);
    t.window->setCopyDir(t.dir + QLatin1Char('/'));
    t.select(QStringLiteral("cat.jpg"));
    t.dialogs.answerMessage(Answer::Yes);
    t.ops->Command2_Click();
    t.dialogs.answerMessage(Answer::Yes);
    t.ops->Command7_Click();
    QCOMPARE(readFile(source), content);
    QCOMPARE(t.names(t.dir), QStringList{QStringLiteral("cat.jpg")});
    const auto messages = t.dialogs.messages();
    QCOMPARE(messages.size(), size_t(2));
    QCOMPARE(messages[0].title, QStringLiteral("Unknown File Copy ERROR"));
    QCOMPARE(messages[0].text, CopyMessage);
    QCOMPARE(messages[1].title, QStringLiteral("Unknown File Move ERROR"));
    QCOMPARE(messages[1].text, MoveMessage);
    QCOMPARE(t.programLogLines(), (QStringList{"\"<d, t> Unknown File Copy ERROR\"",
                                               "\"<d, t> Unknown File Move ERROR\""}));

    // The same directory reached through a link is the same directory.
    const QString link = t.env.root() + QStringLiteral("/link");
    QVERIFY(QFile::link(t.dir, link));
    t.window->setCopyDir(link + QLatin1Char('/'));
    t.ops->Command7_Click();
    QCOMPARE(readFile(source), content);
}

void FileOpsTest::emptyCopyDirectoryOrNoSelectionIsRefused() {
    Ops t;
    const QString source = t.picture(QStringLiteral("cat.jpg"));
    t.window->setCopyDir(QString());
    t.select(QStringLiteral("cat.jpg"));
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(t.copyDir);
    t.ops->Command2_Click();
    QDir::setCurrent(cwd);
    QVERIFY(t.names(t.copyDir).isEmpty());
    QCOMPARE(t.dialogs.messages().at(0).title, QStringLiteral("Unknown File Copy ERROR"));
    QVERIFY(QFileInfo::exists(source));

    // Without a selection the destination would be the directory itself.
    t.window->setCopyDir(t.copyDir + QLatin1Char('/'));
    t.window->File1->setListIndex(-1);
    t.ops->Command7_Click();
    QVERIFY(t.names(t.copyDir).isEmpty());
    QVERIFY(QFileInfo::exists(source));
    QCOMPARE(t.dialogs.messages().at(1).title, QStringLiteral("Unknown File Move ERROR"));
}

void FileOpsTest::interruptedCopyLeavesNoDestination() {
    Ops t;
    QImage noise(600, 600, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x * y) % 253, (x ^ y) & 255));
    QVERIFY(noise.save(t.dir + QStringLiteral("/big.jpg"), "JPG", 95));
    t.select(QStringLiteral("big.jpg"));
    QVERIFY(QFileInfo(t.dir + QStringLiteral("/big.jpg")).size() > 8192);
    {
        FileSizeLimit limit(4096);
        t.ops->Command2_Click();
    }
    QVERIFY(t.names(t.copyDir).isEmpty());
    QCOMPARE(t.dialogs.messages().at(0).title,
             QStringLiteral("File copy ERROR 27 (File too large)"));
    QCOMPARE(t.window->Command2->text(), QStringLiteral("&File Copy"));
}

// The file a copy replaces stays whole until the copy is complete: under the same name and
// under a name in other letter case.
void FileOpsTest::failedReplacingCopyKeepsTheEarlierFile() {
    for (const QString& earlierName : {QStringLiteral("big.jpg"), QStringLiteral("BIG.JPG")}) {
        Ops t;
        QImage noise(600, 600, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x * y) % 253, x & 255));
        QVERIFY(noise.save(t.dir + QStringLiteral("/big.jpg"), "JPG", 95));
        const QString earlier = t.copyDir + QLatin1Char('/') + earlierName;
        writeFile(earlier, "the earlier file");
        t.select(QStringLiteral("big.jpg"));
        t.dialogs.answerMessage(Answer::Yes);
        {
            FileSizeLimit limit(4096);
            t.ops->Command2_Click();
        }
        QCOMPARE(t.names(t.copyDir), QStringList{earlierName});
        QCOMPARE(readFile(earlier), QByteArray("the earlier file"));
        QCOMPARE(t.dialogs.messages().at(1).title,
                 QStringLiteral("File copy ERROR 27 (File too large)"));

        // Without the limit the copy takes its place.
        t.dialogs.answerMessage(Answer::Yes);
        t.ops->Command2_Click();
        QCOMPARE(t.names(t.copyDir), QStringList{QStringLiteral("big.jpg")});
        QCOMPARE(readFile(t.copyDir + QStringLiteral("/big.jpg")),
                 readFile(t.dir + QStringLiteral("/big.jpg")));
    }
}

void FileOpsTest::moveKeepsBothFilesWhenTheSourceStays() {
    if (::geteuid() != 0)
        QSKIP("the immutable flag needs root");
    Ops t;
    const QString source = t.picture(QStringLiteral("cat.jpg"));
    t.select(QStringLiteral("cat.jpg"));
    Immutable pinned(source);
    if (!pinned.set)
        QSKIP("this file system has no immutable flag");
    t.ops->Command7_Click();
    QVERIFY(QFileInfo::exists(source));
    QCOMPARE(readFile(t.copyDir + QStringLiteral("/cat.jpg")), readFile(source));
    const auto messages = t.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].title, QStringLiteral("File move ERROR 1 (Operation not permitted)"));
    QVERIFY(messages[0].text.startsWith(MoveMessage));
    QVERIFY(messages[0].text.contains(QStringLiteral("both files are kept")));
    QCOMPARE(t.window->Command7->text(), QStringLiteral("File &Move"));
}

void FileOpsTest::readOnlyDirectoryKeepsItsFiles_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("title"); // of the failure message; none for Save As
    QTest::newRow("rename") << "rename"
                            << "File rename ERROR 13 (Permission denied)";
    QTest::newRow("move") << "move"
                          << "File move ERROR 13 (Permission denied)";
    QTest::newRow("save as") << "save as" << QString();
}

// The directory of the shown file may not be written: nothing in it changes but the
// attributes the command clears first, and a move keeps its copy and says so.
void FileOpsTest::readOnlyDirectoryKeepsItsFiles() {
    QFETCH(QString, action);
    QFETCH(QString, title);
    if (::geteuid() == 0)
        QSKIP("root writes into any directory");
    Ops t;
    const QString cat = t.picture(QStringLiteral("cat.jpg"));
    const QByteArray content = readFile(cat);
    setFileAttributes(cat, attr::ReadOnly | attr::Archive);
    t.select(QStringLiteral("cat.jpg"));
    {
        const ReadOnlyDir locked(t.dir);
        if (action == QLatin1String("rename")) {
            t.dialogs.answerInput(QStringLiteral("dog"));
            t.ops->mnurename_Click();
        } else if (action == QLatin1String("move")) {
            t.ops->Command7_Click();
        } else {
            t.dialogs.answerFile(t.dir + QStringLiteral("/copy.jpg"), 1);
            t.ops->saveas_Click();
        }
    }
    QCOMPARE(t.names(t.dir), QStringList{QStringLiteral("cat.jpg")});
    QCOMPARE(readFile(cat), content);
    const auto messages = t.dialogs.messages();
    if (title.isEmpty()) {
        QVERIFY(messages.empty());
        QCOMPARE(fileAttributes(cat), attr::ReadOnly | attr::Archive);
        return;
    }
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].title, title);
    QCOMPARE(messages[0].icon, Icon::Critical);
    QCOMPARE(t.programLogLines(), QStringList{"\"<d, t> " + title + "\""});
    // Both commands reset the attributes to archive alone before they fail.
    QCOMPARE(fileAttributes(cat), attr::Archive);
    if (action == QLatin1String("move")) {
        QVERIFY(messages[0].text.startsWith(MoveMessage));
        QVERIFY(messages[0].text.contains(QStringLiteral("both files are kept")));
        QCOMPARE(readFile(t.copyDir + QStringLiteral("/cat.jpg")), content);
        QCOMPARE(t.window->Command7->text(), QStringLiteral("File &Move"));
    } else {
        QCOMPARE(messages[0].text, QStringLiteral("Unable to rename the selected file, the file "
                                                  "or path may be corrupted"));
    }
}

void FileOpsTest::deleteSelectsTheFollowingFile() {
    Ops t;
    for (int i = 1; i <= 5; ++i)
        t.picture(QStringLiteral("p%1.jpg").arg(i), i * 40);
    t.select(QStringLiteral("p2.jpg"));
    t.ops->mnudelete_Click();
    QVERIFY(!QFileInfo::exists(t.dir + QStringLiteral("/p2.jpg")));
    QCOMPARE(t.window->File1->count(), 4);
    QCOMPARE(t.window->Label6->text(), QStringLiteral("4 File(s)"));
    QCOMPARE(t.window->File1->fileName(), QStringLiteral("p3.jpg"));
    QCOMPARE(t.window->Label1->text(), t.dir + QStringLiteral("/p3.jpg"));
    QCOMPARE(t.window->Label7->text(), QStringLiteral("Current: 2"));
    QVERIFY(t.dialogs.messages().empty());

    // A read-only file goes too.
    setFileAttributes(t.dir + QStringLiteral("/p3.jpg"), attr::ReadOnly | attr::Archive);
    t.ops->mnudelete_Click();
    QVERIFY(!QFileInfo::exists(t.dir + QStringLiteral("/p3.jpg")));
    QCOMPARE(t.window->File1->fileName(), QStringLiteral("p4.jpg"));
    QVERIFY(t.programLogLines().isEmpty());
}

void FileOpsTest::deleteOfTheLastEntryLeavesNoSelection() {
    Ops t;
    t.picture(QStringLiteral("a.jpg"));
    t.picture(QStringLiteral("b.jpg"));
    t.select(QStringLiteral("b.jpg"));
    t.ops->mnudelete_Click();
    QCOMPARE(t.window->File1->count(), 1);
    QCOMPARE(t.window->File1->listIndex(), -1);
    QCOMPARE(t.window->Label7->text(), QStringLiteral("Current: "));
    QCOMPARE(t.window->Label6->text(), QStringLiteral("1 File(s)"));
    // The picture stays shown.
    QVERIFY(t.window->Image1->hasPicture());
}

void FileOpsTest::deleteAndMoveLeaveTheListAsANewReadWouldShow() {
    Ops t;
    for (int i = 1; i <= 6; ++i)
        t.picture(QStringLiteral("p%1.jpg").arg(i), i * 30);
    writeFile(t.dir + QStringLiteral("/.dot.jpg"), "x");
    writeFile(t.dir + QStringLiteral("/hidden.jpg"), "x");
    setFileAttributes(t.dir + QStringLiteral("/hidden.jpg"), attr::Hidden | attr::Archive);
    const auto fresh = [&] { return listFiles(t.dir, SearchPattern::parse(QStringLiteral("*"))); };
    const auto listed = [&] {
        QStringList names;
        for (int i = 0; i < t.window->File1->count(); ++i)
            names << t.window->File1->item(i);
        return names;
    };
    QSignalSpy resets(t.window->File1->model(), &QAbstractItemModel::modelReset);

    // Nothing else changed: only the entry goes, the directory is not read again.
    t.select(QStringLiteral("p2.jpg"));
    resets.clear();
    t.ops->mnudelete_Click();
    QCOMPARE(listed(), fresh());
    QCOMPARE(resets.count(), 0);
    QCOMPARE(t.window->Label6->text(), QStringLiteral("5 File(s)"));
    QCOMPARE(t.window->File1->fileName(), QStringLiteral("p3.jpg"));
    // And again from the list left by the first one.
    t.ops->mnudelete_Click();
    QCOMPARE(listed(), fresh());
    QCOMPARE(resets.count(), 0);
    QCOMPARE(t.window->File1->fileName(), QStringLiteral("p4.jpg"));

    // Changes behind the program's back are not missed: a new file, a file hidden since.
    t.picture(QStringLiteral("new.jpg"));
    t.ops->mnudelete_Click();
    QCOMPARE(listed(), fresh());
    QCOMPARE(listed(), QStringList({"new.jpg", "p1.jpg", "p5.jpg", "p6.jpg"}));
    QCOMPARE(t.window->Label6->text(), QStringLiteral("4 File(s)"));
    QCOMPARE(t.window->File1->fileName(), QStringLiteral("p1.jpg"));
    setFileAttributes(t.dir + QStringLiteral("/p6.jpg"), attr::System | attr::Archive);
    t.ops->mnudelete_Click();
    QCOMPARE(listed(), fresh());
    QCOMPARE(listed(), QStringList({"new.jpg", "p5.jpg"}));

    // A move drops the moved file alike.
    t.select(QStringLiteral("new.jpg"));
    resets.clear();
    t.ops->Command7_Click();
    QVERIFY(QFileInfo::exists(t.copyDir + QStringLiteral("/new.jpg")));
    QCOMPARE(listed(), QStringList({"p5.jpg"}));
    QCOMPARE(resets.count(), 0);
    QCOMPARE(t.window->Label6->text(), QStringLiteral("1 File(s)"));
}

void FileOpsTest::deleteAsksAndNoKeepsEverything() {
    Ops t;
    t.settings.write(keys::DelConfirmation, QStringLiteral("1"));
    const QString path = t.picture(QStringLiteral("a.jpg"));
    t.picture(QStringLiteral("b.jpg"));
    t.select(QStringLiteral("a.jpg"));
    t.window->Label6->setText(QStringLiteral("before"));
    t.dialogs.answerMessage(Answer::No);
    t.ops->mnudelete_Click();
    const auto messages = t.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text,
             QStringLiteral("Are you sure you want to delete the following file:\n\n") + path);
    QCOMPARE(messages[0].title, QStringLiteral("Delete file?"));
    QCOMPARE(messages[0].buttons, Buttons::YesNo);
    QCOMPARE(messages[0].icon, Icon::Exclamation);
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(t.window->Label6->text(), QStringLiteral("before"));
    QCOMPARE(t.window->Label7->text(), QStringLiteral("Current: 1"));

    t.dialogs.answerMessage(Answer::Yes);
    t.ops->mnudelete_Click();
    QVERIFY(!QFileInfo::exists(path));
}

void FileOpsTest::deleteFailureIsRecorded() {
    Ops t;
    const QString path = t.picture(QStringLiteral("a.jpg"));
    t.picture(QStringLiteral("b.jpg"));
    t.select(QStringLiteral("a.jpg"));
    QFile::remove(path);
    t.window->Label6->setText(QStringLiteral("before"));
    t.ops->mnudelete_Click();
    const QString record = QStringLiteral("File delete ERROR 2 (No such file or directory)");
    QCOMPARE(t.dialogs.beeps(), 1);
    const auto messages = t.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].title, record);
    QCOMPARE(messages[0].text,
             QStringLiteral("An error accured while trying to delete the seleted file, please "
                            "make sure the path and file is not corrupted"));
    QCOMPARE(messages[0].icon, Icon::Critical);
    QCOMPARE(t.programLogLines(), QStringList{"\"<d, t> " + record + "\""});
    // Nothing after the failing step ran.
    QCOMPARE(t.window->Label6->text(), QStringLiteral("before"));
    QCOMPARE(t.window->File1->count(), 2);
}

void FileOpsTest::keysZoomAndDelete() {
    Ops t;
    t.picture(QStringLiteral("a.jpg"), 10, QSize(400, 200));
    t.picture(QStringLiteral("b.jpg"), 20);
    t.picture(QStringLiteral("c.jpg"), 30);
    t.select(QStringLiteral("a.jpg"));
    PictureArea* area = t.window->Image1;
    QCOMPARE(area->size(), QSize(400, 200));
    FileList* list = t.window->File1;
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(list, Qt::Key_Plus, Qt::KeypadModifier);
    // 1.05 three times, each step in whole pixels.
    QVERIFY2(qAbs(area->width() - 400 * 1.157625) <= 1.5,
             qPrintable(QString::number(area->width())));
    QVERIFY(qAbs(area->height() - 200 * 1.157625) <= 1.5);
    QVERIFY(area->stretch());
    QVERIFY(!area->isHidden());
    QCOMPARE(t.window->StatusBar1->text(4), QStringLiteral("User"));
    QVERIFY(t.window->Option3->isChecked());

    // The main keyboard's minus, for keyboards without a keypad.
    const int before = area->width();
    QTest::keyClick(list, Qt::Key_Minus);
    QVERIFY(qAbs(area->width() - before * 0.95) <= 1);
    QCOMPARE(list->fileName(), QStringLiteral("a.jpg"));

    // Delete runs the one delete routine; the arrow keys still move the selection.
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(!QFileInfo::exists(t.dir + QStringLiteral("/a.jpg")));
    QCOMPARE(list->fileName(), QStringLiteral("b.jpg"));
    QCOMPARE(t.window->Label6->text(), QStringLiteral("2 File(s)"));
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(t.window->Label1->text(), t.dir + QStringLiteral("/c.jpg"));
}

void FileOpsTest::renameKeepsOrChangesTheExtension() {
    Ops t;
    const QString cat = t.picture(QStringLiteral("cat.jpg"));
    const QByteArray content = readFile(cat);
    t.select(QStringLiteral("cat.jpg"));
    setFileAttributes(cat, attr::ReadOnly | attr::Archive);
    t.dialogs.answerInput(QStringLiteral("holiday"));
    t.ops->mnurename_Click();
    const auto inputs = t.dialogs.inputs();
    QCOMPARE(inputs.size(), size_t(1));
    QCOMPARE(inputs[0].prompt, QStringLiteral("Rename: cat.jpg\n\nEnter new name"));
    QCOMPARE(inputs[0].title, QStringLiteral("Rename file"));
    QCOMPARE(inputs[0].defaultText, QStringLiteral("cat.jpg"));
    QCOMPARE(inputs[0].helpFile, t.services.paths.helpFile());
    QCOMPARE(inputs[0].helpTopic, 9);
    QVERIFY(inputs[0].position.has_value());
    QCOMPARE(t.names(t.dir), QStringList{QStringLiteral("holiday.jpg")});
    QCOMPARE(readFile(t.dir + QStringLiteral("/holiday.jpg")), content);
    QCOMPARE(fileAttributes(t.dir + QStringLiteral("/holiday.jpg")), attr::Archive);
    QCOMPARE(t.window->File1->item(0), QStringLiteral("holiday.jpg"));
    // The window keeps naming the old file until the next selection.
    QCOMPARE(t.window->Label1->text(), cat);

    t.select(QStringLiteral("holiday.jpg"));
    t.dialogs.answerInput(QStringLiteral("holiday.gif"));
    t.ops->mnurename_Click();
    QCOMPARE(t.names(t.dir), QStringList{QStringLiteral("holiday.gif")});
    QCOMPARE(readFile(t.dir + QStringLiteral("/holiday.gif")), content);

    // The extension is the name's, even when a directory of the path has a dot.
    QCOMPARE(FileOperations::extensionOf(QStringLiteral("/my.pics/photo.jpeg")),
             QStringLiteral("jpeg"));
    QCOMPARE(FileOperations::extensionOf(QStringLiteral("/a/b.tar.gz")), QStringLiteral("tar."));
    QCOMPARE(FileOperations::extensionOf(QStringLiteral("/my.pics/README")), QString());
    QVERIFY(t.programLogLines().isEmpty());
}

void FileOpsTest::renameNeverReplacesAFile() {
    Ops t;
    const QString cat = t.picture(QStringLiteral("cat.jpg"), 10);
    const QString dog = t.picture(QStringLiteral("dog.jpg"), 200);
    const QByteArray catBytes = readFile(cat);
    const QByteArray dogBytes = readFile(dog);
    t.select(QStringLiteral("cat.jpg"));
    t.dialogs.answerInput(QStringLiteral("dog"));
    t.ops->mnurename_Click();
    const QString record = QStringLiteral("File rename ERROR 17 (File exists)");
    QCOMPARE(t.dialogs.beeps(), 1);
    const auto messages = t.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].title, record);
    QCOMPARE(
        messages[0].text,
        QStringLiteral("Unable to rename the selected file, the file or path may be corrupted"));
    QCOMPARE(messages[0].icon, Icon::Critical);
    QCOMPARE(t.programLogLines(), QStringList{"\"<d, t> " + record + "\""});
    QCOMPARE(readFile(cat), catBytes);
    QCOMPARE(readFile(dog), dogBytes);

    // Nor a directory of that name.
    QDir(t.dir).mkdir(QStringLiteral("sub.jpg"));
    t.dialogs.answerInput(QStringLiteral("sub"));
    t.ops->mnurename_Click();
    QCOMPARE(readFile(cat), catBytes);
    QVERIFY(QFileInfo(t.dir + QStringLiteral("/sub.jpg")).isDir());
}

void FileOpsTest::renameCancelAndPathsChangeNothing() {
    Ops t;
    const QString cat = t.picture(QStringLiteral("cat.jpg"));
    QDir(t.dir).mkdir(QStringLiteral("sub"));
    t.select(QStringLiteral("cat.jpg"));
    t.dialogs.cancelInput();
    t.ops->mnurename_Click();
    t.dialogs.answerInput(QString());
    t.ops->mnurename_Click();
    QVERIFY(t.dialogs.messages().empty());
    QVERIFY(QFileInfo::exists(cat));

    // A new name is no new place.
    t.dialogs.answerInput(QStringLiteral("sub/cat.jpg"));
    t.ops->mnurename_Click();
    QVERIFY(QFileInfo::exists(cat));
    QVERIFY(QDir(t.dir + QStringLiteral("/sub")).isEmpty());
    QCOMPARE(t.dialogs.messages().at(0).title,
             QStringLiteral("File rename ERROR 22 (Invalid argument)"));

    // The file is renamed in its own directory when the list shows another one.
    t.window->setDirPath(t.dir + QStringLiteral("/sub"));
    t.dialogs.answerInput(QStringLiteral("mouse"));
    t.ops->mnurename_Click();
    QVERIFY(QFileInfo::exists(t.dir + QStringLiteral("/mouse.jpg")));
    QVERIFY(QDir(t.dir + QStringLiteral("/sub")).isEmpty());
}

void FileOpsTest::saveAsCopyKeepsTheFormat() {
    Ops t;
    const QString out = t.env.makeDir(QStringLiteral("out"));
    const QString cat = t.picture(QStringLiteral("cat.jpg"));
    t.picture(QStringLiteral("dog.jpg"));
    t.select(QStringLiteral("cat.jpg"));
    t.window->Label6->setText(QStringLiteral("before"));

    // Cancel writes nothing but re-reads the list.
    t.dialogs.cancelFile();
    t.ops->saveas_Click();
    QCOMPARE(t.window->Label6->text(), QStringLiteral("2 File(s)"));
    QCOMPARE(t.window->Label7->text(), QStringLiteral("Current: "));
    const auto files = t.dialogs.files();
    QCOMPARE(files.size(), size_t(1));
    QCOMPARE(files[0].mode, FileDialogSpec::Mode::Save);
    QCOMPARE(files[0].title, QStringLiteral("Save As"));
    QCOMPARE(files[0].filters,
             QStringLiteral("Picture files (*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.emf;*.ico)|*.jpg;"
                            "*.jpeg;*.bmp;*.gif;*.wmf;*.emf;*.ico|BMP Picture (*.bmp)|*.bmp"));
    QCOMPARE(files[0].defaultExtension, QString());
    // The dialog opens in the file's directory, with no name.
    QCOMPARE(files[0].fileName, t.dir + QLatin1Char('/'));
    QVERIFY(files[0].confirmOverwrite);
    QCOMPARE(files[0].helpTopic, 10);
    QCOMPARE(files[0].helpFile, t.services.paths.helpFile());

    t.dialogs.answerFile(out + QStringLiteral("/copy.png"), 1);
    t.ops->saveas_Click();
    QCOMPARE(t.names(out), QStringList{QStringLiteral("copy.jpg")});
    QCOMPARE(readFile(out + QStringLiteral("/copy.jpg")), readFile(cat));

    // A name without a "." gives the copy no name: nothing is written.
    t.dialogs.answerFile(out + QStringLiteral("/plain"), 1);
    t.ops->saveas_Click();
    QCOMPARE(t.names(out), QStringList{QStringLiteral("copy.jpg")});
    QVERIFY(t.dialogs.messages().empty());
    QVERIFY(t.programLogLines().isEmpty());
}

void FileOpsTest::saveAsBitmapWritesTheHeldPicture() {
    Ops t;
    const QString out = t.env.makeDir(QStringLiteral("out"));
    t.picture(QStringLiteral("cat.jpg"), 100, QSize(64, 48));
    t.select(QStringLiteral("cat.jpg"));
    t.dialogs.answerFile(out + QStringLiteral("/shot"), 2);
    t.ops->saveas_Click();
    const QString shot = out + QStringLiteral("/shot");
    QVERIFY(QFileInfo::exists(shot));
    QCOMPARE(readFile(shot).left(2), QByteArray("BM"));
    QImageReader reader(shot);
    QCOMPARE(reader.format(), QByteArray("bmp"));
    const QImage image = reader.read();
    QCOMPARE(image.size(), QSize(64, 48));
    QCOMPARE(image.pixelColor(10, 10), t.window->Picture1->picture().pixelColor(10, 10));
    QProcess file;
    file.start(QStringLiteral("file"), {QStringLiteral("-b"), shot});
    if (file.waitForFinished(10000) && file.exitCode() == 0)
        QVERIFY2(file.readAllStandardOutput().contains("PC bitmap, Windows"),
                 "file(1) does not see a Windows bitmap");
    QCOMPARE(t.ops->saveDefaultExtension(), QStringLiteral(".bmp"));

    // From now on the dialog gives a bare name ".bmp".
    t.dialogs.answerFile(out + QStringLiteral("/second"), 2);
    t.ops->saveas_Click();
    QCOMPARE(t.dialogs.files().at(1).defaultExtension, QStringLiteral(".bmp"));
    // The dialog keeps its filter too, as chosen the time before.
    QCOMPARE(t.dialogs.files().at(0).filterIndex, 1);
    QCOMPARE(t.dialogs.files().at(1).filterIndex, 2);
    QVERIFY(QFileInfo::exists(out + QStringLiteral("/second.bmp")));
    // The copy variant then keeps the file's own extension.
    t.dialogs.answerFile(out + QStringLiteral("/third"), 1);
    t.ops->saveas_Click();
    QVERIFY(QFileInfo::exists(out + QStringLiteral("/third.jpg")));
    // Then where the last Save As went.
    QCOMPARE(t.dialogs.files().at(2).fileName, out + QLatin1Char('/'));
    QCOMPARE(t.dialogs.files().at(2).filterIndex, 2);
    QCOMPARE(t.names(out), (QStringList{QStringLiteral("second.bmp"), QStringLiteral("shot"),
                                        QStringLiteral("third.jpg")}));
}

void FileOpsTest::profiledPictureIsShownInScreenColoursAndLeavesAsSrgb() {
    // A screen with Adobe RGB's profile; a photo holding sRGB red in Display P3.
    QFile a98(QStringLiteral("/usr/share/color/icc/ghostscript/a98.icc"));
    if (!a98.open(QIODevice::ReadOnly))
        QSKIP("the Ghostscript colour profiles are not installed");
    Ops t;
    t.colour.setScreenProfile(a98.readAll());
    QImage photo(40, 30, QImage::Format_RGB32);
    photo.fill(qRgb(234, 51, 35)); // sRGB red in Display P3
    photo.setColorSpace(QColorSpace::DisplayP3);
    QVERIFY(photo.save(t.dir + QStringLiteral("/p3.jpg"), "JPG", 100));
    t.select(QStringLiteral("p3.jpg"));

    const auto near = [](QRgb c, QRgb expected) {
        return qAbs(qRed(c) - qRed(expected)) <= 4 && qAbs(qGreen(c) - qGreen(expected)) <= 4 &&
               qAbs(qBlue(c) - qBlue(expected)) <= 4;
    };
    const auto text = [](QRgb c) {
        return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
    };
    // On the screen: sRGB red as Adobe RGB gives it.
    const QRgb shown = t.window->Image1->grab().toImage().pixel(20, 15);
    QVERIFY2(near(shown, qRgb(219, 0, 0)), qPrintable(text(shown)));
    // A BMP and the clipboard carry no profile: sRGB.
    const QString out = t.env.makeDir(QStringLiteral("out"));
    t.dialogs.answerFile(out + QStringLiteral("/shot.bmp"), 2);
    t.ops->saveas_Click();
    const QRgb saved = QImage(out + QStringLiteral("/shot.bmp")).pixel(20, 15);
    QVERIFY2(near(saved, qRgb(255, 0, 0)), qPrintable(text(saved)));
    ClipboardCommands clipboard(*t.window, t.services);
    t.window->Command6->click();
    const QRgb copied = t.clipboard.picture().pixel(20, 15);
    QVERIFY2(near(copied, qRgb(255, 0, 0)), qPrintable(text(copied)));
}

void FileOpsTest::saveAsNeverWritesOverTheCurrentFile() {
    Ops t;
    const QString cat = t.picture(QStringLiteral("cat.jpg"));
    const QByteArray content = readFile(cat);
    t.select(QStringLiteral("cat.jpg"));
    t.dialogs.answerFile(t.dir + QStringLiteral("/cat.png"), 1);
    t.ops->saveas_Click();
    t.dialogs.answerFile(cat, 1);
    t.ops->saveas_Click();
    t.dialogs.answerFile(cat, 2);
    t.ops->saveas_Click();
    QCOMPARE(readFile(cat), content);
    QCOMPARE(t.names(t.dir), QStringList{QStringLiteral("cat.jpg")});
    QVERIFY(t.dialogs.messages().empty());
}

void FileOpsTest::saveAsAsksBeforeReplacingAnotherName() {
    Ops t;
    const QString out = t.env.makeDir(QStringLiteral("out"));
    const QString cat = t.picture(QStringLiteral("cat.jpg"));
    const QString other = out + QStringLiteral("/other.jpg");
    writeFile(other, "old");
    t.select(QStringLiteral("cat.jpg"));
    // The dialog asked about other.png; other.jpg is not replaced unasked.
    t.dialogs.answerFile(out + QStringLiteral("/other.png"), 1);
    t.dialogs.answerMessage(Answer::No);
    t.ops->saveas_Click();
    QCOMPARE(t.dialogs.messages().size(), size_t(1));
    QCOMPARE(t.dialogs.messages()[0].text, OverwriteText);
    QCOMPARE(readFile(other), QByteArray("old"));

    t.dialogs.answerFile(out + QStringLiteral("/other.png"), 1);
    t.dialogs.answerMessage(Answer::Yes);
    t.ops->saveas_Click();
    QCOMPARE(readFile(other), readFile(cat));

    // The name the dialog asked about is replaced without a second question.
    writeFile(other, "old");
    setFileAttributes(other, attr::ReadOnly | attr::Archive);
    t.dialogs.answerFile(other, 1);
    t.ops->saveas_Click();
    QCOMPARE(t.dialogs.messages().size(), size_t(2));
    QCOMPARE(readFile(other), readFile(cat));
    QCOMPARE(t.names(out), QStringList{QStringLiteral("other.jpg")});
}

void FileOpsTest::copyAndSaveAsTakeTheFrameShown() {
    Ops t;
    ClipboardCommands clipboard(*t.window, t.services);
    if (!makeAnimation(t.dir + QStringLiteral("/anim.gif"),
                       {QStringLiteral("red"), QStringLiteral("lime"), QStringLiteral("blue")}))
        QSKIP("convert cannot write GIF here");
    const QString out = t.env.makeDir(QStringLiteral("out"));
    t.window->show();
    t.select(QStringLiteral("anim.gif"));
    const auto shown = [&] { return QColor(t.window->Image1->shownImage().pixel(5, 5)); };
    QTRY_COMPARE(shown(), QColor(Qt::green));
    clipboard.Command6_Click();
    QCOMPARE(QColor(t.services.clipboard.picture().pixel(5, 5)), QColor(Qt::green));
    QTRY_COMPARE(shown(), QColor(Qt::blue));
    t.dialogs.answerFile(out + QStringLiteral("/frame.bmp"), 2);
    t.ops->saveas_Click();
    const QImage saved(out + QStringLiteral("/frame.bmp"));
    QCOMPARE(saved.size(), QSize(40, 30));
    QCOMPARE(QColor(saved.pixel(5, 5)), QColor(Qt::blue));
}

void FileOpsTest::saveAsInAnimationMode() {
    Ops t;
    const QString out = t.env.makeDir(QStringLiteral("out"));
    const QString clip = t.dir + QStringLiteral("/clip.avi");
    writeFile(clip, "not really a movie");
    t.window->setAnimationMode();
    t.window->setDirPath(t.dir);
    t.window->Label1->setText(clip);
    t.dialogs.answerFile(out + QStringLiteral("/saved"), 1);
    t.ops->saveas_Click();
    const FileDialogSpec spec = t.dialogs.files().at(0);
    QCOMPARE(spec.defaultExtension, QStringLiteral(".avi"));
    QCOMPARE(spec.filters, QStringLiteral("Animation files (*.avi;*.mpg;*.mpeg;*.mov)|*.avi;*.mpg;"
                                          "*.mpeg;*.mov"));
    QCOMPARE(readFile(out + QStringLiteral("/saved.avi")), readFile(clip));

    // The extension stays with the dialog in picture mode too.
    t.window->setPictureMode();
    t.ops->saveas_Click();
    QCOMPARE(t.dialogs.files().at(1).defaultExtension, QStringLiteral(".avi"));
}

void FileOpsTest::reducedPictureIsActedOnWhateverBecomesOfItsFile_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("renamed") << QStringLiteral("rename");
    QTest::newRow("deleted") << QStringLiteral("delete");
    QTest::newRow("replaced") << QStringLiteral("replace");
}

void FileOpsTest::reducedPictureIsActedOnWhateverBecomesOfItsFile() {
    QFETCH(QString, change);
    Ops t;
    t.settings.write(keys::AutoZoom, QStringLiteral("1"));
    t.window->setMinimumSize(0, 0);
    t.window->resize(800, 600);
    // A photo with detail a reduced decode loses: bands of one pixel.
    const auto striped = [](QRgb a, QRgb b) {
        QImage image(3200, 2400, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, ((x + y / 3) & 1) ? a : b);
        return image;
    };
    const QString path = t.dir + QStringLiteral("/photo.jpg");
    QVERIFY(striped(qRgb(250, 240, 10), qRgb(10, 20, 250)).save(path, "JPG", 90));
    const QImage original = QImage(path).convertToFormat(QImage::Format_RGB32);
    t.select(QStringLiteral("photo.jpg"));
    QCOMPARE(t.window->StatusBar1->text(4), QStringLiteral("Auto"));
    QCOMPARE(t.window->Image1->shownImage().size(), QSize(800, 600));

    if (change == QLatin1String("rename"))
        QVERIFY(QFile::rename(path, t.dir + QStringLiteral("/moved.jpg")));
    else if (change == QLatin1String("delete"))
        QVERIFY(QFile::remove(path));
    else // another picture of the same size under the name
        QVERIFY(striped(qRgb(200, 10, 10), qRgb(10, 200, 10)).save(path, "JPG", 90));

    const auto same = [&](const QImage& image) {
        return image.convertToFormat(QImage::Format_RGB32) == original;
    };
    // 1:1 shows the picture's own pixels.
    t.viewer->Option_Click(3);
    t.window->Image1->grab();
    QVERIFY(same(t.window->Image1->shownImage()));
    // The full-screen view, the clipboard, a BMP and a separate window get them too.
    t.viewer->Image1_Click();
    QVERIFY(same(t.viewer->fullScreen()->Image1->picture()));
    t.viewer->fullScreen()->hide();
    ClipboardCommands clipboard(*t.window, t.services);
    t.window->Command6->click();
    QVERIFY(same(t.clipboard.picture()));
    const QString out = t.env.makeDir(QStringLiteral("out"));
    t.dialogs.answerFile(out + QStringLiteral("/shot.bmp"), 2);
    t.ops->saveas_Click();
    QVERIFY(same(QImage(out + QStringLiteral("/shot.bmp"))));
    SeparateViewer separate(*t.window, t.services);
    separate.newwindow_Click();
    auto* window = qobject_cast<PictureWindow*>(separate.lastOpened());
    QVERIFY(window);
    QVERIFY(same(window->Image1->picture()));
    window->close();
}

void FileOpsTest::heldDeleteKeyDeletesOneFile() {
    Ops t; // "DelConfirmation" is "0"
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
        t.picture(QString::fromLatin1(name));
    t.select(QStringLiteral("a.jpg"));
    FileList* list = t.window->File1;
    // Held down: one press, then the keyboard's repeats of it.
    for (const bool repeat : {false, true, true, true}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(list, &press);
    }
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(list, &release);
    QCOMPARE(t.names(t.dir), QStringList({"b.jpg", "c.jpg", "d.jpg"}));
    QCOMPARE(list->fileName(), QStringLiteral("b.jpg"));
}

QTEST_MAIN(FileOpsTest)
#include "fileops_tests.moc"
