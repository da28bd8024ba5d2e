#include "browser/SecondaryWindows.h"
#include "editor/EditorDocument.h"
#include "editor/EditorWindow.h"
#include "editor/rtf/Rtf.h"
#include "platform/Error.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "support/TestServices.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QTextTable>
#include <QWindow>

#include <cmath>
#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

const QString DocumentFilters =
    QStringLiteral("Text files (*.txt)|*.txt|Richtext files (*.rtf)|*.rtf");

// An editor as the main window opens it, over a stand-in main window.
struct Fixture {
    TestServices t;
    QString dir = t.env.makeDir(QStringLiteral("docs"));
    QWidget main;
    SecondaryWindows registry;
    QPointer<EditorWindow> editor;

    Fixture() {
        editor = EditorWindow::ensure(t.services, registry, &main);
        editor->openAsNew();
    }
    QStringList panels() const {
        return {editor->panelText(1), editor->panelText(2), editor->panelText(3),
                editor->panelText(4)};
    }
    QString path(const QString& name) const { return dir + QLatin1Char('/') + name; }
    // Typed key by key; letters beyond ASCII, which the test keyboard lacks, as input text.
    void type(const QString& text) {
        for (QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(editor->RichTextBox1, c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, editor->RichTextBox1, Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
        }
    }
};

QStringList panelsOf(const QString& file, const QString& status, const QString& type) {
    return {file + QStringLiteral("  "), QStringLiteral("Ready  "), status + QStringLiteral("  "),
            type + QStringLiteral("  ")};
}

int pictureCount(const QTextDocument& doc) {
    int n = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it)
            n += it.fragment().charFormat().isImageFormat() ? 1 : 0;
    }
    return n;
}

void makeReadOnly(const QString& path) {
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
}

// A text as UTF-16 bytes, little or big endian.
QByteArray utf16(const QString& text, bool littleEndian) {
    QByteArray out;
    for (QChar c : text) {
        out += char(littleEndian ? c.unicode() & 0xFF : c.unicode() >> 8);
        out += char(littleEndian ? c.unicode() >> 8 : c.unicode() & 0xFF);
    }
    return out;
}

const QString LossTitle = QStringLiteral("Lumorra - Text editor");

// Whether the editor asked exactly one question, this one, with Yes and No and No the default.
bool askedOnce(const ScriptedDialogs& dialogs, const QString& text) {
    const auto messages = dialogs.messages();
    if (messages.size() != 1)
        return false;
    const MessageBoxSpec& m = messages.front();
    return m.text == text && m.title == LossTitle && m.buttons == Buttons::YesNo &&
           m.defaultButton == std::optional<Answer>(Answer::No);
}

} // namespace

class EditorTest : public QObject {
    Q_OBJECT
private slots:
    void freshEditorIsANewPlainDocument();
    void oneEditorAtATimeAndItsType();
    void typingMarksChangedAndSaveAsksForAName();
    void saveAsRichTextThenSaveWritesRichText();
    void cancelledSaveChangesNothing();
    void newOnChangedDocumentDiscardsEvenWhenTheSaveIsCancelled();
    void closingAsksThenGivesTheMainWindowTheFocus();
    void findSelectsFromTheCursorIgnoringCase();
    void insertedPictureSurvivesSaveAndReopen();
    void richTextOpenedAsTextShowsItsControlWords();
    void openReadsEitherKindAndCancelKeepsTheDocument();
    void failedSaveIsReportedAndKeepsTheDocument();
    void failedSaveWhileClosingAsksAgain();
    void copyAndPasteGoThroughTheClipboardAsText();
    void rightButtonOpensTheEditMenu();
    void helpItemsOpenTheirTopics();
    void windowStaysAnchoredToTheLowerRightCorner();
    void keepOnTopFollowsTheSetting();
    void infoListInterface();
    void savingOverAFileWithDroppedPartsAsksFirst();
    void infoListKeepsTheDocumentsFormatting();
    void plainTextKeepsItsEncodingAndLineEnds_data();
    void plainTextKeepsItsEncodingAndLineEnds();
    void fileNotReadExactlyIsNotSavedOverWithoutAsking_data();
    void fileNotReadExactlyIsNotSavedOverWithoutAsking();
    void noToALossySaveAsksToSaveAgain_data();
    void noToALossySaveAsksToSaveAgain();
    void documentKeepsItsStateWhenAFileFails_data();
    void documentKeepsItsStateWhenAFileFails();
};

void EditorTest::freshEditorIsANewPlainDocument() {
    Fixture f;
    EditorWindow& e = *f.editor;
    QCOMPARE(e.objectName(), QStringLiteral("Form6"));
    QCOMPARE(e.windowTitle(), QStringLiteral("Text Editor"));
    QVERIFY(e.isVisible());
    QCOMPARE(f.panels(),
             panelsOf(QStringLiteral("New"), QStringLiteral("Untitled"), QStringLiteral("TXT")));
    QCOMPARE(e.text(), QString());
    QCOMPARE(e.documentPath(), QString());
    QCOMPARE(e.changedMark(), QString());
    QCOMPARE(e.documentType(), QStringLiteral("txt"));
    const QStringList keys = {"file", "edtsts", "filests", "ftype"};
    const QStringList tips = {"Filename", "Editor status", "File status", "File type"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(e.StatusBar1->key(i + 1), keys[i]);
        QCOMPARE(e.StatusBar1->toolTip(i + 1), tips[i]);
    }
    // Courier New at 8 points, or a fixed-pitch stand-in.
    const QFont font = e.RichTextBox1->document()->defaultFont();
    QCOMPARE(font.pointSize(), 8);
    QVERIFY(QFontInfo(font).fixedPitch());
    // Menus, captions and shortcuts.
    QCOMPARE(e.mnufile->title(), QStringLiteral("&File"));
    QCOMPARE(e.mnuedit->title(), QStringLiteral("&Edit"));
    QCOMPARE(e.mnuhelp->title(), QStringLiteral("&Help"));
    const QList<QPair<QAction*, QString>> shortcuts = {
        {e.mnunew, "Ctrl+N"},  {e.mnuopen, "Ctrl+O"}, {e.mnusave, "Ctrl+S"},
        {e.saveas, ""},        {e.mnucopy, "Ctrl+C"}, {e.mnupaste, "Ctrl+V"},
        {e.mnufind, "Ctrl+F"}, {e.mnupic, "Ctrl+I"},  {e.helpopen, ""}};
    for (const auto& [action, key] : shortcuts)
        QCOMPARE(action->shortcut().toString(), key);
    QCOMPARE(e.saveas->text(), QStringLiteral("Save &As..."));
    QCOMPARE(e.mnupic->text(), QStringLiteral("&Insert Picture"));
    QCOMPARE(e.textedit->text(), QStringLiteral("Using the text editor"));
    QCOMPARE(e.mnuedit->actions().size(), 6); // two separators
}

