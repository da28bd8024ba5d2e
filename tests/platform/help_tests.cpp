#include "platform/Error.h"
#include "platform/HelpViewer.h"
#include "platform/QtDialogs.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>

#include <cerrno>
#include <set>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

namespace {

// The topics the program opens by number (Help buttons and menu items, and F1 in its windows);
// each must be in the shipped help file. context_help_tests checks this list against the
// program's sources.
const std::vector<int> RequiredTopics = {0,  1,  5,  7,  9,  10, 11, 12, 13, 14,
                                         15, 16, 17, 18, 19, 21, 22, 24, 25, 26,
                                         27, 28, 29, 30, 31, 32, 33, 34, 35, 36};

const QByteArray SampleFile =
    "# A comment\n"
    "# @topic 99 Not a topic: comments come first\n"
    "\n"
    "@topic 0 Contents\n"
    "<p>See <a href=\"topic:5\">Five</a> and <a href=\"topic:14\">Main</a>.</p>\n"
    "@topic 5 The Filetype Select window\n"
    "<p>Choose picture files.</p>\n"
    "# not a comment inside a topic\n"
    "\n"
    "\n"
    "@topic 14   The main window  \n"
    "<p>Main window text.</p>\n"
    "<p>Back to <a href=\"topic:0\">contents</a>, on to "
    "<a href=\"topic:5\">five</a>, or <a href=\"topic:77\">nowhere</a>.</p>\n";

QString plainText(const QString& html) {
    QTextDocument doc;
    doc.setHtml(html);
    return doc.toPlainText().simplified();
}

QString shippedFile() {
    return binDir() + QStringLiteral("/lmhelp.hlp");
}

QTextBrowser* browserOf(HelpViewer& viewer) {
    return viewer.window() ? viewer.window()->findChild<QTextBrowser*>(QStringLiteral("HelpText"))
                           : nullptr;
}

QString shownText(HelpViewer& viewer) {
    QTextBrowser* b = browserOf(viewer);
    return b ? b->toPlainText().simplified() : QString();
}

QPushButton* buttonOf(HelpViewer& viewer, const char* name) {
    return viewer.window()->findChild<QPushButton*>(QString::fromLatin1(name));
}

// Where a link to href is shown in the browser's viewport (scrolled into view); (-1,-1) if the
// page has no such link.
QPoint linkPoint(QTextBrowser* browser, const QString& href) {
    QTextDocument* doc = browser->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.isValid() || !f.charFormat().isAnchor() || f.charFormat().anchorHref() != href)
                continue;
            QTextCursor c(doc);
            c.setPosition(f.position() + f.length() / 2);
            browser->setTextCursor(c);
            browser->ensureCursorVisible();
            const QRect r = browser->cursorRect(c);
            return QPoint(r.center().x(), r.center().y());
        }
    }
    return QPoint(-1, -1);
}

// A click that goes the way a real one does, through the window system (so a window that a
// modal box blocks does not get it).
void windowClick(QWidget* widget) {
    QWindow* w = widget->window()->windowHandle();
    QVERIFY(w);
    const QPoint pos = widget->mapTo(widget->window(), widget->rect().center());
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, pos);
}

} // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // The parser
    void parsesTopicsTitlesAndBodies();
    void commentsAndStrayLinesBeforeTheFirstTopic();
    void crlfAndByteOrderMark();
    void repeatedTopicNumberKeepsTheFirst();
    void garbage_data();
    void garbage();
    void randomBytesNeverCrash();
    void loadReadsTheFile();
    void loadFailuresThrowErrnoErrors();

    // The shipped help file
    void shippedFileIsWellFormed();
    void shippedFileHasEveryRequiredTopic();
    void shippedContentsLinksEveryTopic();
    void shippedLinksAllResolve();

    // The viewer
    void showTopicOpensTheWindowAtTheTopic();
    void linkClickNavigatesAndHistoryWorks();
    void contentsButtonShowsTopicZero();
    void unknownTopicShowsContentsWithANotice();
    void brokenLinkShowsTheNotice();
    void missingFileShowsAMessage();
    void unreadableFileShowsAMessage();
    void showContentsWithoutTopicZeroListsAllTopics();
    void emptyFileShowsAnEmptyContentsPage();
    void windowIsReusedAndReshownAfterClosing();
    void fileIsReadAgainOnEveryRequest();
    void shippedTopicInTheViewer();
    void inputBoxHelpButtonOpensAUsableHelpWindow();
    void helpOpenedBeforeAModalBoxStaysUsableFromIt();

