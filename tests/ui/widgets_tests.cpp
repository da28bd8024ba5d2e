#include "picture/ImageBuffer.h"
#include "platform/Error.h"
#include "platform/QtDialogs.h"
#include "platform/Screen.h"
#include "support/Fakes.h"
#include "ui/PictureArea.h"
#include "ui/RegionCache.h"
#include "ui/ScaledLevels.h"
#include "ui/StatusBar.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>

using namespace lumorra;

// The status bar of the main window and the other windows.
class WidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void panelsAreKeyedAndReportClicks();
    void badPanelIndexThrows();
    void shrunkPhotoIsDrawnWholeAndSmooth_data();
    void shrunkPhotoIsDrawnWholeAndSmooth();
    void largeImagesHaveMemoryOfTheirOwn();
    void pictureIsDrawnInScreenPixels_data();
    void pictureIsDrawnInScreenPixels();
    void previewOfNaturalSizeGivesWayToFullPicture();
    void shrinkDrawsFromTheSmallestLevelThatCovers_data();
    void shrinkDrawsFromTheSmallestLevelThatCovers();
    void regionIsDecodedAroundTheView_data();
    void regionIsDecodedAroundTheView();
    void regionDecodedAheadIsTaken();
    void newPictureDropsTheRegionDecodingAhead();
    void dialogTextsArePlain_data();
    void dialogTextsArePlain();
};

void WidgetsTest::panelsAreKeyedAndReportClicks() {
    StatusBar bar;
    bar.addPanel({QStringLiteral("filetype"), QStringLiteral("Click to change file type"),
                  QStringLiteral(" Pictures ")});
    bar.addPanel(
        {QStringLiteral("file"), QStringLiteral("tip"), QString(), StatusBar::Bevel::Raised, true});
    bar.addPanel({QString(), QStringLiteral("Zoom info"), QStringLiteral("Auto")});
    bar.resize(600, 30);
    bar.show();
    QCOMPARE(bar.panelCount(), 3);
    QCOMPARE(bar.indexOf(QStringLiteral("file")), 2);
    QCOMPARE(bar.indexOf(QStringLiteral("nothing")), 0);
    QCOMPARE(bar.text(1), QStringLiteral(" Pictures "));
    QCOMPARE(bar.toolTip(3), QStringLiteral("Zoom info"));
    QCOMPARE(bar.bevel(2), StatusBar::Bevel::Raised);
    bar.setText(2, QStringLiteral("/a/very/long/path/that/must/not/widen/the/bar.jpg 1,234"));
    QCOMPARE(bar.text(2),
             QStringLiteral("/a/very/long/path/that/must/not/widen/the/bar.jpg 1,234"));
    bar.setToolTip(3, QStringLiteral("Movie speed info"));
    QCOMPARE(bar.toolTip(3), QStringLiteral("Movie speed info"));

    QSignalSpy clicks(&bar, &StatusBar::panelClicked);
    QTest::mouseClick(bar.panelWidget(2), Qt::LeftButton);
    QTest::mouseClick(bar.panelWidget(3), Qt::LeftButton);
    QTest::mouseClick(bar.panelWidget(1), Qt::RightButton); // not a click on the panel
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(clicks.at(0).at(0).toInt(), 2);
    QCOMPARE(clicks.at(0).at(1).toString(), QStringLiteral("file"));
    QCOMPARE(clicks.at(1).at(0).toInt(), 3);
    QCOMPARE(clicks.at(1).at(1).toString(), QString());
}

void WidgetsTest::badPanelIndexThrows() {
    StatusBar bar;
    bar.addPanel({QStringLiteral("a"), QString(), QString()});
    QVERIFY_THROWS_EXCEPTION(Error, bar.setText(0, QStringLiteral("x")));
    QVERIFY_THROWS_EXCEPTION(Error, (void)bar.text(2));
}