void EditorTest::oneEditorAtATimeAndItsType() {
    TestServices t;
    QWidget main;
    SecondaryWindows registry;
    QCOMPARE(registry.documentType(), QString());
    EditorWindow* e = EditorWindow::ensure(t.services, registry, &main);
    // Created hidden (as the info list makes it) the editor has no type yet.
    QVERIFY(!e->isVisible());
    QCOMPARE(registry.documentType(), QString());
    QCOMPARE(EditorWindow::ensure(t.services, registry, &main), e);
    e->openAsNew();
    QCOMPARE(registry.documentType(), QStringLiteral("txt"));
    // Opening again keeps the text but starts a new document.
    QTest::keyClicks(e->RichTextBox1, QStringLiteral("kept"));
    e->setDocumentState(QStringLiteral("/x/y.rtf"), QStringLiteral("1"), QStringLiteral("rtf"));
    EditorWindow::ensure(t.services, registry, &main)->openAsNew();
    QCOMPARE(e->text(), QStringLiteral("kept"));
    QCOMPARE(e->documentPath(), QString());
    QCOMPARE(e->changedMark(), QString());
    QCOMPARE(registry.documentType(), QStringLiteral("txt"));
    // Closing discards it; the registry forgets it.
    e->close();
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(registry.editor.isNull());
    QCOMPARE(registry.documentType(), QString());
    // The editor is a window of its own, not owned by the main window, yet goes with it.
    auto owner = std::make_unique<QWidget>();
    SecondaryWindows second;
    QPointer<EditorWindow> other = EditorWindow::ensure(t.services, second, owner.get());
    other->openAsNew();
    QVERIFY(!other->parentWidget() && !other->windowHandle()->transientParent());
    owner.reset();
    QVERIFY(other.isNull());
}

void EditorTest::typingMarksChangedAndSaveAsksForAName() {
    Fixture f;
    f.type(QStringLiteral("x"));
    QCOMPARE(f.editor->panelText(3), QStringLiteral("Changed  "));
    QCOMPARE(f.editor->changedMark(), QStringLiteral("1"));
    f.t.dialogs.answerFile(f.path(QStringLiteral("notes")), 1);
    f.editor->mnusave_Click();
    const FileDialogSpec ask = f.t.dialogs.files().back();
    QCOMPARE(ask.mode, FileDialogSpec::Mode::Save);
    QCOMPARE(ask.filters, DocumentFilters);
    QCOMPARE(ask.filterIndex, 1);
    QCOMPARE(ask.helpTopic, 35);
    QCOMPARE(ask.helpFile, f.t.services.paths.helpFile());
    QVERIFY(ask.confirmOverwrite);
    const QString saved = f.path(QStringLiteral("notes.txt"));
    QCOMPARE(readFile(saved), QByteArray("x"));
    QCOMPARE(f.panels(), panelsOf(saved, QStringLiteral("Unchanged"), QStringLiteral("TXT")));
    QCOMPARE(f.editor->documentPath(), saved);
    QCOMPARE(f.editor->changedMark(), QString());

    // Plain text is UTF-8, one line feed between lines.
    f.type(QStringLiteral("ü"));
    QTest::keyClick(f.editor->RichTextBox1, Qt::Key_Return);
    f.type(QStringLiteral("€"));
    f.editor->mnusave_Click();
    QCOMPARE(f.t.dialogs.files().size(), size_t(1));
    QCOMPARE(readFile(saved), QStringLiteral("xü\n€").toUtf8());
}

void EditorTest::saveAsRichTextThenSaveWritesRichText() {
    Fixture f;
    f.type(QStringLiteral("Hello"));
    const QString path = f.path(QStringLiteral("letter"));
    f.t.dialogs.answerFile(path, 2);
    f.editor->saveas_Click();
    const QString saved = path + QStringLiteral(".rtf");
    QVERIFY(rtf::isRtf(readFile(saved)));
    QCOMPARE(f.panels(), panelsOf(saved, QStringLiteral("Unchanged"), QStringLiteral("RTF")));
    QCOMPARE(f.editor->documentType(), QStringLiteral("rtf"));

    f.type(QStringLiteral(" world"));
    f.editor->mnusave_Click();
    QCOMPARE(f.t.dialogs.files().size(), size_t(1));
    QTextDocument back;
    rtf::read(decoders(), readFile(saved), back);
    QCOMPARE(back.toPlainText(), QStringLiteral("Hello world"));
    QCOMPARE(f.editor->panelText(3), QStringLiteral("Unchanged  "));

    // Save As preselects the rich-text filter now.
    f.t.dialogs.cancelFile();
    f.editor->saveas_Click();
    QCOMPARE(f.t.dialogs.files().back().filterIndex, 2);
    // It starts at the file last chosen.
    QCOMPARE(f.t.dialogs.files().back().fileName, saved);
}

