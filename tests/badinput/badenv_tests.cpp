// Hostile surroundings rather than hostile files, each met through the program's own commands:
// paths at the length limit, directories that vanish or become unreadable while shown, files
// that vanish between listing and click, symbolic-link loops, a read-only copy directory, a
// full disk, damaged settings files and movies that are no movies. Each time the program says
// what failed in its own words, stays usable, loses no file and leaves no half-written file
// under a real name.
//
// The suite runs as an ordinary user. Root reads and writes every file whatever its mode, so
// run as root, the cases that rest on permissions run in a child of this program that has given
// up root. A read-only disk is a tmpfs mounted read-only; a full disk is a small tmpfs and,
// again, a file-size limit. A mount needs root: those cases are test functions of their own,
// which the suite runs in its root pass, and which skip elsewhere. Named pipes stand where files
// belong, too: a reader that opens one without care waits for ever.
//
// The last line counts the bad inputs tried.

#include "browser/DirBrowserWindow.h"
#include "browser/DirectoryCommands.h"
#include "browser/MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "core/Startup.h"
#include "editor/EditorInfoListTarget.h"
#include "editor/EditorWindow.h"
#include "fileops/FileOperations.h"
#include "infolist/InfoListEditor.h"
#include "infolist/InfoListGenerator.h"
#include "movie/MovieControl.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "support/Fakes.h"
#include "support/FileSizeLimit.h"
#include "support/PictureBytes.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"
#include "viewer/SelectionViewer.h"
#include "viewer/SlideShow.h"
#include "viewer/VivoPlayerWindow.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

namespace {

// The bad inputs tried by this run (a child's count included), for the closing line.
int casesTried = 0;

const QString PictureMessage = QStringLiteral(
    "Unable to open the selected picture, the file may be corrupted. Please select another file "
    "or try using another program. If you want Lumorra to do this automatic, then check the box "
    "on the file properties window.");
const QString CopyMessage =
    QStringLiteral("Unable to copy the selected file, the file/path may be corrupted\nPlease "
                   "select another file or check the destination path");
const QString MoveMessage =
    QStringLiteral("Unable to move the selected file, the file/path may be corrupted\nPlease "
                   "select another file or check the destination path");
const QString AnimationMessage =
    QStringLiteral("Unable to open the selected animation, the file may be corrupted. Please "
                   "select another file or try using another program.");

QImage sample(QSize size = QSize(24, 16)) {
    return twoHalves(size, QColor(200, 30, 30), QColor(30, 30, 200));
}

QByteArray soundJpeg() {
    return encoded(sample(), "jpeg", 90);
}

// A JPEG of a 256 x 256 picture with padding behind its end: a picture any viewer shows, and a
// file larger than the small disks below.
QByteArray largeJpeg() {
    QByteArray bytes = encoded(sample(QSize(256, 256)), "jpeg", 90);
    return bytes + QByteArray(160 * 1024 - bytes.size(), '\x5a');
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Every name in a directory, hidden ones included: a temporary left behind shows here.
QStringList entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The main window with the parts whose commands meet the file system, on a private settings
// file and program directory.
struct Program : WindowTest {
    std::unique_ptr<SelectionViewer> viewer;
    FileOperations* files = nullptr;
    DirectoryCommands* directories = nullptr;
    InfoListGenerator* infoList = nullptr;
    SlideShow* slideShow = nullptr;
    EditorInfoListTarget infoListEditor;
    QStringList vivo;

    explicit Program(bool seedSettings = true) {
        if (seedSettings) {
            settings.write(keys::User, QStringLiteral("tester"));
            turnOff({keys::AutoZoom, keys::OLE, keys::DelConfirmation, keys::MoveConfirmation,
                     keys::AutoSkip});
        }
        openWindow();
        viewer = std::make_unique<SelectionViewer>(*window, services);
        viewer->showVivo = [this](const QString& path) { vivo << path; };
        files = new FileOperations(*window, services);
        directories = new DirectoryCommands(*window);
        slideShow = new SlideShow(*window, services);
        infoList = new InfoListGenerator(*window, services);
        infoList->editor = [this]() -> InfoListEditor* {
            infoListEditor.editor =
                EditorWindow::ensure(services, window->secondaryWindows(), window.get());
            return &infoListEditor;
        };
    }
    ~Program() { window->AM1->setFileName(QString()); }

    QString makeDir(const QString& name) const { return env.makeDir(name); }
    QString picture(const QString& dir, const QString& name,
                    const QByteArray& bytes = soundJpeg()) const {
        const QString path = dir + QLatin1Char('/') + name;
        if (!writeBytes(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    // Lists the directory with every file name.
    void show(const QString& dir) {
        window->setDirPath(dir);
        window->setFilePattern(QStringLiteral("*"));
    }
    int indexOf(const QString& name) const {
        for (int i = 0; i < window->File1->count(); ++i) {
            if (window->File1->item(i) == name)
                return i;
        }
        return -1;
    }
    // Selects a listed file, as a click does.
    bool select(const QString& name) {
        const int i = indexOf(name);
        if (i >= 0)
            window->File1->setListIndex(i);
        return i >= 0;
    }
    void useAsCopyDir(const QString& dir) { window->setCopyDir(directoryText(dir)); }
    // "parent/shown" listed with one.jpg and two.jpg, and an empty "copies" beside it.
    struct Shown {
        QString parent, dir, copyDir;
    };
    Shown showTwoPictures() {
        Shown s{makeDir(QStringLiteral("parent")), makeDir(QStringLiteral("parent/shown")),
                makeDir(QStringLiteral("copies"))};
        picture(s.dir, QStringLiteral("one.jpg"));
        picture(s.dir, QStringLiteral("two.jpg"));
        show(s.dir);
        return s;
    }

    std::vector<MessageBoxSpec> messages() const { return dialogs.messages(); }
    QString lastTitle() const {
        const auto m = dialogs.messages();
        return m.empty() ? QString() : m.back().title;
    }
};

// The window is at rest, takes input and shows a sound picture from another directory.
void expectUsable(Program& p) {
    QCOMPARE(p.window->windowTitle(), QStringLiteral("Lumorra"));
    QVERIFY(p.window->isEnabled());
    const size_t before = p.messages().size();
    const QString good = p.makeDir(QStringLiteral("good"));
    p.picture(good, QStringLiteral("good.jpg"));
    p.show(good);
    QCOMPARE(p.window->Dir1->path(), good);
    QVERIFY(p.select(QStringLiteral("good.jpg")));
    QCOMPARE(p.messages().size(), before);
    QVERIFY(p.window->Image1->hasPicture());
    QCOMPARE(p.window->Label5->text(), QStringLiteral("24 x 16"));
    QCOMPARE(p.window->windowTitle(), QStringLiteral("Lumorra"));
}

// The last message is the program's failure report of that title, with the beep and the
// program log record the failure handler writes.
void expectReport(Program& p, const QString& title, const QString& text) {
    const auto messages = p.messages();
    QVERIFY2(!messages.empty(), "no message");
    QCOMPARE(messages.back().title, title);
    QCOMPARE(messages.back().text, text);
    QCOMPARE(messages.back().icon, Icon::Critical);
    QVERIFY(p.dialogs.beeps() >= 1);
    QVERIFY(p.programLogLines().contains(QStringLiteral("\"<d, t> ") + title + '"'));
}

#define CHECKED(call)                                                                              \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

// A tmpfs of the given size mounted on a directory while the object lives; mounted only where
// this process may mount.
struct SmallDisk {
    QByteArray path;
    bool mounted = false;
    SmallDisk(const QString& dir, const char* size) : path(QFile::encodeName(dir)) {
        QDir().mkpath(dir);
        mounted = ::mount("tmpfs", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, size) == 0;
    }
    bool makeReadOnly(const char* size) {
        return ::mount("tmpfs", path.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, size) == 0;
    }
    ~SmallDisk() {
        if (mounted)
            ::umount2(path.constData(), MNT_DETACH);
    }
};

// A directory chain of the given path length in bytes (made of names of the given length),
// created with relative steps so it may end beyond the length limit. Returns the deepest path.
QString deepDirectory(const QString& base, int length, int nameLength = 200) {
    QByteArray path = QFile::encodeName(base);
    int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int step = 0;
    while (fd >= 0 && path.size() < length) {
        const int room = length - int(path.size()) - 1;
        QByteArray name(qMin(nameLength, room), char('a' + step++ % 26));
        if (name.isEmpty())
            break;
        if (::mkdirat(fd, name.constData(), 0755) != 0 && errno != EEXIST)
            break;
        const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        path += '/' + name;
    }
    if (fd >= 0)
        ::close(fd);
    return QFile::decodeName(path);
}

// Creates a file in a directory whose own path may be beyond the limit, by walking there.
bool writeDeep(const QString& dir, const QByteArray& name, const QByteArray& bytes) {
    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const QByteArray& part : QFile::encodeName(dir).split('/')) {
        if (part.isEmpty() || fd < 0)
            continue;
        const int next = ::openat(fd, part.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    const int out = ::openat(fd, name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::close(fd);
    if (out < 0)
        return false;
    const bool ok = ::write(out, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(out);
    return ok;
}

// Removes a tree that may be deeper than the length limit allows a path to be.
void removeTree(const QString& dir) {
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--"), dir});
}

// Whether the test runs with root's power over file modes; such a test runs again as nobody.
bool privileged() {
    return ::geteuid() == 0;
}

// Runs every row of one test function of this program again as the user nobody and reports
// its outcome; the rows' count joins this run's.
bool rerunUnprivileged(const char* function) {
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(QStringLiteral("/tmp"));
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                 QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                 QString::fromLatin1(function)});
    if (!child.waitForFinished(240000)) {
        child.kill();
        child.waitForFinished();
        qWarning("the unprivileged run of %s did not end", function);
        return false;
    }
    const QByteArray output = child.readAll();
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith("bad inputs tried: "))
            casesTried += line.mid(18).split(',').front().toInt();
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        std::fputs(output.constData(), stderr);
        return false;
    }
    return true;
}

// For the cases that rest on file modes. Root runs the whole function once as nobody, at its
// first row, and skips the rows after it; anyone else runs each row here.
#define UNPRIVILEGED_ONLY()                                                                        \
    do {                                                                                           \
        if (privileged()) {                                                                        \
            --casesTried; /* counted by the child */                                               \
            if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())               \
                QSKIP("running as root without setpriv: root ignores file modes");                 \
            static bool delegated = false;                                                         \
            if (delegated)                                                                         \
                QSKIP("run as the user nobody with the first row");                                \
            delegated = true;                                                                      \
            QVERIFY2(rerunUnprivileged(QTest::currentTestFunction()),                              \
                     "the run as the user nobody failed");                                         \
            return;                                                                                \
        }                                                                                          \
    } while (false)

enum class Action {
    Select,
    Copy,
    Move,
    Rename,
    Delete,
    SaveAs,
    SubDir,
    RenameDir,
    InfoList,
    DirBrowser,
    Reopen,
    SlideShow,
    CopyIntoVanished,
    MoveIntoVanished,
};

} // namespace

Q_DECLARE_METATYPE(Action)

class BadEnvironmentTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ++casesTried; }
    void cleanupTestCase();

