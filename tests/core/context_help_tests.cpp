#include "browser/DirBrowserWindow.h"
#include "browser/FileTypeWindow.h"
#include "browser/MainWindow.h"
#include "browser/OptionsWindow.h"
#include "browser/SecondaryWindows.h"
#include "core/ContextHelp.h"
#include "editor/EditorWindow.h"
#include "platform/HelpViewer.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDirIterator>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>

#include <memory>
#include <set>

using namespace lumorra;
using namespace lumorra::test;

namespace {

// Every topic number the program's sources open: Help buttons of prompts and dialogs, help
// menu items, the Options window's frames, and the F1 table.
std::set<int> topicsInSources() {
    const std::vector<QRegularExpression> patterns = {
        QRegularExpression(QStringLiteral("showTopic\\([^;]*?,\\s*(\\d+)\\s*\\)")),
        QRegularExpression(QStringLiteral("helpTopic\\s*=\\s*(\\d+)")),
        // frame(FrameN, ..., topic, row, column)
        QRegularExpression(
            QStringLiteral("frame\\(Frame\\d+,[^;]*?,\\s*(\\d+),\\s*\\d+,\\s*\\d+[,)]")),
    };
    std::set<int> topics;
    QDirIterator it(QStringLiteral(LUMORRA_SOURCE_DIR), {QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString text = QString::fromUtf8(readFile(it.next()));
        for (const QRegularExpression& p : patterns) {
            for (auto m = p.globalMatch(text); m.hasNext();)
                topics.insert(m.next().captured(1).toInt());
        }
    }
    for (int n : ContextHelp::tableTopics())
        topics.insert(n);
    return topics;
}

QString plainText(const QString& html) {
    QTextDocument doc;
    doc.setHtml(html);
    return doc.toPlainText().simplified();
}

// The topic of the last help request; -1 for the contents page, -2 for none.
int lastTopic(const FakeHelp& help) {
    return help.requests.empty() ? -2 : help.requests.back().topic;
}

// F1 as the user presses it: to the widget that has the focus.
void pressF1(Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_F1, modifiers);
}

} // namespace

class ContextHelpTest : public QObject {
    Q_OBJECT
private slots:
    void everyTopicOfTheProgramIsInTheShippedFile();
    void f1OpensTheFocusedControlsTopic();
    void controlsWithoutTopicUseTheirWindows();
    void dialogsGiveTheirOwnTopic();
    void f1WithoutAnyTopicOpensTheContents();
};

void ContextHelpTest::everyTopicOfTheProgramIsInTheShippedFile() {
    const std::set<int> topics = topicsInSources();
    // The scan must see the program's references, not silently nothing.
    for (int n : {5, 9, 10, 14, 19, 24, 27, 30, 32, 34, 35, 36})
        QVERIFY2(topics.count(n), qPrintable(QStringLiteral("scan missed topic %1").arg(n)));
    const HelpFile f = HelpFile::load(binDir() + QStringLiteral("/lmhelp.hlp"));
    for (int n : topics) {
        const HelpTopic* t = f.topic(n);
        QVERIFY2(t, qPrintable(QStringLiteral("topic %1 is missing").arg(n)));
        const QString text = plainText(t->html);
        QVERIFY2(text.size() >= 150,
                 qPrintable(QStringLiteral("topic %1 is too short: %2").arg(n).arg(text)));
    }
}

void ContextHelpTest::f1OpensTheFocusedControlsTopic() {
    TestServices t;
    ContextHelp contextHelp(t.help, t.services.paths.helpFile());
    qApp->installEventFilter(&contextHelp);
    SecondaryWindows secondary;
    OptionsWindow w(t.services, secondary);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    const std::vector<std::pair<QWidget*, int>> cases = {
        {w.Check2, 24},    {w.Check1, 25},  {w.Check3, 26},   {w.Check4, 27}, {w.Command8, 27},
        {w.Check5, 28},    {w.Check6, 29},  {w.Check7, 31},   {w.Check8, 32}, {w.Command12, 30},
        {w.Command14, 33}, {w.Command3, 7}, {w.Command11, 7},
    };
    for (const auto& [control, topic] : cases) {
        control->setFocus();
        QCOMPARE(QApplication::focusWidget(), control);
        const std::size_t before = t.help.requests.size();
        pressF1();
        QCOMPARE(t.help.requests.size(), before + 1);
        QCOMPARE(t.help.requests.back().file, t.services.paths.helpFile());
        QVERIFY2(lastTopic(t.help) == topic, qPrintable(QStringLiteral("%1 opened %2, not %3")
                                                            .arg(control->objectName())
                                                            .arg(lastTopic(t.help))
                                                            .arg(topic)));
    }
    // Only F1 itself: other keys and F1 with a modifier go on to the control.
    w.Check2->setFocus();
    const std::size_t before = t.help.requests.size();
    pressF1(Qt::ShiftModifier);
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Space);
    QCOMPARE(t.help.requests.size(), before);
    QVERIFY(w.Check2->isChecked());
    qApp->removeEventFilter(&contextHelp);
}

