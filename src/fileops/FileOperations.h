#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace lumorra {

class MainWindow;
struct Error;
struct Services;

// The operations on the current file: copy and move to the copy directory, delete, rename and
// save as. The delete and the rename are one routine each, shared by the main window's menu,
// the file list's Delete key and the File Information window.
class FileOperations : public QObject {
    Q_OBJECT
public:
    FileOperations(MainWindow& window, Services& services);

    // How a failure of the delete or the rename is reported.
    enum class Reporting {
        // The main window: a program log record, and the record as the message's title.
        Logged,
        // The File Information window: no record, "ERROR n (description)" as the title.
        Window,
    };

    // "&File Copy" and "File &Move".
    void Command2_Click();
    void Command7_Click();
    // The file menu's "&Delete", "&Rename" and "&Save As...".
    void mnudelete_Click();
    void mnurename_Click();
    void saveas_Click();

    // Deletes the current file (after the question when "DelConfirmation" is "1"): moves it to
    // the Trash, or deletes it for good where its volume has no Trash that takes it. Then
    // re-reads the file list and selects the entry that followed it. Returns whether it went.
    bool deleteCurrentFile(Reporting reporting, QWidget* owner);
    // Asks for a new name and renames the current file in its own directory, never replacing
    // an existing file. Returns whether it was renamed.
    bool renameCurrentFile(Reporting reporting, QWidget* owner);

    // The Save dialog's default extension (with its dot), kept from one Save As to the next.
    QString saveDefaultExtension() const { return saveExtension_; }

    // The extension of a file: the text after the first "." of its name, at most four
    // characters; empty when the name has no ".".
    static QString extensionOf(const QString& path);

private:
    enum class Transfer { Copy, Move };
    void transfer(Transfer kind);
    void reportTransferFailure(Transfer kind, const Error& e, bool sourceKept);
    void reportOperationFailure(Reporting reporting, const Error& e, const QString& unknownArea,
                                const QString& numberedArea, const QString& message,
                                QWidget* owner);
    void savePicture(const QString& target);
    void saveCopy(const QString& chosen);
    void listChanged();

    MainWindow& w_;
    Services& s_;
    QString saveExtension_;
    int saveFilterIndex_ = 1; // the filter chosen in the last Save As
    QString saveDirectory_;
};

} // namespace lumorra
