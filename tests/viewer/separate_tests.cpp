#include "browser/MainWindow.h"
#include "movie/MovieControl.h"
#include "platform/Clipboard.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "support/TestServices.h"
#include "support/VivoWriter.h"
#include "ui/PictureAnimation.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"
#include "viewer/AnimationWindow.h"
#include "viewer/PictureWindow.h"
#include "viewer/SelectionViewer.h"
#include "viewer/SeparateViewer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTest>

#include <cmath>
#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

using Kind = SecondaryWindows::SeparateKind;

// A main window with its viewer and the separate windows' menu entries, on a screen of a
// given size.
struct Separate : TestServices {
    QString dir = env.makeDir(QStringLiteral("pics"));
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<SelectionViewer> viewer;
    std::unique_ptr<SeparateViewer> separate;

    explicit Separate(QSize screenSize = QSize(1024, 768), double dpi = 96.0) {
        screen = FixedScreen(screenSize, dpi);
        settings.write(keys::AutoZoom, QStringLiteral("0"));
        settings.write(keys::OLE, QStringLiteral("0"));
        settings.write(keys::OnTop, QStringLiteral("0"));
        openProgramLog();
        window = std::make_unique<MainWindow>(
            services, std::vector<Volume>{Volume{QStringLiteral("/"), QStringLiteral("/"), true}});
        viewer = std::make_unique<SelectionViewer>(*window, services);
        separate = std::make_unique<SeparateViewer>(*window, services);
    }
    ~Separate() {
        // The windows go with the main window; they must not outlive the services.
        separate.reset();
        viewer.reset();
        window.reset();
    }
    QString picture(const QString& name, QSize size, QColor colour = QColor(30, 120, 200)) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir + QLatin1Char('/') + name;
        image.save(path, "PNG");
        return path;
    }
    void select(const QString& name) {
        window->setFilePattern(QStringLiteral("*"));
        window->setDirPath(dir);
        for (int i = 0; i < window->File1->count(); ++i)
            if (window->File1->item(i) == name)
                window->File1->setListIndex(i);
        QCOMPARE(window->File1->fileName(), name);
    }
    PictureWindow* openPicture() {
        window->newwindow->trigger();
        return qobject_cast<PictureWindow*>(separate->lastOpened());
    }
    AnimationWindow* openAnimation() {
        window->newwindow->trigger();
        return qobject_cast<AnimationWindow*>(separate->lastOpened());
    }
    int px(double twips) const { return static_cast<int>(std::lround(twips / (1440.0 / dpi()))); }
    double dpi() const { return 1440.0 / screen.twipsPerPixelX(); }
    // The window's size for a picture of this size: 100 twips wider, status bar and margin higher.
    QSize windowSize(PictureWindow* w, QSize picture, double heightMargin) const {
        const double t = screen.twipsPerPixelX();
        return QSize(
            px(picture.width() * t + 100),
            px((w->StatusBar1->sizeHint().height() + picture.height()) * t + heightMargin));
    }
    // The lower right corner of a window of this size with its frame: 50 twips from the right
    // edge, 600 from the bottom.
    QPoint corner(QSize windowSize) const {
        const double t = screen.twipsPerPixelX();
        return QPoint(px(screen.size().width() * t - windowSize.width() * t - 50),
                      px(screen.size().height() * t - windowSize.height() * t - 600));
    }
};

} // namespace

class SeparateTest : public QObject {
    Q_OBJECT
private slots:
    void largePictureShrinksInNinetyPercentSteps();
    void fitTestIncludesEquality();
    void pictureThatFitsKeepsItsNaturalSize();
    void anyKeyMakesTheWindowLowerAndStretches();
    void keypadZoomsByFivePercent();
    void everyOpeningIsAFurtherWindowInTheCorner();
    void brokenPictureLeavesAnEmptyWindow();
    void opensTheCurrentFileNotThePictureShownBefore_data();
    void opensTheCurrentFileNotThePictureShownBefore();
    void rightClickMenuCopiesThePicture();
    void animationPlaysUntilTheWindowCloses();
    void keepOnTopFollowsTheSettingOnOpeningAndFocus();
    void animationModeOpensAnAnimationWindow();
    void windowStateOfAllWithHiddenOnesMadeWhenNoneExists();
    void closingHandsBackAndDropsOut();
    void oleEditOpenHandsTheFileToItsApplication();
};

