#include "movie/MovieControl.h"
#include "support/TestEnv.h"
#include "support/VivoWriter.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>
#include <memory>

using lumorra::Error;
using lumorra::MovieControl;
using lumorra::MoviePlayer;

namespace {

constexpr int LoadTimeoutMs = 8000;

struct Spies {
    explicit Spies(MovieControl& control)
        : loaded(&control, &MovieControl::loaded), started(&control, &MovieControl::started),
          failed(&control, &MovieControl::failed), ended(&control, &MovieControl::ended) {}
    Error error(int n = 0) const { return failed.at(n).at(0).value<Error>(); }
    QSignalSpy loaded;
    QSignalSpy started;
    QSignalSpy failed;
    QSignalSpy ended;
};

// How many pixels have some colour; testsrc is mostly bright bars.
int colouredPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 40 || qGreen(p) > 40 || qBlue(p) > 40)
                ++count;
        }
    }
    return count;
}

bool processHoldsFile(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd :
         fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        if (QFile::symLinkTarget(fds.filePath(fd)) == target)
            return true;
    }
    return false;
}

QString infoValue(const QList<QPair<QString, QString>>& rows, const QString& label) {
    for (const auto& [l, value] : rows) {
        if (l == label)
            return value;
    }
    return {};
}

} // namespace

class MovieControlTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void loadsAndPlaysEachContainer_data();
    void loadsAndPlaysEachContainer();
    void paintsTheFrameScaledToTheWidget();
    void rateChangesTheSpeed();
    void pauseHoldsThePositionAndPlayResumes();
    void endKeepsTheLastFrameAndPlayStartsAgain();
    void emptyNameUnloadsAndReleasesTheFile();

    void badFilesFailOnce_data();
    void badFilesFailOnce();
    void onlyTheCurrentFileIsReported();
    void fileVanishingWhilePlayingIsSurvived();
    void destroyedWhileLoadingOrPlaying();

    void playsAVivoFileAndRestartsIt();

    void playerWithoutAWidget_data();
    void playerWithoutAWidget();

private:
    QString clip(const QString& name) const { return dir_.filePath(name); }
    bool ffmpeg(const QStringList& args);
    std::unique_ptr<MovieControl> control() {
        auto c = std::make_unique<MovieControl>(nullptr, MovieControl::Sound::Off);
        c->resize(160, 120);
        return c;
    }

    lumorra::test::TestEnv env_;
    QTemporaryDir dir_;
    int vivoDurationMs_ = 0;
};

bool MovieControlTest::ffmpeg(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-nostdin", "-v", "error", "-y"} + args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << "ffmpeg" << args << p.readAllStandardError();
        return false;
    }
    return true;
}

void MovieControlTest::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        QSKIP("ffmpeg is not installed");
    QVERIFY(dir_.isValid());
    const QStringList src{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10",
                          "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050"};
    QVERIFY(ffmpeg(src +
                   QStringList{"-t", "2", "-c:v", "mpeg4", "-c:a", "pcm_s16le", clip("clip.avi")}));
    QVERIFY(ffmpeg(src + QStringList{"-t", "2", "-r", "25", "-c:v", "mpeg1video", "-c:a", "mp2",
                                     "-ar", "44100", clip("clip.mpg")}));
    QVERIFY(ffmpeg(src + QStringList{"-t", "2", "-c:v", "mpeg4", "-c:a", "aac", clip("clip.mov")}));
    QVERIFY(ffmpeg(src +
                   QStringList{"-t", "6", "-c:v", "mpeg4", "-c:a", "pcm_s16le", clip("long.avi")}));
    QVERIFY(
        ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48", "-frames:v", "1", clip("picture.jpg")}));
    lumorra::test::writeFile(clip("notes.txt"), "These are not moving pictures.\n");
    lumorra::test::writeFile(clip("empty.avi"), QByteArray());
    QVERIFY(QDir().mkpath(clip("folder.avi")));

    // Vivo: H.263 video and G.723.1 sound, encoded raw and put into the container here.
    QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=176x144:rate=10", "-t", "3", "-c:v", "h263",
                    "-f", "h263", clip("vivo.h263")}));
    QVERIFY(ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000", "-t", "3", "-c:a",
                    "g723_1", "-ar", "8000", "-ac", "1", "-b:a", "6300", "-f", "g723_1",
                    clip("vivo.g723")}));
    lumorra::test::VivoMovie movie;
    movie.h263 = lumorra::test::readFile(clip("vivo.h263"));
    movie.g7231 = lumorra::test::readFile(clip("vivo.g723"));
    // A little shorter than the streams, so that the test sees the header's value.
    movie.durationMs = vivoDurationMs_ = 2600;
    QCOMPARE(lumorra::test::splitH263Pictures(movie.h263).size(), 30);
    lumorra::test::writeFile(clip("movie.viv"), lumorra::test::vivoFile(movie));
}