private:
    QString writeSample(const QByteArray& data = SampleFile);
    std::unique_ptr<TestEnv> env_;
    int fileNo_ = 0;
};

void HelpTest::init() {
    env_ = std::make_unique<TestEnv>();
}

void HelpTest::cleanup() {
    env_.reset();
    // No modal box of a failed test may linger into the next one.
    while (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
}

QString HelpTest::writeSample(const QByteArray& data) {
    const QString path = env_->root() + QStringLiteral("/help%1.hlp").arg(++fileNo_);
    writeFile(path, data);
    return path;
}

// --- The parser --------------------------------------------------------------------------------

void HelpTest::parsesTopicsTitlesAndBodies() {
    const HelpFile f = HelpFile::parse(SampleFile);
    QCOMPARE(f.topics().size(), std::size_t(3));
    QVERIFY(f.contains(0));
    QVERIFY(f.contains(5));
    QVERIFY(f.contains(14));
    QVERIFY(!f.contains(99));
    QVERIFY(!f.contains(1));
    QCOMPARE(f.topic(1), nullptr);
    QCOMPARE(f.topic(0)->title, QStringLiteral("Contents"));
    QCOMPARE(f.topic(5)->title, QStringLiteral("The Filetype Select window"));
    QCOMPARE(f.topic(14)->title, QStringLiteral("The main window"));
    // The body is every line up to the next topic; "#" is no comment there; blank lines at the
    // end are dropped.
    QCOMPARE(f.topic(5)->html,
             QStringLiteral("<p>Choose picture files.</p>\n# not a comment inside a topic"));
    QCOMPARE(
        f.topic(14)->html,
        QStringLiteral("<p>Main window text.</p>\n<p>Back to <a href=\"topic:0\">contents</a>, "
                       "on to <a href=\"topic:5\">five</a>, or <a href=\"topic:77\">nowhere</a>."
                       "</p>"));
    QCOMPARE(f.topic(5), &f.topics().at(5));
}

void HelpTest::commentsAndStrayLinesBeforeTheFirstTopic() {
    const HelpFile f = HelpFile::parse("# comment\nstray text\n<p>stray html</p>\n"
                                       "@topic 3 Three\nbody\n");
    QCOMPARE(f.topics().size(), std::size_t(1));
    QCOMPARE(f.topic(3)->html, QStringLiteral("body"));
    // A "@topic" line inside a comment starts nothing.
    QVERIFY(HelpFile::parse("# @topic 4 Four\n#more\n").topics().empty());
}

void HelpTest::crlfAndByteOrderMark() {
    const HelpFile f =
        HelpFile::parse("\xEF\xBB\xBF@topic 1 K\xC3\xA4ys\r\nline one\r\nline two\r\n");
    QVERIFY(f.contains(1));
    QCOMPARE(f.topic(1)->title, QStringLiteral("K\u00e4ys"));
    QCOMPARE(f.topic(1)->html, QStringLiteral("line one\nline two"));
}

void HelpTest::repeatedTopicNumberKeepsTheFirst() {
    const HelpFile f = HelpFile::parse("@topic 2 First\nfirst body\n@topic 2 Second\nsecond body\n"
                                       "@topic 3 Three\nthree\n");
    QCOMPARE(f.topics().size(), std::size_t(2));
    QCOMPARE(f.topic(2)->title, QStringLiteral("First"));
    QCOMPARE(f.topic(2)->html, QStringLiteral("first body"));
    QCOMPARE(f.topic(3)->html, QStringLiteral("three"));
}

void HelpTest::garbage_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<int>>("topics");
    QTest::newRow("empty") << QByteArray() << QList<int>{};
    QTest::newRow("only newlines") << QByteArray("\n\n\r\n") << QList<int>{};
    QTest::newRow("bare tag") << QByteArray("@topic\nbody\n@topic 2 Two\nx") << QList<int>{2};
    QTest::newRow("no number") << QByteArray("@topic abc Title\nbody\n") << QList<int>{};
    QTest::newRow("negative") << QByteArray("@topic -1 Minus\nbody\n") << QList<int>{};
    QTest::newRow("overflow") << QByteArray("@topic 99999999999999999999 Big\nbody\n")
                              << QList<int>{};
    QTest::newRow("number glued to text") << QByteArray("@topic 5x Title\nbody\n") << QList<int>{};
    QTest::newRow("tag glued to number") << QByteArray("@topic5 Title\nbody\n") << QList<int>{};
    QTest::newRow("indented tag") << QByteArray("  @topic 5 Title\nbody\n") << QList<int>{};
    QTest::newRow("malformed header drops its lines")
        << QByteArray("@topic 1 One\none\n@topic x\nlost\n@topic 2 Two\ntwo\n") << QList<int>{1, 2};
    QTest::newRow("number without title") << QByteArray("@topic 8\nbody") << QList<int>{8};
    QTest::newRow("tab separated") << QByteArray("@topic\t9\tNine\nbody") << QList<int>{9};
    QTest::newRow("largest int") << QByteArray("@topic 2147483647 Max\nbody")
                                 << QList<int>{2147483647};
    QTest::newRow("invalid utf-8")
        << QByteArray("@topic 4 \xFF\xFE\xC3\nbad \x80 bytes\n") << QList<int>{4};
    QTest::newRow("nul bytes") << QByteArray("@topic 6 N\0ul\nb\0dy\n", 20) << QList<int>{6};
    QTest::newRow("no final newline") << QByteArray("@topic 7 Seven\nlast") << QList<int>{7};
}

