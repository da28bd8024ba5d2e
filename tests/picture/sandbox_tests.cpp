// The decoder workers' walls: what a hostile picture makes a decoder try ends its worker, the
// picture fails as an invalid one, and the program and the next picture go on.

#include "picture/FrameDecoder.h"
#include "picture/PictureLoader.h"
#include "picture/colour/Colour.h"
#include "picture/sandbox/Confinement.h"
#include "picture/sandbox/Sandbox.h"
#include "platform/Error.h"
#include "support/Decoders.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <future>
#include <optional>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::picture;
using namespace std::chrono_literals;

class SandboxTest : public QObject {
    Q_OBJECT

private slots:
    void hostileJobEndsItsWorker_data();
    void hostileJobEndsItsWorker();
    void runningWorkerIsConfined();
    void drawingWorkerReadsOnlyFonts();
    void crashOrHangThenGoodPicture();
    void memoryOfAPictureServesTheNext();
    void animationFramesComeInTheirOrder_data();
    void animationFramesComeInTheirOrder();
    void damagedAnimationsEndWhereTheyCan_data();
    void damagedAnimationsEndWhereTheyCan();

private:
    static JobRequest job(int n, QByteArray bytes = "x", bool drawing = false) {
        JobRequest r;
        r.job = Job(int(Job::FirstExtra) + n);
        r.kind = drawing ? WorkerKind::Drawing : WorkerKind::Picture;
        r.bytes = bytes;
        r.budget = qint64(256) << 20;
        r.memory = qint64(512) << 20;
        return r;
    }
    static JobRequest png(QColor colour, QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        JobRequest r;
        QBuffer out(&r.bytes);
        out.open(QIODevice::WriteOnly);
        image.save(&out, "png");
        r.budget = qint64(256) << 20;
        r.memory = qint64(512) << 20;
        return r;
    }
    static std::optional<int> failure(DecoderPool& pool, const JobRequest& r,
                                      std::chrono::milliseconds timeout = 10s) {
        try {
            pool.run(r, timeout);
        } catch (const Error& e) {
            return e.number;
        }
        return std::nullopt;
    }
    DecoderPool pool_{QStringLiteral(SANDBOX_TEST_WORKER)};
};

void SandboxTest::hostileJobEndsItsWorker_data() {
    QTest::addColumn<int>("job");
    QTest::addColumn<bool>("drawing"); // a worker that may read the fonts
    QTest::newRow("write a file in the home directory") << 0 << false;
    QTest::newRow("connect a socket") << 1 << false;
    QTest::newRow("run a program") << 2 << false;
    QTest::newRow("start a process") << 3 << false;
    QTest::newRow("kill another process") << 4 << false;
    QTest::newRow("drawing: write a file in the home directory") << 0 << true;
    QTest::newRow("drawing: connect a socket") << 1 << true;
    QTest::newRow("drawing: run a program") << 2 << true;
    QTest::newRow("drawing: start a process") << 3 << true;
}

void SandboxTest::hostileJobEndsItsWorker() {
    QFETCH(int, job);
    QFETCH(bool, drawing);
    if (SanitizedBuild)
        QSKIP("sanitizer builds load no system call filter");
    // A file of the user's that a worker can name but must not touch.
    QTemporaryDir home(QDir::homePath() + QStringLiteral("/sandbox-XXXXXX"));
    QVERIFY(home.isValid());
    const QString path = home.filePath(QStringLiteral("letter.txt"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Dear all");
    }
    QCOMPARE(failure(pool_, SandboxTest::job(job, QFile::encodeName(path), drawing)),
             std::optional<int>(errc::InvalidPicture));
    QCOMPARE(pool_.lastFailureSignal(), SIGSYS);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("Dear all"));
    // The next job gets a worker of its own, and the zygote still serves.
    QCOMPARE(pool_.run(SandboxTest::job(6), 10s).image.size(), QSize(8, 8));
}