namespace {

// Smooth colours with fine detail, as in a photo.
QImage photo(QSize size, QImage::Format format) {
    QImage image(size, format);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y,
                           qRgba((x * 255) / size.width(), (y * 255) / size.height(),
                                 ((x / 3 + y / 3) % 2) * 80 + 60, 255));
    return image;
}

int largestDifference(const QImage& a, const QImage& b) {
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = std::max({most, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)),
                             qAbs(qBlue(p) - qBlue(q)), qAbs(qAlpha(p) - qAlpha(q))});
        }
    return most;
}

} // namespace

void WidgetsTest::shrunkPhotoIsDrawnWholeAndSmooth_data() {
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<int>("format");
    // Shrunk to between half and whole: drawn with the bilinear filter, in mapped memory
    // from 4 MB up.
    QTest::newRow("small photo") << QSize(400, 300) << QSize(291, 213) << int(QImage::Format_RGB32);
    QTest::newRow("large photo") << QSize(1733, 1155) << QSize(1341, 887)
                                 << int(QImage::Format_RGB32);
    QTest::newRow("to half") << QSize(400, 300) << QSize(200, 150) << int(QImage::Format_RGB32);
    QTest::newRow("enlarged") << QSize(200, 150) << QSize(333, 250) << int(QImage::Format_RGB32);
    // Shrunk more, or with transparency: Qt's smooth scale.
    QTest::newRow("to a fifth") << QSize(1000, 750) << QSize(200, 150) << int(QImage::Format_RGB32);
    QTest::newRow("transparent") << QSize(400, 300) << QSize(291, 213)
                                 << int(QImage::Format_ARGB32);
}

void WidgetsTest::shrunkPhotoIsDrawnWholeAndSmooth() {
    QFETCH(QSize, natural);
    QFETCH(QSize, shown);
    QFETCH(int, format);
    const FixedScreen screen(QSize(1280, 1024));
    PictureArea area(screen);
    area.setAttribute(Qt::WA_DontShowOnScreen);
    const QImage picture = photo(natural, QImage::Format(format));
    area.setPicture(picture, natural);
    area.setStretch(true);
    area.resize(shown);
    area.show();
    // Drawn over magenta: any pixel left out of the drawing shows.
    QPixmap canvas(shown);
    canvas.fill(Qt::magenta);
    area.render(&canvas);
    const QImage drawn = canvas.toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage smooth = picture.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_ARGB32);
    // Not the same filter as the smooth scale, but as near as its neighbouring pixels.
    const int difference = largestDifference(drawn, smooth);
    QVERIFY2(difference <= 48, qPrintable(QString::number(difference)));
    QVERIFY(largestDifference(drawn.copy(0, 0, shown.width(), 1),
                              smooth.copy(0, 0, shown.width(), 1)) <= 48);
    QCOMPARE(area.shownImage().size(), natural); // the picture itself is kept as it is
    // A drawing made ahead at the size shown paints the same; one of another size, or one
    // offered for the picture set before, is not drawn.
    const auto rendered = [&] {
        QPixmap again(shown);
        again.fill(Qt::magenta);
        area.render(&again);
        return largestDifference(again.toImage().convertToFormat(QImage::Format_ARGB32), drawn);
    };
    const QSize device = shown * area.devicePixelRatioF();
    area.offerDrawing(ScaledLevels::drawnAt(picture, device));
    QVERIFY2(rendered() <= 1, qPrintable(QString::number(rendered())));
    for (const QSize other : {device, device + QSize(1, 0)}) {
        QImage wrong(other, QImage::Format_RGB32);
        wrong.fill(Qt::green);
        area.offerDrawing(wrong);
        if (other == device)
            area.setPicture(picture, natural);
        QVERIFY2(rendered() <= 1, qPrintable(QString::number(rendered())));
    }
}

void WidgetsTest::pictureIsDrawnInScreenPixels_data() {
    QTest::addColumn<bool>("drawing");
    QTest::newRow("photo") << false;
    QTest::newRow("metafile") << true;
}