void EditorTest::cancelledSaveChangesNothing() {
    Fixture f;
    f.type(QStringLiteral("abc"));
    f.t.dialogs.cancelFile();
    f.editor->mnusave_Click();
    QCOMPARE(f.panels(),
             panelsOf(QStringLiteral("New"), QStringLiteral("Changed"), QStringLiteral("TXT")));
    QCOMPARE(f.editor->changedMark(), QStringLiteral("1"));
    QVERIFY(f.t.dialogs.messages().empty());
}

void EditorTest::newOnChangedDocumentDiscardsEvenWhenTheSaveIsCancelled() {
    Fixture f;
    f.type(QStringLiteral("draft"));
    f.t.dialogs.answerMessage(Answer::Yes);
    f.t.dialogs.cancelFile();
    f.editor->mnunew_Click();
    const MessageBoxSpec ask = f.t.dialogs.messages().at(0);
    QCOMPARE(ask.text, QStringLiteral("The files has changed\n\nDo you want to save the changes"));
    QCOMPARE(ask.title, QStringLiteral("Save file?"));
    QCOMPARE(ask.buttons, Buttons::YesNo);
    QCOMPARE(ask.icon, Icon::Information);
    QCOMPARE(f.t.dialogs.files().size(), size_t(1));
    QCOMPARE(f.editor->text(), QString());
    QCOMPARE(f.panels(),
             panelsOf(QStringLiteral("New"), QStringLiteral("Untitled"), QStringLiteral("TXT")));
    QCOMPARE(f.editor->changedMark(), QString());

    // An unchanged document is not asked about.
    f.editor->mnunew_Click();
    QCOMPARE(f.t.dialogs.messages().size(), size_t(1));
    // Yes and a name saves before the new document starts.
    f.type(QStringLiteral("keep me"));
    f.t.dialogs.answerMessage(Answer::Yes);
    f.t.dialogs.answerFile(f.path(QStringLiteral("kept.txt")), 1);
    f.editor->mnunew_Click();
    QCOMPARE(readFile(f.path(QStringLiteral("kept.txt"))), QByteArray("keep me"));
    QCOMPARE(f.editor->documentPath(), QString());
    // The new document starts in the editor's plain font, whatever was typed before.
    QTest::keyClick(f.editor->RichTextBox1, Qt::Key_B, Qt::ControlModifier);
    f.type(QStringLiteral("bold"));
    QVERIFY(f.editor->RichTextBox1->currentCharFormat().fontWeight() >= QFont::Bold);
    f.t.dialogs.answerMessage(Answer::No);
    f.editor->mnunew_Click();
    f.type(QStringLiteral("plain"));
    QVERIFY(f.editor->RichTextBox1->currentCharFormat().fontWeight() < QFont::Bold);
    QCOMPARE(f.editor->RichTextBox1->currentCharFormat().font().pointSize(), 8);
}

void EditorTest::closingAsksThenGivesTheMainWindowTheFocus() {
    Fixture f;
    f.main.hide();
    f.type(QStringLiteral("unsaved"));
    f.t.dialogs.answerMessage(Answer::No);
    f.editor->close();
    QCOMPARE(f.t.dialogs.messages().size(), size_t(1));
    QVERIFY(f.t.dialogs.files().empty());
    QVERIFY(f.main.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.editor.isNull());
}

void EditorTest::findSelectsFromTheCursorIgnoringCase() {
    Fixture f;
    f.type(QStringLiteral("xabcx and ABC"));
    f.editor->RichTextBox1->moveCursor(QTextCursor::Start);
    f.t.dialogs.answerInput(QStringLiteral("ABC"));
    f.editor->mnufind_Click();
    const InputBoxSpec ask = f.t.dialogs.inputs().at(0);
    QCOMPARE(ask.prompt, QStringLiteral("Enter a word or part of word you whish to find"));
    QCOMPARE(ask.title, QStringLiteral("Find"));
    QCOMPARE(ask.defaultText, QString());
    QCOMPARE(ask.helpTopic, 36);
    QCOMPARE(f.editor->RichTextBox1->textCursor().selectedText(), QStringLiteral("abc"));
    QCOMPARE(f.editor->RichTextBox1->textCursor().selectionStart(), 1);
    // Again: on from the selection, to the second one.
    f.t.dialogs.answerInput(QStringLiteral("abc"));
    f.editor->mnufind_Click();
    QCOMPARE(f.editor->RichTextBox1->textCursor().selectionStart(), 10);
    // Not found: a beep and the question again, until an empty answer.
    f.t.dialogs.clear();
    f.t.dialogs.answerInput(QStringLiteral("abc")); // nothing after the cursor now
    f.t.dialogs.answerInput(QStringLiteral("zzz"));
    f.t.dialogs.answerInput(QString());
    f.editor->mnufind_Click();
    QCOMPARE(f.t.dialogs.inputs().size(), size_t(3));
    QCOMPARE(f.t.dialogs.beeps(), 2);
    QCOMPARE(f.editor->RichTextBox1->textCursor().selectionStart(), 10);
}

