#include "browser/MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "movie/MovieControl.h"
#include "picture/PictureLoader.h"
#include "platform/Keys.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"
#include "support/Fakes.h"
#include "support/PictureBytes.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnv.h"
#include "support/TestServices.h"
#include "ui/PictureAnimation.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"
#include "viewer/FullScreenWindow.h"
#include "viewer/SelectionViewer.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

// A main window with its viewer on a private settings file and picture directory.
struct View : TestServices {
    QString dir = env.makeDir(QStringLiteral("pics"));
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<SelectionViewer> viewer;
    QStringList vivo;

    View() {
        settings.write(keys::AutoZoom, QStringLiteral("0"));
        settings.write(keys::OLE, QStringLiteral("0"));
        openProgramLog();
        window = std::make_unique<MainWindow>(
            services, std::vector<Volume>{Volume{QStringLiteral("/"), QStringLiteral("/"), true}});
        viewer = std::make_unique<SelectionViewer>(*window, services);
        viewer->showVivo = [this](const QString& path) { vivo << path; };
    }
    QString picture(const QString& name, QSize size, const char* format = "JPG") {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(30, 120, 200));
        const QString path = dir + QLatin1Char('/') + name;
        image.save(path, format);
        return path;
    }
    QString file(const QString& name, const QByteArray& bytes) {
        const QString path = dir + QLatin1Char('/') + name;
        writeFile(path, bytes);
        return path;
    }
    // Lists the directory with the pattern and selects the name, as a click does.
    void select(const QString& name, const QString& pattern = QStringLiteral("*")) {
        window->setFilePattern(pattern);
        window->setDirPath(dir);
        const int index = indexOf(name);
        QVERIFY2(index >= 0, qPrintable(name));
        window->File1->setListIndex(index);
    }
    int indexOf(const QString& name) const {
        for (int i = 0; i < window->File1->count(); ++i)
            if (window->File1->item(i) == name)
                return i;
        return -1;
    }
    void expectRestingWindow(const QString& path) {
        QCOMPARE(window->windowTitle(), QStringLiteral("Lumorra"));
        QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(window->StatusBar1->text(2), path + QStringLiteral(" (") +
                                                  numberText(QFileInfo(path).size()) +
                                                  QStringLiteral(" bytes)"));
        QCOMPARE(window->Command2->text(), QStringLiteral("&File Copy"));
        QCOMPARE(window->Command7->text(), QStringLiteral("File &Move"));
        QCOMPARE(window->Command6->text(), QStringLiteral("&Copy"));
        QVERIFY(window->Command2->isEnabled() && window->Command7->isEnabled() &&
                window->Command6->isEnabled());
    }
};

const QString PictureMessage = QStringLiteral(
    "Unable to open the selected picture, the file may be corrupted. Please select another file "
    "or try using another program. If you want Lumorra to do this automatic, then check the box "
    "on the file properties window.");

// The colour an area draws now, inside the picture.
QColor shownColour(const PictureArea* area) {
    return area->shownImage().pixelColor(5, 5);
}

// Within what a lossy WebP changes of a plain colour.
bool near(QColor a, QColor b) {
    return qAbs(a.red() - b.red()) <= 8 && qAbs(a.green() - b.green()) <= 8 &&
           qAbs(a.blue() - b.blue()) <= 8;
}

const QStringList RedLimeBlue = {QStringLiteral("red"), QStringLiteral("lime"),
                                 QStringLiteral("blue")};

} // namespace

class ViewerTest : public QObject {
    Q_OBJECT
private slots:
    void pictureShowsAtNaturalSize();
    void brokenPictureWithoutOle();
    void brokenPictureWithOleOpensItsApplication();
    void autoZoomThatIsNoNumberFailsTheLoad();
    void zeroLengthFileHasNoDigits();
    void autoZoomShrinksToTheWindow();
    void smallPictureUnderAutoZoom();
    void photoDecodedForTheScreenBehavesLikeTheFullOne();
    void preloadedPictureIsDecodedInFullFromItsBytes();
    void largePicturesAreDrawnFromTrueRegions();
    void nextPictureIsPreloadedUnlessItChanged();
    void pictureDecodedBeforeTheWindow();
    void zoomOptionsStartFromTheNaturalSize();
    void animationModeSetsTheRate();
    void pictureInAnimationModeGoesToTheMovieControl();
    void vivoInEitherMode();
    void brokenAnimationIsReportedWhenTheControlFails();
    void lateFailureOnlyWhileTheAnimationIsCurrent_data();
    void lateFailureOnlyWhileTheAnimationIsCurrent();
    void movieAreaTakesTheMovieSize();
    void animationPlaysAsAPictureIsShown_data();
    void animationPlaysAsAPictureIsShown();
    void loopCountEndsOnTheLastFrame_data();
    void loopCountEndsOnTheLastFrame();
    void manyFramesAreNeverHeldAtOnce();
};

