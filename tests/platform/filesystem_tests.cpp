#include "platform/Error.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

namespace {

// The Error a step throws; number 0 when it throws none.
template <class F> Error errorOf(F&& step) {
    try {
        step();
    } catch (const Error& e) {
        return e;
    }
    return Error{};
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class FileSystemTest : public QObject {
    Q_OBJECT
private slots:
    void renameNeverReplaces();
    void copyLeavesNothingOnFailure();
    void lookUpIgnoresLetterCaseAndHiddenFiles();
    void attributesRoundTrip_data();
    void attributesRoundTrip();
    void attributesOfAnotherUsersFileStay();
    void wholeFileWriteKeepsTheEarlierFileUntilComplete();
};

void FileSystemTest::renameNeverReplaces() {
    TestEnv env;
    const QString dir = env.makeDir(QStringLiteral("d"));
    writeFile(dir + QStringLiteral("/a.txt"), "a");
    writeFile(dir + QStringLiteral("/b.txt"), "b");
    QCOMPARE(errorOf([&] { renameNoReplace(dir + "/a.txt", dir + "/b.txt"); }).number, EEXIST);
    QCOMPARE(readFile(dir + QStringLiteral("/a.txt")), QByteArray("a"));
    QCOMPARE(readFile(dir + QStringLiteral("/b.txt")), QByteArray("b"));

    // An empty directory is no free name either, for a file or a directory.
    QVERIFY(QDir(dir).mkdir(QStringLiteral("empty")));
    QVERIFY(QDir(dir).mkdir(QStringLiteral("other")));
    QCOMPARE(errorOf([&] { renameNoReplace(dir + "/a.txt", dir + "/empty"); }).number, EEXIST);
    QCOMPARE(errorOf([&] { renameNoReplace(dir + "/other", dir + "/empty"); }).number, EEXIST);
    QCOMPARE(entries(dir), (QStringList{"a.txt", "b.txt", "empty", "other"}));

    renameNoReplace(dir + QStringLiteral("/a.txt"), dir + QStringLiteral("/c.txt"));
    QCOMPARE(readFile(dir + QStringLiteral("/c.txt")), QByteArray("a"));
}

void FileSystemTest::copyLeavesNothingOnFailure() {
    TestEnv env;
    const QString dir = env.makeDir(QStringLiteral("d"));
    const QString source = dir + QStringLiteral("/big.bin");
    writeFile(source, QByteArray(64 * 1024, 'x'));
    const QString out = env.makeDir(QStringLiteral("out"));

    // Writes fail beyond 4 KB while the limit holds.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limit);
    const Error e = errorOf([&] { copyFile(source, out + QStringLiteral("/big.bin")); });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(e.number, EFBIG);
    QVERIFY(entries(out).isEmpty());

    // A destination under a regular file, a missing source, an existing target.
    QCOMPARE(errorOf([&] { copyFile(source, source + QStringLiteral("/x")); }).number, ENOTDIR);
    QCOMPARE(errorOf([&] {
                 copyFile(dir + QStringLiteral("/none"), out + QStringLiteral("/n"));
             }).number,
             ENOENT);
    writeFile(out + QStringLiteral("/there.bin"), "old");
    QCOMPARE(errorOf([&] { copyFile(source, out + QStringLiteral("/there.bin")); }).number, EEXIST);
    QCOMPARE(readFile(out + QStringLiteral("/there.bin")), QByteArray("old"));
    QCOMPARE(entries(out), QStringList{QStringLiteral("there.bin")});

    QCOMPARE(copyFile(source, out + QStringLiteral("/copy.bin")), qint64(64 * 1024));
    QCOMPARE(readFile(out + QStringLiteral("/copy.bin")), readFile(source));
    QCOMPARE(entries(out), (QStringList{"copy.bin", "there.bin"}));
}

void FileSystemTest::lookUpIgnoresLetterCaseAndHiddenFiles() {
    TestEnv env;
    const QString dir = env.makeDir(QStringLiteral("d"));
    writeFile(dir + QStringLiteral("/CAT.JPG"), "c");
    QCOMPARE(lookUpFile(dir + QStringLiteral("/cat.jpg")), QStringLiteral("CAT.JPG"));
    // The exact spelling wins where both exist.
    writeFile(dir + QStringLiteral("/cat.jpg"), "c");
    QCOMPARE(lookUpFile(dir + QStringLiteral("/cat.jpg")), QStringLiteral("cat.jpg"));
    QCOMPARE(lookUpFile(dir + QStringLiteral("/Cat.Jpg")).toLower(), QStringLiteral("cat.jpg"));

    writeFile(dir + QStringLiteral("/.dot.jpg"), "d");
    QCOMPARE(lookUpFile(dir + QStringLiteral("/.dot.jpg")), QString());
    writeFile(dir + QStringLiteral("/secret.jpg"), "s");
    setFileAttributes(dir + QStringLiteral("/secret.jpg"), attr::Hidden | attr::Archive);
    QCOMPARE(lookUpFile(dir + QStringLiteral("/SECRET.jpg")), QString());
    writeFile(dir + QStringLiteral("/sys.jpg"), "s");
    setFileAttributes(dir + QStringLiteral("/sys.jpg"), attr::System);
    QCOMPARE(lookUpFile(dir + QStringLiteral("/sys.jpg")), QString());
    // Read-only files are found, directories are not.
    writeFile(dir + QStringLiteral("/ro.jpg"), "r");
    setFileAttributes(dir + QStringLiteral("/ro.jpg"), attr::ReadOnly | attr::Archive);
    QCOMPARE(lookUpFile(dir + QStringLiteral("/RO.jpg")), QStringLiteral("ro.jpg"));
    QVERIFY(QDir(dir).mkdir(QStringLiteral("sub.jpg")));
    QCOMPARE(lookUpFile(dir + QStringLiteral("/sub.jpg")), QString());
    QCOMPARE(lookUpFile(dir + QStringLiteral("/")), QString());
    QCOMPARE(lookUpFile(dir + QStringLiteral("/missing.jpg")), QString());
}

void FileSystemTest::attributesRoundTrip_data() {
    QTest::addColumn<int>("value");
    for (int value = 0; value < 16; ++value) {
        // Read-only 1, hidden 2, system 4, archive 32.
        const int bits = (value & 7) | ((value & 8) ? attr::Archive : 0);
        QStringList names;
        for (const auto& [bit, name] : {std::pair{attr::ReadOnly, "read-only"},
                                        {attr::Hidden, "hidden"},
                                        {attr::System, "system"},
                                        {attr::Archive, "archive"}}) {
            if (bits & bit)
                names << QString::fromLatin1(name);
        }
        QTest::newRow(qPrintable(names.isEmpty() ? QStringLiteral("none") : names.join(' ')))
            << bits;
    }
}

// Every combination reached from every other one, as the owner of a file that may be
// read-only before and after: a read-only file takes hidden, system and archive too.
void FileSystemTest::attributesRoundTrip() {
    QFETCH(int, value);
    TestEnv env;
    const QString file = env.root() + QStringLiteral("/f.jpg");
    // The failure's text, empty when the attributes were set.
    const auto set = [&](int bits) {
        return errorOf([&] { setFileAttributes(file, bits); }).description;
    };
    for (int from = 0; from < 16; ++from) {
        const int start = (from & 7) | ((from & 8) ? attr::Archive : 0);
        writeFile(file, "x");
        QCOMPARE(set(start), QString());
        QCOMPARE(fileAttributes(file), start);
        QCOMPARE(set(value), QString());
        QCOMPARE(fileAttributes(file), value);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
        const bool writable = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
        QCOMPARE(writable, !(value & attr::ReadOnly));
        QVERIFY(QFile::remove(file));
    }
}

void FileSystemTest::attributesOfAnotherUsersFileStay() {
    // A file of root's that everyone may read and only root may write.
    const QString file = QStringLiteral("/etc/passwd");
    struct stat st {};
    if (::geteuid() == 0)
        QSKIP("root may change any file's attributes");
    if (::stat(QFile::encodeName(file).constData(), &st) != 0 || st.st_uid == ::geteuid())
        QSKIP("no file of another user here");
    const int before = fileAttributes(file);
    QCOMPARE(errorOf([&] { setFileAttributes(file, before | attr::Hidden); }).number, EACCES);
    QCOMPARE(errorOf([&] { setFileAttributes(file, before | attr::ReadOnly); }).number, EPERM);
    QCOMPARE(fileAttributes(file), before);
    // What it has already it takes without a change: a rename or delete goes on to its own check.
    QCOMPARE(errorOf([&] { setFileAttributes(file, before); }).number, 0);
}

void FileSystemTest::wholeFileWriteKeepsTheEarlierFileUntilComplete() {
    TestEnv env;
    const QString dir = env.makeDir(QStringLiteral("d"));
    const QString file = dir + QStringLiteral("/notes.txt");
    writeFile(file, "earlier");
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadGroup);

    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limit);
    const Error e = errorOf([&] { writeFileReplacing(file, QByteArray(64 * 1024, 'x')); });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(e.number, EFBIG);
    QCOMPARE(readFile(file), QByteArray("earlier"));
    QCOMPARE(entries(dir), QStringList{QStringLiteral("notes.txt")});

    // The new file keeps the permissions; through a link, the link's file is written.
    writeFileReplacing(file, "new");
    QCOMPARE(readFile(file), QByteArray("new"));
    const QFileDevice::Permissions kept = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                          QFileDevice::ReadOther | QFileDevice::WriteOther;
    QCOMPARE(QFile::permissions(file) & kept,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    const QString link = dir + QStringLiteral("/link.txt");
    QVERIFY(QFile::link(file, link));
    writeFileReplacing(link, "through the link");
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(file), QByteArray("through the link"));
    QCOMPARE(entries(dir), (QStringList{"link.txt", "notes.txt"}));

    // A new file, a directory in the way, a missing directory.
    writeFileReplacing(dir + QStringLiteral("/fresh.txt"), "");
    QVERIFY(QFileInfo::exists(dir + QStringLiteral("/fresh.txt")));
    QCOMPARE(errorOf([&] { writeFileReplacing(dir, "x"); }).number, EISDIR);
    QCOMPARE(errorOf([&] { writeFileReplacing(dir + QStringLiteral("/no/x.txt"), "x"); }).number,
             ENOENT);
}

QTEST_MAIN(FileSystemTest)
#include "filesystem_tests.moc"
