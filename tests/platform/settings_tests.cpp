#include "platform/Error.h"
#include "platform/SettingsStore.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void defaultLocationFollowsXdgConfigHome();
    void missingKeyAndMissingFileReadEmpty();
    void keysMatchWithoutLetterCase();
    void noCacheBetweenStores();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void otherGroupsAndKeysAreKept();
    void foreignLinesStayInPlace();
    void byteOrderMark_data();
    void byteOrderMark();
    void unreadableStore_data();
    void unreadableStore();
    void damagedFilesReadAsFewerKeys_data();
    void damagedFilesReadAsFewerKeys();
    void failedWriteThrowsAndKeepsTheFile();
    void writesLeaveNoTemporaryFiles();
    void unchangedValuesLeaveTheFile();
    void concurrentWritersLoseNoKey();
    void writeSoonLandsInOrderOrNotAtAll();
};

void SettingsTest::defaultLocationFollowsXdgConfigHome() {
    TestEnv env;
    QCOMPARE(SettingsStore::defaultFilePath(), env.settingsFile());
}

void SettingsTest::missingKeyAndMissingFileReadEmpty() {
    TestEnv env;
    SettingsStore store(env.settingsFile());
    QCOMPARE(store.read(QStringLiteral("User")), QString());
    store.write(QStringLiteral("User"), QStringLiteral("Anna"));
    QCOMPARE(store.read(QStringLiteral("OLE")), QString());
}

void SettingsTest::keysMatchWithoutLetterCase() {
    TestEnv env;
    SettingsStore store(env.settingsFile());
    store.write(QStringLiteral("Startupdir"), QStringLiteral("/a"));
    QCOMPARE(store.read(QStringLiteral("startupdir")), QStringLiteral("/a"));
    store.write(QStringLiteral("startupdir"), QStringLiteral("/b"));
    QCOMPARE(store.read(QStringLiteral("STARTUPDIR")), QStringLiteral("/b"));
    // One key in the file, under its first spelling.
    const QByteArray file = readFile(env.settingsFile());
    QCOMPARE(file.count("tartupdir="), 1);
    QVERIFY(file.contains("Startupdir=/b"));

    // A file edited by hand with both spellings: the first counts, a write folds them.
    writeFile(env.settingsFile(), "[lumorra]\nAutoSkip=1\nAutoskip=0\n");
    QCOMPARE(store.read(QStringLiteral("AUTOSKIP")), QStringLiteral("1"));
    store.write(QStringLiteral("Autoskip"), QStringLiteral("0"));
    QCOMPARE(readFile(env.settingsFile()).count("utoskip="), 0);
    QCOMPARE(readFile(env.settingsFile()).count("AutoSkip="), 1);
    QCOMPARE(store.read(QStringLiteral("autoskip")), QStringLiteral("0"));
}

void SettingsTest::noCacheBetweenStores() {
    TestEnv env;
    SettingsStore mainProgram(env.settingsFile());
    SettingsStore tray(env.settingsFile());
    QCOMPARE(mainProgram.read(QStringLiteral("SystrayLoaded")), QString());
    tray.write(QStringLiteral("SystrayLoaded"), QStringLiteral("1"));
    QCOMPARE(mainProgram.read(QStringLiteral("SystrayLoaded")), QStringLiteral("1"));
    // A change made behind the store's back, same size and same second, is seen too.
    writeFile(env.settingsFile(), "[Lumorra]\nSystrayLoaded=0\n");
    QCOMPARE(mainProgram.read(QStringLiteral("SystrayLoaded")), QStringLiteral("0"));
}

void SettingsTest::valuesRoundTrip_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("empty") << QString();
    QTest::newRow("pattern") << QStringLiteral("*.jpg;*.jpeg;*.bmp");
    QTest::newRow("spaces around") << QStringLiteral("  padded  ");
    QTest::newRow("quotes and backslashes") << QStringLiteral("say \"hi\" \\ there\\");
    QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\t");
    QTest::newRow("equals and brackets") << QStringLiteral("a=b [Lumorra] c");
    QTest::newRow("leading at sign") << QStringLiteral("@Variant(x)");
    QTest::newRow("leading quote") << QStringLiteral("\"half");
    QTest::newRow("unicode") << QStringLiteral("Ärger ōkami 写真 \U0001F600");
    QTest::newRow("control bytes") << QString::fromUtf8("a\x01z\x7f");
    QTest::newRow("path") << QStringLiteral("/home/anna/My Pictures/");
}

