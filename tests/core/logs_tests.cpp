#include "core/Logs.h"
#include "support/TestEnv.h"

#include <QRegularExpression>
#include <QTest>

using namespace lumorra;
using namespace lumorra::test;

class LogsTest : public QObject {
    Q_OBJECT
private slots:
    void statusLinesAreFiftySixCharacters_data();
    void statusLinesAreFiftySixCharacters();
    void runLogStartsAfreshWithHeaderAndCrLf();
    void programLogRecordShapes();
    void programLogAppendsAcrossRuns();
    void writesAfterCloseAreDropped();
    void errorRecordTexts();
    void unopenableLogsThrow();
};

void LogsTest::statusLinesAreFiftySixCharacters_data() {
    QTest::addColumn<QString>("label");
    for (const char* label : {"Program Logfile set",
                              "Program information saved to registration database",
                              "Program Help file set",
                              "File list box pattern set",
                              "Drive list box drive set",
                              "Dir list box path set",
                              "Default copy destination path set",
                              "AutoSkip interval set",
                              "Statusbar text set",
                              "Default copy destination set BY DEFAULT",
                              "Statusbar text set BY DEFAULT",
                              "Drive list box drive set BY DEFAULT",
                              "Dir list box path ser BY DEFAULT",
                              "Label6 caption set",
                              "Special settings section completed",
                              "New user added",
                              "Options saved to registration database",
                              "Usertest section completed",
                              "Screen resolution section completed",
                              "Systray program loaded",
                              "Systray program load is off",
                              "Systray section completed"})
        QTest::newRow(label) << QString::fromLatin1(label);
}

void LogsTest::statusLinesAreFiftySixCharacters() {
    QFETCH(QString, label);
    const QString line = runLogStatusLine(label);
    QCOMPARE(line.size(), 56);
    QVERIFY(line.startsWith(label + QLatin1Char('.')));
    QVERIFY(line.endsWith(QStringLiteral(". OK")));
    QCOMPARE(line.mid(label.size(), 53 - label.size()),
             QString(53 - label.size(), QLatin1Char('.')));
}

void LogsTest::runLogStartsAfreshWithHeaderAndCrLf() {
    TestEnv env;
    const QString path = env.root() + QStringLiteral("/LMRunLog.txt");
    writeFile(path, "lines of an earlier start\r\n");
    RunLog log;
    log.open(path);
    log.status(QStringLiteral("Program Logfile set"));
    log.line(QStringLiteral("PROGRAM LOAD COMPLETED"));
    log.close();
    QCOMPARE(readFile(path),
             QByteArray("***Tovik Software, Lumorra Run Logfile***\r\n"
                        "\r\n"
                        "Program Logfile set.................................. OK\r\n"
                        "PROGRAM LOAD COMPLETED\r\n"));
}

void LogsTest::programLogRecordShapes() {
    TestEnv env;
    const QString path = env.root() + QStringLiteral("/LMLog.txt");
    ProgramLog log;
    log.open(path);
    log.setStamp([] { return QStringLiteral("<08/12/2026, 10:15> "); });
    log.record(QStringLiteral("Directory rename ERROR"));
    log.record(QStringLiteral("Invalid user name was entered"), false);
    log.emptyLine();
    log.writeLine(QString(), true);
    log.close();
    QCOMPARE(readFile(path), QByteArray("\"<08/12/2026, 10:15> Directory rename ERROR\"\r\n"
                                        "<08/12/2026, 10:15> Invalid user name was entered\r\n"
                                        "\r\n"
                                        "\r\n"));
}

void LogsTest::programLogAppendsAcrossRuns() {
    TestEnv env;
    const QString path = env.root() + QStringLiteral("/LMLog.txt");
    for (const char* text : {"first run", "second run"}) {
        ProgramLog log;
        log.open(path);
        log.record(QString::fromLatin1(text));
        log.close();
    }
    const QList<QByteArray> lines = readFile(path).split('\n');
    QCOMPARE(lines.size(), 3); // two records and the empty rest after the last CR LF
    // The default stamp is the system's short date and time between "<" and "> ".
    const QRegularExpression shape(QStringLiteral("^\"<[^,<>]+, [^<>]+> (first|second) run\"\r$"));
    QVERIFY2(shape.match(QString::fromUtf8(lines[0])).hasMatch(), lines[0].constData());
    QVERIFY2(shape.match(QString::fromUtf8(lines[1])).hasMatch(), lines[1].constData());
    QVERIFY(lines[1].contains("second run"));
}

void LogsTest::writesAfterCloseAreDropped() {
    TestEnv env;
    const QString path = env.root() + QStringLiteral("/LMLog.txt");
    ProgramLog log;
    log.open(path);
    log.close();
    log.record(QStringLiteral("late"));
    QCOMPARE(readFile(path), QByteArray());
}

void LogsTest::errorRecordTexts() {
    QCOMPARE(errorRecordText(Error{2, QStringLiteral("No such file or directory")},
                             QStringLiteral("File Copy"), QStringLiteral("File copy")),
             QStringLiteral("File copy ERROR 2 (No such file or directory)"));
    // No description: the "Unknown" shape, never empty parentheses.
    QCOMPARE(errorRecordText(Error{5, QString()}, QStringLiteral("File Copy"),
                             QStringLiteral("File copy")),
             QStringLiteral("Unknown File Copy ERROR"));
    QCOMPARE(errorRecordText(Error::program(errc::TypeMismatch), QStringLiteral("Autoskip"),
                             QStringLiteral("Autoskip")),
             QStringLiteral("Autoskip ERROR 13 (Type mismatch)"));
}

void LogsTest::unopenableLogsThrow() {
    TestEnv env;
    // A plain file where the directory should be: neither log can be created under it.
    const QString notADir = env.root() + QStringLiteral("/file");
    writeFile(notADir, "x");
    RunLog run;
    bool threw = false;
    try {
        run.open(notADir + QStringLiteral("/LMRunLog.txt"));
    } catch (const Error& e) {
        threw = true;
        QCOMPARE(e.number, ENOTDIR);
        QVERIFY(!e.description.isEmpty());
    }
    QVERIFY(threw);
    ProgramLog prog;
    QVERIFY_THROWS_EXCEPTION(Error, prog.open(notADir + QStringLiteral("/LMLog.txt")));
}

QTEST_GUILESS_MAIN(LogsTest)
#include "logs_tests.moc"
