#pragma once

#include "EditorDocument.h"
#include "RichTextBox.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QAction;
class QMenu;
class QMenuBar;

namespace lumorra {

class SecondaryWindows;
class StatusBar;
struct Error;
struct Services;

// "Text Editor", Form6: a small editor for plain-text and rich-text documents, with a status
// bar of four panels (file, editor status, file status, file type). One exists at a time; the
// main window's "Open text editor" opens it as a new document, the info list appends to it.
class EditorWindow : public QWidget {
    Q_OBJECT
public:
    EditorWindow(Services& services, QWidget* mainWindow = nullptr);
    ~EditorWindow() override;

    // The editor registered in the main window's registry, created hidden (with an empty
    // editing area) when there is none yet.
    static EditorWindow* ensure(Services& services, SecondaryWindows& registry,
                                QWidget* mainWindow);

    QMenuBar* menuBar;
    QMenu* mnufile;
    QAction* mnunew;
    QAction* mnuopen;
    QAction* mnusave;
    QAction* saveas;
    QMenu* mnuedit;
    QAction* mnucopy;
    QAction* mnupaste;
    QAction* mnufind;
    QAction* mnupic;
    QMenu* mnuhelp;
    QAction* helpopen;
    QAction* helpsave;
    QAction* textedit;
    RichTextBox* RichTextBox1;
    StatusBar* StatusBar1;

    // The document state: path (empty for a new document), changed mark ("1" or empty) and
    // type ("txt" or "rtf"; empty until the editor is first opened).
    QString documentPath() const { return document_->path(); }
    QString changedMark() const { return document_->changedMark(); }
    QString documentType() const { return document_->type(); }

    // The plain text of the editing area; replacing it with plain text (an edit like any
    // other); setting the document state as it is given; setting a status bar panel (1 to 4)
    // to exactly the given text.
    QString text() const;
    void setText(const QString& text);
    // For the info list: appends plain text at the end, in the editor's own font and a plain
    // paragraph of its own (the last one when that is empty), keeping the text before it with
    // its formatting, tables, lists and pictures (an edit like any other).
    void appendText(const QString& text);
    void setDocumentState(const QString& path, const QString& changed, const QString& type);
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;

    // Places the window near the lower right corner of the screen (700 twips above the bottom,
    // 100 twips from the right edge).
    void placeAtCorner();

    // "Open text editor" of the main window: a new, untitled plain-text document (the text of
    // an open editor stays), placed, shown and focused.
    void openAsNew();

    // Reads a file into the editing area as plain text or as rich text, the cursor at the
    // start; writes the editing area to a file as plain text or rich text (see EditorDocument).
    // Both throw Error.
    void loadFile(const QString& path, bool richText);
    void saveFile(const QString& path, bool richText);
    // Embeds a picture file at the cursor (PNG and JPEG as they are, other pictures as PNG).
    // Throws Error for a file that is no picture.
    void insertPictureFile(const QString& path);

    void mnunew_Click();
    void mnuopen_Click();
    void mnusave_Click();
    void saveas_Click();
    void mnucopy_Click();
    void mnupaste_Click();
    void mnufind_Click();
    void mnupic_Click();
    void helpopen_Click();
    void helpsave_Click();
    void textedit_Click();
    void Form_GotFocus();
    void Form_Resize();
    void Form_Unload();
    void RichTextBox1_Change();
    void RichTextBox1_MouseDown(Qt::MouseButton button, const QPoint& position);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The parts of the window, built in this order.
    void buildMenus();
    QMenu* addMenu(const char* name, const QString& title);
    QAction* addItem(QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& key = QKeySequence());
    void buildEditingArea();
    void buildStatusBar();
    void layOut();
    void connectHandlers();

    // Sets a panel to a text followed by two spaces.
    void panel(int index, const QString& text);
    void newDocumentState();
    // After a read or a write: the document is this file, and the panels say so.
    void showFile(const QString& path, bool richText);
    void askToSave();
    // Ask for a file name and save (Save As); true when the document was written.
    bool savefile();
    // Before a save over the file the document was read from, when the read dropped what the
    // editor cannot hold or did not read the file exactly: asks whether to save all the same.
    // True to go on.
    bool confirmLoss(const QString& path);
    void reportSaveFailure(const QString& path, const Error& e);
    void openfile();
    void restoreOnTop();
    void regainFocus();
    // Moves the window so that its right and bottom edges keep these distances (in twips) from
    // the screen's.
    void moveToCorner(double rightTwips, double bottomTwips);
    QString documentFilters() const;
    int pixelsX(double twips) const;
    int pixelsY(double twips) const;

    Services& s_;
    QPointer<QWidget> mainWindow_;
    std::unique_ptr<EditorDocument> document_;
    // The filter last chosen in the document dialogs, kept while the window is open.
    int lastFilter_ = 1;
    // The file last chosen there: the next dialog starts in its directory.
    QString lastFile_;
    bool lastSaveCancelled_ = false;
    bool unloaded_ = false;
};

} // namespace lumorra