void ContextHelpTest::controlsWithoutTopicUseTheirWindows() {
    TestServices t;
    MainWindow main(t.services, {Volume{QStringLiteral("/"), QStringLiteral("/"), true}});
    QCOMPARE(ContextHelp::topicFor(&main), 14);
    QCOMPARE(ContextHelp::topicFor(main.File1), 14);
    QCOMPARE(ContextHelp::topicFor(main.File1->viewport()), 14);
    QCOMPARE(ContextHelp::topicFor(main.Option1), 14);
    QCOMPARE(ContextHelp::topicFor(main.Command2), 15);
    QCOMPARE(ContextHelp::topicFor(main.Command7), 15);
    QCOMPARE(ContextHelp::topicFor(main.Command4), 16);
    QCOMPARE(ContextHelp::topicFor(main.Text2), 16);
    QCOMPARE(ContextHelp::topicFor(main.Command6), 17);
    QCOMPARE(ContextHelp::topicFor(main.Command3), 17);

    // A message box owned by the main window has no topic of its own: the owner's counts.
    QDialog box(&main);
    auto* ok = new QPushButton(QStringLiteral("OK"), &box);
    ok->setObjectName(QStringLiteral("Command3"));
    QCOMPARE(ContextHelp::topicFor(ok), 14);

    DirBrowserWindow browser(main, &main);
    QCOMPARE(ContextHelp::topicFor(browser.Dir1), 12);
    QCOMPARE(ContextHelp::topicFor(browser.Command1), 12);
    QCOMPARE(ContextHelp::topicFor(browser.Command4), 19);
    FileTypeWindow fileType(main, &main);
    QCOMPARE(ContextHelp::topicFor(fileType.Option1), 5);

    std::unique_ptr<EditorWindow> editor(new EditorWindow(t.services, &main));
    QCOMPARE(ContextHelp::topicFor(editor->RichTextBox1->viewport()), 36);
}

void ContextHelpTest::dialogsGiveTheirOwnTopic() {
    TestServices t;
    ContextHelp contextHelp(t.help, t.services.paths.helpFile());
    qApp->installEventFilter(&contextHelp);
    // A prompt with a help reference carries it as the dialog's topic.
    QDialog prompt;
    prompt.setObjectName(QStringLiteral("InputBox"));
    prompt.setProperty("helpTopic", 19);
    auto* edit = new QLineEdit(&prompt);
    prompt.show();
    QVERIFY(QTest::qWaitForWindowActive(&prompt));
    edit->setFocus();
    pressF1();
    QCOMPARE(lastTopic(t.help), 19);
    // A control's own property wins over its window's.
    edit->setProperty("helpTopic", 9);
    pressF1();
    QCOMPARE(lastTopic(t.help), 9);
    qApp->removeEventFilter(&contextHelp);
}

void ContextHelpTest::f1WithoutAnyTopicOpensTheContents() {
    TestServices t;
    ContextHelp contextHelp(t.help, t.services.paths.helpFile());
    qApp->installEventFilter(&contextHelp);
    QWidget plain;
    auto* button = new QPushButton(QStringLiteral("x"), &plain);
    button->setObjectName(QStringLiteral("Command2"));
    QCOMPARE(ContextHelp::topicFor(button), -1);
    plain.show();
    QVERIFY(QTest::qWaitForWindowActive(&plain));
    button->setFocus();
    pressF1();
    QCOMPARE(t.help.requests.size(), std::size_t(1));
    QCOMPARE(lastTopic(t.help), -1);
    qApp->removeEventFilter(&contextHelp);
}

QTEST_MAIN(ContextHelpTest)
#include "context_help_tests.moc"