void ViewerTest::pictureShowsAtNaturalSize() {
    View v;
    const QString second = v.picture(QStringLiteral("b.jpg"), QSize(640, 480));
    v.picture(QStringLiteral("a.jpg"), QSize(10, 10));
    v.picture(QStringLiteral("c.jpg"), QSize(10, 10));
    v.select(QStringLiteral("b.jpg"));
    QCOMPARE(v.window->Label1->text(), second);
    QCOMPARE(v.window->Image1->size(), QSize(640, 480));
    QVERIFY(!v.window->Image1->stretch());
    QVERIFY(!v.window->Image1->isHidden());
    QVERIFY(v.window->AM1->isHidden());
    QCOMPARE(v.window->Picture1->naturalSize(), QSize(640, 480));
    QCOMPARE(v.window->Label5->text(), QStringLiteral("640 x 480"));
    QVERIFY(v.window->Option3->isChecked());
    QCOMPARE(v.window->StatusBar1->text(4), QStringLiteral("1:1"));
    QCOMPARE(v.window->Label7->text(), QStringLiteral("Current: 2"));
    v.expectRestingWindow(second);
    QVERIFY(v.dialogs.events().empty());

    // A click on a name shows it, as the selection follows the click.
    v.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(v.window.get()));
    FileList* list = v.window->File1;
    const QRect third = list->visualRect(list->model()->index(v.indexOf("c.jpg"), 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(v.window->Label1->text(), v.dir + QStringLiteral("/c.jpg"));
    QCOMPARE(v.window->Label5->text(), QStringLiteral("10 x 10"));
    QCOMPARE(v.window->Label7->text(), QStringLiteral("Current: 3"));
}

void ViewerTest::brokenPictureWithoutOle() {
    View v;
    const QString good = v.picture(QStringLiteral("a.jpg"), QSize(50, 40));
    const QString broken =
        v.file(QStringLiteral("b.jpg"), QByteArray("\xff\xd8\xff\xe0 not really", 16));
    v.select(QStringLiteral("a.jpg"));
    v.window->File1->setListIndex(v.indexOf(QStringLiteral("b.jpg")));
    QCOMPARE(v.dialogs.beeps(), 1);
    const auto messages = v.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text, PictureMessage);
    QCOMPARE(messages[0].icon, Icon::Critical);
    QVERIFY2(messages[0].title.startsWith(QStringLiteral("Picture load ERROR 481 (")),
             qPrintable(messages[0].title));
    QVERIFY(messages[0].title.endsWith(QLatin1Char(')')));
    QCOMPARE(v.programLogLines(),
             QStringList({QStringLiteral("\"<d, t> ") + messages[0].title + '"'}));
    QCOMPARE(v.window->Label1->text(), broken);
    v.expectRestingWindow(broken);
    QCOMPARE(v.window->Label7->text(), QStringLiteral("Current: 2"));
    // The picture shown before stays where it was.
    QVERIFY(v.window->Image1->hasPicture());
    Q_UNUSED(good);
}

void ViewerTest::brokenPictureWithOleOpensItsApplication() {
    View v;
    v.settings.write(keys::OLE, QStringLiteral("1"));
    v.picture(QStringLiteral("a.jpg"), QSize(50, 40));
    const QString broken = v.file(QStringLiteral("b.jpg"), "garbage");
    v.select(QStringLiteral("a.jpg"));
    v.window->File1->setListIndex(v.indexOf(QStringLiteral("b.jpg")));
    QCOMPARE(v.launcher.documents, std::vector<QString>({broken}));
    QVERIFY(v.dialogs.events().empty());
    QVERIFY(v.programLogLines().isEmpty());
    QVERIFY(!v.window->Image1->hasPicture());
    v.expectRestingWindow(broken);
}

void ViewerTest::autoZoomThatIsNoNumberFailsTheLoad() {
    View v;
    v.settings.write(keys::AutoZoom, QString());
    const QString path = v.picture(QStringLiteral("a.jpg"), QSize(50, 40));
    v.select(QStringLiteral("a.jpg"));
    QCOMPARE(v.dialogs.messages().at(0).title,
             QStringLiteral("Picture load ERROR 13 (Type mismatch)"));
    v.expectRestingWindow(path);
}

void ViewerTest::zeroLengthFileHasNoDigits() {
    View v;
    const QString path = v.file(QStringLiteral("empty.gif"), QByteArray());
    v.select(QStringLiteral("empty.gif"));
    QCOMPARE(v.window->StatusBar1->text(2), path + QStringLiteral(" ( bytes)"));
    QCOMPARE(v.dialogs.beeps(), 1); // it is no picture
}