void HelpTest::garbage() {
    QFETCH(QByteArray, data);
    QFETCH(QList<int>, topics);
    const HelpFile f = HelpFile::parse(data);
    QList<int> got;
    for (const auto& [n, t] : f.topics())
        got << n;
    QCOMPARE(got, topics);
}

void HelpTest::randomBytesNeverCrash() {
    const QList<QByteArray> pieces = {"@topic ",
                                      "@topic",
                                      "0",
                                      "7",
                                      "-",
                                      " ",
                                      "\n",
                                      "\r",
                                      "#",
                                      "Title",
                                      "<a href=\"topic:3\">",
                                      "\xFF",
                                      "\xC3",
                                      "\0",
                                      "99999999999"};
    QRandomGenerator rng(4711);
    for (int round = 0; round < 2000; ++round) {
        QByteArray data;
        const int n = rng.bounded(40);
        for (int i = 0; i < n; ++i) {
            if (rng.bounded(4) == 0)
                data.append(char(rng.bounded(256)));
            else
                data.append(pieces.at(rng.bounded(pieces.size())));
        }
        const HelpFile f = HelpFile::parse(data);
        for (const auto& [number, topic] : f.topics()) {
            QVERIFY(number >= 0);
            QVERIFY(!topic.html.contains(QLatin1String("\n@topic")));
        }
    }
}

void HelpTest::loadReadsTheFile() {
    const HelpFile f = HelpFile::load(writeSample());
    QCOMPARE(f.topics().size(), std::size_t(3));
    QCOMPARE(f.topic(14)->title, QStringLiteral("The main window"));
}