// On a scaled desktop (the widgets_hidpi run) the area draws the screen's own pixels: a picture
// of as many pixels as the screen has under the area comes out pixel for pixel, never drawn at
// the area's size and blown up.
void WidgetsTest::pictureIsDrawnInScreenPixels() {
    QFETCH(bool, drawing);
    const FixedScreen screen(QSize(1280, 1024));
    PictureArea area(screen);
    area.setAttribute(Qt::WA_DontShowOnScreen);
    const qreal ratio = area.devicePixelRatioF();
    const QSize shown(60, 40);
    const QSize device = (QSizeF(shown) * ratio).toSize();
    QImage fine(device, QImage::Format_ARGB32);
    for (int y = 0; y < device.height(); ++y)
        for (int x = 0; x < device.width(); ++x)
            fine.setPixel(x, y, (x + y) % 2 ? 0xffffffff : 0xff000000);
    if (drawing) {
        area.setPicture(QImage(shown, QImage::Format_ARGB32), shown);
        area.renderer = [fine](QSize size) { return fine.scaled(size); };
    } else {
        area.setPicture(fine, device);
    }
    area.setStretch(true);
    area.resize(shown);
    area.show();
    QPixmap canvas(device);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::magenta);
    area.render(&canvas);
    const QImage drawn = canvas.toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(drawn.size(), device);
    QVERIFY2(largestDifference(drawn, fine) <= 8, qPrintable(QString::number(ratio)));
}

// A camera RAW's preview may have the picture's natural size: it is still only a stand-in, and
// whoever asks for the picture (Copy, Save As) and the view at 1:1 get the full decode.
void WidgetsTest::previewOfNaturalSizeGivesWayToFullPicture() {
    const FixedScreen screen(QSize(1280, 1024));
    const QSize natural(40, 30);
    QImage preview(natural, QImage::Format_RGB32), full(natural, QImage::Format_RGB32);
    preview.fill(Qt::green);
    full.fill(Qt::red);
    for (const bool painted : {false, true}) {
        PictureArea area(screen);
        area.setAttribute(Qt::WA_DontShowOnScreen);
        int loads = 0;
        PictureArea::Source source;
        source.fullLoader = [&] {
            ++loads;
            return full;
        };
        area.setPicture(preview, natural, std::move(source));
        area.show();
        if (painted) {
            QPixmap canvas(natural);
            area.render(&canvas);
            QCOMPARE(canvas.toImage().pixel(20, 15), qRgb(255, 0, 0));
        }
        QCOMPARE(area.picture().pixel(20, 15), qRgb(255, 0, 0));
        QCOMPARE(loads, 1);
    }
}

void WidgetsTest::largeImagesHaveMemoryOfTheirOwn() {
    for (const QSize size : {QSize(3000, 2000), QSize(100, 50)}) {
        QImage image = newImage(size, QImage::Format_RGB32);
        QCOMPARE(image.size(), size);
        QCOMPARE(image.format(), QImage::Format_RGB32);
        QCOMPARE(image.bytesPerLine(), qsizetype(size.width()) * 4);
        image.fill(Qt::red);
        const uchar* bits = image.constBits();
        // Shared as any image: a copy written to is a copy of its own.
        QImage copy = image;
        copy.setPixel(size.width() - 1, size.height() - 1, qRgb(0, 0, 255));
        QCOMPARE(image.constBits(), bits);
        QCOMPARE(image.pixel(size.width() - 1, size.height() - 1), qRgb(255, 0, 0));
        QCOMPARE(copy.pixel(size.width() - 1, size.height() - 1), qRgb(0, 0, 255));
    }
    QVERIFY(newImage(QSize(0, 10), QImage::Format_RGB32).isNull());
}

