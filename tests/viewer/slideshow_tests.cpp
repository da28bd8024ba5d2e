#include "browser/MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnv.h"
#include "support/TestServices.h"
#include "viewer/SelectionViewer.h"
#include "viewer/SlideShow.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

// A main window with its viewer and slide show, listing a directory of three pictures.
struct Show : TestServices {
    QString dir = env.makeDir(QStringLiteral("pics"));
    std::unique_ptr<MainWindow> window;
    SlideShow* show = nullptr;

    explicit Show(const QStringList& names = {"a.jpg", "b.jpg", "c.jpg"}) {
        settings.write(keys::AutoZoom, QStringLiteral("0"));
        settings.write(keys::OLE, QStringLiteral("0"));
        settings.write(keys::AutoSkip, QStringLiteral("0"));
        for (const QString& name : names) {
            QImage image(QSize(8, 8), QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            image.save(dir + QLatin1Char('/') + name, "JPG");
        }
        openProgramLog();
        window = std::make_unique<MainWindow>(
            services, std::vector<Volume>{Volume{QStringLiteral("/"), QStringLiteral("/"), true}});
        new SelectionViewer(*window, services);
        show = new SlideShow(*window, services);
        window->setFilePattern(QStringLiteral("*.jpg"));
        window->setDirPath(dir);
    }
    void run(const QString& interval) {
        window->Text2->setText(interval);
        window->Command4->click();
    }
    bool stoppedState() const {
        return !window->Timer1->isActive() && window->Command4->isEnabled() &&
               !window->Command5->isEnabled();
    }
    bool runningState() const {
        return window->Timer1->isActive() && !window->Command4->isEnabled() &&
               window->Command5->isEnabled();
    }
    QString shown(const QString& name) const { return dir + QLatin1Char('/') + name; }
};

const QString EndMessage = QStringLiteral(
    "Unabled to continue, no more files in file list. You can make Lumorra to automatically "
    "restart at the top of the file list, when it reaches the bottom, by checking the checkbox "
    "in the File properties and settings window");

} // namespace

class SlideShowTest : public QObject {
    Q_OBJECT
private slots:
    void intervals_data();
    void intervals();
    void unitAfterTheNumberFailsTheConversion();
    void ticksWalkTheListFromNoSelection();
    void endOfList();
    void emptyListOrNoNumberStopsCleanly();
    void noTickWhileAFileIsStillBeingShown();
    void realTimerShowsTheNextFile();
};

void SlideShowTest::intervals_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("period"); // 0: refused
    QTest::newRow("lowest") << "2" << 2000;
    QTest::newRow("highest") << "60" << 60000;
    QTest::newRow("fraction") << "2.5" << 2500;
    QTest::newRow("just below") << "1.99" << 0;
    QTest::newRow("just above") << "60.5" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
}

void SlideShowTest::intervals() {
    QFETCH(QString, text);
    QFETCH(int, period);
    Show s;
    s.run(text);
    if (period > 0) {
        QVERIFY(s.runningState());
        QCOMPARE(s.window->Timer1->interval(), period);
        QCOMPARE(s.window->Timer1->timerType(), Qt::PreciseTimer);
        QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra - Autoskip is running"));
        QCOMPARE(s.window->File1->listIndex(), -1); // nothing moves before the first tick
        QVERIFY(s.dialogs.events().empty());
        s.window->Command5->click();
        QVERIFY(s.stoppedState());
        QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra"));
        return;
    }
    QVERIFY(s.stoppedState());
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra"));
    QCOMPARE(s.dialogs.beeps(), 1);
    QCOMPARE(s.programLogLines(),
             QStringList({"\"<d, t> Autoskip ERROR (Invalid interval time\""}));
    const MessageBoxSpec m = s.dialogs.messages().at(0);
    QCOMPARE(m.text, QStringLiteral("You have to enter an interval time between 2 and 60 sec."));
    QCOMPARE(m.title, QStringLiteral("ERROR (Invalid interval time)"));
    QCOMPARE(m.icon, Icon::Critical);

    // A refused interval leaves a running show as it was.
    s.run(QStringLiteral("3"));
    s.window->Text2->setText(text);
    s.show->Command4_Click();
    QVERIFY(s.runningState());
    QCOMPARE(s.window->Timer1->interval(), 3000);
}