void SettingsTest::valuesRoundTrip() {
    QFETCH(QString, value);
    TestEnv env;
    SettingsStore store(env.settingsFile());
    store.write(QStringLiteral("Before"), QStringLiteral("b"));
    store.write(QStringLiteral("Value"), value);
    store.write(QStringLiteral("After"), QStringLiteral("a"));
    QCOMPARE(store.read(QStringLiteral("Value")), value);
    QCOMPARE(store.read(QStringLiteral("Before")), QStringLiteral("b"));
    QCOMPARE(store.read(QStringLiteral("After")), QStringLiteral("a"));
}

void SettingsTest::otherGroupsAndKeysAreKept() {
    TestEnv env;
    writeFile(env.settingsFile(), "[General]\nx=1\n\n[Other]\nUser=someone else\n\n[Lumorra]\n"
                                  "OnTop=1\n");
    SettingsStore store(env.settingsFile());
    QCOMPARE(store.read(QStringLiteral("User")), QString());
    store.write(QStringLiteral("User"), QStringLiteral("Anna"));
    QCOMPARE(store.read(QStringLiteral("User")), QStringLiteral("Anna"));
    QCOMPARE(store.read(QStringLiteral("OnTop")), QStringLiteral("1"));
    QCOMPARE(
        SettingsStore(env.settingsFile(), QStringLiteral("Other")).read(QStringLiteral("user")),
        QStringLiteral("someone else"));
    QCOMPARE(SettingsStore(env.settingsFile(), QStringLiteral("General")).read(QStringLiteral("X")),
             QStringLiteral("1"));
}

void SettingsTest::foreignLinesStayInPlace() {
    TestEnv env;
    const QByteArray head = "; written by hand\n# another comment\n\n[General]\nx=1\n\n[Lumorra]\n"
                            "; the user's notes\n";
    const QByteArray tail = "# end of the group\n\n[Other]\nUser=someone else\n";
    writeFile(env.settingsFile(), head +
                                      "User=Anna\nUnknown = kept as it is\nAutoSkip=1\n\n"
                                      "Autoskip=0\n" +
                                      tail);
    SettingsStore store(env.settingsFile());
    store.write(QStringLiteral("User"), QStringLiteral("Bob"));
    store.write(QStringLiteral("OnTop"), QStringLiteral("1"));    // new: after the group's last key
    store.write(QStringLiteral("AutoSkip"), QStringLiteral("0")); // the second spelling goes
    store.write(QStringLiteral("PicPattern"), QStringLiteral("*.jpg;*.gif"));
    store.write(QStringLiteral("user"), QStringLiteral("Carl"));
    store.write(QStringLiteral("OnTop"), QStringLiteral("0"));
    store.write({{QStringLiteral("AppPath"), QStringLiteral("/opt/lumorra/")},
                 {QStringLiteral("EXEName"), QStringLiteral("lumorra")}});
    store.write(QStringLiteral("DelConfirmation"), QStringLiteral("1"));
    store.write(QStringLiteral("PicPattern"), QString());
    store.write(QStringLiteral("Systray"), QStringLiteral("0"));
    QCOMPARE(readFile(env.settingsFile()),
             head +
                 "User=Carl\nUnknown = kept as it is\nAutoSkip=0\n\nOnTop=0\nPicPattern=\n"
                 "AppPath=/opt/lumorra/\nEXEName=lumorra\nDelConfirmation=1\nSystray=0\n" +
                 tail);
    QCOMPARE(store.read(QStringLiteral("unknown")), QStringLiteral("kept as it is"));
}

