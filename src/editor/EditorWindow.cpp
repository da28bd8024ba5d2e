#include "EditorWindow.h"

#include "browser/SecondaryWindows.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Help.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTextDocumentFragment>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace lumorra {
namespace {

const QString Yes1 = QStringLiteral("1");

const QString DocumentFilters =
    QStringLiteral("Text files (*.txt)|*.txt|Richtext files (*.rtf)|*.rtf");
const QString PictureFilters =
    QStringLiteral("Picture Files |*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.emf;*.ico");

// "Courier New" at 8 points, or the desktop's fixed-pitch font where no such font (nor a
// font-matching stand-in of fixed pitch) is installed.
QFont editorFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setPointSize(8);
    font.setStyleHint(QFont::TypeWriter);
    if (QFontInfo(font).fixedPitch())
        return font;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(8);
    return fixed;
}

} // namespace

EditorWindow::EditorWindow(Services& services, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Window), s_(services), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Text Editor"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (mainWindow) {
        // A window of its own, not owned by the main window: an owned window would always stay
        // above the main window, whatever "OnTop" holds. It still goes with the main window.
        connect(mainWindow, &QObject::destroyed, this, [this] { delete this; });
    }

    buildMenus();
    buildEditingArea();
    buildStatusBar();
    layOut();
    connectHandlers();
}