void WidgetsTest::shrinkDrawsFromTheSmallestLevelThatCovers_data() {
    QTest::addColumn<QSize>("device");
    QTest::addColumn<QSize>("level");
    QTest::addColumn<int>("made");
    // Of an 800 x 600 picture.
    QTest::newRow("natural size") << QSize(800, 600) << QSize(800, 600) << 0;
    QTest::newRow("enlarged") << QSize(1600, 1200) << QSize(800, 600) << 0;
    QTest::newRow("a pixel more than half") << QSize(401, 300) << QSize(800, 600) << 0;
    QTest::newRow("half") << QSize(400, 300) << QSize(400, 300) << 1;
    QTest::newRow("an eighth and a bit") << QSize(110, 80) << QSize(200, 150) << 2;
    QTest::newRow("narrow and tall") << QSize(10, 290) << QSize(400, 300) << 1;
}

void WidgetsTest::shrinkDrawsFromTheSmallestLevelThatCovers() {
    QFETCH(QSize, device);
    QFETCH(QSize, level);
    QFETCH(int, made);
    const QImage picture = photo(QSize(800, 600), QImage::Format_RGB32);
    ScaledLevels levels;
    const qint64 drawn = levels.levelFor(picture, device).cacheKey();
    QCOMPARE(levels.levelFor(picture, device).size(), level);
    QCOMPARE(int(levels.count()), made);
    // Made once for the next paints; another picture is halved afresh.
    QCOMPARE(levels.levelFor(picture, device).cacheKey(), drawn);
    const QImage other = photo(QSize(800, 600), QImage::Format_RGB32);
    QCOMPARE(levels.levelFor(other, device).size(), level);
    QVERIFY(levels.levelFor(other, device).cacheKey() != drawn);
}

namespace {

QImage blank(QRect region) {
    return QImage(region.size(), QImage::Format_RGB32);
}

} // namespace

void WidgetsTest::regionIsDecodedAroundTheView_data() {
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<QRect>("view");
    QTest::addColumn<QRect>("needed");
    QTest::addColumn<QRect>("decoded"); // null: none
    // A screen above and below, half a screen aside, 256 pixels at least, within the picture.
    QTest::newRow("inside") << QSize(30000, 20000) << QRect(10000, 10000, 800, 600)
                            << QRect(10000, 10500, 800, 100) << QRect(9600, 9400, 1600, 1800);
    QTest::newRow("corner") << QSize(6000, 3000) << QRect(5800, 2900, 200, 100)
                            << QRect(5800, 2900, 200, 100) << QRect(5544, 2644, 456, 356);
    // Too large with the margins: what is needed alone; too large itself: none.
    QTest::newRow("grab of the whole") << QSize(30000, 20000) << QRect(0, 0, 30000, 20000)
                                       << QRect(100, 100, 64, 40) << QRect(100, 100, 64, 40);
    QTest::newRow("too large") << QSize(30000, 20000) << QRect(0, 0, 8000, 6000)
                               << QRect(0, 0, 8000, 6000) << QRect();
}

void WidgetsTest::regionIsDecodedAroundTheView() {
    QFETCH(QSize, natural);
    QFETCH(QRect, view);
    QFETCH(QRect, needed);
    QFETCH(QRect, decoded);
    QList<QRect> asked;
    RegionCache cache;
    cache.setPicture(natural, [&](QRect r) {
        asked.append(r);
        return blank(r);
    });
    const QImage* region = cache.regionFor(needed, view);
    QCOMPARE(region != nullptr, decoded.isValid());
    QCOMPARE(asked, decoded.isValid() ? QList<QRect>{decoded} : QList<QRect>{});
    if (!region)
        return;
    QCOMPARE(region->size(), decoded.size());
    QCOMPARE(cache.heldRect(), decoded);
    // The next paint inside it decodes nothing.
    QVERIFY(cache.regionFor(needed.adjusted(1, 1, -1, -1), view));
    QCOMPARE(asked.size(), 1);
}

