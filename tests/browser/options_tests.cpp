#include "browser/OptionsWindow.h"
#include "browser/SecondaryWindows.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "support/TestServices.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>

using namespace lumorra;
using namespace lumorra::test;

namespace {

const QStringList EightKeys = {"OLE",     "AutoZoom",        "AutoSkip",
                               "UserReq", "DelConfirmation", "MoveConfirmation",
                               "OnTop",   "Systray"};

QList<QCheckBox*> boxes(OptionsWindow& w) {
    return {w.Check1, w.Check2, w.Check3, w.Check4, w.Check5, w.Check6, w.Check7, w.Check8};
}

} // namespace

class OptionsTest : public QObject {
    Q_OBJECT
private slots:
    void freshProfileStoresZerosOnOk();
    void loadTicksOnlyWhatReadsAsOne();
    void cancelStoresNothing();
    void changeStoresTheNameAtOnce();
    void specialSettingCannotBeCleared();
    void helpButtonsOpenTheirTopics();
    void secondaryWindowsLeaveTheTopWhileOpen();
};

void OptionsTest::freshProfileStoresZerosOnOk() {
    TestServices t;
    SecondaryWindows secondary;
    OptionsWindow w(t.services, secondary);
    QCOMPARE(w.objectName(), QStringLiteral("Form14"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Options"));
    for (QCheckBox* b : boxes(w))
        QVERIFY(!b->isChecked());
    QCOMPARE(w.Frame7->title(), QStringLiteral("User name (current: )"));
    w.Command3_Click();
    for (const QString& key : EightKeys)
        QCOMPARE(t.settings.read(key), QStringLiteral("0"));
    QVERIFY(!w.isVisible());
}

void OptionsTest::loadTicksOnlyWhatReadsAsOne() {
    TestServices t;
    t.settings.write(keys::User, QStringLiteral("Anna"));
    const QStringList values = {"1", "0", "abc", "", " 1 ", "2", "1.0", "1"};
    for (int i = 0; i < 8; ++i)
        t.settings.write(EightKeys[i], values[i]);
    SecondaryWindows secondary;
    OptionsWindow w(t.services, secondary);
    const QList<bool> ticked = {true, false, false, false, true, false, true, true};
    for (int i = 0; i < 8; ++i)
        QVERIFY2(boxes(w)[i]->isChecked() == ticked[i], qPrintable(EightKeys[i]));
    QCOMPARE(w.Frame7->title(), QStringLiteral("User name (current: Anna)"));
    w.Check2->setChecked(true);
    w.Command3_Click();
    QCOMPARE(t.settings.read(keys::AutoZoom), QStringLiteral("1"));
    QCOMPARE(t.settings.read(keys::AutoSkip), QStringLiteral("0"));
    QCOMPARE(t.settings.read(keys::DelConfirmation), QStringLiteral("1"));
}

void OptionsTest::cancelStoresNothing() {
    TestServices t;
    SecondaryWindows secondary;
    OptionsWindow w(t.services, secondary);
    w.Check7->setChecked(true);
    w.Command11_Click();
    for (const QString& key : EightKeys)
        QCOMPARE(t.settings.read(key), QString());
}

void OptionsTest::changeStoresTheNameAtOnce() {
    TestServices t;
    t.openProgramLog();
    SecondaryWindows secondary;
    OptionsWindow w(t.services, secondary);
    t.dialogs.answerInput(QString()); // empty: nothing happens
    w.Command8_Click();
    QCOMPARE(t.settings.read(keys::User), QString());
    QVERIFY(t.programLogLines().isEmpty());
    QCOMPARE(w.Frame7->title(), QStringLiteral("User name (current: )"));

    t.dialogs.answerInput(QStringLiteral(" Bob Smith"));
    w.Command8_Click();
    const InputBoxSpec ask = t.dialogs.inputs().back();
    QCOMPARE(ask.title, QStringLiteral("User change"));
    QCOMPARE(ask.prompt,
             QStringLiteral("Enter a new User name (Capital letters will be remembered)"));
    QCOMPARE(ask.helpTopic, 0);
    QCOMPARE(t.settings.read(keys::User), QStringLiteral(" Bob Smith"));
    QCOMPARE(w.Frame7->title(), QStringLiteral("User name (current:  Bob Smith)"));
    QCOMPARE(t.programLogLines(),
             QStringList({"", "\"<d, t> User name changed to:  Bob Smith\"", ""}));
    w.Command11_Click();
    QCOMPARE(t.settings.read(keys::User), QStringLiteral(" Bob Smith"));
    for (const QString& key : EightKeys)
        QCOMPARE(t.settings.read(key), QString());
}

void OptionsTest::specialSettingCannotBeCleared() {
    TestServices t;
    t.settings.write(keys::SpcSetting, QStringLiteral("nosplash"));
    SecondaryWindows secondary;
    OptionsWindow w(t.services, secondary);
    t.dialogs.cancelInput();
    w.Command12_Click();
    QCOMPARE(t.settings.read(keys::SpcSetting), QStringLiteral("nosplash"));
    const InputBoxSpec ask = t.dialogs.inputs().back();
    QCOMPARE(ask.title, QStringLiteral("Lumorra - Special setting entry"));
    QCOMPARE(ask.prompt, QStringLiteral("Enter Lumorra special setting information.\nThis function "
                                        "is only to be used by Tovik Software\nor if you have been "
                                        "instructed by Tovik Software"));
    QCOMPARE(ask.helpTopic, 30);
    t.dialogs.answerInput(QStringLiteral("Fast NOSPLASH"));
    w.Command12_Click();
    QCOMPARE(t.settings.read(keys::SpcSetting), QStringLiteral("Fast NOSPLASH"));
}

void OptionsTest::helpButtonsOpenTheirTopics() {
    TestServices t;
    SecondaryWindows secondary;
    OptionsWindow w(t.services, secondary);
    for (const char* name : {"Command5", "Command4", "Command6", "Command7", "Command9",
                             "Command10", "Command15", "Command16"}) {
        auto* b = w.findChild<QPushButton*>(QString::fromLatin1(name));
        QVERIFY2(b && b->text() == QLatin1String("Help"), name);
        b->click();
    }
    w.Command13->click();
    std::vector<int> topics;
    for (const auto& r : t.help.requests)
        topics.push_back(r.topic);
    QCOMPARE(topics, std::vector<int>({24, 25, 26, 27, 28, 29, 31, 32, -1}));
    // The handlers by name, as the buttons are listed with their topics.
    using Handler = void (OptionsWindow::*)();
    const std::pair<Handler, int> named[] = {
        {&OptionsWindow::Command4_Click, 25},  {&OptionsWindow::Command5_Click, 24},
        {&OptionsWindow::Command6_Click, 26},  {&OptionsWindow::Command7_Click, 27},
        {&OptionsWindow::Command9_Click, 28},  {&OptionsWindow::Command10_Click, 29},
        {&OptionsWindow::Command15_Click, 31}, {&OptionsWindow::Command16_Click, 32}};
    for (const auto& [handler, topic] : named) {
        (w.*handler)();
        QCOMPARE(t.help.requests.back().topic, topic);
    }
    bool about = false;
    w.showAbout = [&] { about = true; };
    w.Command14->click();
    QVERIFY(about);
}

void OptionsTest::secondaryWindowsLeaveTheTopWhileOpen() {
    TestServices t;
    t.settings.write(keys::OnTop, QStringLiteral("0"));
    QWidget picture;
    setKeepOnTop(&picture, true);
    picture.show();
    SecondaryWindows secondary;
    secondary.addSeparate(&picture, SecondaryWindows::SeparateKind::Picture);
    {
        OptionsWindow w(t.services, secondary);
        QVERIFY(!keepsOnTop(&picture));
        w.Command3_Click();
    }
    // On again whatever "OnTop" holds.
    QVERIFY(keepsOnTop(&picture));
    QVERIFY(picture.isVisible());
}

QTEST_MAIN(OptionsTest)
#include "options_tests.moc"