void SlideShowTest::unitAfterTheNumberFailsTheConversion() {
    Show s;
    s.run(QStringLiteral("5 sec"));
    QVERIFY(s.stoppedState());
    QCOMPARE(s.dialogs.beeps(), 1);
    QCOMPARE(s.programLogLines(), QStringList({"\"<d, t> Autoskip ERROR 13 (Type mismatch)\""}));
    const MessageBoxSpec m = s.dialogs.messages().at(0);
    QCOMPARE(m.title, QStringLiteral("Autoskip ERROR 13 (Type mismatch)"));
    QCOMPARE(m.text, QStringLiteral("Unable to run Autoskip. Make sure you have entered a number "
                                    "between 2 and 60"));
    QCOMPARE(m.icon, Icon::Critical);
}

void SlideShowTest::ticksWalkTheListFromNoSelection() {
    Show s;
    s.run(QStringLiteral("30"));
    s.show->Timer1_Timer();
    QCOMPARE(s.window->Label1->text(), s.shown("a.jpg"));
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra")); // the load gives it back
    s.show->Timer1_Timer();
    QCOMPARE(s.window->Label1->text(), s.shown("b.jpg"));
    // It goes on from wherever the user put the selection.
    s.window->File1->setListIndex(0);
    s.show->Timer1_Timer();
    QCOMPARE(s.window->Label1->text(), s.shown("b.jpg"));
    QVERIFY(s.runningState());
    QVERIFY(s.dialogs.events().empty());
}

void SlideShowTest::endOfList() {
    Show s;
    s.settings.write(QStringLiteral("Autoskip"), QStringLiteral("1"));
    s.run(QStringLiteral("30"));
    s.window->File1->setListIndex(2);
    s.show->Timer1_Timer();
    QCOMPARE(s.window->Label1->text(), s.shown("a.jpg"));
    QVERIFY(s.runningState());
    QVERIFY(s.dialogs.events().empty());

    s.settings.write(keys::AutoSkip, QStringLiteral("0"));
    s.window->File1->setListIndex(2);
    s.show->Timer1_Timer();
    QVERIFY(s.stoppedState());
    QCOMPARE(s.window->Label1->text(), s.shown("c.jpg"));
    const MessageBoxSpec m = s.dialogs.messages().at(0);
    QCOMPARE(m.text, EndMessage);
    QCOMPARE(m.title, QStringLiteral("AutoSkip stopped"));
    QCOMPARE(m.icon, Icon::Exclamation);
    QCOMPARE(s.dialogs.beeps(), 0);
    QVERIFY(s.programLogLines().isEmpty());
}

void SlideShowTest::emptyListOrNoNumberStopsCleanly() {
    Show s;
    s.settings.write(keys::AutoSkip, QStringLiteral("1"));
    s.run(QStringLiteral("30"));
    // The directory changed to an empty one while the show ran.
    s.window->setDirPath(s.env.makeDir(QStringLiteral("nothing")));
    s.show->Timer1_Timer();
    QVERIFY(s.stoppedState());
    QCOMPARE(s.dialogs.messages().at(0).title, QStringLiteral("AutoSkip stopped"));

    s.window->setDirPath(s.dir);
    s.settings.write(keys::AutoSkip, QStringLiteral("yes"));
    s.run(QStringLiteral("30"));
    s.window->File1->setListIndex(2);
    s.show->Timer1_Timer();
    QVERIFY(s.stoppedState());
    QCOMPARE(s.dialogs.messages().at(1).text, EndMessage);
}

void SlideShowTest::noTickWhileAFileIsStillBeingShown() {
    Show s({"a.jpg", "b.jpg"});
    writeFile(s.dir + QStringLiteral("/0broken.jpg"), "no picture at all");
    s.window->setDirPath(s.dir);
    QCOMPARE(s.window->File1->item(0), QStringLiteral("0broken.jpg"));
    s.run(QStringLiteral("30"));
    // The failed load's message box is up when the next tick comes.
    int ticksDuringBox = 0;
    s.dialogs.onShow = [&](const ScriptedDialogs::Event& e) {
        if (e.kind == ScriptedDialogs::Event::Kind::Message && ticksDuringBox++ == 0)
            s.show->Timer1_Timer();
    };
    s.show->Timer1_Timer();
    QCOMPARE(s.dialogs.messages().size(), size_t(1));
    QCOMPARE(s.window->File1->listIndex(), 0);
    // Once the box is gone the show goes on.
    s.show->Timer1_Timer();
    QCOMPARE(s.window->Label1->text(), s.shown("a.jpg"));
}

void SlideShowTest::realTimerShowsTheNextFile() {
    Show s;
    s.window->File1->setListIndex(0);
    s.run(QStringLiteral("2"));
    QTRY_COMPARE_WITH_TIMEOUT(s.window->File1->listIndex(), 1, 6000);
    QCOMPARE(s.window->Label1->text(), s.shown("b.jpg"));
}

QTEST_MAIN(SlideShowTest)
#include "slideshow_tests.moc"
