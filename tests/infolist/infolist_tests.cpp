#include "browser/MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "editor/EditorInfoListTarget.h"
#include "editor/EditorWindow.h"
#include "infolist/InfoListEditor.h"
#include "infolist/InfoListGenerator.h"
#include "infolist/InfoListProgressWindow.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <functional>
#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

// The editor as the info list sees it: a window holding a text, a document state and panels.
class FakeEditor : public QWidget, public InfoListEditor {
public:
    QWidget* window() override { return this; }
    QString text() const override { return text_; }
    void setText(const QString& text) { text_ = text; }
    void appendText(const QString& text) override { text_ += text; }
    void setDocumentState(const QString& p, const QString& c, const QString& t) override {
        path = p;
        changed = c;
        type = t;
    }
    void setPanelText(int panel, const QString& text) override { panels[panel - 1] = text; }

    QString text_;
    QString path = QStringLiteral("/home/me/notes.txt");
    QString changed;
    QString type = QStringLiteral("txt");
    QString panels[4];
    // Runs when the list reads the document, after the directory was listed.
};

const QString CaptionStart =
    QStringLiteral("Please wait, Retrieving information (This will take approx. ");

// A main window in picture mode with the info list on a private picture directory.
struct Lister : WindowTest {
    std::unique_ptr<InfoListGenerator> generator;
    QPointer<FakeEditor> editor;
    int editorsMade = 0;
    // The states the separate windows were given, in order.
    std::vector<Qt::WindowState> states;
    // What the progress window showed when the list was done.
    QString caption;
    int barValue = -1;
    int barMaximum = -1;

    Lister() : WindowTest(QStringLiteral("Photos")) {
        openWindow();
        window->setPictureMode();
        generator = std::make_unique<InfoListGenerator>(*window, services);
        generator->locale = QLocale(QLocale::English, QLocale::UnitedStates);
        generator->editor = [this]() -> InfoListEditor* {
            if (!editor) {
                editor = new FakeEditor;
                ++editorsMade;
            }
            return editor.data();
        };
        generator->setSeparateWindowsState = [this](Qt::WindowState state) {
            states.push_back(state);
            // The first step of the end, while the progress window is still open.
            if (state == Qt::WindowNoState && generator->progressWindow()) {
                caption = generator->progressWindow()->windowTitle();
                barValue = generator->progressWindow()->Bar1->value();
                barMaximum = generator->progressWindow()->Bar1->maximum();
            }
        };
    }
    ~Lister() { delete editor.data(); }

    QString file(const QString& name, const QByteArray& bytes, const QDateTime& modified) {
        const QString path = WindowTest::file(name, bytes);
        QFile f(path);
        if (!f.open(QIODevice::ReadWrite) ||
            !f.setFileTime(modified, QFileDevice::FileModificationTime))
            qFatal("cannot date %s", qPrintable(path));
        return path;
    }
    // A picture of the size, its file padded to the byte count.
    QString picture(const QString& name, QSize size, const char* format, qint64 bytes,
                    const QDateTime& modified) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(30, 120, 200));
        QByteArray data;
        {
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            // A one-bit BMP, so that small byte counts are possible.
            if (qstrcmp(format, "BMP") == 0)
                image = image.convertToFormat(QImage::Format_Mono);
            image.save(&buffer, format);
        }
        if (data.size() > bytes)
            qFatal("%s needs %lld bytes", qPrintable(name), static_cast<long long>(data.size()));
        data.append(QByteArray(bytes - data.size(), '\0'));
        return file(name, data, modified);
    }
    void list(const QString& pattern, const QString& directory = QString()) {
        window->setFilePattern(pattern);
        window->setDirPath(directory.isEmpty() ? dir : directory);
    }
    void run() { window->mnuinfolist->trigger(); }

    void expectResting() {
        QVERIFY(window->isEnabled());
        QVERIFY(!window->Image1->isHidden());
        QVERIFY(!generator->progressWindow() || generator->progressWindow()->isHidden());
    }
};