void SeparateTest::largePictureShrinksInNinetyPercentSteps() {
    // 1024 x 768: the limits are 614.4 and 460.8 pixels; 700 goes to 630, then 567.
    Separate s;
    const QString path = s.picture(QStringLiteral("wide.png"), QSize(700, 300));
    s.select(QStringLiteral("wide.png"));
    s.viewer->Option_Click(1); // the main window's zoom plays no part
    PictureWindow* w = s.openPicture();
    QVERIFY(w);
    QCOMPARE(w->objectName(), QStringLiteral("Form3"));
    QCOMPARE(w->Image1->size(), QSize(567, 243));
    QVERIFY(w->Image1->stretch());
    QVERIFY(!w->Image1->isHidden());
    QCOMPARE(w->Image1->naturalSize(), QSize(700, 300));
    QCOMPARE(w->size(), s.windowSize(w, QSize(567, 243), 350));
    QCOMPARE(w->pos(), s.corner(w->frameGeometry().size()));
    QCOMPARE(w->windowTitle(), QStringLiteral("wide.png"));
    QCOMPARE(w->StatusBar1->text(1), path + QStringLiteral("  "));
    QCOMPARE(w->StatusBar1->text(2), QStringLiteral("700 x 300  "));
    QCOMPARE(w->StatusBar1->key(1), QStringLiteral("file"));
    QCOMPARE(w->StatusBar1->toolTip(2), QStringLiteral("Original picture size"));
    QCOMPARE(w->Image1->toolTip(), QStringLiteral("Right click to view menu"));
    QVERIFY(w->isVisible());
    QCOMPARE(s.window->cursor().shape(), Qt::ArrowCursor);
    // The picture sits inside the window, above the status bar.
    QVERIFY(w->rect().contains(w->Image1->geometry()));
    QVERIFY(w->Image1->geometry().bottom() < w->StatusBar1->geometry().top());
    QCOMPARE(s.window->secondaryWindows().separateWindows(Kind::Picture), std::vector<QWidget*>{w});
}

void SeparateTest::fitTestIncludesEquality() {
    // Exactly 0.6 of a 1000 pixels wide screen is shrunk once.
    Separate s(QSize(1000, 800));
    s.picture(QStringLiteral("six.png"), QSize(600, 100));
    s.picture(QStringLiteral("tall.png"), QSize(100, 480));
    s.select(QStringLiteral("six.png"));
    PictureWindow* w = s.openPicture();
    QCOMPARE(w->Image1->size(), QSize(540, 90));
    QVERIFY(w->Image1->stretch());
    // The height alone decides as well.
    s.select(QStringLiteral("tall.png"));
    w = s.openPicture();
    QCOMPARE(w->Image1->size(), QSize(90, 432));
}

void SeparateTest::pictureThatFitsKeepsItsNaturalSize() {
    Separate s;
    s.picture(QStringLiteral("fits.png"), QSize(600, 300));
    s.select(QStringLiteral("fits.png"));
    PictureWindow* w = s.openPicture();
    QCOMPARE(w->Image1->size(), QSize(600, 300));
    QVERIFY(!w->Image1->stretch());
    QCOMPARE(w->size(), s.windowSize(w, QSize(600, 300), 350));
}

void SeparateTest::anyKeyMakesTheWindowLowerAndStretches() {
    // At 144 dpi a pixel is 10 twips, so 50 twips are 5 whole pixels.
    Separate s(QSize(1600, 1200), 144.0);
    s.picture(QStringLiteral("p.png"), QSize(200, 100));
    s.select(QStringLiteral("p.png"));
    PictureWindow* w = s.openPicture();
    QVERIFY(!w->Image1->stretch());
    const QSize opened = w->size();
    QTest::keyClick(w, Qt::Key_A);
    QCOMPARE(w->size(), QSize(opened.width(), opened.height() - 5));
    QCOMPARE(w->Image1->size(), QSize(200, 100));
    QVERIFY(w->Image1->stretch());
    QCOMPARE(w->pos(), s.corner(w->frameGeometry().size()));
    // Again: the window keeps that size.
    w->Form_KeyDown(Qt::Key_Shift, Qt::ShiftModifier);
    QCOMPARE(w->size(), QSize(opened.width(), opened.height() - 5));
}

