#include "platform/Error.h"
#include "platform/Text.h"

#include <QLocale>
#include <QTest>

using namespace lumorra;

class TextTest : public QObject {
    Q_OBJECT
private slots:
    void numberTextGroupsDigits();
    void numberValues_data();
    void numberValues();
    void timeTexts_data();
    void timeTexts();
    void generalDates_data();
    void generalDates();
};

void TextTest::numberTextGroupsDigits() {
    QLocale::setDefault(QLocale::c());
    QCOMPARE(numberText(0), QString()); // "#,#" prints no digit for 0
    const QString sep = QLocale::system().groupSeparator();
    QCOMPARE(numberText(999), QStringLiteral("999"));
    QCOMPARE(numberText(1234567),
             QStringLiteral("1") + sep + QStringLiteral("234") + sep + QStringLiteral("567"));
    QVERIFY(!numberText(qint64(5) << 40).contains(QLatin1Char('e')));
}

void TextTest::numberValues_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("error");
    QTest::newRow("one") << "1" << 1.0 << 0;
    QTest::newRow("blanks") << " 10 " << 10.0 << 0;
    QTest::newRow("decimal") << "2.5" << 2.5 << 0;
    QTest::newRow("empty") << "" << 0.0 << 13;
    QTest::newRow("word") << "abc" << 0.0 << 13;
    QTest::newRow("trailing junk") << "10s" << 0.0 << 13;
    QTest::newRow("huge") << "1e400" << 0.0 << 6;
    QTest::newRow("infinity word") << "inf" << 0.0 << 6;
    QTest::newRow("nan") << "nan" << 0.0 << 13;
}

void TextTest::numberValues() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(int, error);
    try {
        const double v = numberValue(text);
        QCOMPARE(error, 0);
        QCOMPARE(v, value);
    } catch (const Error& e) {
        QCOMPARE(e.number, error);
        QVERIFY(!e.description.isEmpty());
    }
}

void TextTest::timeTexts_data() {
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("3:07") << qint64(187000) << "3:07  ";
    QTest::newRow("0:59") << qint64(59000) << "0:59  ";
    QTest::newRow("2:00") << qint64(120000) << "2:00  ";
    QTest::newRow("cut, not rounded") << qint64(59999) << "0:59  ";
    QTest::newRow("an hour") << qint64(3723000) << "62:03  ";
    QTest::newRow("negative") << qint64(-5) << "0:00  ";
}

void TextTest::timeTexts() {
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(timeText(ms), text);
}

void TextTest::generalDates_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");
    const QDateTime evening(QDate(1999, 12, 24), QTime(22, 15, 0));
    const QDateTime midnight(QDate(2001, 3, 4), QTime(0, 0, 0));
    QTest::newRow("us") << "en_US" << evening << "12/24/1999 10:15:00 PM";
    QTest::newRow("us morning") << "en_US" << QDateTime(QDate(1999, 11, 2), QTime(9, 3, 12))
                                << "11/2/1999 9:03:12 AM";
    QTest::newRow("us midnight") << "en_US" << midnight << "3/4/2001";
    QTest::newRow("a second past midnight")
        << "en_US" << QDateTime(QDate(2001, 3, 4), QTime(0, 0, 1)) << "3/4/2001 12:00:01 AM";
    QTest::newRow("german") << "de_DE" << evening << "24.12.1999 22:15:00";
    QTest::newRow("german midnight") << "de_DE" << midnight << "04.03.2001";
    // Zone fields before the time and in brackets go with their spacing.
    QTest::newRow("chinese") << "zh_CN" << evening << "1999/12/24 22:15:00";
    QTest::newRow("persian brackets")
        << "fa_IR" << evening
        << QLocale(QStringLiteral("fa_IR")).toString(evening, QStringLiteral("yyyy/M/d H:mm:ss"));
    // A quoted literal stays as it is.
    QTest::newRow("bulgarian") << "bg_BG" << evening
                               << QStringLiteral("24.12.1999 \u0433. 22:15:00 \u0447.");
}

void TextTest::generalDates() {
    QFETCH(QString, locale);
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(generalDateText(time, QLocale(locale)), text);
}

QTEST_GUILESS_MAIN(TextTest)
#include "text_tests.moc"