QDateTime at(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

const QString NoFiles = QStringLiteral(
    "Unable to create file list. The selected directory does not contain any files.");

} // namespace

class InfoListTest : public QObject {
    Q_OBJECT
private slots:
    void pictureSizesExample();
    void numbersAndDatesFollowTheLocale();
    void withoutSizes_data();
    void withoutSizes();
    void sizesAtTheEdges();
    void driveRootIsNamedWithItsSlash();
    void secondRunAppendsToTheDocument();
    void listRunsOnFromTheEditorsLastText();
    void emptyDirectoryWritesNothing_data();
    void emptyDirectoryWritesNothing();
    void estimateOverflowsAbove10922Files();
    void nonPictureKeepsTheEarlierLines();
    void vanishedFileEndsTheRun();
};

void InfoListTest::pictureSizesExample() {
    Lister l;
    l.settings.write(keys::OnTop, QStringLiteral("1"));
    l.picture(QStringLiteral("beach.jpg"), QSize(640, 480), "JPG", 48213,
              at(1999, 12, 24, 22, 15, 0));
    l.picture(QStringLiteral("logo.bmp"), QSize(32, 32), "BMP", 1078, at(1999, 11, 2, 9, 3, 12));
    l.file(QStringLiteral("readme.txt"), "not listed", at(2000, 1, 1, 12, 0, 0));
    l.list(QStringLiteral("*.jpg;*.bmp"));
    l.dialogs.answerMessage(Answer::Yes);
    bool disabledWhileAsked = false;
    bool editorMinimizedWhileAsked = false;
    l.dialogs.onShow = [&](const ScriptedDialogs::Event&) {
        disabledWhileAsked = !l.window->isEnabled();
        editorMinimizedWhileAsked = l.editor && l.editor->windowState() == Qt::WindowMinimized;
    };
    l.run();

    QCOMPARE(l.dialogs.messages().size(), size_t(1));
    const MessageBoxSpec q = l.dialogs.messages().front();
    QCOMPARE(q.text, QStringLiteral("Do you wish to include picture size's in the information\n\n"
                                    "This will take approx. 6 sec.\n"
                                    " Else it will take approx. 0.072 sec."));
    QCOMPARE(q.title, QStringLiteral("Include picture size?"));
    QCOMPARE(q.buttons, Buttons::YesNo);
    QCOMPARE(q.icon, Icon::Question);
    QCOMPARE(q.defaultButton, std::optional<Answer>(Answer::No));
    QVERIFY(disabledWhileAsked);
    QVERIFY(editorMinimizedWhileAsked);

    QCOMPARE(l.editor->text(),
             "Info for " + l.dir +
                 "  (*.jpg;*.bmp)\n"
                 "\n"
                 "beach.jpg    48,213 bytes    640 x 480 Pixels    (12/24/1999 10:15:00 PM)\n"
                 "logo.bmp    1,078 bytes    32 x 32 Pixels    (11/2/1999 9:03:12 AM)\n"
                 "\n"
                 "Total 2 File(s) (49,291 Bytes)\n"
                 "\n"
                 "\n");
    QCOMPARE(l.caption, CaptionStart + QStringLiteral("6 sec.)"));
    QCOMPARE(l.barValue, 2);
    QCOMPARE(l.barMaximum, 2);
    QCOMPARE(l.window->infofile->text(), l.dir + QStringLiteral("/logo.bmp"));
    QCOMPARE(l.window->File2->path(), l.dir);
    QCOMPARE(l.window->File2->listIndex(), 1);

    // The editor shows an untitled, changed rich-text document near the lower right corner.
    QCOMPARE(l.editor->path, QString());
    QCOMPARE(l.editor->changed, QStringLiteral("1"));
    QCOMPARE(l.editor->type, QStringLiteral("rtf"));
    QCOMPARE(l.editor->panels[0], QStringLiteral("  New"));
    QCOMPARE(l.editor->panels[1], QStringLiteral("  Ready"));
    QCOMPARE(l.editor->panels[2], QStringLiteral("  Changed"));
    QCOMPARE(l.editor->panels[3], QStringLiteral("  RTF"));
    QVERIFY(l.editor->isVisible());
    QCOMPARE(l.editor->windowState(), Qt::WindowNoState);
    QVERIFY(keepsOnTop(l.editor));
    const QRect frame = l.editor->frameGeometry();
    // 1280 x 1024 pixels of 15 twips: 700 twips above the bottom, 100 left of the right edge.
    QCOMPARE(frame.top(), qRound((1024 * 15 - frame.height() * 15 - 700) / 15.0));
    QCOMPARE(frame.left(), qRound((1280 * 15 - frame.width() * 15 - 100) / 15.0));
    QCOMPARE(l.states, (std::vector<Qt::WindowState>{Qt::WindowMinimized, Qt::WindowNoState}));
    l.expectResting();
    QCOMPARE(l.dialogs.beeps(), 0);
    QVERIFY(l.programLogLines().isEmpty());
}