    void pathsAtTheLengthLimit();
    void deepDirectoryChain();
    void vanishedDirectory_data();
    void vanishedDirectory();
    void unreadableDirectory_data();
    void unreadableDirectory();
    void vanishedFile_data();
    void vanishedFile();
    void symbolicLinkLoops();
    void namedPipesWhereFilesBelong();
    void readOnlyCopyDirectory_data() { readOnlyCopyDirectoryRows(true); }
    void readOnlyCopyDirectory();
    // The same on a read-only file system, and a full one: mounting them needs root.
    void readOnlyMountedCopyDirectory_data() { readOnlyCopyDirectoryRows(false); }
    void readOnlyMountedCopyDirectory() { readOnlyCopyDirectory(); }
    void fullDisk_data() { fullDiskRows(false); }
    void fullDisk();
    void fullMountedDisk_data() { fullDiskRows(true); }
    void fullMountedDisk();
    void fullDiskUnderTheProgramLog();
    void damagedSettings_data();
    void damagedSettings();
    void moviesThatAreNoMovies_data();
    void moviesThatAreNoMovies();

private:
    static void readOnlyCopyDirectoryRows(bool byMode);
    static void fullDiskRows(bool tmpfs);
};

void BadEnvironmentTest::cleanupTestCase() {
    std::printf("bad inputs tried: %d, crashes 0, hangs 0, files lost 0, half files left 0\n",
                casesTried);
    std::fflush(stdout);
}

void BadEnvironmentTest::pathsAtTheLengthLimit() {
    Program p;
    const QString base = p.makeDir(QStringLiteral("long"));
    const QString copyDir = p.makeDir(QStringLiteral("copies"));
    // A directory 3,900 bytes long: a file name of 190 bytes stays within the 4,095 bytes a
    // path may have; one of 250 bytes goes beyond it.
    const QString deep = deepDirectory(base, 3900);
    QCOMPARE(QFile::encodeName(deep).size(), 3900);
    const QString within = QString(190, QLatin1Char('w')) + QStringLiteral(".jpg");
    const QString beyond = QString(246, QLatin1Char('b')) + QStringLiteral(".jpg");
    QVERIFY(writeBytes(deep + QLatin1Char('/') + within, soundJpeg()));
    QVERIFY(writeDeep(deep, QFile::encodeName(beyond), soundJpeg()));
    QVERIFY(QFile::encodeName(deep + QLatin1Char('/') + within).size() < 4096);
    QVERIFY(QFile::encodeName(deep + QLatin1Char('/') + beyond).size() > 4096);

    // Listing: both names show.
    p.show(deep);
    QCOMPARE(p.window->Dir1->path(), deep);
    QCOMPARE(p.window->File1->count(), 2);
    QCOMPARE(p.window->Label6->text(), QStringLiteral("2 File(s)"));

    // Showing and copying the file within the limit work as anywhere.
    ++casesTried;
    QVERIFY(p.select(within));
    QVERIFY(p.messages().empty());
    QVERIFY(p.window->Image1->hasPicture());
    QCOMPARE(p.window->Label1->text(), deep + QLatin1Char('/') + within);
    p.useAsCopyDir(copyDir);
    ++casesTried;
    p.files->Command2_Click();
    QVERIFY(p.messages().empty());
    QCOMPARE(p.window->Command2->text(), QStringLiteral("File Copied"));
    QCOMPARE(readFile(copyDir + QLatin1Char('/') + within), soundJpeg());

    // A rename that would take the path beyond the limit fails and keeps the file.
    ++casesTried;
    p.dialogs.answerInput(QString(240, QLatin1Char('r')) + QStringLiteral(".jpg"));
    p.files->mnurename_Click();
    CHECKED(expectReport(p, QStringLiteral("File rename ERROR 36 (File name too long)"),
                         QStringLiteral("Unable to rename the selected file, the file or path may "
                                        "be corrupted")));
    QCOMPARE(readFile(deep + QLatin1Char('/') + within), soundJpeg());

    // The file beyond the limit is listed but cannot be opened by its path: the program's
    // own messages, and nothing is written.
    ++casesTried;
    QVERIFY(p.select(beyond));
    CHECKED(expectReport(p, QStringLiteral("Picture load ERROR 36 (File name too long)"),
                         PictureMessage));
    QCOMPARE(p.window->windowTitle(), QStringLiteral("Lumorra"));
    ++casesTried;
    p.files->Command2_Click();
    CHECKED(
        expectReport(p, QStringLiteral("File copy ERROR 36 (File name too long)"), CopyMessage));
    ++casesTried;
    p.files->Command7_Click();
    CHECKED(
        expectReport(p, QStringLiteral("File move ERROR 36 (File name too long)"), MoveMessage));
    ++casesTried;
    p.dialogs.answerInput(QStringLiteral("short.jpg"));
    p.files->mnurename_Click();
    CHECKED(expectReport(p, QStringLiteral("File rename ERROR 36 (File name too long)"),
                         QStringLiteral("Unable to rename the selected file, the file or path may "
                                        "be corrupted")));
    QCOMPARE(entries(copyDir), QStringList({within}));

    // A copy directory so deep that the copy's path would pass the limit: the copy fails,
    // and the copy directory holds nothing new.
    ++casesTried;
    const QString source = p.picture(p.makeDir(QStringLiteral("short")),
                                     QString(250, QLatin1Char('s')) + QStringLiteral(".jpg"));
    p.show(QFileInfo(source).path());
    QVERIFY(p.select(QFileInfo(source).fileName()));
    p.window->setCopyDir(directoryText(deep));
    p.files->Command7_Click();
    CHECKED(
        expectReport(p, QStringLiteral("File move ERROR 36 (File name too long)"), MoveMessage));
    QCOMPARE(readFile(source), soundJpeg());
    QCOMPARE(entries(deep), QStringList({beyond, within}));

    // The info list of the deep directory names the file within the limit, then stops at the
    // one beyond it with its message.
    ++casesTried;
    p.show(deep);
    p.infoList->mnuinfolist_Click();
    CHECKED(expectReport(p, QStringLiteral("File list creation ERROR 36 (File name too long)"),
                         QStringLiteral("Unable to create file list.")));
    QVERIFY(p.window->isEnabled());
    QVERIFY(!p.infoList->progressWindow());

    // A directory beyond the limit: the directory list stays where it is.
    ++casesTried;
    const QString deeper = deepDirectory(deep, 4300);
    p.show(deep);
    QVERIFY_THROWS_EXCEPTION(Error, p.window->setDirPath(deeper));
    QCOMPARE(p.window->Dir1->path(), deep);
    QTreeWidgetItem* sub = p.window->Dir1->currentItem()->child(0);
    QVERIFY(sub);
    emit p.window->Dir1->itemActivated(sub, 0);
    QCOMPARE(p.window->Dir1->path(), deep);
    QCOMPARE(p.window->File1->path(), deep);
    CHECKED(expectUsable(p));
    removeTree(base);
}