// Near the edge of the region held the next one is decoded on a thread: taken once it is
// there, with no paint, or waited for by a paint that needs it.
void WidgetsTest::regionDecodedAheadIsTaken() {
    for (const bool paint : {false, true}) {
        std::atomic<int> decodes = 0;
        RegionCache cache;
        cache.setPicture(QSize(6000, 3000), [&](QRect r) {
            ++decodes;
            QThread::msleep(50);
            return blank(r);
        });
        const QRect view(0, 0, 800, 600);
        QVERIFY(cache.regionFor(view, view));
        QCOMPARE(cache.heldRect(), QRect(0, 0, 1200, 1200));
        cache.decodeAhead(view.translated(0, 100)); // far from the edge
        QCOMPARE(cache.aheadRect(), QRect());
        const QRect next = view.translated(0, 500);
        cache.decodeAhead(next);
        QCOMPARE(cache.aheadRect(), QRect(0, 0, 1200, 1700));
        if (paint)
            QVERIFY(cache.regionFor(QRect(0, 1250, 800, 350), next));
        QTRY_COMPARE(cache.heldRect(), QRect(0, 0, 1200, 1700));
        QCOMPARE(cache.aheadRect(), QRect());
        QCOMPARE(decodes.load(), 2);
    }
}

// A new picture neither waits for the region being decoded ahead for the one before nor takes
// it, and decodes ahead for itself meanwhile.
void WidgetsTest::newPictureDropsTheRegionDecodingAhead() {
    QSemaphore go;
    std::atomic<int> done = 0;
    const auto gated = [&](QRect r) {
        if (QThread::currentThread() != qApp->thread())
            go.tryAcquire(1, 10000);
        ++done;
        return blank(r);
    };
    RegionCache cache;
    const QRect view(0, 0, 800, 600);
    cache.setPicture(QSize(6000, 3000), gated);
    cache.regionFor(view, view);
    cache.decodeAhead(view.translated(0, 500));
    QCOMPARE(cache.aheadRect(), QRect(0, 0, 1200, 1700));
    cache.setPicture(QSize(1000, 3000), gated);
    QCOMPARE(done.load(), 1);
    QCOMPARE(cache.heldRect(), QRect());
    QCOMPARE(cache.aheadRect(), QRect());
    cache.regionFor(view, view);
    cache.decodeAhead(view.translated(0, 500));
    QCOMPARE(cache.aheadRect(), QRect(0, 0, 1000, 1700));
    go.release(2);
    QTRY_COMPARE(done.load(), 4);
    QTRY_COMPARE(cache.heldRect(), QRect(0, 0, 1000, 1700));
    QTest::qWait(50);
    QCOMPARE(cache.heldRect(), QRect(0, 0, 1000, 1700));
}

// A directory named a<b>c shows as typed in the prompts and messages that name it.
void WidgetsTest::dialogTextsArePlain_data() {
    QTest::addColumn<bool>("prompt");
    QTest::addColumn<QString>("label");
    QTest::newRow("input box") << true << QStringLiteral("InputPrompt");
    QTest::newRow("message box") << false << QStringLiteral("qt_msgbox_label");
}

void WidgetsTest::dialogTextsArePlain() {
    QFETCH(bool, prompt);
    QFETCH(QString, label);
    const QString text = QStringLiteral("Rename directory a<b>c");
    test::FakeHelp help;
    QtDialogs dialogs(help);
    QLabel* shown = nullptr;
    Qt::TextFormat format = Qt::AutoText;
    QString shownText;
    QTimer::singleShot(0, this, [&] {
        QWidget* box = QApplication::activeModalWidget();
        shown = box ? box->findChild<QLabel*>(label) : nullptr;
        if (shown) {
            format = shown->textFormat();
            shownText = shown->text();
        }
        if (box)
            static_cast<QDialog*>(box)->reject();
    });
    InputBoxSpec spec;
    spec.prompt = text;
    if (prompt)
        dialogs.input(spec);
    else
        dialogs.message(text, QStringLiteral("Lumorra"), Buttons::Ok, Icon::None);
    QVERIFY(shown);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(shownText, text);
}

QTEST_MAIN(WidgetsTest)
#include "widgets_tests.moc"