void SettingsTest::byteOrderMark_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QByteArray>("written"); // after OnTop was stored
    const QByteArray bom = "\xEF\xBB\xBF";
    QTest::newRow("mark") << bom + "[Lumorra]\nUser=Anna\n"
                          << QStringLiteral("Anna") << bom + "[Lumorra]\nUser=Anna\nOnTop=1\n";
    QTest::newRow("mark and crlf")
        << bom + "[Lumorra]\r\nUser=Anna\r\n"
        << QStringLiteral("Anna") << bom + "[Lumorra]\r\nUser=Anna\r\nOnTop=1\r\n";
    QTest::newRow("mark before a comment")
        << bom + "; mine\n[Lumorra]\nUser=Anna" << QStringLiteral("Anna")
        << bom + "; mine\n[Lumorra]\nUser=Anna\nOnTop=1\n";
    QTest::newRow("mark alone") << bom << QString() << bom + "[Lumorra]\nOnTop=1\n";
    QTest::newRow("no mark") << QByteArray("[Lumorra]\nUser=Anna\n") << QStringLiteral("Anna")
                             << QByteArray("[Lumorra]\nUser=Anna\nOnTop=1\n");
}

void SettingsTest::byteOrderMark() {
    QFETCH(QByteArray, content);
    QFETCH(QString, user);
    QFETCH(QByteArray, written);
    TestEnv env;
    writeFile(env.settingsFile(), content);
    SettingsStore store(env.settingsFile());
    QCOMPARE(store.read(QStringLiteral("User")), user);
    store.write(QStringLiteral("OnTop"), QStringLiteral("1"));
    QCOMPARE(readFile(env.settingsFile()), written);
    QCOMPARE(store.read(QStringLiteral("user")), user);
}

void SettingsTest::unreadableStore_data() {
    QTest::addColumn<bool>("directory");
    QTest::addColumn<int>("number");
    QTest::newRow("a directory") << true << EISDIR;
    QTest::newRow("no read permission") << false << EACCES;
}

void SettingsTest::unreadableStore() {
    QFETCH(bool, directory);
    QFETCH(int, number);
    TestEnv env;
    const QString file = env.settingsFile();
    const QByteArray content = "[Lumorra]\nUser=Anna\n";
    if (directory) {
        QVERIFY(QDir().mkpath(file + QStringLiteral("/inside")));
    } else {
        if (::geteuid() == 0)
            QSKIP("root reads a file without read permission");
        writeFile(file, content);
        QVERIFY(QFile::setPermissions(file, QFileDevice::WriteOwner));
    }
    SettingsStore store(file);
    // Nothing can be read: no key holds a value.
    QCOMPARE(store.read(QStringLiteral("User")), QString());
    // A write fails with the file system's error and leaves the file as it was.
    int thrown = 0;
    try {
        store.write(QStringLiteral("OnTop"), QStringLiteral("1"));
    } catch (const Error& e) {
        thrown = e.number;
        QCOMPARE(e.description, Error::fromErrno(number).description);
    }
    QCOMPARE(thrown, number);
    if (directory) {
        QVERIFY(QFileInfo(file + QStringLiteral("/inside")).isDir());
    } else {
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(readFile(file), content);
    }
}

void SettingsTest::damagedFilesReadAsFewerKeys_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[\x01=\n\x80\x81=\xc3", 12);
    QTest::newRow("truncated quote") << QByteArray("[Lumorra]\nUser=\"Anna");
    QTest::newRow("no group") << QByteArray("User=Anna\n");
    QTest::newRow("crlf and junk") << QByteArray("junk line\r\n[Lumorra]\r\n=nokey\r\nOLE=1\r\n");
}

void SettingsTest::damagedFilesReadAsFewerKeys() {
    QFETCH(QByteArray, content);
    TestEnv env;
    writeFile(env.settingsFile(), content);
    SettingsStore store(env.settingsFile());
    const QString user = store.read(QStringLiteral("User"));
    QVERIFY(user.isEmpty() || user == QLatin1String("Anna"));
    store.write(QStringLiteral("AutoZoom"), QStringLiteral("1"));
    QCOMPARE(store.read(QStringLiteral("AutoZoom")), QStringLiteral("1"));
    if (content.contains("OLE=1"))
        QCOMPARE(store.read(QStringLiteral("ole")), QStringLiteral("1"));
}