void EditorTest::insertedPictureSurvivesSaveAndReopen() {
    Fixture f;
    f.type(QStringLiteral("Look: "));
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(qRgb(0, 128, 0));
    const QString bmp = f.path(QStringLiteral("green.bmp"));
    QVERIFY(image.save(bmp, "BMP"));
    f.t.dialogs.answerFile(bmp, 1);
    f.editor->mnupic_Click();
    const FileDialogSpec ask = f.t.dialogs.files().back();
    QCOMPARE(ask.title, QStringLiteral("Add picture..."));
    QCOMPARE(ask.filters,
             QStringLiteral("Picture Files |*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.emf;*.ico"));
    QCOMPARE(ask.mode, FileDialogSpec::Mode::Open);
    QCOMPARE(f.editor->panelText(4), QStringLiteral("RTF  "));
    QCOMPARE(f.editor->panelText(2), QStringLiteral("Ready  "));
    QCOMPARE(f.editor->panelText(3), QStringLiteral("Changed  "));
    QCOMPARE(pictureCount(*f.editor->RichTextBox1->document()), 1);
    // A PNG keeps its own bytes.
    const QString png = QStringLiteral(LUMORRA_RTF_SAMPLES "/sample.png");
    f.t.dialogs.answerFile(png, 1);
    f.editor->mnupic_Click();
    f.type(QStringLiteral(" done"));

    // The next Save asks for a name with the rich-text filter preselected.
    const QString saved = f.path(QStringLiteral("pictures.rtf"));
    f.t.dialogs.answerFile(saved, 2);
    f.editor->mnusave_Click();
    QCOMPARE(f.t.dialogs.files().back().filterIndex, 2);
    const QByteArray rtfText = readFile(saved);
    QVERIFY(rtfText.contains("\\pngblip"));
    QVERIFY(QByteArray(rtfText).replace('\n', "").contains(readFile(png).toHex()));

    Fixture g;
    g.t.dialogs.answerFile(saved, 2);
    g.editor->mnuopen_Click();
    QTextDocument* doc = g.editor->RichTextBox1->document();
    QCOMPARE(pictureCount(*doc), 2);
    QCOMPARE(g.editor->text(), f.editor->text());
    QCOMPARE(g.panels(), panelsOf(saved, QStringLiteral("Unchanged"), QStringLiteral("RTF")));

    // Cancel and a file that is no picture insert nothing, silently.
    g.t.dialogs.cancelFile();
    g.editor->mnupic_Click();
    const QString junk = g.path(QStringLiteral("junk.jpg"));
    writeFile(junk, "not a picture");
    g.t.dialogs.answerFile(junk, 1);
    g.editor->mnupic_Click();
    QCOMPARE(pictureCount(*doc), 2);
    QVERIFY(g.t.dialogs.messages().empty());
    QCOMPARE(g.editor->panelText(2), QStringLiteral("Ready  "));
}

void EditorTest::richTextOpenedAsTextShowsItsControlWords() {
    Fixture f;
    const QString path = f.path(QStringLiteral("styled.rtf"));
    const QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hello \\b bold\\b0\\par\n}";
    writeFile(path, rtf);
    f.t.dialogs.answerFile(path, 1);
    f.editor->mnuopen_Click();
    QCOMPARE(f.editor->text(), QString::fromLatin1(rtf).trimmed());
    QCOMPARE(f.panels(), panelsOf(path, QStringLiteral("Unchanged"), QStringLiteral("TXT")));
    f.type(QStringLiteral(" "));
    f.editor->mnusave_Click();
    QCOMPARE(readFile(path), QByteArray(" ") + rtf.trimmed());
}

void EditorTest::openReadsEitherKindAndCancelKeepsTheDocument() {
    Fixture f;
    f.type(QStringLiteral("mine"));
    // Changed: the question comes first; No goes on to the dialog, which is cancelled.
    f.t.dialogs.answerMessage(Answer::No);
    f.t.dialogs.cancelFile();
    f.editor->mnuopen_Click();
    const FileDialogSpec ask = f.t.dialogs.files().back();
    QCOMPARE(ask.mode, FileDialogSpec::Mode::Open);
    QCOMPARE(ask.helpTopic, 34);
    QCOMPARE(ask.filters, DocumentFilters);
    QCOMPARE(f.editor->text(), QStringLiteral("mine"));
    QCOMPARE(f.editor->panelText(2), QStringLiteral("Ready  "));

    // A word processor's file with the rich-text filter; the filter is kept for next time.
    const QString word = QStringLiteral(LUMORRA_RTF_SAMPLES "/wordpad.rtf");
    f.t.dialogs.answerMessage(Answer::No);
    f.t.dialogs.answerFile(word, 2);
    f.editor->mnuopen_Click();
    QVERIFY(f.editor->text().startsWith(QStringLiteral("Shopping list\nBold, italic")));
    QCOMPARE(f.panels(), panelsOf(QFileInfo(word).absoluteFilePath(), QStringLiteral("Unchanged"),
                                  QStringLiteral("RTF")));
    f.t.dialogs.cancelFile();
    f.editor->mnuopen_Click();
    QCOMPARE(f.t.dialogs.files().back().filterIndex, 2);

    // Plain text: UTF-8, or code page 1252 when it is none; any line ends.
    const QString legacy = f.path(QStringLiteral("legacy.txt"));
    writeFile(legacy, "caf\xe9\r\nna\xefve\rend");
    f.t.dialogs.answerFile(legacy, 1);
    f.editor->mnuopen_Click();
    QCOMPARE(f.editor->text(), QStringLiteral("café\nnaïve\nend"));
    // An unreadable file leaves the document as it was.
    f.t.dialogs.answerFile(f.path(QStringLiteral("missing.txt")), 1);
    f.editor->mnuopen_Click();
    QCOMPARE(f.editor->documentPath(), legacy);
    QCOMPARE(f.editor->text(), QStringLiteral("café\nnaïve\nend"));
    // A file that is no RTF, opened as rich text, shows as the text it is.
    f.t.dialogs.answerFile(legacy, 2);
    f.editor->mnuopen_Click();
    QCOMPARE(f.editor->text(), QStringLiteral("café\nnaïve\nend"));
    QCOMPARE(f.editor->documentType(), QStringLiteral("rtf"));
}