void HelpTest::loadFailuresThrowErrnoErrors() {
    auto errorOf = [](const QString& path) -> std::optional<Error> {
        try {
            HelpFile::load(path);
        } catch (const Error& e) {
            return e;
        }
        return std::nullopt;
    };
    std::optional<Error> e = errorOf(env_->root() + QStringLiteral("/no/such/lmhelp.hlp"));
    QVERIFY(e);
    QCOMPARE(e->number, ENOENT);
    QCOMPARE(e->description, Error::fromErrno(ENOENT).description);
    QVERIFY(!e->description.isEmpty());

    e = errorOf(QString());
    QVERIFY(e);
    QCOMPARE(e->number, ENOENT);

    e = errorOf(env_->makeDir(QStringLiteral("adir")));
    QVERIFY(e);
    QCOMPARE(e->number, EISDIR);

    if (::geteuid() == 0)
        QSKIP("root reads every file; the permission case cannot be shown");
    const QString locked = writeSample();
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
    e = errorOf(locked);
    QVERIFY(e);
    QCOMPARE(e->number, EACCES);
}

// --- The shipped help file ----------------------------------------------------------------------

void HelpTest::shippedFileIsWellFormed() {
    QVERIFY2(!binDir().isEmpty(), "LUMORRA_BIN_DIR is not set (run the test through ctest)");
    QFile file(shippedFile());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(shippedFile()));
    const QByteArray data = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(data);
    QVERIFY2(!utf8.hasError(), "the help file is not valid UTF-8");
    // Every "@topic" line must make a topic: a malformed or repeated header loses text.
    int headers = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("@topic")))
            ++headers;
    const HelpFile f = HelpFile::parse(data);
    QCOMPARE(std::size_t(headers), f.topics().size());
}

void HelpTest::shippedFileHasEveryRequiredTopic() {
    const HelpFile f = HelpFile::load(shippedFile());
    for (int n : RequiredTopics) {
        const HelpTopic* t = f.topic(n);
        QVERIFY2(t, qPrintable(QStringLiteral("topic %1 is missing").arg(n)));
        QVERIFY2(!t->title.trimmed().isEmpty(),
                 qPrintable(QStringLiteral("topic %1 has no title").arg(n)));
        // A real topic: a few sentences, not a placeholder.
        const QString text = plainText(t->html);
        QVERIFY2(text.size() >= 150,
                 qPrintable(QStringLiteral("topic %1 is too short: %2").arg(n).arg(text)));
    }
    for (const auto& [n, t] : f.topics()) {
        QVERIFY2(!t.title.trimmed().isEmpty(),
                 qPrintable(QStringLiteral("topic %1 has no title").arg(n)));
        QVERIFY2(!plainText(t.html).isEmpty(),
                 qPrintable(QStringLiteral("topic %1 is empty").arg(n)));
    }
    // Words that must be in the topics, so that each one is about what the program opens it for.
    const std::vector<std::pair<int, QStringList>> about = {
        {5, {"SetPic", "SetAni", "Defaults", "OK", "*.jpg;*.bmp;*.gif"}},
        {7, {"OK", "Cancel", "Change", "Special...", "About..."}},
        {14,
         {"1:4", "1:2", "1:1", "2:1", ".25", ".50", "1.0", "2.0", "File Copy", "File Move", "Copy",
          "Paste", "2 to 60 seconds", "+", "5 %", "Delete"}},
        {10, {"BMP"}},
        {27, {"Required at startup", "Capital letters"}},
        {30, {"nosplash"}},
        {32, {"lmtray", "Exit"}},
        {33, {"3.0"}},
        {34, {".txt", ".rtf"}},
        {36, {"New", "Open", "Save", "Save As", "Copy", "Paste", "Find", "Insert Picture"}},
        {1, {"F1", "Delete", "Ctrl+F"}},
        {11, {"Read-only", "Hidden", "Archive", "System", "Rename...", "Delete", "OK"}},
        {12, {"Current copy DIR", "Default copy DIR", "Startup DIR", "Create Sub DIR", "Close"}},
        {13, {"Create Info List", "picture's size"}},
        {15, {"File Copy", "File Move", "overwrite", "Delete"}},
        {16, {"Run", "Stop", "2 to 60"}},
        {17, {"Copy", "Paste", "clipboard"}},
        {18, {"Vivo", "Info"}},
        {21, {"click", "5 %"}},
        {22, {"Load in separate window", "Copy"}},
    };
    for (const auto& [n, words] : about) {
        const QString text = plainText(f.topic(n)->html);
        for (const QString& w : words)
            QVERIFY2(text.contains(w),
                     qPrintable(QStringLiteral("topic %1 does not mention \"%2\"").arg(n).arg(w)));
    }
}