void SettingsTest::failedWriteThrowsAndKeepsTheFile() {
    TestEnv env;
    // The settings directory's place is taken by a plain file: nothing can be written there.
    const QString blocker = env.root() + QStringLiteral("/blocked");
    writeFile(blocker, "x");
    SettingsStore store(blocker + QStringLiteral("/Lumorra.conf"));
    bool threw = false;
    try {
        store.write(QStringLiteral("User"), QStringLiteral("Anna"));
    } catch (const Error& e) {
        threw = true;
        QVERIFY(e.number != 0);
        QVERIFY(!e.description.isEmpty());
    }
    QVERIFY(threw);
    QCOMPARE(readFile(blocker), QByteArray("x"));
    QCOMPARE(store.read(QStringLiteral("User")), QString());
}

void SettingsTest::writesLeaveNoTemporaryFiles() {
    TestEnv env;
    SettingsStore store(env.settingsFile());
    for (int i = 0; i < 20; ++i)
        store.write(QStringLiteral("K%1").arg(i % 3), QString::number(i));
    const QStringList files = QDir(QFileInfo(env.settingsFile()).absolutePath())
                                  .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(files, QStringList({QStringLiteral("Lumorra.conf")}));
}

void SettingsTest::unchangedValuesLeaveTheFile() {
    TestEnv env;
    SettingsStore store(env.settingsFile());
    store.write({{QStringLiteral("AppPath"), QStringLiteral("/opt/a/")},
                 {QStringLiteral("Version"), QStringLiteral("3")}});
    const auto inode = [&] {
        struct stat st {};
        ::stat(QFile::encodeName(env.settingsFile()).constData(), &st);
        return st.st_ino;
    };
    const auto first = inode();
    // Written again as at every start: the same values leave the file as it is.
    store.write({{QStringLiteral("AppPath"), QStringLiteral("/opt/a/")},
                 {QStringLiteral("version"), QStringLiteral("3")}});
    QCOMPARE(inode(), first);
    store.write(QStringLiteral("Version"), QStringLiteral("4"));
    QVERIFY(inode() != first);
    QCOMPARE(store.read(QStringLiteral("Version")), QStringLiteral("4"));
    QCOMPARE(store.read(QStringLiteral("AppPath")), QStringLiteral("/opt/a/"));
}

void SettingsTest::concurrentWritersLoseNoKey() {
    TestEnv env;
    const QString file = env.settingsFile();
    constexpr int PerWriter = 150;
    auto writer = [&file](const QString& prefix) {
        SettingsStore store(file);
        for (int i = 0; i < PerWriter; ++i)
            store.write(prefix + QString::number(i), QString::number(i));
    };
    std::thread a(writer, QStringLiteral("a"));
    std::thread b(writer, QStringLiteral("b"));
    a.join();
    b.join();
    SettingsStore store(file);
    for (int i = 0; i < PerWriter; ++i) {
        QCOMPARE(store.read(QStringLiteral("a") + QString::number(i)), QString::number(i));
        QCOMPARE(store.read(QStringLiteral("B") + QString::number(i)), QString::number(i));
    }
}

void SettingsTest::writeSoonLandsInOrderOrNotAtAll() {
    TestEnv env;
    {
        SettingsStore store(env.settingsFile());
        store.writeSoon({{QStringLiteral("AppPath"), QStringLiteral("/opt/a/")},
                         {QStringLiteral("Version"), QStringLiteral("3")}});
        // Read as stored at once; a later write lands after it, in the same file.
        QCOMPARE(store.read(QStringLiteral("appPath")), QStringLiteral("/opt/a/"));
        store.write(QStringLiteral("User"), QStringLiteral("Anna"));
        store.writeSoon({{QStringLiteral("EXEName"), QStringLiteral("lumorra")}});
    } // the store's end waits for the last one
    QCOMPARE(readFile(env.settingsFile()),
             QByteArray("[Lumorra]\nAppPath=/opt/a/\nVersion=3\nUser=Anna\nEXEName=lumorra\n"));

    // A file that cannot be replaced: nothing is stored, nothing thrown, nothing read as stored.
    SettingsStore store(env.makeDir(QStringLiteral("blocked.conf")));
    store.writeSoon({{QStringLiteral("Version"), QStringLiteral("3")}});
    store.settle();
    QCOMPARE(store.read(QStringLiteral("Version")), QString());
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_tests.moc"