void EditorTest::failedSaveIsReportedAndKeepsTheDocument() {
    Fixture f;
    f.t.openProgramLog();
    const QString path = f.path(QStringLiteral("locked.txt"));
    writeFile(path, "original");
    makeReadOnly(path);
    f.t.dialogs.answerFile(path, 1);
    f.editor->mnuopen_Click();
    f.type(QStringLiteral("new "));
    f.editor->mnusave_Click();
    QCOMPARE(readFile(path), QByteArray("original"));
    QCOMPARE(f.editor->changedMark(), QStringLiteral("1"));
    QCOMPARE(f.panels(), panelsOf(path, QStringLiteral("Changed"), QStringLiteral("TXT")));
    QCOMPARE(f.editor->text(), QStringLiteral("new original"));
    QCOMPARE(f.t.dialogs.messages().size(), size_t(1));
    const MessageBoxSpec report = f.t.dialogs.messages().back();
    QCOMPARE(report.icon, Icon::Critical);
    QCOMPARE(report.title, QStringLiteral("Text editor save ERROR 13 (Permission denied)"));
    QVERIFY(report.text.contains(path));
    QCOMPARE(f.t.dialogs.beeps(), 1);
    QCOMPARE(f.t.programLogLines().size(), 1);

    // Save As into a directory that does not exist keeps the old path and mark.
    f.t.dialogs.answerFile(f.path(QStringLiteral("nowhere/new.txt")), 1);
    f.editor->saveas_Click();
    QCOMPARE(f.t.dialogs.messages().size(), size_t(2));
    QCOMPARE(f.t.dialogs.messages().back().title,
             QStringLiteral("Text editor save ERROR 2 (No such file or directory)"));
    QCOMPARE(f.editor->documentPath(), path);
    QCOMPARE(f.editor->changedMark(), QStringLiteral("1"));
    QCOMPARE(f.editor->panelText(2), QStringLiteral("Ready  "));
    QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("nowhere"))));

    // A writable file is replaced whole, its permissions kept.
    const QString other = f.path(QStringLiteral("other.txt"));
    writeFile(other, "old");
    QFile::setPermissions(other, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    f.editor->saveFile(other, false);
    QCOMPARE(readFile(other), QByteArray("new original"));
    const QFileDevice::Permissions ownerGroupOther(0x7077);
    QCOMPARE(QFile::permissions(other) & ownerGroupOther,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void EditorTest::failedSaveWhileClosingAsksAgain() {
    Fixture f;
    f.type(QStringLiteral("precious"));
    f.t.dialogs.answerMessage(Answer::Yes);
    f.t.dialogs.answerFile(f.path(QStringLiteral("missing/dir/a.txt")), 1);
    f.t.dialogs.answerMessage(Answer::Ok); // the failure report
    f.t.dialogs.answerMessage(Answer::Yes);
    f.t.dialogs.answerFile(f.path(QStringLiteral("a.txt")), 1);
    f.editor->close();
    QCOMPARE(readFile(f.path(QStringLiteral("a.txt"))), QByteArray("precious"));
    QCOMPARE(f.t.dialogs.messages().size(), size_t(3));
    QCOMPARE(f.t.dialogs.messages()[2].title, QStringLiteral("Save file?"));
}

void EditorTest::copyAndPasteGoThroughTheClipboardAsText() {
    Fixture f;
    f.type(QStringLiteral("one two"));
    QTextCursor c = f.editor->RichTextBox1->textCursor();
    c.setPosition(0);
    c.setPosition(3, QTextCursor::KeepAnchor);
    f.editor->RichTextBox1->setTextCursor(c);
    f.editor->mnucopy_Click();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("one"));
    QCOMPARE(f.editor->panelText(2), QStringLiteral("Ready  "));
    // An empty selection leaves an empty text.
    c.clearSelection();
    f.editor->RichTextBox1->setTextCursor(c);
    f.editor->mnucopy_Click();
    QCOMPARE(QApplication::clipboard()->text(), QString());
    QApplication::clipboard()->setText(QStringLiteral("three"));
    c.setPosition(4);
    c.setPosition(7, QTextCursor::KeepAnchor);
    f.editor->RichTextBox1->setTextCursor(c);
    f.editor->mnupaste_Click();
    QCOMPARE(f.editor->text(), QStringLiteral("one three"));
    QCOMPARE(f.editor->panelText(3), QStringLiteral("Changed  "));
    // Ctrl+V in the editing area is the menu's Paste, plain text only.
    QApplication::clipboard()->setText(QStringLiteral("!"));
    f.editor->activateWindow();
    f.editor->RichTextBox1->setFocus();
    QTest::keyClick(f.editor->RichTextBox1, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(f.editor->text(), QStringLiteral("one three!"));
}

void EditorTest::rightButtonOpensTheEditMenu() {
    Fixture f;
    QTest::mouseClick(f.editor->RichTextBox1->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    QVERIFY(f.editor->mnuedit->isVisible());
    f.editor->mnuedit->hide();
}

void EditorTest::helpItemsOpenTheirTopics() {
    Fixture f;
    f.editor->helpopen->trigger();
    f.editor->helpsave->trigger();
    f.editor->textedit->trigger();
    QCOMPARE(f.t.help.requests.size(), size_t(3));
    QCOMPARE(f.t.help.requests[0].topic, 34);
    QCOMPARE(f.t.help.requests[1].topic, 35);
    QCOMPARE(f.t.help.requests[2].topic, 36);
    QCOMPARE(f.t.help.requests[2].file, f.t.services.paths.helpFile());
}

void EditorTest::windowStaysAnchoredToTheLowerRightCorner() {
    Fixture f;
    EditorWindow& e = *f.editor;
    // 7692 twips wide at 15 twips a pixel.
    QCOMPARE(e.width(), 513);
    QVERIFY(e.RichTextBox1->height() > 300);
    // 50 twips from the right edge, 600 above the bottom: 3.3 and 40 pixels.
    const auto anchored = [&] {
        const QRect r = e.frameGeometry();
        return r.left() == std::lround(1280 - r.width() - 50 / 15.0) &&
               r.top() == 1024 - r.height() - 40;
    };
    QVERIFY(anchored());
    e.resize(700, 500);
    QVERIFY(anchored());
    QCOMPARE(e.RichTextBox1->width(), 700);
    // Placing at the corner for an info list: 100 and 700 twips from the edges.
    e.placeAtCorner();
    const QRect r = e.frameGeometry();
    QCOMPARE(r.left(), std::lround(1280 - r.width() - 100 / 15.0));
    QCOMPARE(r.top(), std::lround(1024 - r.height() - 700 / 15.0));
}

void EditorTest::keepOnTopFollowsTheSetting() {
    {
        Fixture f;
        QVERIFY(!keepsOnTop(f.editor));
        f.editor->Form_GotFocus();
        QVERIFY(!keepsOnTop(f.editor));
    }
    Fixture f;
    f.t.settings.write(keys::OnTop, QStringLiteral("1"));
    f.editor->openAsNew();
    QVERIFY(keepsOnTop(f.editor));
    // New leaves the flag off until the window gains the focus again.
    f.editor->mnunew_Click();
    QVERIFY(!keepsOnTop(f.editor));
    f.editor->Form_GotFocus();
    QVERIFY(keepsOnTop(f.editor));
    // Save As switches it off while its dialog is up, on again afterwards.
    bool offWhileAsked = false;
    f.t.dialogs.onShow = [&](const ScriptedDialogs::Event&) {
        offWhileAsked = !keepsOnTop(f.editor);
    };
    f.t.dialogs.cancelFile();
    f.editor->saveas_Click();
    QVERIFY(offWhileAsked);
    QVERIFY(keepsOnTop(f.editor));
    f.t.dialogs.onShow = nullptr;
    // A modal window of the main window switches it off and on through the registry.
    f.registry.setOnTop(false);
    QVERIFY(!keepsOnTop(f.editor));
}

void EditorTest::infoListInterface() {
    TestServices t;
    QWidget main;
    SecondaryWindows registry;
    EditorWindow* e = EditorWindow::ensure(t.services, registry, &main);
    // Hidden: setting the text is no change of the document.
    e->setText(e->text() + QStringLiteral("Info for /tmp  (*.jpg)\n\n"));
    QCOMPARE(e->changedMark(), QString());
    e->setText(e->text() + QStringLiteral("a.jpg    1 bytes    (1/1/2024)\n"));
    QCOMPARE(e->text(),
             QStringLiteral("Info for /tmp  (*.jpg)\n\na.jpg    1 bytes    (1/1/2024)\n"));
    e->setDocumentState(QString(), QStringLiteral("1"), QStringLiteral("rtf"));
    e->setPanelText(1, QStringLiteral("  New"));
    e->setPanelText(3, QStringLiteral("  Changed"));
    QCOMPARE(e->panelText(1), QStringLiteral("  New"));
    QCOMPARE(e->panelText(3), QStringLiteral("  Changed"));
    QCOMPARE(e->changedMark(), QStringLiteral("1"));
    QCOMPARE(registry.documentType(), QStringLiteral("rtf"));
    // Appending keeps what the document held, formatting and pictures included.
    QTextCursor start(e->RichTextBox1->document());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    start.insertText(QStringLiteral("Title\n"), bold);
    e->appendText(QStringLiteral("Total 1 File(s) (1 Bytes)\n"));
    QVERIFY(e->text().startsWith(QStringLiteral("Title\nInfo for")));
    QVERIFY(e->text().endsWith(QStringLiteral("(1/1/2024)\nTotal 1 File(s) (1 Bytes)\n")));
    QTextCursor title(e->RichTextBox1->document());
    title.setPosition(1);
    QCOMPARE(title.charFormat().fontWeight(), int(QFont::Bold));
    QTextCursor end(e->RichTextBox1->document());
    end.movePosition(QTextCursor::End);
    end.movePosition(QTextCursor::PreviousCharacter);
    QVERIFY(end.charFormat().fontWeight() < QFont::Bold);
    e->show();
    // The changed mark makes closing ask.
    t.dialogs.answerMessage(Answer::No);
    e->close();
    QCOMPARE(t.dialogs.messages().size(), size_t(1));
}

void EditorTest::savingOverAFileWithDroppedPartsAsksFirst() {
    Fixture f;
    const QByteArray header = "{\\header \\pard\\plain\\f0 Page head\\par}";
    const QByteArray source = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\paperw11906\\margl1134\n" +
                              header +
                              "\n\\pard Text{\\super\\chftn{\\footnote\\pard Note\\par}}"
                              "{\\*\\atnid x}{\\*\\annotation\\pard Remark\\par}\\par}";
    const QString path = f.path(QStringLiteral("notes.rtf"));
    writeFile(path, source);
    f.t.dialogs.answerFile(path, 2);
    f.editor->mnuopen_Click();
    f.type(QStringLiteral("More "));

    // No: nothing is written, the document stays changed.
    f.t.dialogs.answerMessage(Answer::No);
    f.editor->mnusave_Click();
    QVERIFY(askedOnce(f.t.dialogs, QStringLiteral("This document has footnotes and comments "
                                                  "that the editor cannot keep. Save it "
                                                  "without them?")));
    QCOMPARE(readFile(path), source);
    QCOMPARE(f.editor->changedMark(), QStringLiteral("1"));
    // Save As over the same file asks too; to another file it does not.
    f.t.dialogs.answerFile(path, 2);
    f.t.dialogs.answerMessage(Answer::No);
    f.editor->saveas_Click();
    QCOMPARE(f.t.dialogs.messages().size(), size_t(2));
    QCOMPARE(readFile(path), source);

    // Yes: written with the header and page layout as they came; asked once only.
    f.t.dialogs.answerMessage(Answer::Yes);
    f.editor->mnusave_Click();
    const QByteArray saved = readFile(path);
    QVERIFY(saved.contains(header));
    QVERIFY(saved.contains("\\paperw11906\\margl1134"));
    QVERIFY(!saved.contains("Note") && !saved.contains("Remark"));
    QTextDocument back;
    QVERIFY(rtf::read(decoders(), saved, back).dropped.isEmpty());
    QCOMPARE(back.toPlainText(), QStringLiteral("More Text"));
    f.type(QStringLiteral("x"));
    f.editor->mnusave_Click();
    QCOMPARE(f.t.dialogs.messages().size(), size_t(3));
    // A new document forgets the header.
    f.t.dialogs.answerMessage(Answer::No);
    f.editor->mnunew_Click();
    f.t.dialogs.answerFile(path, 2);
    f.editor->saveas_Click();
    QVERIFY(!readFile(path).contains("Page head"));
}

void EditorTest::infoListKeepsTheDocumentsFormatting() {
    Fixture f;
    const QString path = f.path(QStringLiteral("styled.rtf"));
    writeFile(
        path,
        "{\\rtf1\\ansi{\\*\\listtable{\\list{\\listlevel\\levelnfc0}\\listid7}}"
        "{\\*\\listoverridetable{\\listoverride\\listid7\\ls1}}"
        "\\pard{\\b Title}\\par\\trowd\\cellx1000\\cellx2000\\pard\\intbl A\\cell B\\cell\\row"
        "\\pard\\ls1 One\\par\\pard\\ls1\\qc Two}");
    f.t.dialogs.answerFile(path, 2);
    f.editor->mnuopen_Click();
    f.editor->appendText(QStringLiteral("Info for /tmp  (*.jpg)\n\n"));
    f.editor->appendText(QStringLiteral("Total 1 File(s) (1 Bytes)\n"));
    QTextDocument* doc = f.editor->RichTextBox1->document();
    QCOMPARE(f.editor->text(), QStringLiteral("Title\nA\nB\nOne\nTwo\nInfo for /tmp  (*.jpg)\n\n"
                                              "Total 1 File(s) (1 Bytes)\n"));
    QTextCursor title(doc);
    title.setPosition(1);
    QVERIFY(title.charFormat().fontWeight() >= QFont::Bold);
    QTextTable* table = QTextCursor(doc->findBlockByNumber(1)).currentTable();
    QVERIFY(table && table->columns() == 2);
    const QTextBlock two = doc->findBlockByNumber(4);
    QVERIFY(two.textList() && two.textList()->count() == 2);
    // The list's own lines: plain paragraphs, in no list, left aligned, not bold.
    for (QTextBlock b = two.next(); b.isValid(); b = b.next()) {
        QVERIFY(!b.textList());
        QVERIFY(!(b.blockFormat().alignment() & Qt::AlignHCenter));
        for (auto it = b.begin(); !it.atEnd(); ++it)
            QVERIFY(it.fragment().charFormat().fontWeight() < QFont::Bold);
    }
}

void EditorTest::plainTextKeepsItsEncodingAndLineEnds_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("unchanged"); // what Save writes back: empty for the file itself
    QTest::addColumn<QString>("typed");        // on a line of its own at the end
    QTest::addColumn<QByteArray>("edited");
    const QByteArray ue = "\xc3\xbc"; // ü in UTF-8
    QTest::newRow("UTF-8, CR LF") << QByteArray("caf\xc3\xa9\xc2\xa0\xe2\x82\xac\r\nend\r\n")
                                  << QByteArray() << "ü"
                                  << "caf\xc3\xa9\xc2\xa0\xe2\x82\xac\r\nend\r\n\r\n" + ue;
    QTest::newRow("UTF-8 mark") << QByteArray("\xef\xbb\xbfone\ntwo") << QByteArray() << "ü"
                                << "\xef\xbb\xbfone\ntwo\n" + ue;
    QTest::newRow("UTF-16 LE mark, CR LF")
        << utf16(u"\ufeffone\r\ntw\u00f6"_qs, true) << QByteArray() << "ü"
        << utf16(u"\ufeffone\r\ntw\u00f6\r\n\u00fc"_qs, true);
    QTest::newRow("UTF-16 BE mark") << utf16(u"\ufeff\u20ac\nx"_qs, false) << QByteArray() << "ü"
                                    << utf16(u"\ufeff\u20ac\nx\n\u00fc"_qs, false);
    const QByteArray page = "caf\xe9\r\nna\xefve\xa0\x80\x81\x9d\r\n";
    QTest::newRow("code page 1252") << page << QByteArray() << "€" << page + "\r\n\x80";
    // A character the code page lacks: UTF-8, so that it is kept.
    QTest::newRow("code page, a character it lacks")
        << page << QByteArray() << "→"
        << "\xef\xbb\xbf" + QStringLiteral("café\r\nnaïve\u00a0€\u0081\u009d\r\n\r\n→").toUtf8();
    QTest::newRow("LF") << QByteArray("one\ntwo\n") << QByteArray() << "3"
                        << QByteArray("one\ntwo\n\n3");
    QTest::newRow("CR") << QByteArray("one\rtwo") << QByteArray() << "3"
                        << QByteArray("one\rtwo\r3");
    // Mixed line ends: the kind most lines have.
    QTest::newRow("mixed") << QByteArray("a\nb\r\nc\r\n") << QByteArray("a\r\nb\r\nc\r\n") << "d"
                           << QByteArray("a\r\nb\r\nc\r\n\r\nd");
}

void EditorTest::plainTextKeepsItsEncodingAndLineEnds() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, unchanged);
    QFETCH(QString, typed);
    QFETCH(QByteArray, edited);
    Fixture f;
    const QString path = f.path(QStringLiteral("kept.txt"));
    writeFile(path, file);
    f.t.dialogs.answerFile(path, 1);
    f.editor->mnuopen_Click();
    f.editor->mnusave_Click();
    QCOMPARE(readFile(path), unchanged.isEmpty() ? file : unchanged);
    f.editor->RichTextBox1->moveCursor(QTextCursor::End);
    QTest::keyClick(f.editor->RichTextBox1, Qt::Key_Return);
    f.type(typed);
    f.editor->mnusave_Click();
    QCOMPARE(readFile(path), edited);
    // Save As to a new file keeps them too.
    f.t.dialogs.answerFile(f.path(QStringLiteral("copy.txt")), 1);
    f.editor->saveas_Click();
    QCOMPARE(readFile(f.path(QStringLiteral("copy.txt"))), edited);
    QVERIFY(f.t.dialogs.messages().empty());
}