void BadEnvironmentTest::deepDirectoryChain() {
    // 2,000 directories of one letter each, the deepest path 4,000 bytes long.
    Program p;
    // In memory where the system has a place for it: 2,000 directories are slow to make on disk.
    QTemporaryDir memory(QStringLiteral("/dev/shm/lumorra-chain-XXXXXX"));
    const QString base = memory.isValid() ? memory.path() : p.makeDir(QStringLiteral("chain"));
    const QString deep = deepDirectory(base, 4000, 1);
    QVERIFY(deep.count(QLatin1Char('/')) > 1900);
    p.picture(deep, QStringLiteral("x.jpg"));

    ++casesTried;
    p.show(deep);
    QCOMPARE(p.window->Dir1->path(), deep);
    QCOMPARE(p.window->File1->count(), 1);
    QVERIFY(p.select(QStringLiteral("x.jpg")));
    QVERIFY(p.messages().empty());
    QVERIFY(p.window->Image1->hasPicture());

    // Its parent by a double click.
    ++casesTried;
    QTreeWidgetItem* item = p.window->Dir1->currentItem();
    QVERIFY(item && item->parent());
    emit p.window->Dir1->itemActivated(item->parent(), 0);
    QCOMPARE(p.window->Dir1->path(), QFileInfo(deep).path());

    // The DIR browser at the deepest directory, and a sub directory that would pass the limit.
    ++casesTried;
    p.useAsCopyDir(deep);
    {
        DirBrowserWindow browser(*p.window, p.window.get());
        QCOMPARE(browser.Dir1->path(), deep);
        p.dialogs.answerInput(QString(120, QLatin1Char('n')));
        browser.Command4_Click();
        QCOMPARE(p.lastTitle(), QStringLiteral("ERROR 36 (File name too long)"));
    }
    ++casesTried;
    p.show(deep);
    p.dialogs.answerInput(QString(120, QLatin1Char('n')));
    p.directories->mnusub_Click();
    QCOMPARE(p.lastTitle(), QStringLiteral("SubDIR Creation ERROR 36 (File name too long)"));
    QCOMPARE(entries(deep), QStringList({"x.jpg"}));

    // The info list of the deepest directory.
    ++casesTried;
    p.infoList->mnuinfolist_Click();
    QVERIFY(p.infoListEditor.editor);
    QVERIFY(p.infoListEditor.editor->text().contains(QStringLiteral("Total 1 File(s)")));

    // A copy into it and a move back out.
    ++casesTried;
    const QString other = p.makeDir(QStringLiteral("other"));
    const QString source = p.picture(other, QStringLiteral("y.jpg"));
    p.show(other);
    QVERIFY(p.select(QStringLiteral("y.jpg")));
    p.files->Command7_Click();
    QCOMPARE(p.window->Command7->text(), QStringLiteral("File Moved"));
    QVERIFY(!QFileInfo::exists(source));
    QCOMPARE(readFile(deep + QStringLiteral("/y.jpg")), soundJpeg());
    CHECKED(expectUsable(p));
    removeTree(base);
}

void BadEnvironmentTest::vanishedDirectory_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("title");
    QTest::addRow("select") << Action::Select << "Picture load ERROR 2 (No such file or directory)";
    QTest::addRow("copy") << Action::Copy << "File copy ERROR 2 (No such file or directory)";
    QTest::addRow("move") << Action::Move << "File move ERROR 2 (No such file or directory)";
    QTest::addRow("rename") << Action::Rename << "File rename ERROR 2 (No such file or directory)";
    QTest::addRow("delete") << Action::Delete << "File delete ERROR 2 (No such file or directory)";
    QTest::addRow("save as") << Action::SaveAs << QString();
    QTest::addRow("create sub directory")
        << Action::SubDir << "SubDIR Creation ERROR 2 (No such file or directory)";
    QTest::addRow("rename directory") << Action::RenameDir << "Directory rename ERROR";
    QTest::addRow("info list") << Action::InfoList << "File list creation ERROR";
    QTest::addRow("DIR browser") << Action::DirBrowser << QString();
    QTest::addRow("open again") << Action::Reopen << QString();
    QTest::addRow("slide show") << Action::SlideShow
                                << "Picture load ERROR 2 (No such file or directory)";
    // The copy directory, not the shown one, went away.
    QTest::addRow("copy into it") << Action::CopyIntoVanished
                                  << "File copy ERROR 2 (No such file or directory)";
    QTest::addRow("move into it") << Action::MoveIntoVanished
                                  << "File move ERROR 2 (No such file or directory)";
}