void MovieControlTest::loadsAndPlaysEachContainer_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("avi") << "clip.avi";
    QTest::newRow("mpg") << "clip.mpg";
    QTest::newRow("mov") << "clip.mov";
}

void MovieControlTest::loadsAndPlaysEachContainer() {
    QFETCH(QString, name);
    auto c = control();
    Spies spies(*c);
    QSignalSpy sizes(c.get(), &MovieControl::naturalSizeChanged);
    QSignalSpy positions(c.get(), &MovieControl::positionChanged);

    c->setFileName(clip(name));
    QCOMPARE(c->fileName(), clip(name));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QCOMPARE(spies.loaded.count(), 1);
    // The size is known by the time loaded() arrives, so the caller can lay itself out.
    QCOMPARE(c->naturalSize(), QSize(160, 120));
    QVERIFY(!sizes.isEmpty());
    QCOMPARE(c->sizeHint(), QSize(160, 120));
    QVERIFY2(std::abs(c->duration() - 2.0) < 0.25, qPrintable(QString::number(c->duration())));

    QTRY_COMPARE_WITH_TIMEOUT(spies.started.count(), 1, LoadTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!c->frame().isNull(), LoadTimeoutMs);
    QCOMPARE(c->frame().size(), QSize(160, 120));
    QCOMPARE(c->frame().format(), QImage::Format_RGBX8888);
    QVERIFY(colouredPixels(c->frame()) > 100);
    QTRY_VERIFY_WITH_TIMEOUT(c->position() > 0.3, LoadTimeoutMs);
    QVERIFY(!positions.isEmpty());
    QVERIFY(!c->isPaused());
    QCOMPARE(spies.failed.count(), 0);

    const auto info = c->info();
    QCOMPARE(infoValue(info, "File"), name);
    QVERIFY(!infoValue(info, "File format").isEmpty());
    QVERIFY(!infoValue(info, "Video codec").isEmpty());
    QVERIFY(!infoValue(info, "Audio codec").isEmpty());
    QCOMPARE(infoValue(info, "Frame size"), QStringLiteral("160 x 120"));
    QVERIFY(!infoValue(info, "Duration").isEmpty());
}