void EditorTest::fileNotReadExactlyIsNotSavedOverWithoutAsking_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("shown"); // what the editing area starts with
    QTest::newRow("UTF-16, odd number of bytes") << QByteArray("\xff\xfe"
                                                               "A\0B\0C",
                                                               7)
                                                 << "AB";
    QTest::newRow("UTF-32") << QByteArray("\xff\xfe\0\0A\0\0\0", 8) << "";
    QTest::newRow("NUL in UTF-8") << QByteArray("one\0two\xc3\xa9", 9) << "one";
    QTest::newRow("NUL in code page text") << QByteArray("caf\xe9\0", 5) << "café";
}

void EditorTest::fileNotReadExactlyIsNotSavedOverWithoutAsking() {
    QFETCH(QByteArray, file);
    QFETCH(QString, shown);
    Fixture f;
    const QString path = f.path(QStringLiteral("odd.txt"));
    writeFile(path, file);
    f.t.dialogs.answerFile(path, 1);
    f.editor->mnuopen_Click();
    QVERIFY(f.editor->text().startsWith(shown));
    f.type(QStringLiteral("x"));
    // No: the file and the editor stay as they were.
    f.t.dialogs.answerMessage(Answer::No);
    f.editor->mnusave_Click();
    QVERIFY(askedOnce(f.t.dialogs, QStringLiteral("This file could not be read exactly as it "
                                                  "is stored, so saving it will change it. Save "
                                                  "it anyway?")));
    QCOMPARE(readFile(path), file);
    QCOMPARE(f.panels(), panelsOf(path, QStringLiteral("Changed"), QStringLiteral("TXT")));
    // Yes saves; the file is then what the editor holds, and the next Save does not ask.
    f.t.dialogs.answerMessage(Answer::Yes);
    f.editor->mnusave_Click();
    QVERIFY(readFile(path) != file);
    f.editor->mnusave_Click();
    QCOMPARE(f.t.dialogs.messages().size(), size_t(2));
}