void InfoListTest::numbersAndDatesFollowTheLocale() {
    Lister l;
    l.generator->locale = QLocale(QLocale::German, QLocale::Germany);
    l.picture(QStringLiteral("strand.jpg"), QSize(640, 480), "JPG", 1234567,
              at(1999, 12, 24, 22, 15, 0));
    l.list(QStringLiteral("*.jpg"));
    l.dialogs.answerMessage(Answer::Yes);
    l.run();
    QVERIFY(l.dialogs.messages().front().text.endsWith(QStringLiteral("approx. 0,036 sec.")));
    QCOMPARE(l.editor->text().split(QLatin1Char('\n')).mid(2, 4),
             QStringList({"strand.jpg    1.234.567 bytes    640 x 480 Pixels    "
                          "(24.12.1999 22:15:00)",
                          "", "Total 1 File(s) (1.234.567 Bytes)", ""}));
}

void InfoListTest::withoutSizes_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("asked");
    // Animation mode and a hand-typed pattern ask nothing; No is the default answer.
    QTest::newRow("animation mode") << "avi" << false;
    QTest::newRow("hand-typed pattern") << "typed" << false;
    QTest::newRow("answer No") << "pic" << true;
}

void InfoListTest::withoutSizes() {
    QFETCH(QString, mode);
    QFETCH(bool, asked);
    Lister l;
    // Not pictures at all: nothing is decoded in this variant.
    l.file(QStringLiteral("clip1.avi"), QByteArray(2048, 'x'), at(2002, 6, 30, 14, 5, 9));
    l.file(QStringLiteral("clip2.avi"), QByteArray(10, 'x'), at(2002, 7, 1, 8, 0, 0));
    if (mode == QLatin1String("avi"))
        l.window->setAnimationMode();
    l.list(QStringLiteral("*.avi"));
    if (mode == QLatin1String("typed"))
        l.window->StatusBar1->setText(1, QStringLiteral("*.avi"));
    l.run();
    QCOMPARE(l.dialogs.messages().size(), size_t(asked ? 1 : 0));
    QCOMPARE(l.editor->text(), "Info for " + l.dir +
                                   "  (*.avi)\n\n"
                                   "clip1.avi    2,048 bytes    (6/30/2002 2:05:09 PM)\n"
                                   "clip2.avi    10 bytes    (7/1/2002 8:00:00 AM)\n"
                                   "\nTotal 2 File(s) (2,058 Bytes)\n\n\n");
    QCOMPARE(l.caption, CaptionStart + QStringLiteral("0.072 sec.)"));
    QVERIFY(l.editor->isVisible());
    l.expectResting();
}

