#include "browser/Lists.h"
#include "browser/MainWindow.h"
#include "fileops/FileInfoWindow.h"
#include "fileops/FileOperations.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "platform/Trash.h"
#include "support/WindowTest.h"
#include "viewer/FileListKeys.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTest>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

namespace {

enum class Route { Menu, Key, Info };

// The main window on a directory of its own with the file operations, the keys of the file
// list and the File Information window's delete, wired as the program wires them; the current
// file follows the selection, as the viewer keeps it.
struct Ops : WindowTest {
    QString trash = env.dataHome() + QStringLiteral("/Trash");
    std::unique_ptr<FileOperations> ops;
    std::unique_ptr<FileListKeys> keys;

    Ops() : WindowTest(QStringLiteral("pics")) {
        settings.write(keys::DelConfirmation, QStringLiteral("0"));
        openWindow();
        ops = std::make_unique<FileOperations>(*window, services);
        keys = std::make_unique<FileListKeys>(*window);
        keys->deleteSelected = [this] {
            ops->deleteCurrentFile(FileOperations::Reporting::Logged, window.get());
        };
        QObject::connect(window->File1, &FileList::selectionChanged, window.get(),
                         [this] { window->Label1->setText(window->currentFilePath()); });
    }
    ~Ops() {
        keys.reset();
        ops.reset();
    }
    void remove(Route route) {
        switch (route) {
        case Route::Menu:
            ops->mnudelete_Click();
            break;
        case Route::Key:
            QTest::keyClick(window->File1, Qt::Key_Delete);
            break;
        case Route::Info: {
            FileInfoWindow info(*window, services, *ops, window.get());
            info.Command2_Click();
            break;
        }
        }
    }
};

// The lines of a .trashinfo.
QStringList infoLines(const QString& path) {
    return QString::fromUtf8(readFile(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Checks a .trashinfo: its group, the Path key, and a deletion date between two times.
void checkInfo(const QString& path, const QString& expectedPath, qint64 from, qint64 to) {
    const QStringList lines = infoLines(path);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("[Trash Info]"));
    QCOMPARE(lines[1], QStringLiteral("Path=") + expectedPath);
    QVERIFY(lines[2].startsWith(QStringLiteral("DeletionDate=")));
    const QString date = lines[2].mid(13);
    QCOMPARE(date.size(), 19); // local time, no zone: YYYY-MM-DDThh:mm:ss
    const qint64 when = QDateTime::fromString(date, Qt::ISODate).toSecsSinceEpoch();
    QVERIFY2(when >= from && when <= to, qPrintable(date));
}

int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class TrashTest : public QObject {
    Q_OBJECT
private slots:
    void deleteMovesTheFileToTheTrash_data();
    void deleteMovesTheFileToTheTrash();
    void deleteWithoutAUsableTrash_data();
    void deleteWithoutAUsableTrash();
    void trashOnAnotherVolume_data();
    void trashOnAnotherVolume();
};

void TrashTest::deleteMovesTheFileToTheTrash_data() {
    QTest::addColumn<Route>("route");
    QTest::newRow("file menu") << Route::Menu;
    QTest::newRow("Delete key") << Route::Key;
    QTest::newRow("File Information") << Route::Info;
}

void TrashTest::deleteMovesTheFileToTheTrash() {
    QFETCH(Route, route);
    Ops t;
    const QString name = QStringLiteral("my cat%.jpg");
    const QString path = t.file(name, "first");
    t.file(QStringLiteral("next.jpg"), "next");
    t.select(name);
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    t.remove(route);
    const qint64 after = QDateTime::currentSecsSinceEpoch();

    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(t.window->File1->fileName(), QStringLiteral("next.jpg"));
    QCOMPARE(t.window->Label6->text(), QStringLiteral("1 File(s)"));
    QVERIFY(t.dialogs.messages().empty());
    QCOMPARE(readFile(t.trash + QStringLiteral("/files/") + name), QByteArray("first"));
    // The absolute path, URL-escaped.
    const QString original = QFileInfo(t.dir).canonicalFilePath() + QLatin1Char('/') + name;
    const QString info = t.trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo");
    checkInfo(info, QString::fromLatin1(QFile::encodeName(original).toPercentEncoding("/")), before,
              after);
    QVERIFY(infoLines(info)[1].endsWith(QStringLiteral("/pics/my%20cat%25.jpg")));
    QCOMPARE(modeOf(t.trash), 0700);

    // A second file of that name gets a name of its own, and a file already in the trash
    // without an entry keeps its name.
    writeFile(t.trash + QStringLiteral("/files/") + name + QStringLiteral(".2"), "stray");
    const QString again = t.file(name, "second");
    t.select(name);
    t.remove(route);
    QVERIFY(!QFileInfo::exists(again));
    QCOMPARE(readFile(t.trash + QStringLiteral("/files/") + name), QByteArray("first"));
    QCOMPARE(readFile(t.trash + QStringLiteral("/files/") + name + QStringLiteral(".2")),
             QByteArray("stray"));
    QCOMPARE(readFile(t.trash + QStringLiteral("/files/") + name + QStringLiteral(".3")),
             QByteArray("second"));
    QCOMPARE(QDir(t.trash + QStringLiteral("/info")).entryList(QDir::Files),
             QStringList({name + QStringLiteral(".3.trashinfo"), name + ".trashinfo"}));
    QVERIFY(t.programLogLines().isEmpty());
}

void TrashTest::deleteWithoutAUsableTrash_data() {
    QTest::addColumn<QString>("trouble");
    QTest::newRow("trash is a file") << QStringLiteral("file");
    QTest::newRow("trash not writable") << QStringLiteral("unwritable");
    QTest::newRow("file already gone") << QStringLiteral("gone");
    QTest::newRow("folder not writable") << QStringLiteral("folder");
}

void TrashTest::deleteWithoutAUsableTrash() {
    QFETCH(QString, trouble);
    Ops t;
    const QString path = t.file(QStringLiteral("a.jpg"), "bytes");
    t.file(QStringLiteral("b.jpg"), "b");
    t.select(QStringLiteral("a.jpg"));
    if (trouble == QLatin1String("file"))
        writeFile(t.trash, "not a directory");
    if (trouble == QLatin1String("unwritable")) {
        QVERIFY(QDir().mkpath(t.trash));
        QVERIFY(QFile::setPermissions(t.trash, QFile::ReadOwner | QFile::ExeOwner));
    }
    if (trouble == QLatin1String("gone"))
        QVERIFY(QFile::remove(path));
    // The file can go neither to the Trash nor for good.
    struct Restore {
        QString dir;
        ~Restore() {
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    } restore{t.dir};
    const bool stays = trouble == QLatin1String("folder") && ::geteuid() != 0;
    if (trouble == QLatin1String("folder"))
        QVERIFY(QFile::setPermissions(t.dir, QFile::ReadOwner | QFile::ExeOwner));
    t.window->Label6->setText(QStringLiteral("before"));
    t.ops->mnudelete_Click();
    QCOMPARE(QFileInfo::exists(path), stays);

    if (trouble == QLatin1String("gone") || stays) {
        const QString record =
            stays ? QStringLiteral("File delete ERROR 13 (Permission denied)")
                  : QStringLiteral("File delete ERROR 2 (No such file or directory)");
        QCOMPARE(t.dialogs.beeps(), 1);
        QCOMPARE(t.dialogs.messages().size(), size_t(1));
        QCOMPARE(t.dialogs.messages()[0].title, record);
        QCOMPARE(t.programLogLines(), QStringList{"\"<d, t> " + record + "\""});
        QCOMPARE(t.window->Label6->text(), QStringLiteral("before"));
        QCOMPARE(t.window->File1->count(), 2);
        if (stays) {
            // Its .trashinfo went again when the file could not follow.
            QVERIFY(QDir(t.trash + QStringLiteral("/info")).isEmpty());
            QCOMPARE(readFile(path), QByteArray("bytes"));
        } else {
            // No trash was made for it.
            QVERIFY(!QFileInfo::exists(t.env.dataHome()));
        }
        return;
    }
    // The file is deleted as if there were no Trash, without a further question.
    QVERIFY(t.dialogs.messages().empty());
    QVERIFY(t.programLogLines().isEmpty());
    QCOMPARE(t.window->File1->fileName(), QStringLiteral("b.jpg"));
    QCOMPARE(t.window->Label6->text(), QStringLiteral("1 File(s)"));
    if (trouble == QLatin1String("file")) {
        QCOMPARE(readFile(t.trash), QByteArray("not a directory"));
    } else if (::geteuid() == 0) {
        // Root writes where the permissions say no.
        QCOMPARE(readFile(t.trash + QStringLiteral("/files/a.jpg")), QByteArray("bytes"));
    } else {
        QVERIFY(QDir(t.trash).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
}

void TrashTest::trashOnAnotherVolume_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("trash"); // %1: the user's id; empty: no trash takes the file
    QTest::newRow("no .Trash") << QString() << QStringLiteral(".Trash-%1");
    QTest::newRow("sticky .Trash") << QStringLiteral("sticky") << QStringLiteral(".Trash/%1");
    QTest::newRow(".Trash not sticky") << QStringLiteral("plain") << QStringLiteral(".Trash-%1");
    QTest::newRow(".Trash a link") << QStringLiteral("link") << QStringLiteral(".Trash-%1");
    QTest::newRow("volume full") << QStringLiteral("full") << QString();
}

void TrashTest::trashOnAnotherVolume() {
    QFETCH(QString, setup);
    QFETCH(QString, trash);
    // A real mount: root with the right to mount, which a test run as a user does not have.
    if (::geteuid() != 0)
        QSKIP("mounting needs root");
    TestEnv env;
    const QString point = env.makeDir(QStringLiteral("card"));
    const QByteArray mountPoint = QFile::encodeName(point);
    if (::mount("lumorra-test", mountPoint.constData(), "tmpfs", 0, "size=1m,mode=0777") != 0)
        QSKIP(qPrintable(QStringLiteral("mounting is not permitted: ") +
                         QString::fromLocal8Bit(std::strerror(errno))));
    struct Unmount {
        QByteArray point;
        ~Unmount() { ::umount2(point.constData(), MNT_DETACH); }
    } unmount{mountPoint};

    const QString file = point + QStringLiteral("/sub/a b.jpg");
    writeFile(file, "on the card");
    const QString shared = point + QStringLiteral("/.Trash");
    if (setup == QLatin1String("sticky") || setup == QLatin1String("plain")) {
        QVERIFY(QDir().mkdir(shared));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), setup == "sticky" ? 01777 : 0777),
                 0);
    } else if (setup == QLatin1String("link")) {
        QVERIFY(QDir().mkdir(point + QStringLiteral("/elsewhere")));
        QCOMPARE(
            ::chmod(QFile::encodeName(point + QStringLiteral("/elsewhere")).constData(), 01777), 0);
        QVERIFY(QFile::link(QStringLiteral("elsewhere"), shared));
    } else if (setup == QLatin1String("full")) {
        QFile filler(point + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(65536, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const std::optional<TrashEntry> entry = moveToTrash(file, homeTrashDirectory());
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    // Never the home trash for a file of another volume.
    QVERIFY(!QFileInfo::exists(env.dataHome()));
    if (trash.isEmpty()) {
        QVERIFY(!entry);
        QCOMPARE(readFile(file), QByteArray("on the card"));
        QDirIterator infos(point, {QStringLiteral("*.trashinfo")}, QDir::Files | QDir::Hidden,
                           QDirIterator::Subdirectories);
        QVERIFY2(!infos.hasNext(), "a .trashinfo without its file");
        return;
    }
    QVERIFY(entry);
    const QString dir = point + QLatin1Char('/') + trash.arg(::geteuid());
    QCOMPARE(entry->file, dir + QStringLiteral("/files/a b.jpg"));
    QCOMPARE(entry->infoFile, dir + QStringLiteral("/info/a b.jpg.trashinfo"));
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(readFile(entry->file), QByteArray("on the card"));
    // Relative to the volume's top directory.
    checkInfo(entry->infoFile, QStringLiteral("sub/a%20b.jpg"), before, after);
    QCOMPARE(modeOf(dir), 0700);
    if (setup == QLatin1String("link"))
        QVERIFY(QDir(point + QStringLiteral("/elsewhere")).isEmpty());
}

QTEST_MAIN(TrashTest)
#include "trash_tests.moc"