void EditorTest::noToALossySaveAsksToSaveAgain_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("New") << "new";
    QTest::newRow("Open") << "open";
    QTest::newRow("closing") << "close";
}

void EditorTest::noToALossySaveAsksToSaveAgain() {
    QFETCH(QString, command);
    Fixture f;
    const QByteArray source =
        "{\\rtf1\\ansi Text{\\super\\chftn{\\footnote\\pard Note\\par}}\\par}";
    const QString path = f.path(QStringLiteral("notes.rtf"));
    writeFile(path, source);
    f.t.dialogs.answerFile(path, 2);
    f.editor->mnuopen_Click();
    f.type(QStringLiteral("More "));
    f.t.dialogs.answerMessage(Answer::No); // Save: not without the footnotes
    f.editor->mnusave_Click();
    QCOMPARE(f.editor->changedMark(), QStringLiteral("1"));
    // "Save file?" Yes, the same file, and No again: the question comes back.
    f.t.dialogs.answerMessage(Answer::Yes);
    f.t.dialogs.answerFile(path, 2);
    f.t.dialogs.answerMessage(Answer::No);
    f.t.dialogs.answerMessage(Answer::No);
    f.t.dialogs.cancelFile(); // Open's own dialog
    if (command == QLatin1String("new"))
        f.editor->mnunew_Click();
    else if (command == QLatin1String("open"))
        f.editor->mnuopen_Click();
    else
        f.editor->close();
    QStringList titles;
    for (const MessageBoxSpec& m : f.t.dialogs.messages())
        titles << m.title;
    QCOMPARE(titles, QStringList({LossTitle, QStringLiteral("Save file?"), LossTitle,
                                  QStringLiteral("Save file?")}));
    QCOMPARE(readFile(path), source);
}