void SeparateTest::keypadZoomsByFivePercent() {
    Separate s;
    s.picture(QStringLiteral("p.png"), QSize(200, 100));
    s.select(QStringLiteral("p.png"));
    PictureWindow* w = s.openPicture();
    QTest::keyClick(w, Qt::Key_Plus, Qt::KeypadModifier);
    QCOMPARE(w->Image1->size(), QSize(210, 105));
    QCOMPARE(w->size(), s.windowSize(w, QSize(210, 105), 300));
    QCOMPARE(w->pos(), s.corner(w->frameGeometry().size()));
    QVERIFY(!w->Image1->isHidden());
    // The main keyboard's minus too, for keyboards without a keypad.
    QTest::keyClick(w, Qt::Key_Minus);
    QCOMPARE(w->Image1->size(), QSize(200, 100)); // 199.5 and 99.75 in whole pixels
    QVERIFY(w->rect().contains(w->Image1->geometry()));
}

void SeparateTest::everyOpeningIsAFurtherWindowInTheCorner() {
    Separate s;
    s.picture(QStringLiteral("a.png"), QSize(300, 200));
    s.picture(QStringLiteral("b.png"), QSize(120, 80), Qt::red);
    s.select(QStringLiteral("a.png"));
    PictureWindow* first = s.openPicture();
    PictureWindow* second = s.openPicture();
    QVERIFY(first && second && first != second);
    QCOMPARE(second->geometry(), first->geometry());
    // Each keeps the file current at its opening.
    s.select(QStringLiteral("b.png"));
    PictureWindow* third = s.openPicture();
    QCOMPARE(third->windowTitle(), QStringLiteral("b.png"));
    QCOMPARE(first->windowTitle(), QStringLiteral("a.png"));
    QCOMPARE(first->Image1->size(), QSize(300, 200));
    QCOMPARE(s.window->secondaryWindows().separateWindows().size(), std::size_t(3));
    // A modal window of the main window takes them all off the top and puts them back.
    s.window->secondaryWindows().setOnTop(true);
    for (QWidget* w : {first, second, third})
        QVERIFY(keepsOnTop(w) && w->isVisible());
    s.window->secondaryWindows().setOnTop(false);
    for (QWidget* w : {first, second, third})
        QVERIFY(!keepsOnTop(w) && w->isVisible());
    // Closing the main window closes every one of them.
    QPointer<QWidget> a(first), b(second), c(third);
    s.window->secondaryWindows().closeAll();
    QTRY_VERIFY(!a && !b && !c);
    QVERIFY(s.window->secondaryWindows().separateWindows().empty());
}

void SeparateTest::brokenPictureLeavesAnEmptyWindow() {
    Separate s;
    s.picture(QStringLiteral("good.png"), QSize(50, 40));
    s.select(QStringLiteral("good.png"));
    writeFile(s.dir + QStringLiteral("/broken.png"), QByteArray("no picture at all"));
    s.select(QStringLiteral("broken.png"));
    s.dialogs.clear();
    PictureWindow* w = s.openPicture();
    QVERIFY(w && w->isVisible());
    QVERIFY(!w->Image1->hasPicture());
    QCOMPARE(w->windowTitle(), QStringLiteral("broken.png"));
    QCOMPARE(w->size(), s.windowSize(w, w->Image1->size(), 350));
    QVERIFY(s.dialogs.events().empty());
    QCOMPARE(s.window->cursor().shape(), Qt::ArrowCursor);
}

void SeparateTest::opensTheCurrentFileNotThePictureShownBefore_data() {
    QTest::addColumn<QString>("current");
    QTest::addColumn<QSize>("natural"); // empty: the current file is no picture
    QTest::newRow("after a Vivo file") << QStringLiteral("clip.viv") << QSize();
    QTest::newRow("after a movie") << QStringLiteral("clip.avi") << QSize();
    QTest::newRow("after a change of mode") << QStringLiteral("b.png") << QSize(48, 40);
}

void SeparateTest::opensTheCurrentFileNotThePictureShownBefore() {
    QFETCH(QString, current);
    QFETCH(QSize, natural);
    Separate s;
    s.picture(QStringLiteral("a.png"), QSize(64, 32));
    s.picture(QStringLiteral("b.png"), QSize(48, 40), Qt::red);
    writeFile(s.dir + QStringLiteral("/clip.viv"), vivoFile(VivoMovie{}));
    writeFile(s.dir + QStringLiteral("/clip.avi"), QByteArray("no movie"));
    s.select(QStringLiteral("a.png"));
    QVERIFY(s.window->Image1->hasPicture());
    // A Vivo file plays in its player in either mode; the others are shown as movies.
    const bool vivo = current.endsWith(QLatin1String(".viv"));
    if (!vivo)
        s.window->setAnimationMode();
    s.select(current);
    if (!vivo)
        s.window->setPictureMode();
    PictureWindow* w = s.openPicture();
    QVERIFY(w);
    QCOMPARE(w->StatusBar1->text(1), s.dir + QLatin1Char('/') + current + QStringLiteral("  "));
    QCOMPARE(w->Image1->hasPicture(), !natural.isEmpty());
    if (!natural.isEmpty())
        QCOMPARE(w->Image1->naturalSize(), natural);
}