void ViewerTest::autoZoomShrinksToTheWindow() {
    View v;
    v.settings.write(keys::AutoZoom, QStringLiteral("1"));
    v.picture(QStringLiteral("wide.png"), QSize(1000, 500), "PNG");
    v.window->setMinimumSize(0, 0);
    v.window->resize(800, 600);
    QCOMPARE(v.window->frameGeometry().size(), QSize(800, 600));
    v.select(QStringLiteral("wide.png"));
    const QSize shown = v.window->Image1->size();
    // The picture fits the viewer area, so no scroll bar shows; steps of 1 % land just below.
    const QSize area = v.window->viewerArea->maximumViewportSize();
    QVERIFY2(shown.width() <= area.width() && shown.width() > area.width() * 0.97 &&
                 shown.height() <= area.height(),
             qPrintable(QStringLiteral("%1 x %2 in %3 x %4")
                            .arg(shown.width())
                            .arg(shown.height())
                            .arg(area.width())
                            .arg(area.height())));
    v.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(v.window.get()));
    QCOMPARE(v.window->viewerArea->maximumViewportSize(), area);
    QVERIFY(!v.window->viewerArea->horizontalScrollBar()->isVisible());
    QVERIFY(!v.window->viewerArea->verticalScrollBar()->isVisible());
    // Each side is rounded to whole pixels at every step, so the ratio drifts a little.
    QVERIFY2(qAbs(shown.width() - 2 * shown.height()) <= 6,
             qPrintable(QStringLiteral("%1 x %2").arg(shown.width()).arg(shown.height())));
    QVERIFY(v.window->Image1->stretch());
    QCOMPARE(v.window->StatusBar1->text(4), QStringLiteral("Auto"));
    for (QRadioButton* o :
         {v.window->Option1, v.window->Option2, v.window->Option3, v.window->Option4})
        QVERIFY(!o->isChecked());
    QCOMPARE(v.window->Label5->text(), QStringLiteral("1000 x 500")); // still the natural size
    // A drawing made ahead is made at the size these steps give, worked out without the area.
    const double x = v.screen.twipsPerPixelX(), y = v.screen.twipsPerPixelY();
    QCOMPARE(SelectionViewer::autoZoomSize(QSize(1000, 500), float(area.width() * x),
                                           float(area.height() * y), x, y),
             shown);
}

void ViewerTest::photoDecodedForTheScreenBehavesLikeTheFullOne() {
    // Two windows show the same photo, one with the auto zoom decoding it reduced, one in
    // full: sizes, labels and zoom results must not tell them apart.
    View reduced;
    View full;
    reduced.settings.write(keys::AutoZoom, QStringLiteral("1"));
    for (View* v : {&reduced, &full}) {
        v->picture(QStringLiteral("photo.jpg"), QSize(3200, 2400));
        v->window->setMinimumSize(0, 0);
        v->window->resize(800, 600);
        v->select(QStringLiteral("photo.jpg"));
    }
    QCOMPARE(reduced.window->Label5->text(), QStringLiteral("3200 x 2400"));
    QCOMPARE(reduced.window->Label5->text(), full.window->Label5->text());
    QCOMPARE(reduced.window->StatusBar1->text(4), QStringLiteral("Auto"));
    QVERIFY(reduced.window->Image1->width() <=
            reduced.window->viewerArea->maximumViewportSize().width());
    // 3200 shown at under the viewer area's width: decoded at 1/4, as libjpeg gives it.
    QCOMPARE(reduced.window->Image1->shownImage().size(), QSize(800, 600));
    QCOMPARE(reduced.window->Picture1->naturalSize(), QSize(3200, 2400));
    reduced.window->Image1->grab(); // painting the shrunk picture needs no full decode
    QCOMPARE(reduced.window->Image1->shownImage().size(), QSize(800, 600));

    for (int option : {1, 2, 3, 4}) {
        reduced.viewer->Option_Click(option);
        full.viewer->Option_Click(option);
        QCOMPARE(reduced.window->Image1->size(), full.window->Image1->size());
        QCOMPARE(reduced.window->StatusBar1->text(4), full.window->StatusBar1->text(4));
    }
    // 2:1 draws from the full picture; the holder shares it (Save As and the clipboard).
    reduced.window->Image1->grab();
    QCOMPARE(reduced.window->Image1->shownImage().size(), QSize(3200, 2400));
    QCOMPARE(reduced.window->Picture1->picture().size(), QSize(3200, 2400));
    QCOMPARE(reduced.window->Picture1->picture().constBits(),
             reduced.window->Image1->shownImage().constBits());
}

void ViewerTest::preloadedPictureIsDecodedInFullFromItsBytes() {
    View v;
    v.settings.write(keys::AutoZoom, QStringLiteral("1"));
    v.picture(QStringLiteral("a.jpg"), QSize(1600, 1200));
    const QString path = v.picture(QStringLiteral("b.jpg"), QSize(4000, 3000));
    v.window->setMinimumSize(0, 0);
    v.window->resize(800, 600);
    v.select(QStringLiteral("a.jpg"));
    QTest::qWait(150); // b.jpg is read in the background
    v.window->File1->setListIndex(1);
    QCOMPARE(v.window->Picture1->shownImage().size(), QSize(1000, 750));
    // The file goes; the full picture comes from the bytes the preload read.
    QVERIFY(QFile::remove(path));
    QCOMPARE(v.window->Picture1->picture().size(), QSize(4000, 3000));
    const QColor c = v.window->Picture1->picture().pixelColor(3990, 2990);
    QVERIFY(qAbs(c.red() - 30) <= 3 && qAbs(c.green() - 120) <= 3 && qAbs(c.blue() - 200) <= 3);
}