void InfoListTest::sizesAtTheEdges() {
    Lister l;
    l.file(QStringLiteral("empty.dat"), QByteArray(), at(2001, 3, 4, 0, 0, 0));
    // Larger than 32 bits can count (a sparse file, no disk space taken).
    const QString big = l.file(QStringLiteral("huge.dat"), QByteArray(), at(2001, 3, 4, 0, 0, 1));
    QVERIFY(QFile::resize(big, 3000000000LL));
    QFile f(big);
    QVERIFY(f.open(QIODevice::ReadWrite) &&
            f.setFileTime(at(2001, 3, 4, 0, 0, 1), QFileDevice::FileModificationTime));
    l.list(QStringLiteral("*.dat"));
    l.run();
    QCOMPARE(l.editor->text().split(QLatin1Char('\n')).mid(2),
             QStringList({"empty.dat     bytes    (3/4/2001)",
                          "huge.dat    3,000,000,000 bytes    (3/4/2001 12:00:01 AM)", "",
                          "Total 2 File(s) (3,000,000,000 Bytes)", "", "", ""}));

    // Nothing but empty files: nothing between the bracket and " Bytes".
    QVERIFY(QFile::remove(big));
    l.window->File1->refresh();
    l.editor->setText(QString());
    l.run();
    QCOMPARE(l.editor->text().split(QLatin1Char('\n')).mid(2),
             QStringList({"empty.dat     bytes    (3/4/2001)", "", "Total 1 File(s) ( Bytes)", "",
                          "", ""}));
}

void InfoListTest::driveRootIsNamedWithItsSlash() {
    Lister l;
    l.list(QStringLiteral("*"), QStringLiteral("/"));
    const int n = l.window->File1->count();
    if (n == 0 || n > 10922)
        QSKIP("the root directory lists no files here");
    l.window->setAnimationMode();
    l.list(QStringLiteral("*"), QStringLiteral("/"));
    l.run();
    const QStringList lines = l.editor->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.at(0), QStringLiteral("Info for /  (*)"));
    QCOMPARE(lines.size(), n + 7);
    const QString last = l.window->File2->item(n - 1);
    QCOMPARE(l.window->infofile->text(), QStringLiteral("/") + last);
    QVERIFY(lines.at(n + 1).startsWith(last + QStringLiteral("    ")));
}

void InfoListTest::secondRunAppendsToTheDocument() {
    Lister l;
    l.generator->editor = [&l]() -> InfoListEditor* {
        if (!l.editor) {
            l.editor = new FakeEditor;
            l.editor->setText(QStringLiteral("My notes\n"));
            ++l.editorsMade;
        }
        return l.editor.data();
    };
    l.file(QStringLiteral("a.txt"), "abc", at(2003, 5, 6, 7, 8, 9));
    l.list(QStringLiteral("*.txt"));
    l.run();
    const QString first = QStringLiteral("Info for ") + l.dir +
                          QStringLiteral("  (*.txt)\n\na.txt    3 bytes    (5/6/2003 7:08:09 AM)\n"
                                         "\nTotal 1 File(s) (3 Bytes)\n\n\n");
    QCOMPARE(l.editor->text(), QStringLiteral("My notes\n") + first);

    // The user saved the list in between; the next list still makes a new, changed document.
    l.editor->setDocumentState(QStringLiteral("/home/me/list.rtf"), QString(),
                               QStringLiteral("rtf"));
    l.file(QStringLiteral("b.txt"), "defg", at(2003, 5, 6, 7, 8, 10));
    l.run();
    const QString second = QStringLiteral("Info for ") + l.dir +
                           QStringLiteral("  (*.txt)\n\na.txt    3 bytes    (5/6/2003 7:08:09 AM)\n"
                                          "b.txt    4 bytes    (5/6/2003 7:08:10 AM)\n"
                                          "\nTotal 2 File(s) (7 Bytes)\n\n\n");
    QCOMPARE(l.editor->text(), QStringLiteral("My notes\n") + first + second);
    QCOMPARE(l.editorsMade, 1);
    QCOMPARE(l.editor->path, QString());
    QCOMPARE(l.editor->changed, QStringLiteral("1"));
    QVERIFY(!keepsOnTop(l.editor)); // "OnTop" is not set
    l.expectResting();
}