void SeparateTest::rightClickMenuCopiesThePicture() {
    Separate s;
    s.picture(QStringLiteral("p.png"), QSize(64, 32), QColor(10, 200, 30));
    s.select(QStringLiteral("p.png"));
    PictureWindow* w = s.openPicture();
    QCOMPARE(w->mnuedit->title(), QStringLiteral("&Edit"));
    QCOMPARE(w->mnucopy->text(), QStringLiteral("&Copy"));
    QTest::mouseClick(w->Image1, Qt::LeftButton);
    QVERIFY(!w->mnuedit->isVisible());
    QTest::mousePress(w->Image1, Qt::RightButton);
    QVERIFY(w->mnuedit->isVisible());
    w->mnuedit->hide();
    w->mnucopy->trigger();
    const QImage copied = s.clipboard.picture();
    QCOMPARE(copied.size(), QSize(64, 32));
    QCOMPARE(QColor(copied.pixel(5, 5)), QColor(10, 200, 30));
    // A window without a picture copies nothing, says nothing and leaves the clipboard alone.
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    w->Image1->clearPicture();
    w->mnucopy->trigger();
    QVERIFY(s.dialogs.messages().empty());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
}

void SeparateTest::animationPlaysUntilTheWindowCloses() {
    Separate s;
    if (!makeAnimation(s.dir + QStringLiteral("/anim.gif"),
                       {QStringLiteral("red"), QStringLiteral("lime"), QStringLiteral("blue")}))
        QSKIP("convert cannot write GIF here");
    s.window->show();
    s.select(QStringLiteral("anim.gif"));
    // It goes on from the frame the main window shows.
    const PictureAnimation* main = s.window->Image1->animation();
    QVERIFY(main);
    QTRY_COMPARE(main->shownIndex(), 1);
    PictureWindow* w = s.openPicture();
    QVERIFY(w && w->Image1->animation());
    QCOMPARE(w->Image1->naturalSize(), QSize(40, 30));
    QCOMPARE(w->StatusBar1->text(2), QStringLiteral("40 x 30  "));
    const auto colour = [w] { return QColor(w->Image1->shownImage().pixel(5, 5)); };
    QCOMPARE(colour(), QColor(Qt::green));
    // Zoomed by the keypad it plays on; the menu's copy takes the frame shown.
    w->Form_KeyDown(Qt::Key_Plus, {});
    QCOMPARE(w->Image1->size(), QSize(42, 32));
    QTRY_COMPARE(colour(), QColor(Qt::blue));
    w->mnucopy->trigger();
    QCOMPARE(QColor(s.clipboard.picture().pixel(5, 5)), colour());
    // Closed, it stops at once and goes with the window.
    const QPointer<PictureAnimation> playing =
        const_cast<PictureAnimation*>(w->Image1->animation());
    w->close();
    QVERIFY(!playing || !playing->isRunning());
    QTRY_VERIFY(playing.isNull());
}

void SeparateTest::keepOnTopFollowsTheSettingOnOpeningAndFocus() {
    Separate s;
    s.picture(QStringLiteral("p.png"), QSize(64, 32));
    s.select(QStringLiteral("p.png"));
    PictureWindow* off = s.openPicture();
    QVERIFY(!keepsOnTop(off));
    s.settings.write(keys::OnTop, QStringLiteral("1"));
    PictureWindow* on = s.openPicture();
    QVERIFY(keepsOnTop(on));
    QCOMPARE(on->pos(), s.corner(on->frameGeometry().size()));
    // Gaining the focus switches it on, never off.
    off->Form_GotFocus();
    QVERIFY(keepsOnTop(off) && off->isVisible());
    QCOMPARE(off->pos(), s.corner(off->frameGeometry().size()));
    s.settings.write(keys::OnTop, QStringLiteral("0"));
    off->Form_GotFocus();
    QVERIFY(keepsOnTop(off));
}