void SandboxTest::runningWorkerIsConfined() {
    auto decoding = std::async(std::launch::async, [&] { return pool_.run(job(6), 10s); });
    // The worker is the zygote's child, the zygote this program's.
    const auto field = [](const QByteArray& status, const QByteArray& name) {
        for (const QByteArray& line : status.split('\n')) {
            if (line.startsWith(name + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return QByteArray();
    };
    const auto statusOf = [](const QString& pid) {
        QFile f(QStringLiteral("/proc/%1/status").arg(pid));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QByteArray confined;
    for (int attempt = 0; attempt < 100 && confined.isEmpty(); ++attempt) {
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            const QByteArray status = statusOf(pid);
            const QByteArray parent = field(status, "PPid");
            if (status.isEmpty() || parent.isEmpty() ||
                field(statusOf(QString::fromLatin1(parent)), "PPid").toInt() != ::getpid())
                continue;
            if (field(status, "Seccomp") == (SanitizedBuild ? "0" : "2"))
                confined = status;
        }
        QTest::qWait(10);
    }
    QVERIFY(!confined.isEmpty());
    QCOMPARE(field(confined, "NoNewPrivs"), QByteArray("1"));
    QCOMPARE(decoding.get().image.size(), QSize(8, 8));
}

void SandboxTest::drawingWorkerReadsOnlyFonts() {
    QTemporaryDir home(QDir::homePath() + QStringLiteral("/sandbox-XXXXXX"));
    QVERIFY(home.isValid());
    const QString letter = home.filePath(QStringLiteral("letter.txt"));
    {
        QFile f(letter);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Dear all");
    }
    QString font;
    QDirIterator fonts(QStringLiteral("/usr/share/fonts"), {QStringLiteral("*.ttf")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (font.isEmpty() && fonts.hasNext()) {
        if (!fonts.nextFileInfo().isSymLink())
            font = fonts.filePath();
    }
    if (font.isEmpty())
        QSKIP("no fonts in /usr/share/fonts");
    const auto width = [&](const QString& path, bool drawing) {
        return pool_.run(job(8, QFile::encodeName(path), drawing), 10s).image.width();
    };
    QCOMPARE(width(font, true), 9);
    QCOMPARE(width(letter, true), 8);
    // A worker that decodes a picture opens nothing (its filter; Landlock alone would let the
    // open of a font fail without ending it, as in sanitizer builds).
    if (!SanitizedBuild)
        QCOMPARE(failure(pool_, job(8, QFile::encodeName(font))),
                 std::optional<int>(errc::InvalidPicture));
}

void SandboxTest::crashOrHangThenGoodPicture() {
    QCOMPARE(failure(pool_, job(5)), std::optional<int>(errc::InvalidPicture));
    // (The address sanitizer's runtime takes the crash and ends the worker its own way.)
    if (!SanitizedBuild)
        QCOMPARE(pool_.lastFailureSignal(), SIGSEGV);
    QElapsedTimer t;
    t.start();
    QCOMPARE(failure(pool_, job(7), 300ms), std::optional<int>(errc::InvalidPicture));
    QVERIFY(t.elapsed() < 5000);
    QCOMPARE(pool_.lastFailureSignal(), SIGKILL);
    // A real picture, decoded by the next worker.
    const JobReply r = pool_.run(png(Qt::red, QSize(40, 30)), 10s);
    QCOMPARE(r.image.size(), QSize(40, 30));
    QCOMPARE(r.image.pixel(5, 5), qRgb(255, 0, 0));
    QCOMPARE(r.format, QByteArray("png"));
}

void SandboxTest::memoryOfAPictureServesTheNext() {
    // A picture done with leaves its memory to the next one of about its size, which shows its
    // own pixels in it; a header read between them neither takes it nor spoils it.
    const uchar* first = nullptr;
    {
        const JobReply r = pool_.run(png(Qt::red, QSize(300, 200)), 10s);
        first = r.image.constBits();
    }
    JobRequest size = png(Qt::red, QSize(10, 10));
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(size.bytes);
    file.flush();
    size.job = Job::Size;
    size.file = file.handle();
    size.bytes.clear();
    QCOMPARE(pool_.run(size, 10s).naturalSize, QSize(10, 10));
    const JobReply r = pool_.run(png(Qt::blue, QSize(260, 200)), 10s);
    QCOMPARE(r.image.constBits(), first);
    QCOMPARE(r.image.size(), QSize(260, 200));
    for (const QPoint p : {QPoint(0, 0), QPoint(259, 199), QPoint(130, 100)})
        QCOMPARE(r.image.pixel(p), qRgb(0, 0, 255));
}

namespace {

const QStringList RedLimeBlue = {QStringLiteral("red"), QStringLiteral("lime"),
                                 QStringLiteral("blue")};

// "red/50/0": the frame's colour, delay and passes before it, or "end".
QString describe(const AnimationFrame& f) {
    if (f.image.isNull())
        return QStringLiteral("end");
    const QColor c = f.image.pixelColor(f.image.width() / 2, f.image.height() / 2);
    const auto is = [&](int r, int g, int b) {
        return qAbs(c.red() - r) < 40 && qAbs(c.green() - g) < 40 && qAbs(c.blue() - b) < 40;
    };
    const QString name = is(255, 0, 0)   ? QStringLiteral("red")
                         : is(0, 255, 0) ? QStringLiteral("lime")
                         : is(0, 0, 255) ? QStringLiteral("blue")
                                         : c.name();
    return QStringLiteral("%1/%2/%3").arg(name).arg(f.delay).arg(f.repeats);
}

QByteArray animation(const QString& path, const QStringList& options,
                     const QStringList& colours = RedLimeBlue) {
    if (!test::makeAnimation(path, colours, options))
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void SandboxTest::animationFramesComeInTheirOrder_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("first"); // the frame to start at
    QTest::addColumn<QString>("frames");
    const QStringList twice{QStringLiteral("-loop"), QStringLiteral("2")};
    const QString twoPasses =
        QStringLiteral("red/50/0 lime/50/0 blue/50/0 red/50/1 lime/50/1 blue/50/1 end");
    QTest::newRow("gif, twice") << "a.gif" << twice << 0 << twoPasses;
    // convert writes no loop count into a WebP, nor cjxl into a JPEG XL: they play for ever.
    const QString forEver =
        QStringLiteral("red/50/0 lime/50/0 blue/50/0 red/50/1 lime/50/1 blue/50/1 red/50/2");
    QTest::newRow("webp") << "a.webp" << twice << 0 << forEver;
    QTest::newRow("jxl") << "a.jxl" << twice << 0 << forEver;
    QTest::newRow("jxl, from the third") << "a.jxl" << twice << 2 << "blue/50/0 red/50/1";
    // An AVIF sequence plays for ever, each frame at its own duration.
    QTest::newRow("avif, durations")
        << "a.avif" << QStringList{"--duration", "10", "--duration", "20", "--duration", "30"} << 0
        << "red/100/0 lime/200/0 blue/300/0 red/100/1 lime/200/1 blue/300/1 red/100/2";
    QTest::newRow("avif, from the second")
        << "a.avif" << QStringList() << 1 << "lime/50/0 blue/50/0 red/50/1";
}

void SandboxTest::animationFramesComeInTheirOrder() {
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QFETCH(int, first);
    QFETCH(QString, frames);
    QTemporaryDir dir;
    const QByteArray bytes = animation(dir.filePath(name), options);
    if (bytes.isEmpty())
        QSKIP("the encoder cannot write this format here");
    QVERIFY(decodePicture(test::decoders(), bytes).isAnimation());
    FrameDecoder decoder(test::decoders(), bytes, nullptr, first);
    QStringList got;
    for (int i = 0; i < frames.count(QLatin1Char(' ')) + 1; ++i)
        got << describe(decoder.next());
    QCOMPARE(got.join(QLatin1Char(' ')), frames);
}

void SandboxTest::damagedAnimationsEndWhereTheyCan_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("frames"); // before the end
    QTemporaryDir dir;
    const QByteArray avif = animation(dir.filePath(QStringLiteral("a.avif")), {"--cicp", "12/13/0"},
                                      {"#c08040", "#4080c0", "#808080"});
    if (avif.isEmpty())
        QSKIP("avifenc cannot write AVIF here");
    QTest::newRow("sound, plays for ever") << avif << 7;
    QTest::newRow("truncated sequence") << avif.left(avif.size() - 40) << 0;
    // The sample size box says no frames.
    QByteArray none = avif;
    const qsizetype stsz = none.indexOf("stsz");
    QVERIFY(stsz > 0);
    qToBigEndian<quint32>(0, none.data() + stsz + 12);
    QTest::newRow("zero frames") << none << 0;
    QTest::newRow("no frame after the header")
        << QByteArray("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14) << 0;
}

// Frames come colour-managed as the still picture is (Display P3 on an sRGB screen here); a
// damaged animation gives what it has and ends, and the next picture is decoded as ever.
void SandboxTest::damagedAnimationsEndWhereTheyCan() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, frames);
    const ColourTransforms colour;
    FrameDecoder decoder(test::decoders(), bytes, &colour);
    int got = 0;
    for (AnimationFrame f = decoder.next(); !f.image.isNull() && got < 7; f = decoder.next()) {
        if (got++ > 0)
            continue;
        const QImage still =
            decodePicture(test::decoders(), bytes, QSize(), MetafilePolicy::Load, &colour).image;
        QCOMPARE(f.image.pixelColor(5, 5), still.pixelColor(5, 5));
        QVERIFY(qAbs(f.image.pixelColor(5, 5).red() - 0xc0) > 5); // P3's orange is redder
    }
    QCOMPARE(got, frames);
    QVERIFY(!decodePicture(test::decoders(), png(Qt::red, QSize(4, 4)).bytes).isNull());
}

QTEST_GUILESS_MAIN(SandboxTest)
#include "sandbox_tests.moc"