void EditorWindow::buildMenus() {
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    mnufile = addMenu("mnufile", QStringLiteral("&File"));
    mnunew = addItem(mnufile, "mnunew", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuopen =
        addItem(mnufile, "mnuopen", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O));
    mnusave =
        addItem(mnufile, "mnusave", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    saveas = addItem(mnufile, "saveas", QStringLiteral("Save &As..."));
    mnuedit = addMenu("mnuedit", QStringLiteral("&Edit"));
    mnucopy =
        addItem(mnuedit, "mnucopy", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    mnupaste =
        addItem(mnuedit, "mnupaste", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    mnuedit->addSeparator();
    mnufind =
        addItem(mnuedit, "mnufind", QStringLiteral("&Find"), QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuedit->addSeparator();
    mnupic = addItem(mnuedit, "mnupic", QStringLiteral("&Insert Picture"),
                     QKeySequence(Qt::CTRL | Qt::Key_I));
    mnuhelp = addMenu("mnuhelp", QStringLiteral("&Help"));
    helpopen = addItem(mnuhelp, "helpopen", QStringLiteral("Opening a file"));
    helpsave = addItem(mnuhelp, "helpsave", QStringLiteral("Saving a file"));
    textedit = addItem(mnuhelp, "textedit", QStringLiteral("Using the text editor"));
}

QMenu* EditorWindow::addMenu(const char* name, const QString& title) {
    QMenu* m = menuBar->addMenu(title);
    m->setObjectName(QString::fromLatin1(name));
    return m;
}

QAction* EditorWindow::addItem(QMenu* menu, const char* name, const QString& caption,
                               const QKeySequence& key) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) {
        // The keys work in the whole window, the editing area included.
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    return a;
}

void EditorWindow::buildEditingArea() {
    RichTextBox1 = new RichTextBox(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    const QFont font = editorFont();
    RichTextBox1->setFont(font);
    RichTextBox1->document()->setDefaultFont(font);
    document_ = std::make_unique<EditorDocument>(*RichTextBox1->document(), s_.decoders);
}

void EditorWindow::buildStatusBar() {
    StatusBar1 = new StatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->addPanel({QStringLiteral("file"), QStringLiteral("Filename"), QString(),
                          StatusBar::Bevel::Inset, true, 60});
    StatusBar1->addPanel({QStringLiteral("edtsts"), QStringLiteral("Editor status"), QString()});
    StatusBar1->addPanel({QStringLiteral("filests"), QStringLiteral("File status"), QString()});
    StatusBar1->addPanel({QStringLiteral("ftype"), QStringLiteral("File type"), QString()});
}

void EditorWindow::layOut() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar);
    layout->addWidget(RichTextBox1, 1);
    layout->addWidget(StatusBar1);
    // The client area: 7692 x 5640 twips below the menu bar.
    resize(pixelsX(7692), menuBar->sizeHint().height() + pixelsY(5640));
}

void EditorWindow::connectHandlers() {
    connect(mnunew, &QAction::triggered, this, &EditorWindow::mnunew_Click);
    connect(mnuopen, &QAction::triggered, this, &EditorWindow::mnuopen_Click);
    connect(mnusave, &QAction::triggered, this, &EditorWindow::mnusave_Click);
    connect(saveas, &QAction::triggered, this, &EditorWindow::saveas_Click);
    connect(mnucopy, &QAction::triggered, this, &EditorWindow::mnucopy_Click);
    connect(mnupaste, &QAction::triggered, this, &EditorWindow::mnupaste_Click);
    connect(mnufind, &QAction::triggered, this, &EditorWindow::mnufind_Click);
    connect(mnupic, &QAction::triggered, this, &EditorWindow::mnupic_Click);
    connect(helpopen, &QAction::triggered, this, &EditorWindow::helpopen_Click);
    connect(helpsave, &QAction::triggered, this, &EditorWindow::helpsave_Click);
    connect(textedit, &QAction::triggered, this, &EditorWindow::textedit_Click);
    connect(RichTextBox1, &QTextEdit::textChanged, this, &EditorWindow::RichTextBox1_Change);
    connect(RichTextBox1, &RichTextBox::mouseDown, this, &EditorWindow::RichTextBox1_MouseDown);
}

EditorWindow::~EditorWindow() = default;

EditorWindow* EditorWindow::ensure(Services& services, SecondaryWindows& registry,
                                   QWidget* mainWindow) {
    if (auto* existing = qobject_cast<EditorWindow*>(registry.editor.data()))
        return existing;
    auto* editor = new EditorWindow(services, mainWindow);
    registry.editor = editor;
    QPointer<EditorWindow> weak(editor);
    registry.editorDocumentType = [weak] { return weak ? weak->documentType() : QString(); };
    return editor;
}

int EditorWindow::pixelsX(double twips) const {
    return static_cast<int>(std::lround(twips / s_.screen.twipsPerPixelX()));
}

int EditorWindow::pixelsY(double twips) const {
    return static_cast<int>(std::lround(twips / s_.screen.twipsPerPixelY()));
}

// --- document state and panels ------------------------------------------------------------------

QString EditorWindow::text() const {
    return RichTextBox1->toPlainText();
}

void EditorWindow::setText(const QString& text) {
    RichTextBox1->setPlainText(text);
}

void EditorWindow::appendText(const QString& text) {
    document_->append(text);
}

void EditorWindow::setDocumentState(const QString& path, const QString& changed,
                                    const QString& type) {
    document_->setState(path, changed, type);
}

void EditorWindow::setPanelText(int index, const QString& text) {
    StatusBar1->setText(index, text);
}

QString EditorWindow::panelText(int index) const {
    return StatusBar1->text(index);
}

void EditorWindow::panel(int index, const QString& text) {
    StatusBar1->setText(index, text + QStringLiteral("  "));
}

void EditorWindow::newDocumentState() {
    document_->setNew();
    ignoreErrors([&] { panel(1, QStringLiteral("New")); });
    ignoreErrors([&] { panel(2, QStringLiteral("Ready")); });
    ignoreErrors([&] { panel(3, QStringLiteral("Untitled")); });
    ignoreErrors([&] { panel(4, QStringLiteral("TXT")); });
}

void EditorWindow::placeAtCorner() {
    moveToCorner(100, 700);
}

void EditorWindow::moveToCorner(double rightTwips, double bottomTwips) {
    // The window's outer size, as the screen computations are written for it.
    const QSize outer = frameGeometry().size();
    const double screenWidth = s_.screen.widthTwips();
    const double screenHeight = s_.screen.heightTwips();
    const double left = screenWidth - outer.width() * s_.screen.twipsPerPixelX() - rightTwips;
    const double top = screenHeight - outer.height() * s_.screen.twipsPerPixelY() - bottomTwips;
    move(pixelsX(left), pixelsY(top));
}

void EditorWindow::openAsNew() {
    newDocumentState();
    ignoreErrors([&] { placeAtCorner(); });
    restoreOnTop();
    ignoreErrors([&] {
        show();
        raise();
        activateWindow();
        RichTextBox1->setFocus();
    });
}

void EditorWindow::regainFocus() {
    // The window takes the keyboard back from the dialog that was over it.
    ignoreErrors([&] {
        if (isVisible()) {
            activateWindow();
            RichTextBox1->setFocus();
        }
    });
}

void EditorWindow::restoreOnTop() {
    ignoreErrors([&] {
        if (s_.settings.read(keys::OnTop) == Yes1)
            setKeepOnTop(this, true);
    });
}

// --- files ------------------------------------------------------------------------------------

void EditorWindow::loadFile(const QString& path, bool richText) {
    // Plain text takes the format at the cursor, as text typed there would.
    const QTextCharFormat format = RichTextBox1->textCursor().charFormat();
    const bool rich = document_->load(path, richText, format);
    RichTextBox1->moveCursor(QTextCursor::Start);
    if (!rich)
        RichTextBox1->setCurrentCharFormat(format);
}

void EditorWindow::saveFile(const QString& path, bool richText) {
    document_->save(path, richText);
}

bool EditorWindow::confirmLoss(const QString& path) {
    const QString loss = document_->lossQuestion(path);
    if (loss.isEmpty())
        return true;
    MessageBoxSpec question;
    question.text = loss;
    question.title = QStringLiteral("Lumorra - Text editor");
    question.buttons = Buttons::YesNo;
    question.icon = Icon::Question;
    question.defaultButton = Answer::No;
    question.owner = this;
    return s_.dialogs.message(question) == Answer::Yes;
}

void EditorWindow::showFile(const QString& path, bool richText) {
    document_->setFile(path, richText);
    panel(4, richText ? QStringLiteral("RTF") : QStringLiteral("TXT"));
    panel(1, path);
    panel(3, QStringLiteral("Unchanged"));
}

QString EditorWindow::documentFilters() const {
    return DocumentFilters;
}

void EditorWindow::askToSave() {
    if (!document_->isChanged())
        return;
    for (;;) {
        const Answer answer = s_.dialogs.message(
            QStringLiteral("The files has changed\n\nDo you want to save the changes"),
            QStringLiteral("Save file?"), Buttons::YesNo, Icon::Information, std::nullopt, this);
        if (answer != Answer::Yes)
            return;
        // A save the user cancels lets the command go on; one that failed, or that was not
        // to change the file the document came from, asks again, so the text is not lost
        // without the user's word.
        if (savefile() || !document_->isChanged())
            return;
        if (lastSaveCancelled_)
            return;
    }
}

bool EditorWindow::savefile() {
    lastSaveCancelled_ = false;
    FileDialogSpec spec;
    spec.mode = FileDialogSpec::Mode::Save;
    spec.title = QStringLiteral("Save As");
    spec.filters = documentFilters();
    spec.filterIndex = document_->isRichText() ? 2 : 1;
    spec.fileName = lastFile_;
    spec.extensionFromFilter = true;
    spec.confirmOverwrite = true;
    spec.helpFile = s_.paths.helpFile();
    spec.helpTopic = 35;
    spec.owner = this;
    ignoreErrors([&] { panel(2, QStringLiteral("Saving file")); });
    bool saved = false;
    withFailureHandler(
        [&] {
            const std::optional<FileDialogResult> chosen = s_.dialogs.file(spec);
            if (!chosen || chosen->path.isEmpty()) {
                lastSaveCancelled_ = true;
                return;
            }
            lastFilter_ = chosen->filterIndex;
            lastFile_ = chosen->path;
            const bool rich = chosen->filterIndex != 1;
            const QString path = QFileInfo(chosen->path).absoluteFilePath();
            // No here is no Cancel: New, Open and closing ask "Save file?" again.
            if (!confirmLoss(path))
                return;
            try {
                saveFile(path, rich);
            } catch (...) {
                const Error e = Error::fromCurrentException();
                reportSaveFailure(path, e);
                return;
            }
            showFile(path, rich);
            saved = true;
        },
        // A dialog that fails counts as cancelled.
        [&](const Error&) { lastSaveCancelled_ = true; });
    ignoreErrors([&] { panel(2, QStringLiteral("Ready")); });
    return saved;
}

void EditorWindow::reportSaveFailure(const QString& path, const Error& e) {
    reportFailure(
        s_,
        errorRecordText(e, QStringLiteral("Text editor save"), QStringLiteral("Text editor save")),
        QStringLiteral("Unable to save the file ") + path +
            QStringLiteral(".\nPlease check that the file is not read-only and that "
                           "its directory exists. The text is still in the editor."),
        this);
}

void EditorWindow::openfile() {
    withFailureHandler(
        [&] {
            FileDialogSpec spec;
            spec.mode = FileDialogSpec::Mode::Open;
            spec.title = QStringLiteral("Open");
            spec.filters = documentFilters();
            spec.filterIndex = lastFilter_;
            spec.fileName = lastFile_;
            spec.helpFile = s_.paths.helpFile();
            spec.helpTopic = 34;
            spec.owner = this;
            panel(2, QStringLiteral("Opening file"));
            const std::optional<FileDialogResult> chosen = s_.dialogs.file(spec);
            if (!chosen || chosen->path.isEmpty())
                return;
            lastFilter_ = chosen->filterIndex;
            lastFile_ = chosen->path;
            const bool rich = chosen->filterIndex != 1;
            const QString path = QFileInfo(chosen->path).absoluteFilePath();
            loadFile(path, rich);
            showFile(path, rich);
        },
        [](const Error&) {});
    ignoreErrors([&] { panel(2, QStringLiteral("Ready")); });
}

// --- menu commands ----------------------------------------------------------------------------

void EditorWindow::mnunew_Click() {
    ignoreErrors([&] { setKeepOnTop(this, false); });
    ignoreErrors([&] { askToSave(); });
    ignoreErrors([&] { RichTextBox1->clear(); });
    ignoreErrors([&] { RichTextBox1->setCurrentCharFormat(QTextCharFormat()); });
    document_->forgetLoss();
    newDocumentState();
    regainFocus();
}

void EditorWindow::mnuopen_Click() {
    ignoreErrors([&] { setKeepOnTop(this, false); });
    ignoreErrors([&] { askToSave(); });
    ignoreErrors([&] { openfile(); });
    restoreOnTop();
    regainFocus();
}

void EditorWindow::mnusave_Click() {
    ignoreErrors([&] { panel(2, QStringLiteral("Saving file")); });
    // A question that cannot be asked saves nothing.
    const QString path = document_->path();
    bool go = false;
    if (!path.isEmpty())
        ignoreErrors([&] { go = confirmLoss(path); });
    if (path.isEmpty()) {
        ignoreErrors([&] { savefile(); });
    } else if (go) {
        try {
            saveFile(path, document_->isRichText());
            document_->markUnchanged();
            panel(3, QStringLiteral("Unchanged"));
        } catch (...) {
            // The document keeps its text and its changed mark.
            const Error e = Error::fromCurrentException();
            ignoreErrors([&] { reportSaveFailure(path, e); });
        }
    }
    ignoreErrors([&] { panel(2, QStringLiteral("Ready")); });
    regainFocus();
}

void EditorWindow::saveas_Click() {
    ignoreErrors([&] { setKeepOnTop(this, false); });
    ignoreErrors([&] { savefile(); });
    restoreOnTop();
    regainFocus();
}

void EditorWindow::mnucopy_Click() {
    ignoreErrors([&] {
        panel(2, QStringLiteral("Copying text"));
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(RichTextBox1->textCursor().selection().toPlainText());
    });
    ignoreErrors([&] { panel(2, QStringLiteral("Ready")); });
}

void EditorWindow::mnupaste_Click() {
    ignoreErrors([&] {
        panel(2, QStringLiteral("Pasting text"));
        RichTextBox1->textCursor().insertText(QGuiApplication::clipboard()->text());
    });
    ignoreErrors([&] { panel(2, QStringLiteral("Ready")); });
}

void EditorWindow::mnufind_Click() {
    ignoreErrors([&] {
        for (;;) {
            InputBoxSpec ask;
            ask.prompt = QStringLiteral("Enter a word or part of word you whish to find");
            ask.title = QStringLiteral("Find");
            ask.helpFile = s_.paths.helpFile();
            ask.helpTopic = 36;
            ask.owner = this;
            const QString answer = s_.dialogs.input(ask).value_or(QString());
            if (answer.isEmpty())
                return;
            // From the cursor to the end, letter case ignored, inside words too.
            const QTextCursor found =
                RichTextBox1->document()->find(answer, RichTextBox1->textCursor());
            if (!found.isNull()) {
                RichTextBox1->setTextCursor(found);
                RichTextBox1->ensureCursorVisible();
                return;
            }
            s_.dialogs.beep();
        }
    });
    regainFocus();
}

void EditorWindow::mnupic_Click() {
    withFailureHandler(
        [&] {
            FileDialogSpec spec;
            spec.mode = FileDialogSpec::Mode::Open;
            spec.title = QStringLiteral("Add picture...");
            spec.filters = PictureFilters;
            spec.owner = this;
            panel(2, QStringLiteral("Inserting picture"));
            const std::optional<FileDialogResult> chosen = s_.dialogs.file(spec);
            if (!chosen || chosen->path.isEmpty())
                return;
            document_->setType(EditorDocument::RichText);
            panel(4, QStringLiteral("RTF"));
            insertPictureFile(chosen->path);
        },
        [](const Error&) {});
    ignoreErrors([&] { panel(2, QStringLiteral("Ready")); });
    regainFocus();
}

void EditorWindow::insertPictureFile(const QString& path) {
    // Shown at its natural size, or smaller to fit the width of the editing area.
    const double room = std::max(160.0, RichTextBox1->viewport()->width() -
                                            2 * RichTextBox1->document()->documentMargin() - 8);
    QTextCursor cursor = RichTextBox1->textCursor();
    document_->insertPicture(cursor, path, room);
    RichTextBox1->setTextCursor(cursor);
}

void EditorWindow::helpopen_Click() {
    ignoreErrors([&] { s_.help.showTopic(s_.paths.helpFile(), 34); });
}

void EditorWindow::helpsave_Click() {
    ignoreErrors([&] { s_.help.showTopic(s_.paths.helpFile(), 35); });
}

void EditorWindow::textedit_Click() {
    ignoreErrors([&] { s_.help.showTopic(s_.paths.helpFile(), 36); });
}

// --- window events ----------------------------------------------------------------------------

void EditorWindow::RichTextBox1_Change() {
    if (!isVisible())
        return;
    document_->markChanged();
    ignoreErrors([&] { panel(3, QStringLiteral("Changed")); });
}

void EditorWindow::RichTextBox1_MouseDown(Qt::MouseButton button, const QPoint& position) {
    if (button == Qt::RightButton)
        ignoreErrors([&] { mnuedit->popup(RichTextBox1->viewport()->mapToGlobal(position)); });
}

void EditorWindow::Form_GotFocus() {
    restoreOnTop();
}

void EditorWindow::Form_Resize() {
    // Anchored to the lower right corner of the screen; the layout gives the editing area the
    // client area between the menu bar and the status bar.
    ignoreErrors([&] { moveToCorner(50, 600); });
}

void EditorWindow::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    ignoreErrors([&] { askToSave(); });
    ignoreErrors([&] {
        if (mainWindow_) {
            mainWindow_->show();
            mainWindow_->raise();
            mainWindow_->activateWindow();
        }
    });
}

void EditorWindow::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

void EditorWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Form_Resize();
}

bool EditorWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        Form_GotFocus();
    return QWidget::event(e);
}

} // namespace lumorra