void SeparateTest::animationModeOpensAnAnimationWindow() {
    Separate s;
    // Not a movie: the window stays empty and says nothing.
    const QString path = s.dir + QStringLiteral("/clip.avi");
    writeFile(path, QByteArray("no movie"));
    s.window->setAnimationMode();
    s.select(QStringLiteral("clip.avi"));
    s.window->AM1->resize(320, 240);
    s.viewer->Option_Click(2);
    AnimationWindow* w = s.openAnimation();
    QVERIFY(w);
    QCOMPARE(w->objectName(), QStringLiteral("Form4"));
    QCOMPARE(w->AM1->fileName(), path);
    QCOMPARE(w->AM1->rate(), 0.5);
    const double t = s.screen.twipsPerPixelX();
    QCOMPARE(w->size(), QSize(s.px(320 * t + 100),
                              s.px((240 + w->StatusBar1->sizeHint().height()) * t + 350)));
    QCOMPARE(w->pos(), s.corner(w->frameGeometry().size()));
    QCOMPARE(w->StatusBar1->key(1), QStringLiteral("mnufile"));
    QCOMPARE(w->StatusBar1->text(1), path + QStringLiteral("  "));
    QCOMPARE(w->windowTitle(), QStringLiteral("clip.avi"));
    QVERIFY(w->AM1->geometry().bottom() < w->StatusBar1->geometry().top());
    QCOMPARE(s.window->secondaryWindows().separateWindows(Kind::Animation),
             std::vector<QWidget*>{w});
    QPointer<QWidget> gone(w);
    w->close();
    QTRY_VERIFY(!gone);
}

void SeparateTest::windowStateOfAllWithHiddenOnesMadeWhenNoneExists() {
    Separate s;
    SecondaryWindows& registry = s.window->secondaryWindows();
    // None open: one of each kind is made, hidden, and minimised.
    registry.setSeparateWindowState(Qt::WindowMinimized);
    const auto pictures = registry.separateWindows(Kind::Picture);
    const auto animations = registry.separateWindows(Kind::Animation);
    QCOMPARE(pictures.size(), std::size_t(1));
    QCOMPARE(animations.size(), std::size_t(1));
    QVERIFY(qobject_cast<PictureWindow*>(pictures.front()));
    QVERIFY(qobject_cast<AnimationWindow*>(animations.front()));
    for (QWidget* w : registry.separateWindows()) {
        QVERIFY(!w->isVisible());
        QVERIFY(w->windowState() & Qt::WindowMinimized);
    }
    registry.setSeparateWindowState(Qt::WindowNoState);
    QCOMPARE(registry.separateWindows().size(), std::size_t(2));
    for (QWidget* w : registry.separateWindows()) {
        QVERIFY(!w->isVisible());
        QVERIFY(!(w->windowState() & Qt::WindowMinimized));
    }
    // Open windows of a kind: no further one is made, and they all follow.
    s.picture(QStringLiteral("p.png"), QSize(64, 32));
    s.select(QStringLiteral("p.png"));
    PictureWindow* open = s.openPicture();
    registry.setSeparateWindowState(Qt::WindowMinimized);
    QCOMPARE(registry.separateWindows().size(), std::size_t(3));
    QVERIFY(open->windowState() & Qt::WindowMinimized);
    registry.setSeparateWindowState(Qt::WindowNoState);
    QVERIFY(!(open->windowState() & Qt::WindowMinimized));
    QVERIFY(open->isVisible());
}

void SeparateTest::closingHandsBackAndDropsOut() {
    Separate s;
    s.picture(QStringLiteral("p.png"), QSize(64, 32));
    s.select(QStringLiteral("p.png"));
    s.window->show();
    PictureWindow* w = s.openPicture();
    QPointer<QWidget> gone(w);
    w->activateWindow();
    QVERIFY(w->close());
    QTRY_VERIFY(!gone);
    QTRY_COMPARE(QApplication::activeWindow(), s.window.get());
    QVERIFY(s.window->secondaryWindows().separateWindows().empty());
    // A window still open when the main window goes goes with it.
    QPointer<QWidget> left(s.openPicture());
    s.separate.reset();
    s.viewer.reset();
    s.window.reset();
    QVERIFY(!left);
}

void SeparateTest::oleEditOpenHandsTheFileToItsApplication() {
    Separate s;
    const QString path = s.picture(QStringLiteral("p.png"), QSize(8, 8));
    s.select(QStringLiteral("p.png"));
    s.window->oleeditopen->trigger();
    QCOMPARE(s.launcher.documents, std::vector<QString>{path});
    // A failure to open says nothing.
    s.launcher.failWith = Error::fromErrno(2);
    s.dialogs.clear();
    s.window->oleeditopen->trigger();
    QVERIFY(s.dialogs.events().empty());
    QCOMPARE(s.window->secondaryWindows().separateWindows().size(), std::size_t(0));
}

QTEST_MAIN(SeparateTest)
#include "separate_tests.moc"