void HelpTest::shippedContentsLinksEveryTopic() {
    const HelpFile f = HelpFile::load(shippedFile());
    QVERIFY(f.contains(0));
    const QString contents = f.topic(0)->html;
    for (const auto& [n, t] : f.topics()) {
        if (n == 0)
            continue;
        const QRegularExpression link(QStringLiteral("href\\s*=\\s*\"topic:%1\"").arg(n));
        QVERIFY2(contents.contains(link),
                 qPrintable(QStringLiteral("the contents page does not link topic %1").arg(n)));
    }
}

void HelpTest::shippedLinksAllResolve() {
    const HelpFile f = HelpFile::load(shippedFile());
    const QRegularExpression href(QStringLiteral("href\\s*=\\s*\"([^\"]*)\""),
                                  QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression topicLink(QStringLiteral("^topic:(\\d+)$"));
    int links = 0;
    for (const auto& [n, t] : f.topics()) {
        for (auto it = href.globalMatch(t.html); it.hasNext();) {
            const QString target = it.next().captured(1);
            const auto m = topicLink.match(target);
            QVERIFY2(
                m.hasMatch(),
                qPrintable(
                    QStringLiteral("topic %1: link \"%2\" is no topic link").arg(n).arg(target)));
            QVERIFY2(f.contains(m.captured(1).toInt()),
                     qPrintable(QStringLiteral("topic %1 links to missing %2").arg(n).arg(target)));
            ++links;
        }
        // Unquoted or single-quoted links would escape the checks above.
        QVERIFY2(!t.html.contains(QRegularExpression(QStringLiteral("href\\s*=\\s*[^\"\\s]"))),
                 qPrintable(QStringLiteral("topic %1 has a link without double quotes").arg(n)));
    }
    QVERIFY(links > 20);
}

// --- The viewer ---------------------------------------------------------------------------------

void HelpTest::showTopicOpensTheWindowAtTheTopic() {
    HelpViewer viewer;
    QCOMPARE(viewer.window(), nullptr); // made on first use only
    viewer.showTopic(writeSample(), 5);
    QWidget* w = viewer.window();
    QVERIFY(w);
    QVERIFY(w->isWindow());
    QCOMPARE(w->objectName(), QStringLiteral("HelpWindow"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Lumorra Help"));
    QVERIFY(w->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(buttonOf(viewer, "ContentsButton"));
    const QString text = shownText(viewer);
    QVERIFY2(text.startsWith(QLatin1String("The Filetype Select window")), qPrintable(text));
    QVERIFY(text.contains(QLatin1String("Choose picture files.")));
    QVERIFY(!text.contains(QLatin1String("Main window text.")));
    QVERIFY(!text.contains(QLatin1String("not found")));
    // The title is a heading, not body text.
    QVERIFY(browserOf(viewer)->toHtml().contains(QLatin1String("<h2")));
}

void HelpTest::linkClickNavigatesAndHistoryWorks() {
    HelpViewer viewer;
    viewer.showTopic(writeSample(), 14);
    QVERIFY(QTest::qWaitForWindowExposed(viewer.window()));
    QTextBrowser* b = browserOf(viewer);
    QPushButton* back = buttonOf(viewer, "BackButton");
    QPushButton* forward = buttonOf(viewer, "ForwardButton");
    QVERIFY(back && forward);
    QVERIFY(!back->isEnabled());
    QVERIFY(!forward->isEnabled());

    const QPoint p = linkPoint(b, QStringLiteral("topic:5"));
    QVERIFY(p.x() >= 0);
    QTest::mouseClick(b->viewport(), Qt::LeftButton, Qt::NoModifier, p);
    QVERIFY2(shownText(viewer).startsWith(QLatin1String("The Filetype Select window")),
             qPrintable(shownText(viewer)));
    QVERIFY(back->isEnabled());
    QVERIFY(!forward->isEnabled());

    QTest::mouseClick(back, Qt::LeftButton);
    QVERIFY(shownText(viewer).startsWith(QLatin1String("The main window")));
    QVERIFY(!back->isEnabled());
    QVERIFY(forward->isEnabled());
    QTest::mouseClick(forward, Qt::LeftButton);
    QVERIFY(shownText(viewer).startsWith(QLatin1String("The Filetype Select window")));
    // The window stays the viewer's one window.
    QCOMPARE(b, browserOf(viewer));
}

void HelpTest::contentsButtonShowsTopicZero() {
    HelpViewer viewer;
    viewer.showTopic(writeSample(), 14);
    QTest::mouseClick(buttonOf(viewer, "ContentsButton"), Qt::LeftButton);
    const QString text = shownText(viewer);
    QVERIFY2(text.startsWith(QLatin1String("Contents See Five and Main.")), qPrintable(text));
    QVERIFY(buttonOf(viewer, "BackButton")->isEnabled());

    viewer.showContents(writeSample());
    QVERIFY(shownText(viewer).startsWith(QLatin1String("Contents See Five and Main.")));
    viewer.showTopic(writeSample(), 0);
    QVERIFY(shownText(viewer).startsWith(QLatin1String("Contents See Five and Main.")));
}

void HelpTest::unknownTopicShowsContentsWithANotice() {
    HelpViewer viewer;
    viewer.showTopic(writeSample(), 42);
    QVERIFY(viewer.window()->isVisible());
    const QString text = shownText(viewer);
    QVERIFY2(text.startsWith(QLatin1String("The help topic 42 was not found in the help file.")),
             qPrintable(text));
    QVERIFY(text.contains(QLatin1String("See Five and Main.")));
    // The contents page's links work from there.
    QTextBrowser* b = browserOf(viewer);
    QTest::mouseClick(b->viewport(), Qt::LeftButton, Qt::NoModifier,
                      linkPoint(b, QStringLiteral("topic:14")));
    QVERIFY(shownText(viewer).startsWith(QLatin1String("The main window")));
}

void HelpTest::brokenLinkShowsTheNotice() {
    HelpViewer viewer;
    viewer.showTopic(writeSample(), 14);
    QTextBrowser* b = browserOf(viewer);
    QTest::mouseClick(b->viewport(), Qt::LeftButton, Qt::NoModifier,
                      linkPoint(b, QStringLiteral("topic:77")));
    QVERIFY2(shownText(viewer).startsWith(
                 QLatin1String("The help topic 77 was not found in the help file.")),
             qPrintable(shownText(viewer)));
    // Links that are not numbers do not crash either.
    emit b->anchorClicked(QUrl(QStringLiteral("topic:abc")));
    QVERIFY(shownText(viewer).contains(QLatin1String("was not found in the help file.")));
    emit b->anchorClicked(QUrl(QStringLiteral("ftp://example.invalid/x")));
    QVERIFY(shownText(viewer).contains(QLatin1String("was not found in the help file.")));
}

void HelpTest::missingFileShowsAMessage() {
    HelpViewer viewer;
    const QString path = env_->root() + QStringLiteral("/missing/lmhelp.hlp");
    viewer.showTopic(path, 14);
    QVERIFY(viewer.window());
    QVERIFY(viewer.window()->isVisible());
    const QString expected = QStringLiteral("The help file %1 could not be opened: %2")
                                 .arg(path, Error::fromErrno(ENOENT).description);
    QVERIFY2(shownText(viewer).contains(expected), qPrintable(shownText(viewer)));
    viewer.showContents(path);
    QVERIFY(shownText(viewer).contains(expected));
    // The Contents button on a missing file shows the message again.
    QTest::mouseClick(buttonOf(viewer, "ContentsButton"), Qt::LeftButton);
    QVERIFY(shownText(viewer).contains(expected));
}

void HelpTest::unreadableFileShowsAMessage() {
    HelpViewer viewer;
    const QString dir = env_->makeDir(QStringLiteral("lmhelp.hlp"));
    viewer.showTopic(dir, 5);
    QVERIFY(viewer.window()->isVisible());
    const QString expected = QStringLiteral("The help file %1 could not be opened: %2")
                                 .arg(dir, Error::fromErrno(EISDIR).description);
    QVERIFY2(shownText(viewer).contains(expected), qPrintable(shownText(viewer)));
}

void HelpTest::showContentsWithoutTopicZeroListsAllTopics() {
    HelpViewer viewer;
    const QString path =
        writeSample("@topic 3 Three & more\nthree\n@topic 9\nnine\n@topic 12 Twelve\nx\n");
    viewer.showContents(path);
    const QString text = shownText(viewer);
    QVERIFY2(text.startsWith(QLatin1String("Contents")), qPrintable(text));
    QVERIFY(text.contains(QLatin1String("Three & more")));
    QVERIFY(text.contains(QLatin1String("Topic 9")));
    QVERIFY(text.contains(QLatin1String("Twelve")));
    QTextBrowser* b = browserOf(viewer);
    for (int n : {3, 9, 12})
        QVERIFY(linkPoint(b, QStringLiteral("topic:%1").arg(n)).x() >= 0);
    QTest::mouseClick(b->viewport(), Qt::LeftButton, Qt::NoModifier,
                      linkPoint(b, QStringLiteral("topic:12")));
    QVERIFY(shownText(viewer).startsWith(QLatin1String("Twelve x")));

    // An unknown topic falls back to the same list.
    viewer.showTopic(path, 5);
    QVERIFY(shownText(viewer).startsWith(
        QLatin1String("The help topic 5 was not found in the help file. Contents")));
}

void HelpTest::emptyFileShowsAnEmptyContentsPage() {
    HelpViewer viewer;
    viewer.showTopic(writeSample(QByteArray()), 14);
    QVERIFY(viewer.window()->isVisible());
    QVERIFY(shownText(viewer).contains(QLatin1String("The help topic 14 was not found")));
    QVERIFY(shownText(viewer).contains(QLatin1String("no help topics")));
}

void HelpTest::windowIsReusedAndReshownAfterClosing() {
    HelpViewer viewer;
    const QString path = writeSample();
    viewer.showTopic(path, 5);
    QPointer<QWidget> first = viewer.window();
    viewer.showTopic(path, 14);
    viewer.showContents(path);
    viewer.showTopic(path + QStringLiteral(".missing"), 1);
    QCOMPARE(viewer.window(), first.data());
    int helpWindows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("HelpWindow"))
            ++helpWindows;
    QCOMPARE(helpWindows, 1);

    first->close();
    QVERIFY(!first->isVisible());
    viewer.showTopic(path, 14);
    QCOMPARE(viewer.window(), first.data());
    QVERIFY(first->isVisible());
    QVERIFY(shownText(viewer).startsWith(QLatin1String("The main window")));

    first->showMinimized();
    viewer.showTopic(path, 5);
    QVERIFY(!first->isMinimized());
}

void HelpTest::fileIsReadAgainOnEveryRequest() {
    HelpViewer viewer;
    const QString path = writeSample("@topic 5 Old\nold text\n");
    viewer.showTopic(path, 5);
    QVERIFY(shownText(viewer).contains(QLatin1String("old text")));
    writeFile(path, "@topic 5 New\nnew text\n");
    viewer.showTopic(path, 5);
    QVERIFY2(shownText(viewer).startsWith(QLatin1String("New new text")),
             qPrintable(shownText(viewer)));
}

void HelpTest::shippedTopicInTheViewer() {
    HelpViewer viewer;
    const HelpFile f = HelpFile::load(shippedFile());
    viewer.showTopic(shippedFile(), 14);
    QVERIFY(shownText(viewer).startsWith(f.topic(14)->title));
    QVERIFY(shownText(viewer).contains(QLatin1String("1:4")));
    QTest::mouseClick(buttonOf(viewer, "ContentsButton"), Qt::LeftButton);
    QVERIFY(shownText(viewer).startsWith(f.topic(0)->title));
    // Every topic of the contents page opens from its link.
    QTextBrowser* b = browserOf(viewer);
    for (const auto& [n, t] : f.topics()) {
        if (n == 0)
            continue;
        QTest::mouseClick(buttonOf(viewer, "ContentsButton"), Qt::LeftButton);
        const QPoint p = linkPoint(b, QStringLiteral("topic:%1").arg(n));
        QVERIFY(p.x() >= 0);
        QTest::mouseClick(b->viewport(), Qt::LeftButton, Qt::NoModifier, p);
        QVERIFY2(shownText(viewer).startsWith(t.title),
                 qPrintable(QStringLiteral("topic %1: %2").arg(n).arg(shownText(viewer).left(80))));
    }
}

// The user name prompt at start-up is a modal input box whose Help button opens topic 27. The
// help window must come up and take clicks while the box is still open.
void HelpTest::inputBoxHelpButtonOpensAUsableHelpWindow() {
    HelpViewer viewer;
    QtDialogs dialogs(viewer);
    const QString path = writeSample("@topic 0 Contents\n<p>All topics.</p>\n"
                                     "@topic 27 User name\n<p>Enter a user name.</p>\n");
    InputBoxSpec spec;
    spec.title = QStringLiteral("Lumorra - User name entry");
    spec.prompt = QStringLiteral("Enter a User name.");
    spec.helpFile = path;
    spec.helpTopic = 27;

    bool sawBox = false, helpShown = false, helpUsable = false;
    QString topicText;
    QTimer::singleShot(0, this, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (box && box->objectName() == QLatin1String("InputBox")) {
            sawBox = true;
            auto* buttons = box->findChild<QDialogButtonBox*>();
            QPushButton* help = buttons ? buttons->button(QDialogButtonBox::Help) : nullptr;
            if (help) {
                help->click();
                helpShown = viewer.window() && viewer.window()->isVisible() &&
                            QTest::qWaitForWindowExposed(viewer.window());
                topicText = shownText(viewer);
                if (helpShown) {
                    windowClick(buttonOf(viewer, "ContentsButton"));
                    helpUsable =
                        shownText(viewer).startsWith(QLatin1String("Contents All topics."));
                }
            }
            static_cast<QDialog*>(box)->reject();
        }
    });
    // Whatever happens above, the box does not stay up.
    QTimer::singleShot(10000, this, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    const std::optional<QString> answer = dialogs.input(spec);
    QVERIFY(sawBox);
    QVERIFY(!answer);
    QVERIFY(helpShown);
    QVERIFY2(topicText.startsWith(QLatin1String("User name Enter a user name.")),
             qPrintable(topicText));
    QVERIFY2(helpUsable, "the help window is blocked by the input box");

    // After the box is gone the window is an ordinary one again.
    viewer.showTopic(path, 27);
    windowClick(buttonOf(viewer, "ContentsButton"));
    QVERIFY(shownText(viewer).startsWith(QLatin1String("Contents All topics.")));
}

void HelpTest::helpOpenedBeforeAModalBoxStaysUsableFromIt() {
    HelpViewer viewer;
    const QString path = writeSample();
    viewer.showTopic(path, 5);
    QVERIFY(QTest::qWaitForWindowExposed(viewer.window()));

    QDialog box;
    box.setWindowTitle(QStringLiteral("Filetype Select"));
    auto* help = new QPushButton(QStringLiteral("Help"), &box);
    connect(help, &QPushButton::clicked, &box, [&] { viewer.showTopic(path, 14); });
    bool usable = false;
    QString shown;
    QTimer::singleShot(0, this, [&] {
        help->click();
        if (QTest::qWaitForWindowExposed(viewer.window())) {
            shown = shownText(viewer);
            windowClick(buttonOf(viewer, "ContentsButton"));
            usable = shownText(viewer).startsWith(QLatin1String("Contents See Five"));
        }
        box.reject();
    });
    QTimer::singleShot(10000, &box, &QDialog::reject);
    box.exec();
    QVERIFY(shown.startsWith(QLatin1String("The main window")));
    QVERIFY2(usable, "the help window is blocked by the modal box");
}

QTEST_MAIN(HelpTest)
#include "help_tests.moc"
