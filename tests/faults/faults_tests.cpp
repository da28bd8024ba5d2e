// Faults and concurrency: two programs writing the settings file at once lose no key, and a
// program killed with SIGKILL in the middle of a copy, a move, an editor save or a settings
// write leaves every earlier file whole and no partial file under a real name.
//
// The writing is done by fault_driver, a helper process that runs the program's own routines;
// the test starts it, kills it at a random moment and looks at the files.

#include "platform/SettingsStore.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

const QByteArray SeededSettings = "[Lumorra]\n"
                                  "User=Anna\n"
                                  "UserReq=0\n"
                                  "SpcSetting=nosplash\n"
                                  "PicPattern=*.jpg;*.gif\n"
                                  "startupdir=/tmp\n";
const QStringList SeededKeys = {QStringLiteral("User"), QStringLiteral("UserReq"),
                                QStringLiteral("SpcSetting"), QStringLiteral("PicPattern"),
                                QStringLiteral("startupdir")};

QString driverPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/fault_driver");
}

// The keys of a settings file that must be whole: one group header line "[Lumorra]" and
// nothing but "key=value" lines after it, each ended by a line feed. Returns false for anything
// else (a truncated last line, a second header, garbage).
bool parseStrictly(const QByteArray& text, QHash<QString, QString>& keys) {
    keys.clear();
    if (!text.startsWith("[Lumorra]\n") || !text.endsWith('\n'))
        return false;
    const QList<QByteArray> lines = text.sliced(10).chopped(1).split('\n');
    for (const QByteArray& line : lines) {
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0 || line.startsWith('['))
            return false;
        keys.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return true;
}

// A helper process that is started, waited for until it is set up, and killed.
struct Driver {
    QProcess process;
    Driver(const QStringList& args, const QString& tempDir) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Its own temporary files (the test environment's) go where the test cleans up.
        env.insert(QStringLiteral("TMPDIR"), tempDir);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(driverPath(), args);
    }
    ~Driver() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool waitForLine(const QByteArray& line, int ms = 20000) {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            while (process.canReadLine()) {
                const QByteArray got = process.readLine().trimmed();
                output += got + '\n';
                if (got == line)
                    return true;
            }
            if (process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(100);
        }
        return false;
    }
    void killAfter(int ms) {
        QThread::msleep(static_cast<unsigned long>(ms));
        ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
        process.waitForFinished(5000);
    }
    QByteArray output;
};

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    gen.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

// The names in a directory, hidden ones too.
QStringList namesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Splits a directory's names into the visible ones and the program's hidden temporaries (a
// copy's, or a whole-file write's: "." + the file's name + "-" and six characters), which are
// counted and removed so that they do not fill the disk over the rounds.
QStringList visibleNames(const QString& dir, int& temporaries) {
    static const QRegularExpression temporary(
        QStringLiteral("^\\.(lumorra-copy|.+)-[A-Za-z0-9]{6}$"));
    QStringList visible;
    for (const QString& name : namesIn(dir)) {
        if (temporary.match(name).hasMatch()) {
            ++temporaries;
            QFile::remove(dir + QLatin1Char('/') + name);
        } else {
            visible << name;
        }
    }
    return visible;
}

// A directory for the killed rounds: on a RAM disk where there is one, so that a round is short
// and the kills fall into every step (reading, writing, flushing, renaming, deleting).
std::unique_ptr<QTemporaryDir> roundsDir() {
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        auto dir =
            std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/lumorra-faults-XXXXXX"));
        if (dir->isValid())
            return dir;
    }
    return std::make_unique<QTemporaryDir>();
}

int randomDelay(int maxMs) {
    return static_cast<int>(QRandomGenerator::global()->bounded(maxMs + 1));
}

constexpr int Kills = 20;

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT
private slots:
    void concurrentWritersLoseNoKey();
    void killedCopyKeepsTheEarlierFile();
    void killedMoveKeepsTheFile();
    void killedEditorSaveLeavesAWholeFile();
    void killedSettingsWriteKeepsEveryKey();
};