void ViewerTest::largePicturesAreDrawnFromTrueRegions() {
    // Checks of one pixel, which a reduced decode turns grey. A picture of 2.4 GB of pixels in
    // full, more than the loader ever holds, and a large photo: both are drawn from regions
    // decoded at full size at 1:1, in the main window and in full screen, and never held in
    // full there; the large one is had in full for Save As and the clipboard.
    struct Row {
        QSize natural;
        std::vector<QRect> patches;
        bool heldInFull; // whoever asks gets the full picture
    };
    const std::vector<Row> rows{
        {{30000, 20000}, {QRect(20001, 15003, 64, 40), QRect(29936, 19960, 64, 40)}, false},
        {{6000, 3000}, {QRect(4001, 2003, 64, 40), QRect(5936, 2960, 64, 40)}, true},
    };
    const auto checkDrawn = [](PictureArea* area, const QRect& patch, QPoint at,
                               const QString& what) {
        const QImage drawn = area->grab(patch.translated(at)).toImage();
        QCOMPARE(drawn.size(), patch.size());
        for (int y = 0; y < patch.height(); ++y)
            for (int x = 0; x < patch.width(); ++x) {
                const bool white = (patch.x() + x + patch.y() + y) % 2 == 0;
                const int grey = qGray(drawn.pixel(x, y));
                if (white ? grey < 200 : grey > 55)
                    QFAIL(qPrintable(QStringLiteral("%1: (%2, %3) is %4")
                                         .arg(what)
                                         .arg(patch.x() + x)
                                         .arg(patch.y() + y)
                                         .arg(grey)));
            }
    };
    for (const Row& row : rows) {
        const QByteArray jpeg = checkedJpeg(row.natural, row.patches);
        // Shown at 1:1 at once, and shown by the auto zoom first (decoded smaller still).
        for (const char* autoZoom : {"0", "1"}) {
            if (row.heldInFull && autoZoom[0] == '0')
                continue; // decoded in full at once: nothing reduced to draw regions for
            const QString what =
                QStringLiteral("%1 wide, auto zoom %2").arg(row.natural.width()).arg(autoZoom);
            View v;
            v.settings.write(keys::AutoZoom, QLatin1String(autoZoom));
            v.window->setMinimumSize(0, 0);
            v.window->resize(800, 600);
            const QString path = v.file(QStringLiteral("big.jpg"), jpeg);
            v.select(QStringLiteral("big.jpg"));
            QVERIFY(v.dialogs.messages().empty());
            QCOMPARE(v.window->Label5->text(),
                     QStringLiteral("%1 x %2").arg(row.natural.width()).arg(row.natural.height()));
            PictureArea* area = v.window->Image1;
            QVERIFY(area->shownImage().width() <= row.natural.width() / 2);
            // The regions come from the bytes kept: the file may go.
            QVERIFY(QFile::remove(path));
            v.viewer->Option_Click(3);
            QCOMPARE(area->size(), row.natural);
            for (const QRect& patch : row.patches)
                checkDrawn(area, patch, QPoint(), what);
            QVERIFY(area->shownImage().width() <= row.natural.width() / 2);
            // Full screen shows the picture at its natural size, centred.
            v.viewer->Image1_Click();
            PictureArea* full = v.viewer->fullScreen()->Image1;
            QCOMPARE(full->size(), row.natural);
            checkDrawn(full, row.patches.back(), QPoint(), what + QStringLiteral(", full screen"));
            QVERIFY(full->shownImage().width() <= row.natural.width() / 2);
            v.viewer->fullScreen()->Form_Click();
            QCOMPARE(v.window->Picture1->picture().size() == row.natural, row.heldInFull);
            QVERIFY(area->shownImage().width() <= row.natural.width() / 2);
            if (!row.heldInFull)
                continue;
            // Scrolled a screen at a time, with time for the regions decoded ahead to come, the
            // view shows the picture's own pixels.
            const QImage whole = v.window->Picture1->picture();
            QScrollBar* down = v.window->viewerArea->verticalScrollBar();
            for (int value = 0; value < down->maximum(); value += down->pageStep()) {
                down->setValue(value);
                QTest::qWait(40);
                const QRect seen(QPoint(0, value), v.window->viewerArea->viewport()->size());
                const QImage drawn = area->grab(seen).toImage();
                const QImage expected = whole.copy(seen);
                for (int y = 0; y < seen.height(); y += 3)
                    for (int x = 0; x < seen.width(); x += 3)
                        QVERIFY2(qAbs(qGray(drawn.pixel(x, y)) - qGray(expected.pixel(x, y))) <= 2,
                                 qPrintable(QStringLiteral("scrolled to %1: (%2, %3)")
                                                .arg(value)
                                                .arg(x)
                                                .arg(y)));
            }
            // At 2:1 the regions give what the whole picture scaled gives.
            v.viewer->Option_Click(4);
            const QRect shown(row.patches.front().topLeft() * 2 - QPoint(8, 8), QSize(96, 64));
            QImage expected(shown.size(), QImage::Format_RGB32);
            QPainter p(&expected);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRectF(expected.rect()), v.window->Picture1->picture(),
                        QRectF(QPointF(shown.topLeft()) / 2, QSizeF(shown.size()) / 2));
            p.end();
            const QImage drawn = area->grab(shown).toImage().convertToFormat(QImage::Format_RGB32);
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    QVERIFY2(qAbs(qGray(drawn.pixel(x, y)) - qGray(expected.pixel(x, y))) <= 2,
                             qPrintable(QStringLiteral("2:1 at (%1, %2)").arg(x).arg(y)));
        }
    }
}