void BadEnvironmentTest::vanishedDirectory() {
    QFETCH(Action, action);
    QFETCH(QString, title);
    Program p;
    const auto [parent, dir, copyDir] = p.showTwoPictures();
    QVERIFY(p.select(QStringLiteral("one.jpg")));
    p.useAsCopyDir(action == Action::DirBrowser ? dir : copyDir);
    QVERIFY(p.messages().empty());

    const bool copyDirGoes =
        action == Action::CopyIntoVanished || action == Action::MoveIntoVanished;
    QVERIFY(QDir(copyDirGoes ? copyDir : dir).removeRecursively());
    switch (action) {
    case Action::CopyIntoVanished:
        p.files->Command2_Click();
        QCOMPARE(entries(dir), QStringList({"one.jpg", "two.jpg"}));
        break;
    case Action::MoveIntoVanished:
        p.files->Command7_Click();
        QCOMPARE(entries(dir), QStringList({"one.jpg", "two.jpg"}));
        QCOMPARE(readFile(dir + QStringLiteral("/one.jpg")), soundJpeg());
        break;
    case Action::Select:
        QVERIFY(p.select(QStringLiteral("two.jpg")));
        QCOMPARE(p.window->Label1->text(), dir + QStringLiteral("/two.jpg"));
        break;
    case Action::Copy:
        p.files->Command2_Click();
        break;
    case Action::Move:
        p.files->Command7_Click();
        break;
    case Action::Rename:
        p.dialogs.answerInput(QStringLiteral("renamed"));
        p.files->mnurename_Click();
        break;
    case Action::Delete:
        p.files->mnudelete_Click();
        break;
    case Action::SaveAs:
        // Nothing is written and nothing said; the re-read list shows what is there: nothing.
        p.dialogs.answerFile(copyDir + QStringLiteral("/saved.jpg"));
        p.files->saveas_Click();
        QCOMPARE(p.window->File1->count(), 0);
        QCOMPARE(p.window->Label6->text(), QStringLiteral("0 File(s)"));
        break;
    case Action::SubDir:
        p.dialogs.answerInput(QStringLiteral("sub"));
        p.directories->mnusub_Click();
        QVERIFY(!QFileInfo::exists(dir));
        break;
    case Action::RenameDir:
        p.dialogs.answerInput(parent + QStringLiteral("/other"));
        p.directories->mnurenamedir_Click();
        QVERIFY(!QFileInfo::exists(parent + QStringLiteral("/other")));
        break;
    case Action::InfoList:
        p.infoList->mnuinfolist_Click();
        QVERIFY(!p.infoList->progressWindow());
        break;
    case Action::DirBrowser: {
        // The copy directory is gone too: the browser opens at a directory that exists.
        DirBrowserWindow browser(*p.window, p.window.get());
        QVERIFY(!browser.Dir1->path().isEmpty());
        QVERIFY(QFileInfo(browser.Dir1->path()).isDir());
        browser.Command1_Click();
        QCOMPARE(p.window->copyDir(), directoryText(browser.Dir1->path()));
        break;
    }
    case Action::Reopen: {
        // The directory list still shows it; a double click on its parent opens the parent,
        // which no longer lists it, and the directory itself cannot be opened again.
        QTreeWidgetItem* item = p.window->Dir1->currentItem();
        QVERIFY(item && item->parent());
        emit p.window->Dir1->itemActivated(item->parent(), 0);
        QCOMPARE(p.window->Dir1->path(), parent);
        QCOMPARE(p.window->Dir1->currentItem()->childCount(), 0);
        QCOMPARE(p.window->File1->count(), 0);
        QVERIFY_THROWS_EXCEPTION(Error, p.window->setDirPath(dir));
        QCOMPARE(p.window->Dir1->path(), parent);
        break;
    }
    case Action::SlideShow:
        p.window->setIntervalText(QStringLiteral("2"));
        p.slideShow->Command4_Click();
        QVERIFY(p.slideShow->running());
        p.slideShow->Timer1_Timer();
        QCOMPARE(p.window->File1->listIndex(), 1);
        p.slideShow->Command5_Click();
        break;
    }
    if (title.isEmpty()) {
        QVERIFY(p.messages().empty());
    } else {
        QCOMPARE(p.messages().size(), size_t(1));
        QCOMPARE(p.lastTitle(), title);
        QCOMPARE(p.messages().back().icon, Icon::Critical);
    }
    QCOMPARE(p.window->windowTitle(), QStringLiteral("Lumorra"));
    QCOMPARE(entries(copyDir), QStringList());
    CHECKED(expectUsable(p));
}

void BadEnvironmentTest::unreadableDirectory_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("fileOnly"); // the file, not its directory, becomes unreadable
    QTest::addRow("select") << Action::Select << "Picture load ERROR 13 (Permission denied)"
                            << false;
    QTest::addRow("copy") << Action::Copy << "File copy ERROR 13 (Permission denied)" << false;
    QTest::addRow("move") << Action::Move << "File move ERROR 13 (Permission denied)" << false;
    QTest::addRow("info list") << Action::InfoList << "File list creation ERROR" << false;
    QTest::addRow("DIR browser") << Action::DirBrowser << QString() << false;
    QTest::addRow("open again") << Action::Reopen << QString() << false;
    QTest::addRow("select an unreadable file")
        << Action::Select << "Picture load ERROR 13 (Permission denied)" << true;
    QTest::addRow("copy an unreadable file")
        << Action::Copy << "File copy ERROR 13 (Permission denied)" << true;
    QTest::addRow("move an unreadable file")
        << Action::Move << "File move ERROR 13 (Permission denied)" << true;
    QTest::addRow("info list with an unreadable file") << Action::InfoList << QString() << true;
}

void BadEnvironmentTest::unreadableDirectory() {
    UNPRIVILEGED_ONLY();
    QFETCH(Action, action);
    QFETCH(QString, title);
    QFETCH(bool, fileOnly);
    Program p;
    const auto [parent, dir, copyDir] = p.showTwoPictures();
    QVERIFY(p.select(fileOnly ? QStringLiteral("two.jpg") : QStringLiteral("one.jpg")));
    p.useAsCopyDir(action == Action::DirBrowser ? dir : copyDir);

    const QString locked = fileOnly ? dir + QStringLiteral("/two.jpg") : dir;
    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0) == 0);
    struct Restore {
        QByteArray path;
        mode_t mode;
        ~Restore() { ::chmod(path.constData(), mode); }
    } restore{QFile::encodeName(locked), mode_t(fileOnly ? 0644 : 0755)};
    if (fileOnly && action == Action::Select)
        QVERIFY(p.select(QStringLiteral("one.jpg")));
    switch (action) {
    case Action::Select:
        QVERIFY(p.select(QStringLiteral("two.jpg")));
        break;
    case Action::Copy:
        p.files->Command2_Click();
        break;
    case Action::Move:
        p.files->Command7_Click();
        break;
    case Action::InfoList:
        p.infoList->mnuinfolist_Click();
        if (fileOnly) {
            // Name, size and date need no reading of the file: both files are listed.
            QVERIFY(p.infoListEditor.editor);
            QVERIFY2(p.infoListEditor.editor->text().contains(QStringLiteral("Total 2 File(s)")),
                     qPrintable(p.infoListEditor.editor->text()));
        }
        break;
    case Action::DirBrowser: {
        DirBrowserWindow browser(*p.window, p.window.get());
        QVERIFY(QFileInfo(browser.Dir1->path()).isReadable());
        QVERIFY(browser.Dir1->path() != dir);
        break;
    }
    case Action::Reopen: {
        QTreeWidgetItem* item = p.window->Dir1->currentItem();
        QVERIFY(item && item->parent());
        emit p.window->Dir1->itemActivated(item->parent(), 0);
        QCOMPARE(p.window->Dir1->path(), parent);
        QVERIFY_THROWS_EXCEPTION(Error, p.window->setDirPath(dir));
        QCOMPARE(p.window->Dir1->path(), parent);
        break;
    }
    default:
        QFAIL("no such case");
    }
    if (title.isEmpty()) {
        QVERIFY(p.messages().empty());
    } else {
        QCOMPARE(p.messages().size(), size_t(1));
        QCOMPARE(p.lastTitle(), title);
    }
    ::chmod(QFile::encodeName(locked).constData(), fileOnly ? 0644 : 0755);
    QCOMPARE(entries(dir), QStringList({"one.jpg", "two.jpg"}));
    QCOMPARE(readFile(dir + QStringLiteral("/two.jpg")), soundJpeg());
    QCOMPARE(entries(copyDir), QStringList());
    CHECKED(expectUsable(p));
}

void BadEnvironmentTest::vanishedFile_data() {
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("title");
    QTest::addRow("gone") << QString() << "Picture load ERROR 2 (No such file or directory)";
    QTest::addRow("now a directory") << "directory"
                                     << "Picture load ERROR 21 (Is a directory)";
    QTest::addRow("now a dangling link") << "dangling"
                                         << "Picture load ERROR 2 (No such file or directory)";
    QTest::addRow("now a link loop") << "loop"
                                     << "Picture load ERROR 40 (Too many levels of symbolic links)";
    // A named pipe opened for reading waits for a writer that never comes.
    QTest::addRow("now a named pipe") << "fifo"
                                      << "Picture load ERROR 481 (Invalid picture)";
}