// Two programs, 1,000 writes each at the same moment, while the file is read again and again.
void FaultsTest::concurrentWritersLoseNoKey() {
    TestEnv env;
    const QString conf = env.settingsFile();
    writeFile(conf, SeededSettings);
    const QString go = env.root() + QStringLiteral("/go");
    constexpr int Writes = 1000;
    const QStringList prefixes = {QStringLiteral("LumorraKey"), QStringLiteral("TrayKey")};
    std::vector<std::unique_ptr<Driver>> writers;
    for (const QString& prefix : prefixes) {
        writers.push_back(std::make_unique<Driver>(
            QStringList{QStringLiteral("hammer"), conf, prefix, QString::number(Writes), go},
            env.root()));
    }
    for (auto& w : writers)
        QVERIFY2(w->waitForLine("ready"), w->output.constData());
    writeFile(go, "go");

    int reads = 0;
    int corrupt = 0;
    int vanished = 0;
    QSet<QString> seen;
    QHash<QString, QString> keys;
    auto running = [&] {
        bool any = false;
        for (auto& w : writers) {
            w->process.waitForFinished(0);
            any = w->process.state() != QProcess::NotRunning || any;
        }
        return any;
    };
    while (running()) {
        ++reads;
        if (!parseStrictly(readFile(conf), keys)) {
            ++corrupt;
            continue;
        }
        // Nothing ever removes a key: what was there once stays.
        for (const QString& k : std::as_const(seen))
            vanished += keys.contains(k) ? 0 : 1;
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            seen.insert(it.key());
    }
    int failedWrites = 0;
    for (auto& w : writers) {
        QVERIFY2(w->waitForLine("done", 1000), w->output.constData());
        w->output += w->process.readAll();
        failedWrites += static_cast<int>(w->output.count("failed "));
        QCOMPARE(w->process.exitCode(), 0);
    }

    QVERIFY(parseStrictly(readFile(conf), keys));
    int lost = 0;
    for (const QString& prefix : prefixes) {
        for (int i = 0; i < Writes; ++i)
            lost += keys.value(prefix + QString::number(i)) == QString::number(i * 7) ? 0 : 1;
    }
    for (const QString& k : SeededKeys)
        lost += keys.contains(k) ? 0 : 1;
    // Keys are added at the end of the file in the order they were written: the number of
    // turns from one writer's keys to the other's tells how far the writes interleaved.
    int turns = 0;
    QChar last;
    for (const QByteArray& line : readFile(conf).split('\n')) {
        const QChar who = line.startsWith("LumorraKey") ? QLatin1Char('L')
                          : line.startsWith("TrayKey")  ? QLatin1Char('T')
                                                        : QChar();
        if (!who.isNull() && !last.isNull() && who != last)
            ++turns;
        if (!who.isNull())
            last = who;
    }
    // The program's own reader sees the same.
    SettingsStore store(conf);
    QCOMPARE(store.read(QStringLiteral("trAYkey999")), QString::number(999 * 7));
    QCOMPARE(store.read(QStringLiteral("User")), QStringLiteral("Anna"));

    qInfo("concurrent writes: %d (%d turns between the writers), failed: %d, keys lost: %d; "
          "%d reads during the run, %d corrupt, %d keys vanished",
          Writes * 2, turns, failedWrites, lost, reads, corrupt, vanished);
    QCOMPARE(failedWrites, 0);
    QCOMPARE(lost, 0);
    QCOMPARE(corrupt, 0);
    QCOMPARE(vanished, 0);
    QCOMPARE(keys.size(), SeededKeys.size() + Writes * 2);
}