void ViewerTest::nextPictureIsPreloadedUnlessItChanged() {
    View v;
    v.settings.write(keys::AutoZoom, QStringLiteral("1"));
    v.picture(QStringLiteral("a.jpg"), QSize(1600, 1200));
    v.picture(QStringLiteral("b.jpg"), QSize(1600, 1200));
    v.picture(QStringLiteral("c.jpg"), QSize(1600, 1200));
    v.window->setMinimumSize(0, 0);
    v.window->resize(800, 600);
    v.select(QStringLiteral("a.jpg"));
    QTest::qWait(150); // the preload starts once the picture is painted, or soon after
    // b.jpg was read in the background; replacing it on disk makes that copy stale.
    v.picture(QStringLiteral("b.jpg"), QSize(640, 480));
    v.window->File1->setListIndex(1);
    QCOMPARE(v.window->Label5->text(), QStringLiteral("640 x 480"));
    QCOMPARE(v.window->Picture1->picture().size(), QSize(640, 480));
    const std::shared_ptr<const ShownPicture> shownB = v.window->shownPicture;
    // c.jpg is unchanged: the preloaded picture is shown, the same as a fresh decode.
    QTest::qWait(150);
    v.window->File1->setListIndex(2);
    QCOMPARE(v.window->Label5->text(), QStringLiteral("1600 x 1200"));
    QCOMPARE(v.window->Picture1->picture().size(), QSize(1600, 1200));
    const QColor c = v.window->Picture1->picture().pixelColor(10, 10);
    QVERIFY(qAbs(c.red() - 30) <= 3 && qAbs(c.green() - 120) <= 3 && qAbs(c.blue() - 200) <= 3);
    // A step back shows b.jpg as it was shown, not decoded again...
    QTest::qWait(150);
    v.window->File1->setListIndex(1);
    QCOMPARE(v.window->shownPicture, shownB);
    // ...but not once the file changed.
    QTest::qWait(150);
    v.window->File1->setListIndex(2);
    QTest::qWait(150);
    v.picture(QStringLiteral("b.jpg"), QSize(800, 600));
    v.window->File1->setListIndex(1);
    QCOMPARE(v.window->Label5->text(), QStringLiteral("800 x 600"));
    QCOMPARE(v.window->Picture1->picture().size(), QSize(800, 600));
}

// The file named on the command line is decoded before the window exists and handed to the
// viewer; what the user sees is what a click on the file shows.
void ViewerTest::pictureDecodedBeforeTheWindow() {
    enum class Then { Kept, Replaced, Broken };
    for (const Then then : {Then::Kept, Then::Replaced, Then::Broken}) {
        View v;
        v.settings.write(keys::AutoZoom, QStringLiteral("1"));
        const QString path =
            then == Then::Broken
                ? v.file(QStringLiteral("a.jpg"), QByteArray("\xff\xd8\xff\xe0 bad", 9))
                : v.picture(QStringLiteral("a.jpg"), QSize(1600, 1200));
        Preloader early(v.services.decoders, v.services.colour);
        early.preload({{path, QSize(600, 450)}});
        QThreadPool::globalInstance()->waitForDone(); // the early decode has read the file
        if (then == Then::Replaced) // another program writes the file before the window shows
            v.picture(QStringLiteral("a.jpg"), QSize(640, 480));
        // The natural size comes with the decode, for the file as it was decoded only.
        QCOMPARE(early.naturalSize(path),
                 then == Then::Kept ? std::optional<QSize>(QSize(1600, 1200)) : std::nullopt);
        v.viewer->adoptPreloaded(early);
        v.window->setMinimumSize(0, 0);
        v.window->resize(800, 600);
        v.select(QStringLiteral("a.jpg"));
        if (then == Then::Broken) {
            const auto messages = v.dialogs.messages();
            QCOMPARE(messages.size(), size_t(1));
            QCOMPARE(messages[0].text, PictureMessage);
            QVERIFY(messages[0].title.startsWith(QStringLiteral("Picture load ERROR 481 (")));
            continue;
        }
        const QSize natural = then == Then::Kept ? QSize(1600, 1200) : QSize(640, 480);
        QCOMPARE(v.window->Picture1->naturalSize(), natural);
        QCOMPARE(v.window->Picture1->picture().size(), natural);
        QVERIFY(v.dialogs.messages().empty());
    }
}