void BadEnvironmentTest::vanishedFile() {
    QFETCH(QString, replacement);
    QFETCH(QString, title);
    Program p;
    const QString dir = p.makeDir(QStringLiteral("pics"));
    p.picture(dir, QStringLiteral("1.jpg"));
    const QString second = p.picture(dir, QStringLiteral("2.jpg"));
    p.picture(dir, QStringLiteral("3.jpg"));
    p.show(dir);
    // The first picture shown: its neighbour is read ahead, and then goes away.
    QVERIFY(p.select(QStringLiteral("1.jpg")));
    QTest::qWait(50);
    QVERIFY(QFile::remove(second));
    const QByteArray local = QFile::encodeName(second);
    if (replacement == QLatin1String("directory"))
        QVERIFY(QDir().mkdir(second));
    else if (replacement == QLatin1String("dangling"))
        QVERIFY(::symlink("nowhere.jpg", local.constData()) == 0);
    else if (replacement == QLatin1String("loop"))
        QVERIFY(::symlink("2.jpg", local.constData()) == 0);
    else if (replacement == QLatin1String("fifo"))
        QVERIFY(::mkfifo(local.constData(), 0644) == 0);

    QVERIFY(p.select(QStringLiteral("2.jpg")));
    const auto messages = p.messages();
    QCOMPARE(messages.size(), size_t(1));
    CHECKED(expectReport(p, title, PictureMessage));
    QCOMPARE(p.window->Label1->text(), second);
    QCOMPARE(p.window->windowTitle(), QStringLiteral("Lumorra"));
    QCOMPARE(p.window->File1->listIndex(), 1);
    QVERIFY(p.window->Command2->isEnabled());
    // The next key goes on to the next file, which shows.
    p.window->File1->setListIndex(2);
    QCOMPARE(p.messages().size(), size_t(1));
    QCOMPARE(p.window->Label7->text(), QStringLiteral("Current: 3"));
    // A copy and a Save As of the entry that went away write nothing.
    p.window->File1->setListIndex(1);
    const QString copyDir = p.makeDir(QStringLiteral("copies"));
    p.useAsCopyDir(copyDir);
    p.files->Command2_Click();
    QVERIFY2(p.lastTitle().startsWith(QStringLiteral("File copy ERROR ")),
             qPrintable(p.lastTitle()));
    const size_t reported = p.messages().size();
    p.dialogs.answerFile(copyDir + QStringLiteral("/saved.jpg"));
    p.files->saveas_Click();
    QCOMPARE(p.messages().size(), reported);
    QCOMPARE(entries(copyDir), QStringList());
    // A delete of the entry that went away says so and keeps the other files.
    p.files->mnudelete_Click();
    QVERIFY(p.lastTitle().startsWith(QStringLiteral("File delete ERROR ")));
    QCOMPARE(readFile(dir + QStringLiteral("/1.jpg")), soundJpeg());
    QCOMPARE(readFile(dir + QStringLiteral("/3.jpg")), soundJpeg());
    CHECKED(expectUsable(p));
}

void BadEnvironmentTest::symbolicLinkLoops() {
    Program p;
    const QString dir = p.makeDir(QStringLiteral("loops"));
    p.picture(dir, QStringLiteral("real.jpg"));
    const auto link = [&](const char* target, const char* name) {
        return ::symlink(
                   target,
                   QFile::encodeName(dir + QLatin1Char('/') + QLatin1String(name)).constData()) ==
               0;
    };
    QVERIFY(link("b.jpg", "a.jpg")); // a -> b -> a
    QVERIFY(link("a.jpg", "b.jpg"));
    QVERIFY(link("self.jpg", "self.jpg"));
    QVERIFY(link("..", "up")); // the parent
    // The directory itself, under a long name, so the path grows fast.
    const QByteArray here(200, 'h');
    QVERIFY(link(".", here.constData()));
    QVERIFY(link("x", "y")); // a directory loop
    QVERIFY(link("y", "x"));

    // The file list shows the one file; the loops are no files.
    p.show(dir);
    QCOMPARE(p.window->File1->count(), 1);
    QCOMPARE(p.window->File1->item(0), QStringLiteral("real.jpg"));
    QVERIFY(p.messages().empty());

    // The directory list shows the links to directories; opening one after the other goes
    // deeper and deeper by name until the path is too long, never further.
    QTreeWidgetItem* current = p.window->Dir1->currentItem();
    QStringList subdirs;
    for (int i = 0; i < current->childCount(); ++i)
        subdirs << current->child(i)->text(0);
    QCOMPARE(subdirs, QStringList({QString::fromLatin1(here), "up"}));
    int steps = 0;
    for (QString before; p.window->Dir1->path() != before && steps < 40; ++steps) {
        before = p.window->Dir1->path();
        current = p.window->Dir1->currentItem();
        for (int i = 0; i < current->childCount(); ++i) {
            if (current->child(i)->text(0) == QLatin1String(here)) {
                // The list fills itself afresh: the items seen here are gone after this.
                emit p.window->Dir1->itemActivated(current->child(i), 0);
                break;
            }
        }
        ++casesTried;
    }
    QVERIFY2(steps < 40, "the directory list went on for ever");
    QVERIFY(QFile::encodeName(p.window->Dir1->path()).size() < 4096);
    QCOMPARE(p.window->File1->count(), 1);

    // The info list lists the files of the directory and ends.
    ++casesTried;
    p.show(dir);
    p.infoList->mnuinfolist_Click();
    QVERIFY(p.messages().empty());
    QVERIFY(p.infoListEditor.editor);
    const QString list = p.infoListEditor.editor->text();
    QVERIFY2(list.contains(QStringLiteral("Total 1 File(s)")), qPrintable(list));
    QVERIFY(list.contains(QStringLiteral("real.jpg")));

    // The DIR browser opens at a copy directory reached through the loop.
    ++casesTried;
    const QString looped = dir + QLatin1Char('/') + QString::fromLatin1(here) +
                           QStringLiteral("/up/loops/") + QString::fromLatin1(here);
    p.window->setCopyDir(looped + QLatin1Char('/'));
    {
        DirBrowserWindow browser(*p.window, p.window.get());
        QCOMPARE(browser.Dir1->path(), looped);
        QVERIFY(browser.Dir1->currentItem());
    }

    // A move into the copy directory that is the file's own directory by another path is
    // refused and keeps the file.
    ++casesTried;
    QVERIFY(p.select(QStringLiteral("real.jpg")));
    p.files->Command7_Click();
    CHECKED(expectReport(p, QStringLiteral("Unknown File Move ERROR"), MoveMessage));
    QCOMPARE(readFile(dir + QStringLiteral("/real.jpg")), soundJpeg());
    ++casesTried;
    p.files->Command2_Click();
    CHECKED(expectReport(p, QStringLiteral("Unknown File Copy ERROR"), CopyMessage));
    QCOMPARE(readFile(dir + QStringLiteral("/real.jpg")), soundJpeg());
    QCOMPARE(entries(dir), QStringList({"a.jpg", "b.jpg", QString::fromLatin1(here), "real.jpg",
                                        "self.jpg", "up", "x", "y"}));
    CHECKED(expectUsable(p));
}