// "File Copy" replaces the copy directory's big.dat by one of two sources, again and again;
// the destination always holds a whole file: the earlier one or a whole new one.
void FaultsTest::killedCopyKeepsTheEarlierFile() {
    const auto dir = roundsDir();
    const QString root = dir->path();
    const QByteArray a = randomBytes(4 << 20, 1);
    const QByteArray b = randomBytes(4 << 20, 2);
    const QByteArray earlier = randomBytes(3 << 20, 3);
    writeFile(root + QStringLiteral("/a/big.dat"), a);
    writeFile(root + QStringLiteral("/b/big.dat"), b);
    const QString destination = root + QStringLiteral("/copies/big.dat");
    writeFile(destination, earlier);

    int temporaries = 0;
    int halfFiles = 0;
    QSet<int> seenContents;
    for (int round = 0; round < Kills; ++round) {
        Driver d({QStringLiteral("copy"), root}, root);
        QVERIFY2(d.waitForLine("ready"), d.output.constData());
        d.killAfter(randomDelay(250));

        QCOMPARE(readFile(root + QStringLiteral("/a/big.dat")), a);
        QCOMPARE(readFile(root + QStringLiteral("/b/big.dat")), b);
        const QStringList names = visibleNames(root + QStringLiteral("/copies"), temporaries);
        QCOMPARE(names, QStringList{QStringLiteral("big.dat")});
        const QByteArray now = readFile(destination);
        const int which = now == earlier ? 0 : now == a ? 1 : now == b ? 2 : -1;
        halfFiles += which < 0 ? 1 : 0;
        QVERIFY2(
            which >= 0,
            qPrintable(QStringLiteral("round %1: a file of %2 bytes").arg(round).arg(now.size())));
        seenContents.insert(which);
    }
    qInfo("copy: %d kills, %d half files, %d hidden temporaries left, %lld different results",
          Kills, halfFiles, temporaries, static_cast<long long>(seenContents.size()));
}

// "File Move" takes big.dat to the copy directory and back again and again: the file is always
// in one of the two places, whole (in both after a kill between the copy and the delete).
void FaultsTest::killedMoveKeepsTheFile() {
    const auto dir = roundsDir();
    const QString root = dir->path();
    const QByteArray a = randomBytes(4 << 20, 4);
    const QString inA = root + QStringLiteral("/a/big.dat");
    const QString inCopies = root + QStringLiteral("/copies/big.dat");
    writeFile(inA, a);
    QDir().mkpath(root + QStringLiteral("/copies"));

    int temporaries = 0;
    int both = 0;
    for (int round = 0; round < Kills; ++round) {
        Driver d({QStringLiteral("move"), root}, root);
        QVERIFY2(d.waitForLine("ready"), d.output.constData());
        d.killAfter(randomDelay(250));

        const QStringList inDirA = visibleNames(root + QStringLiteral("/a"), temporaries);
        const QStringList inDirCopies = visibleNames(root + QStringLiteral("/copies"), temporaries);
        QVERIFY(inDirA.size() <= 1 && inDirCopies.size() <= 1);
        QVERIFY2(inDirA.size() + inDirCopies.size() >= 1, "the file is gone");
        if (!inDirA.isEmpty())
            QCOMPARE(readFile(inA), a);
        if (!inDirCopies.isEmpty())
            QCOMPARE(readFile(inCopies), a);
        if (inDirA.size() + inDirCopies.size() == 2) {
            // Killed after the copy, before the delete: both whole. Go on with one.
            ++both;
            QFile::remove(inCopies);
        }
    }
    qInfo("move: %d kills, 0 files lost, 0 half files, %d times both copies kept, %d hidden "
          "temporaries left",
          Kills, both, temporaries);
}