void InfoListTest::listRunsOnFromTheEditorsLastText() {
    Lister l;
    EditorInfoListTarget target;
    target.editor = EditorWindow::ensure(l.services, l.window->secondaryWindows(), l.window.get());
    l.generator->editor = [&target]() -> InfoListEditor* { return &target; };
    // The document ends in a list item without a line break.
    QTextCursor notes(target.editor->RichTextBox1->document());
    notes.insertText(QStringLiteral("Notes"));
    notes.createList(QTextListFormat::ListDisc);
    l.file(QStringLiteral("a.txt"), "abc", at(2003, 5, 6, 7, 8, 9));
    l.list(QStringLiteral("*.txt"));
    l.run();
    QCOMPARE(target.text(), QStringLiteral("NotesInfo for ") + l.dir +
                                QStringLiteral("  (*.txt)\n\na.txt    3 bytes    (5/6/2003 "
                                               "7:08:09 AM)\n\nTotal 1 File(s) (3 Bytes)\n\n\n"));
    // The header runs on in the last paragraph; the lines after it are plain paragraphs.
    const QTextDocument* doc = target.editor->RichTextBox1->document();
    QVERIFY(doc->firstBlock().textList());
    QVERIFY(!doc->firstBlock().next().textList());
    QVERIFY(!doc->lastBlock().textList());
}

void InfoListTest::emptyDirectoryWritesNothing_data() {
    QTest::addColumn<bool>("withOtherFiles");
    QTest::newRow("empty directory") << false;
    QTest::newRow("pattern matches nothing") << true;
}

void InfoListTest::emptyDirectoryWritesNothing() {
    QFETCH(bool, withOtherFiles);
    Lister l;
    if (withOtherFiles)
        l.file(QStringLiteral("notes.txt"), "x", at(2003, 5, 6, 7, 8, 9));
    l.list(QStringLiteral("*.jpg"));
    l.run();
    QCOMPARE(l.dialogs.messages().size(), size_t(1));
    const MessageBoxSpec m = l.dialogs.messages().front();
    QCOMPARE(m.text, NoFiles);
    QCOMPARE(m.title, QStringLiteral("File list creation ERROR"));
    QCOMPARE(m.buttons, Buttons::Ok);
    QCOMPARE(m.icon, Icon::Critical);
    QCOMPARE(l.dialogs.beeps(), 1);
    QCOMPARE(l.programLogLines(), QStringList({"\"<d, t> File list creation ERROR\""}));
    QCOMPARE(l.editor->text(), QString());
    QVERIFY(l.editor->isHidden());
    QCOMPARE(l.editor->type, QStringLiteral("txt"));
    // The windows set aside for the run stay minimized.
    QCOMPARE(l.states, std::vector<Qt::WindowState>{Qt::WindowMinimized});
    l.expectResting();
}

void InfoListTest::estimateOverflowsAbove10922Files() {
    Lister l;
    for (int i = 0; i < 10922; ++i)
        writeFile(l.dir + QStringLiteral("/f%1.dat").arg(i), QByteArray());
    l.list(QStringLiteral("*.dat"));
    QCOMPARE(l.window->File1->count(), 10922);
    // The largest list: 10922 x 3 still fits the estimate.
    l.dialogs.answerMessage(Answer::No);
    l.run();
    QCOMPARE(l.dialogs.messages().size(), size_t(1));
    QCOMPARE(l.dialogs.messages().front().text.section(QLatin1Char('\n'), 2),
             QStringLiteral("This will take approx. 32766 sec.\n"
                            " Else it will take approx. 393.192 sec."));
    QVERIFY(l.editor->text().endsWith(QStringLiteral("Total 10922 File(s) ( Bytes)\n\n\n")));
    QCOMPARE(l.caption, CaptionStart + QStringLiteral("393.192 sec.)"));

    // One more file: the estimate overflows before anything is asked or written.
    writeFile(l.dir + QStringLiteral("/f10922.dat"), QByteArray());
    l.window->File1->refresh();
    const QString before = l.editor->text();
    l.dialogs.clear();
    l.run();
    QCOMPARE(l.dialogs.messages().size(), size_t(1));
    const MessageBoxSpec m = l.dialogs.messages().front();
    QCOMPARE(m.text, QStringLiteral("Unable to create file list."));
    QCOMPARE(m.title, QStringLiteral("File list creation ERROR 6 (Overflow)"));
    QCOMPARE(m.icon, Icon::Critical);
    QCOMPARE(l.dialogs.beeps(), 1);
    QCOMPARE(l.programLogLines(),
             QStringList({"\"<d, t> File list creation ERROR 6 (Overflow)\""}));
    QCOMPARE(l.editor->text(), before);
    l.expectResting();
}

