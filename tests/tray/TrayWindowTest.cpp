#include "tray/TrayWindow.h"

#include "platform/Error.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "platform/TerminationSignals.h"
#include "support/Fakes.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <memory>

using namespace lumorra;
using namespace lumorra::test;
using lumorra::tray::TrayWindow;

namespace {

// One lmtray window over fakes and a private settings file.
struct Rig {
    explicit Rig(bool trayAvailable, const QString& settingsFile = {})
        : settings(settingsFile.isEmpty() ? env.settingsFile() : settingsFile),
          window(std::make_unique<TrayWindow>(settings, launcher, dialogs, trayAvailable)) {}

    QString loaded() const { return settings.read(keys::SystrayLoaded); }
    void seed(const QByteArray& lines) { writeFile(env.settingsFile(), "[Lumorra]\n" + lines); }
    QAction* menuAction(const QString& text) const {
        for (QAction* a : window->trayMenu()->actions()) {
            if (a->text() == text)
                return a;
        }
        return nullptr;
    }

    TestEnv env;
    SettingsStore settings;
    FakeLauncher launcher;
    ScriptedDialogs dialogs;
    std::unique_ptr<TrayWindow> window;
};

} // namespace

class TrayWindowTest : public QObject {
    Q_OBJECT
private slots:
    void loadPutsTheIconUp_data();
    void loadPutsTheIconUp();
    void loadAfterAnotherLeavesTheKeyAlone_data();
    void loadAfterAnotherLeavesTheKeyAlone();
    void everyStartPathStartsTheRecordedProgram();
    void otherIconActivationsStartNothing();
    void failedStartIsReported_data();
    void failedStartIsReported();
    void exitAndDestructionWriteZero();
    void menuExitEndsTheProgram();
    void settingsFailuresDoNotEndTheProgram();
    void terminationSignalsArriveThroughTheEventLoop();
};

void TrayWindowTest::loadPutsTheIconUp_data() {
    QTest::addColumn<QByteArray>("seed");
    QTest::addColumn<bool>("tray");
    QTest::newRow("key missing, tray") << QByteArray() << true;
    QTest::newRow("key 0, tray") << QByteArray("SystrayLoaded=0\n") << true;
    QTest::newRow("key empty, tray") << QByteArray("SystrayLoaded=\n") << true;
    QTest::newRow("key missing, no tray") << QByteArray() << false;
    QTest::newRow("key 0, no tray") << QByteArray("SystrayLoaded=0\n") << false;
}

void TrayWindowTest::loadPutsTheIconUp() {
    QFETCH(QByteArray, seed);
    QFETCH(bool, tray);
    Rig rig(tray);
    if (!seed.isEmpty())
        rig.seed(seed);
    rig.window->load();
    QCOMPARE(rig.loaded(), QStringLiteral("1"));
    QCOMPARE(rig.window->trayIcon()->isVisible(), tray);
    // Without the icon the window stands in for it.
    QCOMPARE(rig.window->isVisible(), !tray);
    QCOMPARE(rig.window->windowTitle(), QStringLiteral("LMSystray"));
    QCOMPARE(rig.window->trayIcon()->toolTip(), QStringLiteral("Lumorra"));
    QVERIFY(rig.dialogs.events().empty());
}

void TrayWindowTest::loadAfterAnotherLeavesTheKeyAlone_data() {
    QTest::addColumn<bool>("tray");
    QTest::newRow("tray") << true;
    QTest::newRow("no tray") << false;
}

void TrayWindowTest::loadAfterAnotherLeavesTheKeyAlone() {
    QFETCH(bool, tray);
    Rig rig(tray);
    // Spelled the way the store would never write it, so that any write shows in the bytes.
    rig.seed("; kept as it is\nsystrayloaded = 1\nAppPath=/opt/lm/\n");
    const QByteArray before = readFile(rig.env.settingsFile());
    rig.window->load();
    QCOMPARE(readFile(rig.env.settingsFile()), before);
    QVERIFY(!rig.window->trayIcon()->isVisible());
    QVERIFY(rig.window->isVisible());
    QVERIFY(!rig.window->messageLabel()->text().isEmpty());
}

void TrayWindowTest::everyStartPathStartsTheRecordedProgram() {
    Rig rig(true);
    rig.seed("AppPath=/opt/Lumorra 3/\nEXEName=lumorra\n");
    rig.window->load();

    emit rig.window->trayIcon()->activated(QSystemTrayIcon::Trigger);
    // No check for a running main program: a second click starts a second one.
    emit rig.window->trayIcon()->activated(QSystemTrayIcon::Trigger);
    QAction* start = rig.menuAction(QStringLiteral("Start Lumorra"));
    QVERIFY(start);
    start->trigger();
    QCOMPARE(rig.window->startButton()->text(), QStringLiteral("Start Lumorra"));
    rig.window->startButton()->click();
    rig.window->STI1_Click();

    QCOMPARE(rig.launcher.starts.size(), size_t(5));
    for (const FakeLauncher::Start& s : rig.launcher.starts) {
        QCOMPARE(s.program, QStringLiteral("/opt/Lumorra 3/lumorra"));
        QVERIFY(s.args.isEmpty());
        QCOMPARE(s.focus, LaunchFocus::Focused);
    }
    QVERIFY(rig.dialogs.events().empty());
}

