#include "core/AboutWindow.h"
#include "core/SplashWindow.h"
#include "platform/ProgramPaths.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

class WindowsTest : public QObject {
    Q_OBJECT
private slots:
    void splashClosesItselfAfterTwoSeconds();
    void aboutClosesWithOk();
    void logsFallBackToTheStateDirectory();
};

void WindowsTest::splashClosesItselfAfterTwoSeconds() {
    SplashWindow splash;
    QCOMPARE(splash.objectName(), QStringLiteral("Form15"));
    QCOMPARE(splash.Label1->text(), QStringLiteral("Lumorra 3.0"));
    QCOMPARE(splash.Label2->text(), QStringLiteral("For Windows 95/98/NT"));
    QVERIFY(!splash.Image2->pixmap().isNull());
    QCOMPARE(splash.Timer1->interval(), 2000);

    // The start-up waits in exec() until the splash closes itself.
    bool stillOpenAtOneAndAHalf = false;
    QTimer::singleShot(1500, &splash, [&] { stillOpenAtOneAndAHalf = splash.isVisible(); });
    // Escape does not end it early.
    QTimer::singleShot(500, &splash, [&] { QTest::keyClick(&splash, Qt::Key_Escape); });
    QElapsedTimer clock;
    clock.start();
    const int result = splash.exec();
    QVERIFY(clock.elapsed() >= 1990);
    QVERIFY(stillOpenAtOneAndAHalf);
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(!splash.Timer1->isActive());
}

void WindowsTest::aboutClosesWithOk() {
    AboutWindow about;
    QCOMPARE(about.objectName(), QStringLiteral("Form8"));
    QCOMPARE(about.windowTitle(), QStringLiteral("About Lumorra"));
    QCOMPARE(about.Label1->text(), QStringLiteral("Lumorra 3.0"));
    QCOMPARE(about.Command1->text(), QStringLiteral("OK"));
    QTimer::singleShot(0, about.Command1,
                       [&] { QTest::mouseClick(about.Command1, Qt::LeftButton); });
    QCOMPARE(about.exec(), int(QDialog::Accepted));
}

void WindowsTest::logsFallBackToTheStateDirectory() {
    TestEnv env;
    const QString dir = env.makeDir(QStringLiteral("program"));
    const ProgramPaths writable = ProgramPaths::forDirectory(dir + QLatin1Char('/'), "lumorra");
    QCOMPARE(writable.programDir, dir);
    QCOMPARE(writable.appPath(), dir + QLatin1Char('/'));
    QCOMPARE(writable.runLogFile(), dir + QStringLiteral("/LMRunLog.txt"));
    QCOMPARE(writable.helpFile(), dir + QStringLiteral("/lmhelp.hlp"));

    // A program directory the program cannot write to (here: one that is not there) keeps the
    // help file where the program is, and moves the logs to the per-user state directory.
    const ProgramPaths installed =
        ProgramPaths::forDirectory(env.root() + QStringLiteral("/usr/bin"), "lumorra");
    QCOMPARE(installed.helpFile(), env.root() + QStringLiteral("/usr/bin/lmhelp.hlp"));
    QCOMPARE(installed.logDir, env.stateHome() + QStringLiteral("/lumorra"));
    QVERIFY(QFileInfo(installed.logDir).isDir());
    QCOMPARE(installed.programLogFile(), env.stateHome() + QStringLiteral("/lumorra/LMLog.txt"));

    // One that is there and read-only: the user's logs go to the state directory as well, while
    // root, who writes into any directory, keeps them beside the program.
    const QString locked = env.makeDir(QStringLiteral("locked"));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const ProgramPaths readOnly = ProgramPaths::forDirectory(locked, "lumorra");
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(readOnly.logDir,
             ::geteuid() == 0 ? locked : env.stateHome() + QStringLiteral("/lumorra"));
    QCOMPARE(readOnly.helpFile(), locked + QStringLiteral("/lmhelp.hlp"));
}

QTEST_MAIN(WindowsTest)
#include "windows_tests.moc"