void ViewerTest::smallPictureUnderAutoZoom() {
    View v;
    v.settings.write(keys::AutoZoom, QStringLiteral("1"));
    v.picture(QStringLiteral("small.png"), QSize(64, 48), "PNG");
    v.window->resize(1000, 700);
    v.select(QStringLiteral("small.png"));
    QCOMPARE(v.window->Image1->size(), QSize(64, 48));
    QCOMPARE(v.window->StatusBar1->text(4), QStringLiteral("Auto"));
    QVERIFY(!v.window->Option3->isChecked());
    // With a viewer area too small for any picture, each pass ends when a step changes nothing.
    v.window->viewerArea->setFixedSize(10, 8);
    v.viewer->az();
    QVERIFY(v.window->Image1->width() >= 40 && v.window->Image1->width() < 64);
}

void ViewerTest::zoomOptionsStartFromTheNaturalSize() {
    View v;
    v.picture(QStringLiteral("p.png"), QSize(400, 300), "PNG");
    v.select(QStringLiteral("p.png"));
    v.window->Image1->resize(123, 45); // as the keypad zoom would leave it
    v.viewer->Option_Click(2);
    QCOMPARE(v.window->Image1->size(), QSize(200, 150));
    QVERIFY(v.window->Image1->stretch());
    QCOMPARE(v.window->StatusBar1->text(4), QStringLiteral("1:2"));
    v.viewer->Option_Click(4);
    QCOMPARE(v.window->Image1->size(), QSize(800, 600));
    QCOMPARE(v.window->StatusBar1->text(4), QStringLiteral("2:1"));
    v.viewer->Option_Click(1);
    QCOMPARE(v.window->Image1->size(), QSize(100, 75));
    v.viewer->Option_Click(3);
    QCOMPARE(v.window->Image1->size(), QSize(400, 300));
    QVERIFY(!v.window->Image1->stretch());
    QCOMPARE(v.window->StatusBar1->text(4), QStringLiteral("1:1"));
    // The full-screen view starts at the natural size whatever the zoom.
    v.viewer->Option_Click(2);
    emit v.window->Image1->clicked();
    QVERIFY(v.viewer->fullScreen() && v.viewer->fullScreen()->isVisible());
    QCOMPARE(v.viewer->fullScreen()->Image1->size(), QSize(400, 300));
    v.viewer->fullScreen()->hide();
    // A click on the option runs the same action.
    v.window->show();
    QTest::mouseClick(v.window->Option2, Qt::LeftButton);
    QCOMPARE(v.window->Image1->size(), QSize(200, 150));
}

void ViewerTest::animationModeSetsTheRate() {
    View v;
    v.picture(QStringLiteral("p.png"), QSize(40, 30), "PNG");
    v.select(QStringLiteral("p.png"));
    v.window->setAnimationMode();
    const QSize before = v.window->Image1->size();
    const bool hidden = v.window->Image1->isHidden();
    v.viewer->Option_Click(4);
    QCOMPARE(v.window->AM1->rate(), 2.0);
    QCOMPARE(v.window->StatusBar1->text(4), QStringLiteral("2.0"));
    v.viewer->Option_Click(1);
    QCOMPARE(v.window->AM1->rate(), 0.25);
    QCOMPARE(v.window->StatusBar1->text(4), QStringLiteral(".25"));
    QCOMPARE(v.window->Image1->size(), before);
    QCOMPARE(v.window->Image1->isHidden(), hidden);
}

void ViewerTest::pictureInAnimationModeGoesToTheMovieControl() {
    View v;
    const QString path = v.picture(QStringLiteral("photo.jpg"), QSize(40, 30));
    v.window->setAnimationMode();
    // 2.0 on the animation before does not carry over: a new one starts at 1.0.
    v.viewer->Option4_Click();
    QCOMPARE(v.window->AM1->rate(), 2.0);
    v.select(QStringLiteral("photo.jpg"));
    QCOMPARE(v.window->AM1->rate(), 1.0);
    QVERIFY(v.window->Option3->isChecked());
    QCOMPARE(v.window->AM1->fileName(), path);
    QVERIFY(v.window->Image1->isHidden());
    QVERIFY(!v.window->AM1->isHidden());
    QCOMPARE(v.window->Label5->text(), QString());
    QCOMPARE(v.window->StatusBar1->text(4), QStringLiteral("1:1"));
    v.expectRestingWindow(path);
    v.window->AM1->setFileName(QString());
}