void BadEnvironmentTest::namedPipesWhereFilesBelong() {
    // Opened for reading, a named pipe waits for a writer that never comes: each reader
    // refuses it instead.
    Program p;
    const QString dir = p.makeDir(QStringLiteral("pipes"));
    const QString pipe = dir + QStringLiteral("/notes.txt");
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);

    // The text editor's Open keeps the document it has.
    ++casesTried;
    QPointer<EditorWindow> editor =
        EditorWindow::ensure(p.services, p.window->secondaryWindows(), p.window.get());
    editor->openAsNew();
    editor->setText(QStringLiteral("kept"));
    editor->setDocumentState(QString(), QString(), QStringLiteral("txt"));
    p.dialogs.answerFile(pipe, 1);
    editor->mnuopen_Click();
    QCOMPARE(editor->text(), QStringLiteral("kept"));
    QCOMPARE(editor->documentPath(), QString());
    // Insert picture refuses it too.
    ++casesTried;
    const QString picturePipe = dir + QStringLiteral("/picture.jpg");
    QVERIFY(::mkfifo(QFile::encodeName(picturePipe).constData(), 0644) == 0);
    p.dialogs.answerFile(picturePipe, 1);
    editor->mnupic->trigger();
    QCOMPARE(editor->text(), QStringLiteral("kept"));
    editor->setDocumentState(QString(), QString(), QStringLiteral("txt"));

    // A settings file that is a pipe reads as empty without waiting; start-up then asks for a
    // user name and ends with the error of storing it.
    ++casesTried;
    QFile::remove(p.env.settingsFile());
    QVERIFY(::mkfifo(QFile::encodeName(p.env.settingsFile()).constData(), 0644) == 0);
    RunLog runLog;
    StartupSequence startup(p.services, runLog, *p.window, [] {});
    p.dialogs.answerInput(QStringLiteral("tester"));
    int number = 0;
    try {
        startup.run();
    } catch (const Error& e) {
        number = e.number;
    }
    QCOMPARE(number, errc::PathAccess);
    QCOMPARE(p.settings.read(keys::User), QString());
    QVERIFY(QFileInfo(p.env.settingsFile()).isReadable());
}

void BadEnvironmentTest::readOnlyCopyDirectoryRows(bool byMode) {
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("earlier");
    // The copy directory's mode (for a user other than root), or -1 for a read-only file
    // system.
    QTest::addColumn<int>("mode");
    const std::pair<int, const char*> kinds[] = {{0555, "read-only"}, {0, "no access"}};
    for (const auto& [mode, how] : kinds) {
        if (!byMode && mode != 0555)
            continue;
        const int m = byMode ? mode : -1;
        const char* h = byMode ? how : "mount";
        QTest::addRow("copy, %s", h) << false << false << m;
        QTest::addRow("move, %s", h) << true << false << m;
        QTest::addRow("copy over an earlier file, %s", h) << false << true << m;
        QTest::addRow("move over an earlier file, %s", h) << true << true << m;
    }
}

void BadEnvironmentTest::readOnlyCopyDirectory() {
    QFETCH(bool, move);
    QFETCH(bool, earlier);
    QFETCH(int, mode);
    const bool byMode = mode >= 0;
    // Root writes into any directory whatever its mode.
    if (byMode)
        UNPRIVILEGED_ONLY();
    else if (!privileged()) {
        --casesTried;
        QSKIP("mounting a read-only file system needs root");
    }
    Program p;
    const QString dir = p.makeDir(QStringLiteral("pics"));
    const QString source = p.picture(dir, QStringLiteral("photo.jpg"));
    const QString copyDir = p.env.root() + QStringLiteral("/readonly");
    std::unique_ptr<SmallDisk> disk;
    int expected = EACCES;
    if (!byMode) {
        disk = std::make_unique<SmallDisk>(copyDir, "size=256k");
        if (!disk->mounted)
            QSKIP("running as root where no file system can be mounted read-only");
        expected = EROFS;
    } else {
        QVERIFY(QDir().mkpath(copyDir));
    }
    if (earlier)
        QVERIFY(writeBytes(copyDir + QStringLiteral("/photo.jpg"), "earlier"));
    struct Restore {
        QByteArray path;
        bool set = false;
        ~Restore() {
            if (set)
                ::chmod(path.constData(), 0755);
        }
    } restore{QFile::encodeName(copyDir)};
    if (disk) {
        QVERIFY(disk->makeReadOnly("size=256k"));
    } else {
        QVERIFY(::chmod(restore.path.constData(), mode_t(mode)) == 0);
        restore.set = true;
    }
    p.show(dir);
    QVERIFY(p.select(QStringLiteral("photo.jpg")));
    p.useAsCopyDir(copyDir);
    if (move)
        p.files->Command7_Click();
    else
        p.files->Command2_Click();
    const QString title = QStringLiteral("File %1 ERROR %2 (%3)")
                              .arg(move ? QStringLiteral("move") : QStringLiteral("copy"))
                              .arg(expected)
                              .arg(QString::fromLocal8Bit(strerror(expected)));
    // An earlier file was asked about first, where the directory lets it be seen.
    QCOMPARE(p.messages().size(), size_t(earlier && mode != 0 ? 2 : 1));
    CHECKED(expectReport(p, title, move ? MoveMessage : CopyMessage));
    QCOMPARE(readFile(source), soundJpeg());
    if (byMode)
        ::chmod(restore.path.constData(), 0755);
    QCOMPARE(entries(copyDir), earlier ? QStringList({"photo.jpg"}) : QStringList());
    if (earlier)
        QCOMPARE(readFile(copyDir + QStringLiteral("/photo.jpg")), QByteArray("earlier"));
    CHECKED(expectUsable(p));
}

enum class Save {
    Copy,
    CopyOverEarlier,
    Move,
    SaveAsCopy,
    SaveAsOverEarlier,
    SaveAsBitmap,
    EditorSaveAs,
    EditorSaveOverEarlier
};

void BadEnvironmentTest::fullDiskRows(bool tmpfs) {
    QTest::addColumn<int>("what");
    QTest::addColumn<bool>("tmpfs");
    const std::pair<const char*, Save> cases[] = {
        {"copy", Save::Copy},
        {"copy over an earlier file", Save::CopyOverEarlier},
        {"move", Save::Move},
        {"save as", Save::SaveAsCopy},
        {"save as over an earlier file", Save::SaveAsOverEarlier},
        {"save as bitmap", Save::SaveAsBitmap},
        {"editor save as", Save::EditorSaveAs},
        {"editor save over an earlier file", Save::EditorSaveOverEarlier},
    };
    for (const auto& [name, what] : cases)
        QTest::addRow("%s, %s", name, tmpfs ? "small disk" : "file size limit")
            << int(what) << tmpfs;
}

void BadEnvironmentTest::fullMountedDisk() {
    if (!privileged()) {
        --casesTried;
        QSKIP("mounting a small disk needs root; the file size limit stands in for it");
    }
    fullDisk();
}

