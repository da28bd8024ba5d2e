#include "movie/MovieControl.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "support/TestServices.h"
#include "support/VivoWriter.h"
#include "ui/StatusBar.h"
#include "viewer/VivoPlayerWindow.h"

#include <QPointer>
#include <QTest>
#include <QWindow>

#include <memory>

using namespace lumorra;
using namespace lumorra::test;

class VivoTest : public QObject {
    Q_OBJECT
private slots:
    void panelsAreTheButtons();
    void playPauseRestartMoveCaptionAndBevel();
    void timeTexts();
    void infoLeavesTopAndComesBack();
    void closingReleasesTheFile();
    void playsARealVivoMovie();
};

void VivoTest::panelsAreTheButtons() {
    TestServices t;
    VivoPlayerWindow w(t.services);
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    QCOMPARE(w.objectName(), QStringLiteral("Form5"));
    const QStringList keys = {"", "play", "pause", "restart", "info", "", ""};
    const QStringList texts = {"", ">", "||", QString(QChar(0x00AB)), "Info", "", ""};
    const QStringList tips = {
        "File", "Play", "Pause", "Restart", "Movie Info", "Current position", "Total duration"};
    QCOMPARE(w.StatusBar1->panelCount(), 7);
    for (int i = 1; i <= 7; ++i) {
        QCOMPARE(w.StatusBar1->key(i), keys[i - 1]);
        QCOMPARE(w.StatusBar1->text(i), texts[i - 1]);
        QCOMPARE(w.StatusBar1->toolTip(i), tips[i - 1]);
    }
}

void VivoTest::playPauseRestartMoveCaptionAndBevel() {
    TestServices t;
    VivoPlayerWindow w(t.services);
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    const QString movie = t.env.root() + QStringLiteral("/clip.viv");
    w.showMovie(movie);
    QCOMPARE(w.StatusBar1->text(1), movie);
    QCOMPARE(w.VvWeb1->fileName(), movie);
    QVERIFY(w.isVisible());
    // The status bar runs along the bottom from one side of the window to the other.
    const int bar = w.StatusBar1->height();
    QCOMPARE(w.StatusBar1->geometry(), QRect(0, w.height() - bar, w.width(), bar));
    const auto playing = [&] {
        QCOMPARE(w.windowTitle(), QStringLiteral("Vivo Movie Player - Playing"));
        QCOMPARE(w.StatusBar1->bevel(2), StatusBar::Bevel::Inset);
        QCOMPARE(w.StatusBar1->bevel(3), StatusBar::Bevel::Raised);
    };
    playing();
    w.StatusBar1_PanelClick(3, QStringLiteral("pause"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Vivo Movie Player - Paused"));
    QCOMPARE(w.StatusBar1->bevel(3), StatusBar::Bevel::Inset);
    QCOMPARE(w.StatusBar1->bevel(2), StatusBar::Bevel::Raised);
    w.StatusBar1_PanelClick(2, QStringLiteral("play"));
    playing();
    w.StatusBar1_PanelClick(3, QStringLiteral("pause"));
    w.StatusBar1_PanelClick(4, QStringLiteral("restart"));
    playing();
    QCOMPARE(w.VvWeb1->fileName(), movie);
    // The file, position and duration panels are no buttons.
    for (int i : {1, 6, 7})
        w.StatusBar1_PanelClick(i, QString());
    playing();
}

void VivoTest::timeTexts() {
    TestServices t;
    VivoPlayerWindow w(t.services);
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.VvWeb1_Time(59.0);
    QCOMPARE(w.StatusBar1->text(6), QStringLiteral("0:59  "));
    w.VvWeb1_Time(120.0);
    QCOMPARE(w.StatusBar1->text(6), QStringLiteral("2:00  "));
    w.VvWeb1_Time(187.4);
    QCOMPARE(w.StatusBar1->text(6), QStringLiteral("3:07  "));
    QCOMPARE(w.StatusBar1->text(7), QString()); // until the movie starts
}

void VivoTest::infoLeavesTopAndComesBack() {
    TestServices t;
    t.settings.write(keys::OnTop, QStringLiteral("1"));
    VivoPlayerWindow w(t.services);
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.showMovie(t.env.root() + QStringLiteral("/clip.viv"));
    QVERIFY(keepsOnTop(&w));
    bool onTopWhileShown = true;
    QString shownText;
    w.showInfo = [&](const QString&, const QString& text) {
        onTopWhileShown = keepsOnTop(&w);
        shownText = text;
    };
    w.StatusBar1_PanelClick(5, QStringLiteral("info"));
    QVERIFY(!onTopWhileShown);
    QVERIFY(shownText.startsWith(t.env.root() + QStringLiteral("/clip.viv")));
    QVERIFY(keepsOnTop(&w));

    t.settings.write(keys::OnTop, QStringLiteral("0"));
    w.StatusBar1_PanelClick(5, QStringLiteral("info"));
    QVERIFY(!keepsOnTop(&w));
}

void VivoTest::closingReleasesTheFile() {
    TestServices t;
    QWidget main;
    auto* w = new VivoPlayerWindow(t.services, &main);
    QPointer<VivoPlayerWindow> watch(w);
    w->showMovie(t.env.root() + QStringLiteral("/clip.viv"));
    MovieControl* control = w->VvWeb1;
    bool released = false;
    connect(control, &QObject::destroyed, this, [&] { released = true; });
    QCOMPARE(control->fileName(), t.env.root() + QStringLiteral("/clip.viv"));
    QVERIFY(!w->parentWidget() && !w->windowHandle()->transientParent());
    w->close();
    // The window is discarded when closed; the next Vivo file opens a new one.
    QTRY_VERIFY(watch.isNull());
    QVERIFY(released);
    // A window of its own, yet gone with the main window.
    auto owner = std::make_unique<QWidget>();
    watch = new VivoPlayerWindow(t.services, owner.get());
    owner.reset();
    QVERIFY(watch.isNull());
}

void VivoTest::playsARealVivoMovie() {
    TestServices t;
    const QString movie = t.env.root() + QStringLiteral("/real.viv");
    if (!makeVivoMovie(movie, 2600))
        QSKIP("ffmpeg cannot encode the Vivo streams here");
    VivoPlayerWindow w(t.services);
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.showMovie(movie);
    // The total duration comes from the movie's header once it starts.
    QTRY_COMPARE_WITH_TIMEOUT(w.StatusBar1->text(7), QStringLiteral("0:02  "), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!w.StatusBar1->text(6).isEmpty(), 10000);
    QCOMPARE(w.VvWeb1->naturalSize(), QSize(176, 144));
    // Restart loads the movie again: the position goes back to the start.
    QTRY_VERIFY_WITH_TIMEOUT(w.VvWeb1->position() > 0.5, 10000);
    w.StatusBar1_PanelClick(4, QStringLiteral("restart"));
    QTRY_VERIFY_WITH_TIMEOUT(w.VvWeb1->isLoaded() && w.VvWeb1->position() < 0.5, 10000);
    QVERIFY(t.dialogs.events().empty());
}

QTEST_MAIN(VivoTest)
#include "vivo_tests.moc"