void InfoListTest::nonPictureKeepsTheEarlierLines() {
    Lister l;
    l.editor = new FakeEditor;
    l.editor->setText(QStringLiteral("Kept\n"));
    l.picture(QStringLiteral("a.jpg"), QSize(20, 10), "JPG", 5000, at(2004, 2, 3, 4, 5, 6));
    l.file(QStringLiteral("b.jpg"), "this is no picture", at(2004, 2, 3, 4, 5, 7));
    l.picture(QStringLiteral("c.jpg"), QSize(20, 10), "JPG", 5000, at(2004, 2, 3, 4, 5, 8));
    l.list(QStringLiteral("*.jpg"));
    l.dialogs.answerMessage(Answer::Yes);
    l.run();
    QCOMPARE(l.dialogs.messages().size(), size_t(2));
    const MessageBoxSpec m = l.dialogs.messages().back();
    QCOMPARE(m.text, QStringLiteral("Unable to create file list."));
    QCOMPARE(m.title, QStringLiteral("File list creation ERROR 481 (Invalid picture)"));
    QCOMPARE(m.icon, Icon::Critical);
    QCOMPARE(l.programLogLines(),
             QStringList({"\"<d, t> File list creation ERROR 481 (Invalid picture)\""}));
    QCOMPARE(l.editor->text(), QStringLiteral("Kept\nInfo for ") + l.dir +
                                   QStringLiteral("  (*.jpg)\n\n"
                                                  "a.jpg    5,000 bytes    20 x 10 Pixels    "
                                                  "(2/3/2004 4:05:06 AM)\n"));
    QCOMPARE(l.window->infofile->text(), l.dir + QStringLiteral("/b.jpg"));
    // The document is not shown and keeps its state.
    QVERIFY(l.editor->isHidden());
    QCOMPARE(l.editor->path, QStringLiteral("/home/me/notes.txt"));
    QCOMPARE(l.editor->type, QStringLiteral("txt"));
    QCOMPARE(l.editor->panels[0], QString());
    QCOMPARE(l.states, std::vector<Qt::WindowState>{Qt::WindowMinimized});
    l.expectResting();
}

void InfoListTest::vanishedFileEndsTheRun() {
    Lister l;
    l.file(QStringLiteral("a.txt"), "abc", at(2003, 5, 6, 7, 8, 9));
    const QString gone = l.file(QStringLiteral("b.txt"), "abc", at(2003, 5, 6, 7, 8, 9));
    l.list(QStringLiteral("*.txt"));
    // Gone while the question is up: after the list was made, before the run reads the file.
    l.dialogs.onShow = [gone](const ScriptedDialogs::Event&) { QFile::remove(gone); };
    l.run();
    QCOMPARE(l.dialogs.messages().size(), size_t(2)); // the question, the failure
    QCOMPARE(l.dialogs.messages().back().title,
             QStringLiteral("File list creation ERROR 2 (No such file or directory)"));
    QCOMPARE(l.editor->text().count(QLatin1Char('\n')), 3); // the header and a.txt
    l.expectResting();
}

QTEST_MAIN(InfoListTest)
#include "infolist_tests.moc"