void BadEnvironmentTest::fullDisk() {
    QFETCH(int, what);
    QFETCH(bool, tmpfs);
    const auto save = Save(what);
    Program p;
    const QString dir = p.makeDir(QStringLiteral("pics"));
    const QString source = p.picture(dir, QStringLiteral("photo.jpg"), largeJpeg());
    const QString target = p.env.root() + QStringLiteral("/full");
    QVERIFY(QDir().mkpath(target));
    std::unique_ptr<SmallDisk> disk;
    if (tmpfs) {
        disk = std::make_unique<SmallDisk>(target, "size=64k");
        if (!disk->mounted)
            QSKIP("no tmpfs can be mounted here; the file size limit stands in for it");
    }
    const QString earlierFile = target + QStringLiteral("/photo.jpg");
    const bool earlier = save == Save::CopyOverEarlier || save == Save::SaveAsOverEarlier ||
                         save == Save::EditorSaveOverEarlier;
    if (save == Save::EditorSaveOverEarlier)
        QVERIFY(writeBytes(target + QStringLiteral("/notes.txt"), "earlier notes"));
    else if (earlier)
        QVERIFY(writeBytes(earlierFile, "earlier"));
    p.show(dir);
    QVERIFY(p.select(QStringLiteral("photo.jpg")));
    QVERIFY(p.messages().empty());
    p.useAsCopyDir(target);

    QPointer<EditorWindow> editor;
    if (save == Save::EditorSaveAs || save == Save::EditorSaveOverEarlier) {
        editor = EditorWindow::ensure(p.services, p.window->secondaryWindows(), p.window.get());
        editor->openAsNew();
        editor->setText(QStringLiteral("%1\n").arg(QString(63, QLatin1Char('x'))).repeated(3200));
    }
    QString error;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (!tmpfs)
            limit = std::make_unique<FileSizeLimit>(64 * 1024);
        error = tmpfs ? QStringLiteral("28 (No space left on device)")
                      : QStringLiteral("27 (File too large)");
        switch (save) {
        case Save::Copy:
        case Save::CopyOverEarlier:
            p.files->Command2_Click();
            break;
        case Save::Move:
            p.files->Command7_Click();
            break;
        case Save::SaveAsCopy:
        case Save::SaveAsOverEarlier:
            p.dialogs.answerFile(target + QStringLiteral("/photo.jpg"), 1);
            p.files->saveas_Click();
            break;
        case Save::SaveAsBitmap:
            p.dialogs.answerFile(target + QStringLiteral("/photo.bmp"), 2);
            p.files->saveas_Click();
            break;
        case Save::EditorSaveAs:
        case Save::EditorSaveOverEarlier:
            p.dialogs.answerFile(target + QStringLiteral("/notes.txt"), 1);
            editor->saveas_Click();
            break;
        }
    }
    const auto messages = p.messages();
    switch (save) {
    case Save::Copy:
    case Save::CopyOverEarlier:
        // The overwrite question, then the failure.
        QCOMPARE(messages.size(), size_t(earlier ? 2 : 1));
        CHECKED(expectReport(p, QStringLiteral("File copy ERROR ") + error, CopyMessage));
        // A copy that cannot be completed leaves the file it was to replace as it was.
        if (earlier) {
            QCOMPARE(entries(target), QStringList{QStringLiteral("photo.jpg")});
            QCOMPARE(readFile(earlierFile), QByteArray("earlier"));
        } else {
            QCOMPARE(entries(target), QStringList());
        }
        break;
    case Save::Move:
        QCOMPARE(messages.size(), size_t(1));
        CHECKED(expectReport(p, QStringLiteral("File move ERROR ") + error, MoveMessage));
        QCOMPARE(entries(target), QStringList());
        break;
    case Save::SaveAsCopy:
    case Save::SaveAsBitmap:
        // Save As says nothing about a failure; it writes nothing.
        QVERIFY(messages.empty());
        QCOMPARE(entries(target), QStringList());
        break;
    case Save::SaveAsOverEarlier:
        QVERIFY(messages.empty());
        QCOMPARE(entries(target), QStringList({"photo.jpg"}));
        QCOMPARE(readFile(earlierFile), QByteArray("earlier"));
        break;
    case Save::EditorSaveAs:
    case Save::EditorSaveOverEarlier:
        QCOMPARE(messages.size(), size_t(1));
        QVERIFY2(messages[0].title.startsWith(QStringLiteral("Text editor save ERROR ")),
                 qPrintable(messages[0].title));
        QCOMPARE(messages[0].icon, Icon::Critical);
        QCOMPARE(editor->changedMark(), QStringLiteral("1"));
        QCOMPARE(editor->text().size(), 64 * 3200);
        if (earlier) {
            QCOMPARE(entries(target), QStringList({"notes.txt"}));
            QCOMPARE(readFile(target + QStringLiteral("/notes.txt")), QByteArray("earlier notes"));
        } else {
            QCOMPARE(entries(target), QStringList());
        }
        break;
    }
    QCOMPARE(readFile(source), largeJpeg());
    if (editor)
        editor->setDocumentState(QString(), QString(), QStringLiteral("txt"));
    CHECKED(expectUsable(p));
}

void BadEnvironmentTest::fullDiskUnderTheProgramLog() {
    // The program log cannot grow: failures are still told, and nothing else is written.
    Program p;
    const QString dir = p.makeDir(QStringLiteral("pics"));
    p.picture(dir, QStringLiteral("broken.jpg"), QByteArray("no picture at all"));
    const QString log = p.services.paths.programLogFile();
    {
        QFile f(log);
        QVERIFY(f.open(QIODevice::Append));
        QVERIFY(f.write(QByteArray(70 * 1024, '#').append("\r\n")) > 0);
    }
    const QByteArray before = readFile(log);
    p.show(dir);
    {
        FileSizeLimit limit(64 * 1024);
        QVERIFY(p.select(QStringLiteral("broken.jpg")));
        ++casesTried;
        p.window->setCopyDir(QString());
        p.files->Command2_Click();
    }
    const auto messages = p.messages();
    QCOMPARE(messages.size(), size_t(2));
    QCOMPARE(messages[0].title, QStringLiteral("Picture load ERROR 481 (Invalid picture)"));
    QCOMPARE(messages[0].text, PictureMessage);
    QCOMPARE(messages[1].title, QStringLiteral("Unknown File Copy ERROR"));
    QCOMPARE(p.dialogs.beeps(), 2);
    QCOMPARE(readFile(log), before);
    QCOMPARE(p.window->windowTitle(), QStringLiteral("Lumorra"));
}

void BadEnvironmentTest::damagedSettings_data() {
    QTest::addColumn<QByteArray>("file");
    // The picture load: empty when it shows, else the title of its failure.
    QTest::addColumn<QString>("load");
    // The slide show's Run: empty when it starts, else the title of its refusal.
    QTest::addColumn<QString>("run");
    const QString invalid = QStringLiteral("ERROR (Invalid interval time)");
    const QByteArray user = "[Lumorra]\nUser=tester\nAutoZoom=0\nOLE=0\n";
    QTest::addRow("empty") << QByteArray() << QString() << QString();
    QByteArray garbage(64 * 1024, '\0');
    QRandomGenerator random(20261208);
    for (char& c : garbage)
        c = char(random.bounded(256));
    QTest::addRow("binary garbage") << garbage << QString() << QString();
    QTest::addRow("garbage after the keys") << user + garbage << QString() << QString();
    static const char nulKeys[] = "[Lumorra]\nUser=tes\0ter\nAuto\0Zoom=1\nOLE=\0\n";
    // The NUL breaks "AutoZoom": without a value every picture load fails, as it should.
    QTest::addRow("NUL bytes in the keys") << QByteArray(nulKeys, sizeof nulKeys - 1)
                                           << "Picture load ERROR 13 (Type mismatch)" << QString();
    QTest::addRow("one endless line") << user + QByteArray(1 << 20, 'k') << QString() << QString();
    QTest::addRow("interval 1e400") << user + "AutoSkipInterval=1e400\n" << QString() << invalid;
    QTest::addRow("interval -1e400") << user + "AutoSkipInterval=-1e400\n" << QString() << invalid;
    QTest::addRow("interval nan") << user + "AutoSkipInterval=nan\n" << QString() << invalid;
    QTest::addRow("interval 2e-400") << user + "AutoSkipInterval=2e-400\n" << QString() << invalid;
    QTest::addRow("interval of many digits")
        << user + "AutoSkipInterval=" + QByteArray(5000, '9') + "\n"
        << QString() << invalid;
    QTest::addRow("interval 59.99999999999999999999")
        << user + "AutoSkipInterval=59.99999999999999999999\n"
        << QString() << QString();
    QTest::addRow("AutoZoom abc") << QByteArray("[Lumorra]\nUser=tester\nOLE=0\nAutoZoom=abc\n")
                                  << "Picture load ERROR 13 (Type mismatch)" << QString();
    QTest::addRow("AutoZoom empty") << QByteArray("[Lumorra]\nUser=tester\nOLE=0\nAutoZoom=\n")
                                    << "Picture load ERROR 13 (Type mismatch)" << QString();
    QTest::addRow("AutoZoom 1e400") << QByteArray("[Lumorra]\nUser=tester\nOLE=0\nAutoZoom=1e400\n")
                                    << "Picture load ERROR 6 (Overflow)" << QString();
    QTest::addRow("AutoZoom 1.0") << QByteArray("[Lumorra]\nUser=tester\nOLE=0\nAutoZoom=1.0\n")
                                  << QString() << QString();
    QTest::addRow("OLE abc") << QByteArray("[Lumorra]\nUser=tester\nOLE=abc\nAutoZoom=0\n")
                             << QString() << QString();
    // Every key at once holding a number far too large, then far too small, then a word.
    for (const QByteArray& value :
         {QByteArray("99999999999999999999999999999999"), QByteArray("-2147483649"),
          QByteArray("1e308"), QByteArray("-0x7fffffff")}) {
        QByteArray file = "[Lumorra]\n";
        for (const QString& key :
             {keys::AppPath, keys::EXEName, keys::Version, keys::SystrayLoaded, keys::Systray,
              keys::UserReq, keys::OLE, keys::AutoSkip, keys::DelConfirmation,
              keys::MoveConfirmation, keys::OnTop, keys::AutoSkipInterval, keys::SpcSetting})
            file += key.toLatin1() + '=' + value + '\n';
        // Window places that no version of the program stores: read by nobody, kept.
        for (const char* key : {"Left", "Top", "Width", "Height", "WindowState"})
            file += QByteArray(key) + '=' + value + '\n';
        file += "User=tester\nAutoZoom=0\n";
        QTest::addRow("every key %s", value.constData()) << file << QString() << invalid;
    }
    // A setting the lists refuse sends start-up to its recovery defaults, which leave the
    // interval box empty: the slide show then asks for an interval.
    QTest::addRow("patterns of garbage")
        << user + "PicPattern=\"\\x01\\x02/|<>\"\nAniPattern=" + QByteArray(100000, '*') + "\n"
        << QString() << invalid;
    QTest::addRow("directories of garbage")
        << user + "startupdir=" + QByteArray(10000, 'd') + "\ndefaultcopydir=\"\\x01\\x7f\"\n"
        << QString() << invalid;
    QTest::addRow("special setting of a megabyte")
        << user + "SpcSetting=" + QByteArray(1 << 20, 's') + "\n"
        << QString() << QString();
    QTest::addRow("many groups and keys")
        << QByteArray("[a]\nx=1\n").repeated(3000) + user << QString() << QString();
}