// The text editor saves its document again and again: the file is always a whole version.
void FaultsTest::killedEditorSaveLeavesAWholeFile() {
    const auto dir = roundsDir();
    const QString docs = dir->path() + QStringLiteral("/docs");
    const QString file = docs + QStringLiteral("/notes.txt");
    QByteArray body;
    for (int i = 0; body.size() < (256 << 10); ++i)
        body += "Line " + QByteArray::number(i) + " of the notes, with some words in it.\n";
    writeFile(file, "000000\n" + body);

    int halfFiles = 0;
    int temporaries = 0;
    QSet<QByteArray> versions;
    const QRegularExpression counter(QStringLiteral("^[0-9]{6}\n"));
    for (int round = 0; round < Kills; ++round) {
        Driver d({QStringLiteral("save"), file}, dir->path());
        QVERIFY2(d.waitForLine("ready"), d.output.constData());
        d.killAfter(randomDelay(300));

        const QStringList names = visibleNames(docs, temporaries);
        QVERIFY2(names == QStringList{QStringLiteral("notes.txt")}, qPrintable(names.join(' ')));
        const QByteArray now = readFile(file);
        const bool whole = now.size() == body.size() + 7 && now.endsWith(body) &&
                           counter.match(QString::fromLatin1(now.left(7))).hasMatch();
        halfFiles += whole ? 0 : 1;
        QVERIFY2(whole, qPrintable(QStringLiteral("a file of %1 bytes").arg(now.size())));
        versions.insert(now.left(6));
    }
    qInfo("editor save: %d kills, %d half files, %d hidden temporaries left, %lld different "
          "versions seen",
          Kills, halfFiles, temporaries, static_cast<long long>(versions.size()));
}

// Settings writes one after another: every key written before the kill is still there, and
// the next write after a kill goes through (the dead writer's lock does not hold it up).
void FaultsTest::killedSettingsWriteKeepsEveryKey() {
    TestEnv env;
    const QString conf = env.settingsFile();
    writeFile(conf, SeededSettings);
    const QString confDir = QFileInfo(conf).path();

    int halfFiles = 0;
    int temporaries = 0;
    int written = 0;
    for (int round = 0; round < Kills; ++round) {
        Driver d({QStringLiteral("settings"), conf}, env.root());
        QVERIFY2(d.waitForLine("ready"), d.output.constData());
        d.killAfter(randomDelay(150));

        QHash<QString, QString> keys;
        const bool whole = parseStrictly(readFile(conf), keys);
        halfFiles += whole ? 0 : 1;
        QVERIFY2(whole, readFile(conf).right(200).constData());
        for (const QString& k : SeededKeys)
            QVERIFY2(keys.contains(k), qPrintable(k));
        // Rounds are written in order: no gap below the highest one.
        int highest = -1;
        while (keys.contains(QStringLiteral("Round") + QString::number(highest + 1)))
            ++highest;
        for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
            if (it.key().startsWith(QLatin1String("Round")))
                QVERIFY2(it.key().mid(5).toInt() <= highest, qPrintable(it.key()));
        }
        written = qMax(written, highest + 1);
        const QStringList names = namesIn(confDir);
        for (const QString& name : names) {
            QVERIFY2(name == QLatin1String("Lumorra.conf") ||
                         name == QLatin1String("Lumorra.conf.lock") ||
                         name.startsWith(QLatin1String(".Lumorra.conf-")),
                     qPrintable(name));
            temporaries += name.startsWith(QLatin1Char('.')) ? 1 : 0;
        }

        // The next write goes through and takes away what the killed one left.
        SettingsStore store(conf);
        store.write(QStringLiteral("AfterKill"), QString::number(round));
        QCOMPARE(store.read(QStringLiteral("afterkill")), QString::number(round));
        QCOMPARE(namesIn(confDir), QStringList{QStringLiteral("Lumorra.conf")});
    }
    qInfo("settings write: %d kills, %d half files, %d hidden temporaries left by a kill (all "
          "removed by the next write), up to %d keys written in one run",
          Kills, halfFiles, temporaries, written);
}

QTEST_GUILESS_MAIN(FaultsTest)
#include "faults_tests.moc"