void ViewerTest::vivoInEitherMode() {
    View v;
    const QString loud = v.file(QStringLiteral("CLIP.VIV"), "x");
    const QString glued = v.file(QStringLiteral("notaviv"), "x");
    v.select(QStringLiteral("CLIP.VIV"));
    v.window->setAnimationMode();
    v.select(QStringLiteral("notaviv"));
    QCOMPARE(v.vivo, QStringList({loud, glued}));
    QVERIFY(v.dialogs.events().empty());
    v.expectRestingWindow(glued);
}

void ViewerTest::brokenAnimationIsReportedWhenTheControlFails() {
    View v;
    const QString broken = v.file(QStringLiteral("broken.avi"), "this is no movie at all");
    v.window->setAnimationMode();
    v.select(QStringLiteral("broken.avi"));
    v.expectRestingWindow(broken);
    QTRY_COMPARE_WITH_TIMEOUT(v.dialogs.messages().size(), size_t(1), 10000);
    const MessageBoxSpec m = v.dialogs.messages().at(0);
    QVERIFY2(m.title.startsWith(QStringLiteral("Animation load ERROR ")), qPrintable(m.title));
    QCOMPARE(m.text, QStringLiteral("Unable to open the selected animation, the file may be "
                                    "corrupted. Please select another file or try using another "
                                    "program."));
    QCOMPARE(m.icon, Icon::Critical);
    QCOMPARE(v.dialogs.beeps(), 1);
    QCOMPARE(v.programLogLines(), QStringList({QStringLiteral("\"<d, t> ") + m.title + '"'}));
    QCOMPARE(v.window->windowTitle(), QStringLiteral("Lumorra"));
    v.window->AM1->setFileName(QString());
}

void ViewerTest::lateFailureOnlyWhileTheAnimationIsCurrent_data() {
    QTest::addColumn<QString>("next");
    QTest::newRow("a Vivo movie") << QStringLiteral("next.viv");
    QTest::newRow("a picture") << QStringLiteral("next.png");
}

void ViewerTest::lateFailureOnlyWhileTheAnimationIsCurrent() {
    QFETCH(QString, next);
    View v;
    v.file(QStringLiteral("broken.avi"), "this is no movie at all");
    v.file(QStringLiteral("next.viv"), "x");
    v.picture(QStringLiteral("next.png"), QSize(40, 30), "PNG");
    QSignalSpy failed(v.window->AM1, &MovieControl::failed);
    v.window->setAnimationMode();
    v.select(QStringLiteral("broken.avi"));
    if (next.endsWith(QLatin1String("png")))
        v.window->setPictureMode();
    v.select(next);
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
    QVERIFY(v.dialogs.messages().empty());
    QVERIFY(v.programLogLines().isEmpty());
    v.window->AM1->setFileName(QString());
}

void ViewerTest::movieAreaTakesTheMovieSize() {
    View v;
    const QString clip = v.dir + QStringLiteral("/clip.avi");
    const int made = QProcess::execute(QStringLiteral("ffmpeg"),
                                       {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                        "testsrc=size=160x120:rate=10", "-t", "1", clip});
    if (made != 0)
        QSKIP("ffmpeg cannot make a clip here");
    v.window->setAnimationMode();
    v.select(QStringLiteral("clip.avi"));
    QTRY_COMPARE_WITH_TIMEOUT(v.window->AM1->size(), QSize(160, 120), 10000);
    QVERIFY(v.dialogs.events().empty());
    v.viewer->Option_Click(2);
    QCOMPARE(v.window->AM1->rate(), 0.5);
    v.window->AM1->setFileName(QString());
}

void ViewerTest::animationPlaysAsAPictureIsShown_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("gif") << QStringLiteral("anim.gif");
    QTest::newRow("webp") << QStringLiteral("anim.webp");
    QTest::newRow("avif") << QStringLiteral("anim.avif");
    QTest::newRow("jxl") << QStringLiteral("anim.jxl");
}