void MovieControlTest::paintsTheFrameScaledToTheWidget() {
    auto c = control();
    c->setFileName(clip("long.avi"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(!c->frame().isNull(), LoadTimeoutMs);
    c->pause();
    QTest::qWait(300);
    c->resize(320, 240);
    const QImage frame = c->frame().copy();
    const QImage shown = c->grab().toImage();
    // The picture doubled in size, halved again, is the picture.
    const QImage back = shown.convertToFormat(QImage::Format_RGBX8888)
                            .scaled(frame.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    qint64 difference = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb a = frame.pixel(x, y);
            const QRgb b = back.pixel(x, y);
            difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                          std::abs(qBlue(a) - qBlue(b));
        }
    }
    const double mean = double(difference) / (3.0 * frame.width() * frame.height());
    QVERIFY2(mean < 12, qPrintable(QString::number(mean)));
}

void MovieControlTest::rateChangesTheSpeed() {
    auto c = control();
    QVERIFY_THROWS_EXCEPTION(Error, c->setRate(0.0));
    QVERIFY_THROWS_EXCEPTION(Error, c->setRate(std::nan("")));
    QCOMPARE(c->rate(), 1.0);
    c->setFileName(clip("long.avi"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));

    // A change of speed takes up to about 300 ms to be heard and seen.
    auto advanceAt = [&](double rate) {
        c->setRate(rate);
        QTest::qWait(400);
        const double from = c->position();
        QTest::qWait(1000);
        return c->position() - from;
    };
    const double fast = advanceAt(2.0);
    QCOMPARE(c->rate(), 2.0);
    const double slow = advanceAt(0.25);
    QCOMPARE(c->rate(), 0.25);
    QVERIFY2(fast > 1.2 && slow < 0.6 && fast > 3 * slow,
             qPrintable(QStringLiteral("fast %1 slow %2").arg(fast).arg(slow)));

    // The rate stays for the next file.
    c->setFileName(clip("clip.avi"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QCOMPARE(c->rate(), 0.25);
}

void MovieControlTest::pauseHoldsThePositionAndPlayResumes() {
    auto c = control();
    QSignalSpy states(c.get(), &MovieControl::playStateChanged);
    c->setFileName(clip("long.avi"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(c->position() > 0.2, LoadTimeoutMs);

    c->pause();
    QVERIFY(c->isPaused());
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.at(0).at(0).toBool(), true);
    QTest::qWait(300);
    const double held = c->position();
    QTest::qWait(500);
    QVERIFY(std::abs(c->position() - held) < 0.05);

    c->play();
    QVERIFY(!c->isPaused());
    QCOMPARE(states.count(), 2);
    QCOMPARE(states.at(1).at(0).toBool(), false);
    QTRY_VERIFY_WITH_TIMEOUT(c->position() > held + 0.3, 3000);
}

void MovieControlTest::endKeepsTheLastFrameAndPlayStartsAgain() {
    auto c = control();
    Spies spies(*c);
    c->setRate(2.0);
    c->setFileName(clip("clip.avi"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(spies.ended.count(), 1, LoadTimeoutMs);
    QVERIFY(!c->frame().isNull());
    QVERIFY(c->position() > 1.5);
    QTest::qWait(200);
    QCOMPARE(spies.ended.count(), 1);
    QCOMPARE(spies.started.count(), 1);

    c->play();
    QTRY_COMPARE_WITH_TIMEOUT(spies.started.count(), 2, LoadTimeoutMs);
    QVERIFY(c->position() < 1.0);
    QTRY_COMPARE_WITH_TIMEOUT(spies.ended.count(), 2, LoadTimeoutMs);
    QCOMPARE(spies.failed.count(), 0);
}

void MovieControlTest::emptyNameUnloadsAndReleasesTheFile() {
    auto c = control();
    c->setFileName(clip("long.avi"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(!c->frame().isNull(), LoadTimeoutMs);
    QVERIFY(processHoldsFile(clip("long.avi")));

    QSignalSpy sizes(c.get(), &MovieControl::naturalSizeChanged);
    c->setFileName(QString());
    QVERIFY(c->fileName().isEmpty());
    QVERIFY(c->frame().isNull());
    QCOMPARE(c->naturalSize(), QSize());
    QCOMPARE(sizes.count(), 1);
    QCOMPARE(c->duration(), 0.0);
    QCOMPARE(c->position(), 0.0);
    QVERIFY(!c->isLoaded());
    QTRY_VERIFY_WITH_TIMEOUT(!processHoldsFile(clip("long.avi")), 3000);
    QTest::qWait(300);
    QVERIFY(c->frame().isNull());
    QCOMPARE(c->position(), 0.0);
    QVERIFY(c->info().isEmpty());

    // Playing commands without a file do nothing.
    c->play();
    c->restart();
    QTest::qWait(100);
    QVERIFY(c->fileName().isEmpty());
    QVERIFY(c->frame().isNull());
}

void MovieControlTest::badFilesFailOnce_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::newRow("text") << "notes.txt" << 17 << "Unrecognized file format";
    QTest::newRow("picture") << "picture.jpg" << 17 << "Unrecognized file format";
    QTest::newRow("empty") << "empty.avi" << 17 << "Unrecognized file format";
    QTest::newRow("missing") << "missing.avi" << 2 << "No such file or directory";
    QTest::newRow("directory") << "folder.avi" << 21 << "Is a directory";
}

void MovieControlTest::badFilesFailOnce() {
    QFETCH(QString, name);
    QFETCH(int, number);
    QFETCH(QString, description);
    auto c = control();
    Spies spies(*c);
    c->setFileName(clip(name));
    // Always reported after setFileName() has returned, so a caller can connect afterwards.
    QCOMPARE(spies.failed.count(), 0);
    QVERIFY(!c->waitUntilLoaded(LoadTimeoutMs));
    QCOMPARE(spies.failed.count(), 1);
    QCOMPARE(spies.error().number, number);
    QCOMPARE(spies.error().description, description);
    QVERIFY(c->loadError().has_value());
    QCOMPARE(c->loadError()->number, number);
    QTest::qWait(300);
    QCOMPARE(spies.failed.count(), 1);
    QCOMPARE(spies.loaded.count(), 0);
    QCOMPARE(spies.started.count(), 0);
    QCOMPARE(spies.ended.count(), 0);
    QVERIFY(c->frame().isNull());
    QCOMPARE(c->naturalSize(), QSize());
    QCOMPARE(c->fileName(), clip(name));

    // Restarting a failed file tries again and fails again, once.
    c->restart();
    QVERIFY(!c->waitUntilLoaded(LoadTimeoutMs));
    QCOMPARE(spies.failed.count(), 2);
}

void MovieControlTest::onlyTheCurrentFileIsReported() {
    auto c = control();
    Spies spies(*c);

    // One after the other: the bad one fails once, the good ones load.
    c->setFileName(clip("clip.avi"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    c->setFileName(clip("notes.txt"));
    QVERIFY(!c->waitUntilLoaded(LoadTimeoutMs));
    c->setFileName(clip("clip.mov"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QTest::qWait(300);
    QCOMPARE(spies.failed.count(), 1);
    QCOMPARE(spies.loaded.count(), 2);
    spies.failed.clear();
    spies.loaded.clear();
    spies.started.clear();

    // Quickly in a row: only the last file counts.
    c->setFileName(clip("clip.avi"));
    c->setFileName(clip("notes.txt"));
    c->setFileName(clip("missing.avi"));
    c->setFileName(clip("clip.mpg"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(spies.started.count(), 1, LoadTimeoutMs);
    QTest::qWait(300);
    QCOMPARE(spies.failed.count(), 0);
    QCOMPARE(spies.loaded.count(), 1);
    QCOMPARE(c->fileName(), clip("clip.mpg"));
    spies.loaded.clear();

    // A good file replaced at once by a bad one: one failure and nothing else.
    c->setFileName(clip("long.avi"));
    c->setFileName(clip("picture.jpg"));
    QVERIFY(!c->waitUntilLoaded(LoadTimeoutMs));
    QTest::qWait(300);
    QCOMPARE(spies.failed.count(), 1);
    QCOMPARE(spies.error().description, QStringLiteral("Unrecognized file format"));
    QCOMPARE(spies.loaded.count(), 0);
    QVERIFY(c->frame().isNull());
}

void MovieControlTest::fileVanishingWhilePlayingIsSurvived() {
    const QString path = clip("vanishing.avi");
    QVERIFY(QFile::copy(clip("long.avi"), path));
    auto c = control();
    Spies spies(*c);
    c->setFileName(path);
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(c->position() > 0.2, LoadTimeoutMs);
    QVERIFY(QFile::resize(path, 2000));
    QVERIFY(QFile::remove(path));
    QTest::qWait(1000);
    c->restart();
    QTest::qWait(500);
    QCOMPARE(spies.failed.count(), 1);
    QCOMPARE(spies.error().number, 2);

    c->setFileName(clip("clip.avi"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(!c->frame().isNull(), LoadTimeoutMs);
}

void MovieControlTest::destroyedWhileLoadingOrPlaying() {
    for (int wait : {0, 20, 150, 400}) {
        auto c = control();
        c->show();
        c->setFileName(clip("long.avi"));
        QTest::qWait(wait);
        c.reset();
        QTest::qWait(10);
    }

    // A slot may delete the control that called it.
    auto* c = control().release();
    QPointer<MovieControl> watch(c);
    connect(c, &MovieControl::loaded, c, [c] { delete c; });
    c->setFileName(clip("clip.avi"));
    QTRY_VERIFY_WITH_TIMEOUT(watch.isNull(), LoadTimeoutMs);

    c = control().release();
    watch = c;
    connect(c, &MovieControl::failed, c, [c] { delete c; });
    c->setFileName(clip("notes.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(watch.isNull(), LoadTimeoutMs);
}

void MovieControlTest::playsAVivoFileAndRestartsIt() {
    auto c = control();
    Spies spies(*c);
    c->setFileName(clip("movie.viv"));
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QCOMPARE(c->naturalSize(), QSize(176, 144));
    QVERIFY2(std::abs(c->duration() - vivoDurationMs_ / 1000.0) < 0.1,
             qPrintable(QString::number(c->duration())));
    QTRY_COMPARE_WITH_TIMEOUT(spies.started.count(), 1, LoadTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!c->frame().isNull(), LoadTimeoutMs);
    QVERIFY(colouredPixels(c->frame()) > 100);
    QTRY_VERIFY_WITH_TIMEOUT(c->position() > 1.0, LoadTimeoutMs);
    QCOMPARE(infoValue(c->info(), "Video codec").contains("263"), true);

    c->restart();
    QCOMPARE(c->position(), 0.0);
    QVERIFY(c->waitUntilLoaded(LoadTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(spies.started.count(), 2, LoadTimeoutMs);
    QVERIFY(c->position() < 0.8);
    QTRY_VERIFY_WITH_TIMEOUT(c->position() > 0.3, LoadTimeoutMs);
    QCOMPARE(c->naturalSize(), QSize(176, 144));
    QCOMPARE(spies.failed.count(), 0);
}

void MovieControlTest::playerWithoutAWidget_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("error");
    // Loaded just before and replaced while mpv opens it, its events still queued.
    QTest::addColumn<QString>("before");
    QTest::newRow("plays") << "clip.avi" << QSize(160, 120) << 0 << QString();
    QTest::newRow("fails") << "notes.txt" << QSize() << 17 << QString();
    QTest::newRow("replaces a load") << "clip.avi" << QSize(160, 120) << 0 << "movie.viv";
    QTest::newRow("replaced by a bad file") << "empty.avi" << QSize() << 17 << "long.avi";
}

void MovieControlTest::playerWithoutAWidget() {
    QFETCH(QString, before);
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(int, error);
    MoviePlayer player(MoviePlayer::Sound::Off);
    QSignalSpy loaded(&player, &MoviePlayer::loaded);
    QSignalSpy failed(&player, &MoviePlayer::failed);
    QSignalSpy ended(&player, &MoviePlayer::ended);
    QSignalSpy frames(&player, &MoviePlayer::frameReady);
    QSignalSpy sizes(&player, &MoviePlayer::naturalSizeChanged);
    player.setRate(2.0);
    if (!before.isEmpty()) {
        player.setFileName(clip(before));
        QThread::msleep(300);
    }
    player.setFileName(clip(name));
    QCOMPARE(player.waitUntilLoaded(LoadTimeoutMs), error == 0);
    QCOMPARE(player.naturalSize(), size);
    if (error) {
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).value<Error>().number, error);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!frames.isEmpty() && !player.frame().isNull(), LoadTimeoutMs);
        QCOMPARE(player.frame().size(), size);
        // Every frame is drawn into the one image the view shows.
        const uchar* bits = player.frame().constBits();
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, LoadTimeoutMs);
        QVERIFY(frames.count() > 5);
        QCOMPARE(player.frame().constBits(), bits);
    }
    // Nothing of the replaced file is reported.
    for (const auto& args : sizes)
        QVERIFY(args.at(0).toSize() == size || !args.at(0).toSize().isValid());
    QCOMPARE(loaded.count(), error ? 0 : 1);
    QCOMPARE(failed.count(), error ? 1 : 0);

    // Stop unloads: the file is let go of, and nothing more is heard of it.
    const int heard = loaded.count() + failed.count() + ended.count();
    player.setFileName(QString());
    QVERIFY(player.frame().isNull() && !player.isLoaded() && player.fileName().isEmpty());
    QCOMPARE(player.naturalSize(), QSize());
    QTRY_VERIFY_WITH_TIMEOUT(!processHoldsFile(clip(name)), 3000);
    QTest::qWait(200);
    QCOMPARE(loaded.count() + failed.count() + ended.count(), heard);
    QVERIFY(player.frame().isNull());
}

QTEST_MAIN(MovieControlTest)
#include "movie_tests.moc"