void EditorTest::documentKeepsItsStateWhenAFileFails_data() {
    QTest::addColumn<bool>("read"); // else write
    QTest::addColumn<QString>("target");
    QTest::newRow("read of a missing file") << true << "missing.txt";
    QTest::newRow("read of a directory") << true << "sub";
    QTest::newRow("write over a read-only file") << false << "odd.txt";
}

void EditorTest::documentKeepsItsStateWhenAFileFails() {
    QFETCH(bool, read);
    QFETCH(QString, target);
    // The document alone, over a text that no window shows.
    TestEnv env;
    const QString dir = env.makeDir(QStringLiteral("docs"));
    QVERIFY(QDir(dir).mkdir(QStringLiteral("sub")));
    const QString file = dir + QStringLiteral("/odd.txt");
    const QByteArray bytes("caf\xe9\0\r\nend\r\n", 12); // code page 1252, CR LF and a NUL
    writeFile(file, bytes);
    QTextDocument text;
    EditorDocument doc(text, decoders());
    // No rich text, so read as plain text; the loss is that file's however its path is spelt.
    QVERIFY(!doc.load(dir + QStringLiteral("/./odd.txt"), true));
    doc.setFile(file, false);
    doc.markChanged();
    const QString shown = text.toPlainText();
    QVERIFY(!doc.lossQuestion(file).isEmpty());
    QVERIFY(doc.lossQuestion(dir + QStringLiteral("/other.txt")).isEmpty());
    makeReadOnly(file);
    const QString path = dir + QLatin1Char('/') + target;
    bool failed = false;
    try {
        if (read)
            doc.load(path, false);
        else
            doc.save(path, false);
    } catch (const Error&) {
        failed = true;
    }
    QVERIFY(failed);
    QCOMPARE(text.toPlainText(), shown);
    QCOMPARE(QStringList({doc.path(), doc.changedMark(), doc.type()}),
             QStringList({file, QStringLiteral("1"), QStringLiteral("txt")}));
    QVERIFY(!doc.lossQuestion(file).isEmpty());
    QCOMPARE(readFile(file), bytes);
    // Still written in the file's code page and line ends.
    doc.save(dir + QStringLiteral("/copy.txt"), false);
    QCOMPARE(readFile(dir + QStringLiteral("/copy.txt")), bytes);
}

QTEST_MAIN(EditorTest)
#include "editor_tests.moc"