void BadEnvironmentTest::damagedSettings() {
    QFETCH(QByteArray, file);
    QFETCH(QString, load);
    QFETCH(QString, run);
    Program p(false);
    writeFile(p.env.settingsFile(), file);
    RunLog runLog;
    // A file without a user name is a first start: the name is asked for.
    p.dialogs.answerInput(QStringLiteral("tester"));
    StartupSequence startup(p.services, runLog, *p.window, [] {});
    StartupSequence::Outcome outcome = StartupSequence::Outcome::Terminated;
    QVERIFY(withFailureHandler([&] { outcome = startup.run(); }, [](const Error&) {}));
    QCOMPARE(outcome, StartupSequence::Outcome::Completed);
    QVERIFY(readFile(p.services.paths.runLogFile()).endsWith("PROGRAM LOAD COMPLETED\r\n"));
    // As the window shows, the lists stand somewhere.
    p.window->standOnHomeUnlessPlaced();
    QVERIFY(!p.window->Dir1->path().isEmpty());
    // No message at start-up but the screen and tray steps' (a 1280-pixel screen, no tray).
    QVERIFY2(p.messages().empty(), qPrintable(p.lastTitle()));

    const QString dir = p.makeDir(QStringLiteral("pics"));
    p.picture(dir, QStringLiteral("1.jpg"));
    p.picture(dir, QStringLiteral("2.jpg"));
    p.show(dir);
    QVERIFY(p.select(QStringLiteral("1.jpg")));
    if (load.isEmpty()) {
        QVERIFY2(p.messages().empty(), qPrintable(p.lastTitle()));
        QVERIFY(p.window->Image1->hasPicture());
    } else {
        QCOMPARE(p.messages().size(), size_t(1));
        CHECKED(expectReport(p, load, PictureMessage));
    }
    p.dialogs.clear();

    // The slide show starts on what the box holds, or says why not; at the end of the list
    // it stops however "AutoSkip" reads, never spinning.
    p.slideShow->Command4_Click();
    if (run.isEmpty()) {
        QVERIFY2(p.messages().empty(), qPrintable(p.lastTitle()));
        QVERIFY(p.slideShow->running());
        QVERIFY(p.window->Timer1->interval() >= 2000 && p.window->Timer1->interval() <= 60000);
        for (int tick = 0; tick < 4 && p.slideShow->running(); ++tick)
            p.slideShow->Timer1_Timer();
        p.slideShow->Command5_Click();
    } else {
        QCOMPARE(p.messages().size(), size_t(1));
        QCOMPARE(p.lastTitle(), run);
        QVERIFY(!p.slideShow->running());
    }
    QCOMPARE(p.window->windowTitle(), QStringLiteral("Lumorra"));
    // Closing stores the box as it is.
    const QString interval = p.window->intervalText();
    p.window->close();
    QCOMPARE(p.settings.read(keys::AutoSkipInterval), interval);
    QVERIFY(!p.settings.read(keys::User).isEmpty());
}

void BadEnvironmentTest::moviesThatAreNoMovies_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QRandomGenerator random(4711);
    QByteArray noise(256 * 1024, '\0');
    for (char& c : noise)
        c = char(random.bounded(256));
    QTest::addRow("avi of random bytes") << "noise.avi" << noise;
    QTest::addRow("mpg of random bytes") << "noise.mpg" << noise;
    QTest::addRow("mov of random bytes") << "noise.mov" << noise;
    QTest::addRow("avi header then noise")
        << "riff.avi" << QByteArray("RIFF\x10\0\0\0AVI LIST", 16) + noise;
    QTest::addRow("empty mpeg") << "empty.mpeg" << QByteArray();
    QTest::addRow("viv of random bytes") << "noise.viv" << noise;
}

void BadEnvironmentTest::moviesThatAreNoMovies() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    Program p;
    const QString dir = p.makeDir(QStringLiteral("movies"));
    const QString path = p.picture(dir, name, bytes);
    // Vivo movies go to their player window, as in the program.
    p.viewer->showVivo = [&p](const QString& file) {
        QPointer<QWidget>& player = p.window->secondaryWindows().player;
        if (!player)
            player = new VivoPlayerWindow(p.services, p.window.get());
        static_cast<VivoPlayerWindow*>(player.data())->showMovie(file);
    };
    p.window->setAnimationMode();
    p.show(dir);
    QVERIFY(p.select(name));
    QCOMPARE(p.window->Label1->text(), path);
    if (name.endsWith(QLatin1String(".viv"))) {
        // The player window says what it cannot play.
        QTRY_COMPARE_WITH_TIMEOUT(p.messages().size(), size_t(1), 10000);
        const MessageBoxSpec m = p.messages().front();
        QCOMPARE(m.title, QStringLiteral("Vivo Movie Player"));
        QVERIFY2(
            m.text.startsWith(QStringLiteral("Unable to play the selected Vivo movie:\n") + path),
            qPrintable(m.text));
        QCOMPARE(m.icon, Icon::Critical);
        p.window->secondaryWindows().closeAll();
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(p.messages().size(), size_t(1), 10000);
        const MessageBoxSpec m = p.messages().front();
        QVERIFY2(m.title.startsWith(QStringLiteral("Animation load ERROR ")), qPrintable(m.title));
        QCOMPARE(m.text, AnimationMessage);
        QCOMPARE(m.icon, Icon::Critical);
        QCOMPARE(p.dialogs.beeps(), 1);
    }
    QCOMPARE(p.window->windowTitle(), QStringLiteral("Lumorra"));
    QCOMPARE(readFile(path), bytes);
    p.window->AM1->setFileName(QString());
    p.window->setPictureMode();
    CHECKED(expectUsable(p));
}

QTEST_MAIN(BadEnvironmentTest)
#include "badenv_tests.moc"
