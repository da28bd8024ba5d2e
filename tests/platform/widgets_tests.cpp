#include "browser/SearchPattern.h"
#include "platform/Error.h"
#include "platform/StatusBar.h"

#include <QSignalSpy>
#include <QTest>

using namespace lumorra;

// The status bar and the search patterns: the widgets the main window is built from.
class WidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void panelsAreKeyedAndReportClicks();
    void badPanelIndexThrows();
    void searchPatternMatching_data();
    void searchPatternMatching();
    void refusedPatterns_data();
    void refusedPatterns();
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

void WidgetsTest::searchPatternMatching_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");
    QTest::newRow("case") << "*.jpg;*.bmp"
                          << "HOLIDAY.JPG" << true;
    QTest::newRow("second spec") << "*.jpg;*.bmp"
                                 << "x.bmp" << true;
    QTest::newRow("no match") << "*.jpg;*.bmp"
                              << "x.jpeg" << false;
    QTest::newRow("space after ;") << "*.jpg; *.bmp; *.gif"
                                   << "a.gif" << true;
    QTest::newRow("question mark") << "img?.png"
                                   << "img1.png" << true;
    QTest::newRow("question mark is one") << "img?.png"
                                          << "img12.png" << false;
    QTest::newRow("regex chars are literal") << "a+(b).jpg"
                                             << "a+(b).jpg" << true;
    QTest::newRow("dot is literal") << "a.jpg"
                                    << "abjpg" << false;
    QTest::newRow("star matches all") << "*"
                                      << "README" << true;
    QTest::newRow("empty spec skipped") << "*.gif;;"
                                        << "a.gif" << true;
}

void WidgetsTest::searchPatternMatching() {
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    QCOMPARE(SearchPattern::parse(pattern).matches(name), matches);
}

void WidgetsTest::refusedPatterns_data() {
    QTest::addColumn<QString>("pattern");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks and separators") << QStringLiteral(" ; ;");
    QTest::newRow("slash") << QStringLiteral("pics/*.jpg");
    QTest::newRow("control character") << QStringLiteral("*.jpg\n*.bmp");
}

void WidgetsTest::refusedPatterns() {
    QFETCH(QString, pattern);
    try {
        SearchPattern::parse(pattern);
        QFAIL("pattern accepted");
    } catch (const Error& e) {
        QCOMPARE(e.number, 380);
        QCOMPARE(e.description, QStringLiteral("Invalid property value"));
    }
}

QTEST_MAIN(WidgetsTest)
#include "widgets_tests.moc"