void TrayWindowTest::otherIconActivationsStartNothing() {
    Rig rig(true);
    rig.seed("AppPath=/opt/lm/\nEXEName=lumorra\n");
    rig.window->load();
    for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
        emit rig.window->trayIcon()->activated(reason);
    QVERIFY(rig.launcher.starts.empty());
}

void TrayWindowTest::failedStartIsReported_data() {
    QTest::addColumn<QByteArray>("seed");
    QTest::addColumn<bool>("launcherFails");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("detail");
    QTest::newRow("missing program")
        << QByteArray("AppPath=/gone/\nEXEName=lumorra\n") << true << "/gone/lumorra"
        << "No such file or directory";
    QTest::newRow("nothing recorded") << QByteArray() << false << QString() << "not recorded";
    QTest::newRow("no EXEName") << QByteArray("AppPath=/opt/lm/\n") << false << "/opt/lm/"
                                << "not recorded";
    QTest::newRow("no AppPath") << QByteArray("EXEName=lumorra\n") << false << "lumorra"
                                << "not recorded";
}

void TrayWindowTest::failedStartIsReported() {
    QFETCH(QByteArray, seed);
    QFETCH(bool, launcherFails);
    QFETCH(QString, path);
    QFETCH(QString, detail);
    Rig rig(false);
    rig.seed(seed);
    if (launcherFails)
        rig.launcher.failWith = Error::fromErrno(ENOENT);
    rig.window->load();

    rig.window->startButton()->click();

    QVERIFY(rig.launcher.starts.empty());
    const auto messages = rig.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    const auto& m = messages.front();
    QVERIFY2(m.text.startsWith(QStringLiteral("Unable to start the Lumorra program, please check "
                                              "that the program exists.")),
             qPrintable(m.text));
    if (!path.isEmpty())
        QVERIFY2(m.text.contains(QStringLiteral("\n\n") + path), qPrintable(m.text));
    QVERIFY2(m.text.contains(detail), qPrintable(m.text));
    QCOMPARE(m.title, QStringLiteral("LMSystray"));
    QCOMPARE(m.buttons, Buttons::Ok);
    QCOMPARE(m.icon, Icon::Critical);
    // lmtray goes on: the next click tries again.
    rig.window->startButton()->click();
    QCOMPARE(rig.dialogs.messages().size(), size_t(2));
    QVERIFY(rig.window->isVisible());
}

void TrayWindowTest::exitAndDestructionWriteZero() {
    Rig rig(false);
    rig.window->load();
    QSignalSpy unloaded(rig.window.get(), &TrayWindow::unloaded);
    QCOMPARE(rig.window->exitButton()->text(), QStringLiteral("Exit"));
    QTest::mouseClick(rig.window->exitButton(), Qt::LeftButton);
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!rig.window->isVisible());
    QCOMPARE(rig.loaded(), QStringLiteral("0"));

    // Ending the program writes the key once more, on its own.
    rig.settings.write(keys::SystrayLoaded, QStringLiteral("1"));
    rig.window->Form_Terminate();
    QCOMPARE(rig.loaded(), QStringLiteral("0"));
    rig.settings.write(keys::SystrayLoaded, QStringLiteral("1"));
    rig.window.reset();
    QCOMPARE(rig.loaded(), QStringLiteral("0"));
}

void TrayWindowTest::menuExitEndsTheProgram() {
    Rig rig(true);
    rig.window->load();
    QSignalSpy unloaded(rig.window.get(), &TrayWindow::unloaded);
    QAction* exit = rig.menuAction(QStringLiteral("Exit"));
    QVERIFY(exit);
    exit->trigger();
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!rig.window->trayIcon()->isVisible());
    QCOMPARE(rig.loaded(), QStringLiteral("0"));
}

void TrayWindowTest::settingsFailuresDoNotEndTheProgram() {
    TestEnv env;
    // The settings directory is a plain file: every write fails, even for root.
    writeFile(env.root() + QStringLiteral("/blocked"), "x");
    Rig rig(true, env.root() + QStringLiteral("/blocked/Lumorra.conf"));
    rig.window->load();
    QVERIFY(rig.window->trayIcon()->isVisible());
    emit rig.window->trayIcon()->activated(QSystemTrayIcon::Trigger);
    QCOMPARE(rig.dialogs.messages().size(), size_t(1));
    QSignalSpy unloaded(rig.window.get(), &TrayWindow::unloaded);
    QVERIFY(rig.window->close());
    QCOMPARE(unloaded.count(), 1);
    rig.window.reset();
}

void TrayWindowTest::terminationSignalsArriveThroughTheEventLoop() {
    TerminationSignals handlers;
    QSignalSpy received(&handlers, &TerminationSignals::received);
    bool secondRefused = false;
    withFailureHandler([] { TerminationSignals second; },
                       [&](const Error&) { secondRefused = true; });
    QVERIFY(secondRefused);

    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ::raise(sig);
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.takeFirst().at(0).toInt(), sig);
    }
}

QTEST_MAIN(TrayWindowTest)
#include "TrayWindowTest.moc"
