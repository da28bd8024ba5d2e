#include "platform/Error.h"
#include "platform/StatusBar.h"

#include <QSignalSpy>
#include <QTest>

using namespace lumorra;

// The status bar of the main window and the other windows.
class WidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void panelsAreKeyedAndReportClicks();
    void badPanelIndexThrows();
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

QTEST_MAIN(WidgetsTest)
#include "widgets_tests.moc"