void ViewerTest::animationPlaysAsAPictureIsShown() {
    QFETCH(QString, name);
    View v;
    const QString path = v.dir + QLatin1Char('/') + name;
    if (!makeAnimation(path, RedLimeBlue))
        QSKIP("convert cannot write this format here");
    v.picture(QStringLiteral("still.png"), QSize(20, 10), "PNG");
    v.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(v.window.get()));
    v.select(name);
    PictureArea* area = v.window->Image1;
    QVERIFY(area->animation());
    QVERIFY(area->animation()->isRunning());
    // Sized, labelled and in the pixel format of a still picture, from the first frame.
    QCOMPARE(area->size(), QSize(40, 30));
    QCOMPARE(area->naturalSize(), QSize(40, 30));
    QCOMPARE(v.window->Label5->text(), QStringLiteral("40 x 30"));
    QCOMPARE(area->shownImage().format(), loadPicture(decoders(), path).image.format());
    QVERIFY(near(shownColour(area), Qt::red));

    // It plays on from the bytes read once, whatever becomes of the file; zoomed, the frames
    // fill the zoomed area.
    QFile::remove(path);
    v.viewer->Option_Click(4);
    for (const QColor colour : {QColor(Qt::green), QColor(Qt::blue), QColor(Qt::red)})
        QTRY_VERIFY(near(shownColour(area), colour));
    QTRY_VERIFY(near(shownColour(area), Qt::green));
    QCOMPARE(area->size(), QSize(80, 60));
    QCOMPARE(v.window->Label5->text(), QStringLiteral("40 x 30"));
    const QImage drawn = area->grab().toImage();
    QCOMPARE(drawn.size(), QSize(80, 60));
    QVERIFY(near(drawn.pixelColor(40, 30), shownColour(area)));
    // The holder of the file's picture (Save As) has the frame shown.
    QCOMPARE(v.window->Picture1->picture().cacheKey(), area->shownImage().cacheKey());

    // The full-screen view plays it on from the frame shown, until it returns.
    QTRY_VERIFY(near(shownColour(area), Qt::blue));
    emit area->clicked();
    PictureArea* full = v.viewer->fullScreen()->Image1;
    QVERIFY(full->animation());
    QCOMPARE(full->size(), QSize(40, 30));
    QCOMPARE(full->animation()->shownIndex(), 2);
    QVERIFY(near(shownColour(full), Qt::blue));
    QTRY_VERIFY(near(shownColour(full), Qt::red));
    QTRY_VERIFY(near(shownColour(full), Qt::green));
    v.viewer->fullScreen()->Form_Click();
    QVERIFY(!full->animation());

    // Hidden, the area keeps no timer; shown again, it plays on.
    area->hide();
    QVERIFY(!area->animation()->isRunning());
    area->show();
    QVERIFY(area->animation()->isRunning());

    // A new selection ends it at once: the animation goes with its timer, no frame follows.
    const QPointer<QObject> playing = const_cast<PictureAnimation*>(area->animation());
    v.select(QStringLiteral("still.png"));
    QVERIFY(playing.isNull());
    QVERIFY(!area->animation());
    QTest::qWait(150);
    QCOMPARE(shownColour(area), QColor(30, 120, 200));
    QCOMPARE(area->size(), QSize(20, 10));
}

void ViewerTest::loopCountEndsOnTheLastFrame_data() {
    // ImageMagick's "-loop n" plays n times; 1 writes no loop block, which plays once.
    QTest::addColumn<QString>("loop");
    QTest::addColumn<int>("repeats");
    QTest::newRow("once") << QStringLiteral("1") << 0;
    QTest::newRow("twice") << QStringLiteral("2") << 1;
    QTest::newRow("three times") << QStringLiteral("3") << 2;
}

void ViewerTest::loopCountEndsOnTheLastFrame() {
    QFETCH(QString, loop);
    QFETCH(int, repeats);
    View v;
    if (!makeAnimation(v.dir + QStringLiteral("/loops.gif"), RedLimeBlue,
                       {QStringLiteral("-loop"), loop}))
        QSKIP("convert cannot write GIF here");
    v.window->show();
    v.select(QStringLiteral("loops.gif"));
    const PictureAnimation* animation = v.window->Image1->animation();
    QVERIFY(animation);
    QTRY_VERIFY_WITH_TIMEOUT(animation->isFinished(), 10000);
    QVERIFY(!animation->isRunning());
    QCOMPARE(animation->repeats(), repeats);
    QVERIFY(near(shownColour(v.window->Image1), Qt::blue));
    QVERIFY(near(v.window->Picture1->picture().pixelColor(5, 5), Qt::blue));
}

void ViewerTest::manyFramesAreNeverHeldAtOnce() {
    View v;
    std::vector<QImage> pictures; // 500 frames, red and blue by turns
    for (int i = 0; i < 500; ++i)
        pictures.push_back(twoHalves(QSize(16, 16), i % 2 ? Qt::blue : Qt::red, Qt::white));
    v.file(QStringLiteral("many.gif"), gifFile(pictures));
    v.window->show();
    v.select(QStringLiteral("many.gif"));
    const PictureAnimation* animation = v.window->Image1->animation();
    QVERIFY(animation);
    int frames = 0;
    int mostHeld = animation->heldFrames();
    connect(v.window->Image1, &PictureArea::frameShown, [&] {
        ++frames;
        mostHeld = qMax(mostHeld, animation->heldFrames());
    });
    QTRY_VERIFY(frames >= 6);
    QVERIFY2(mostHeld <= 2, qPrintable(QString::number(mostHeld)));
    QVERIFY(animation->isRunning());
}

QTEST_MAIN(ViewerTest)
#include "viewer_tests.moc"
