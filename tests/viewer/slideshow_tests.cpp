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
    void leadingNumber_data();
    void leadingNumber();
    void acceptedIntervals_data();
    void acceptedIntervals();
    void refusedIntervals_data();
    void refusedIntervals();
    void unitAfterTheNumberFailsTheConversion();
    void stopReturnsToStopped();
    void ticksWalkTheListFromNoSelection();
    void endOfListRestartsAtTheTop();
    void endOfListStops();
    void emptyListOrNoNumberStopsCleanly();
    void noTickWhileAFileIsStillBeingShown();
    void realTimerShowsTheNextFile();
};

void SlideShowTest::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("whole") << "12" << 12.0;
    QTest::newRow("fraction") << "2.5" << 2.5;
    QTest::newRow("blanks and unit") << "  5 sec" << 5.0;
    QTest::newRow("sign") << "-3x" << -3.0;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("exponent") << "1e1s" << 10.0;
    QTest::newRow("e without digits") << "7e" << 7.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("lone point") << "." << 0.0;
    QTest::newRow("no number after sign") << "-x" << 0.0;
}

void SlideShowTest::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(SlideShow::leadingNumber(text), value);
}

void SlideShowTest::acceptedIntervals_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("period");
    QTest::newRow("lowest") << "2" << 2000;
    QTest::newRow("highest") << "60" << 60000;
    QTest::newRow("fraction") << "2.5" << 2500;
    QTest::newRow("blanks") << " 10 " << 10000;
}

void SlideShowTest::acceptedIntervals() {
    QFETCH(QString, text);
    QFETCH(int, period);
    Show s;
    s.run(text);
    QVERIFY(s.runningState());
    QCOMPARE(s.window->Timer1->interval(), period);
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra - Autoskip is running"));
    // The file shown at the click stays until the first tick.
    QCOMPARE(s.window->File1->listIndex(), -1);
    QVERIFY(s.dialogs.events().empty());
}

void SlideShowTest::refusedIntervals_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("just below") << "1.99";
    QTest::newRow("just above") << "60.5";
    QTest::newRow("letters") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("negative") << "-5";
}

void SlideShowTest::refusedIntervals() {
    QFETCH(QString, text);
    Show s;
    s.run(text);
    QVERIFY(s.stoppedState());
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra"));
    QCOMPARE(s.dialogs.beeps(), 1);
    QCOMPARE(s.programLogLines(),
             QStringList({"\"<d, t> Autoskip ERROR (Invalid interval time\""}));
    const MessageBoxSpec m = s.dialogs.messages().at(0);
    QCOMPARE(m.text, QStringLiteral("You have to enter an interval time between 2 and 60 sec."));
    QCOMPARE(m.title, QStringLiteral("ERROR (Invalid interval time)"));
    QCOMPARE(m.icon, Icon::Critical);
    QCOMPARE(m.buttons, Buttons::Ok);

    // While a show runs, a refused interval leaves it running.
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
    // The caption was already set when the conversion failed.
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra - Autoskip is running"));
}

void SlideShowTest::stopReturnsToStopped() {
    Show s;
    QVERIFY(s.stoppedState());
    s.run(QStringLiteral("4"));
    QVERIFY(s.runningState());
    s.window->Command5->click();
    QVERIFY(s.stoppedState());
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra"));
    QVERIFY(s.dialogs.events().empty());
}

void SlideShowTest::ticksWalkTheListFromNoSelection() {
    Show s;
    s.run(QStringLiteral("30"));
    QCOMPARE(s.window->File1->listIndex(), -1);
    s.show->Timer1_Timer();
    QCOMPARE(s.window->File1->listIndex(), 0);
    QCOMPARE(s.window->Label1->text(), s.shown("a.jpg"));
    // Showing the file gives the caption back.
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra"));
    s.show->Timer1_Timer();
    QCOMPARE(s.window->Label1->text(), s.shown("b.jpg"));
    QCOMPARE(s.window->Label7->text(), QStringLiteral("Current: 2"));

    // It goes on from wherever the user put the selection.
    s.window->File1->setListIndex(0);
    s.show->Timer1_Timer();
    QCOMPARE(s.window->Label1->text(), s.shown("b.jpg"));
    QVERIFY(s.runningState());
    QVERIFY(s.dialogs.events().empty());
}

void SlideShowTest::endOfListRestartsAtTheTop() {
    Show s;
    s.settings.write(QStringLiteral("Autoskip"), QStringLiteral("1"));
    s.run(QStringLiteral("30"));
    s.window->File1->setListIndex(2);
    s.show->Timer1_Timer();
    QCOMPARE(s.window->File1->listIndex(), 0);
    QCOMPARE(s.window->Label1->text(), s.shown("a.jpg"));
    QVERIFY(s.runningState());
    s.show->Timer1_Timer();
    QCOMPARE(s.window->Label1->text(), s.shown("b.jpg"));
    QVERIFY(s.dialogs.events().empty());
    QVERIFY(s.programLogLines().isEmpty());
}

void SlideShowTest::endOfListStops() {
    Show s;
    s.run(QStringLiteral("30"));
    s.window->File1->setListIndex(2);
    s.window->setWindowTitle(QStringLiteral("Lumorra - Autoskip is running"));
    s.show->Timer1_Timer();
    QVERIFY(s.stoppedState());
    QCOMPARE(s.window->File1->listIndex(), 2);
    QCOMPARE(s.window->Label1->text(), s.shown("c.jpg"));
    const MessageBoxSpec m = s.dialogs.messages().at(0);
    QCOMPARE(m.text, EndMessage);
    QCOMPARE(m.title, QStringLiteral("AutoSkip stopped"));
    QCOMPARE(m.icon, Icon::Exclamation);
    QCOMPARE(m.buttons, Buttons::Ok);
    QCOMPARE(s.dialogs.beeps(), 0);
    QVERIFY(s.programLogLines().isEmpty());
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Lumorra - Autoskip is running"));
}

void SlideShowTest::emptyListOrNoNumberStopsCleanly() {
    {
        // The directory changed to an empty one while the show ran.
        Show s;
        s.settings.write(keys::AutoSkip, QStringLiteral("1"));
        s.run(QStringLiteral("30"));
        s.window->setDirPath(s.env.makeDir(QStringLiteral("nothing")));
        QCOMPARE(s.window->File1->count(), 0);
        s.show->Timer1_Timer();
        QVERIFY(s.stoppedState());
        QCOMPARE(s.dialogs.messages().at(0).title, QStringLiteral("AutoSkip stopped"));
    }
    {
        Show s;
        s.settings.write(keys::AutoSkip, QStringLiteral("yes"));
        s.run(QStringLiteral("30"));
        s.window->File1->setListIndex(2);
        s.show->Timer1_Timer();
        QVERIFY(s.stoppedState());
        QCOMPARE(s.dialogs.messages().at(0).text, EndMessage);
    }
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
        if (e.kind != ScriptedDialogs::Event::Kind::Message || ticksDuringBox > 0)
            return;
        ++ticksDuringBox;
        s.show->Timer1_Timer();
    };
    s.show->Timer1_Timer();
    QCOMPARE(ticksDuringBox, 1);
    QCOMPARE(s.dialogs.messages().size(), size_t(1));
    QCOMPARE(s.window->File1->listIndex(), 0);
    QVERIFY(s.runningState());
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
    s.window->Command5->click();
    QVERIFY(s.stoppedState());
}

QTEST_MAIN(SlideShowTest)
#include "slideshow_tests.moc"
