#include "FileOperations.h"

#include "browser/MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "movie/MovieControl.h"
#include "picture/ShownPicture.h"
#include "picture/colour/Colour.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "platform/Trash.h"
#include "ui/PictureArea.h"

#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>

#include <cerrno>

namespace lumorra {
namespace {

const QString DeleteMessage =
    QStringLiteral("An error accured while trying to delete the seleted file, please make sure "
                   "the path and file is not corrupted");
const QString RenameMessage =
    QStringLiteral("Unable to rename the selected file, the file or path may be corrupted");
const QString PictureFilters = QStringLiteral(
    "Picture files (*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.emf;*.ico)|*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;"
    "*.emf;*.ico|BMP Picture (*.bmp)|*.bmp");
const QString AnimationFilters =
    QStringLiteral("Animation files (*.avi;*.mpg;*.mpeg;*.mov)|*.avi;*.mpg;*.mpeg;*.mov");

// A refusal: the operation stops on the failure path with no error of the file system.
[[noreturn]] void refuse() {
    throw Error{};
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Whether something (a file, a directory, a dangling link) has this name.
bool occupied(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool askOverwrite(Dialogs& dialogs, QWidget* owner) {
    return dialogs.message(QStringLiteral("File allready exist\n\nDo you want overwrite the file?"),
                           QStringLiteral("Overwrite file?"), Buttons::YesNo, Icon::Exclamation,
                           std::nullopt, owner) == Answer::Yes;
}

} // namespace

FileOperations::FileOperations(MainWindow& window, Services& services)
    : QObject(&window), w_(window), s_(services) {}

QString FileOperations::extensionOf(const QString& path) {
    const QString name = fileNameOf(path);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1, 4);
}

void FileOperations::Command2_Click() {
    transfer(Transfer::Copy);
}

void FileOperations::Command7_Click() {
    transfer(Transfer::Move);
}

void FileOperations::transfer(Transfer kind) {
    const bool move = kind == Transfer::Move;
    // Set once the copy is complete: a failure after that keeps both files.
    bool copied = false;
    withFailureHandler(
        [&] {
            const QString source = w_.currentFile();
            if (move && s_.settings.read(keys::MoveConfirmation) == QLatin1String("1")) {
                const Answer a = s_.dialogs.message(
                    QStringLiteral("Are you sure you want to move the following file:\n\n") +
                        source,
                    QStringLiteral("Move file?"), Buttons::YesNo, Icon::Exclamation, std::nullopt,
                    &w_);
                if (a != Answer::Yes)
                    return;
            }
            // The source must be there before anything at the destination is touched.
            fileLength(source);
            const QString name = w_.File1->fileName();
            const QString dir = w_.copyDir();
            // Without a copy directory the file would go where the user cannot see it, and
            // without a selected name the destination would be the directory itself; a name
            // that is not the shown file's would give the copy a wrong name.
            if (dir.isEmpty() || name.isEmpty() || name != fileNameOf(source))
                refuse();
            const QString destination = joinPath(dir, name);
            w_.Label4->setText(destination);
            // The copy directory is the file's own directory: there is nothing to copy to.
            if (sameFile(source, destination))
                refuse();

            const QString found = lookUpFile(destination);
            // The file being replaced goes only once the copy is complete, so that nothing is
            // lost when the copy fails or the program is ended half way. Under the same name
            // the copy takes its place in one step; under another spelling it goes after.
            ExistingTarget existing = ExistingTarget::Refuse;
            QString replaced;
            if (!found.isEmpty() && found.toLower() == name.toLower()) {
                replaced = joinPath(QFileInfo(destination).path(), found);
                if (sameFile(source, replaced))
                    refuse();
                if (!askOverwrite(s_.dialogs, &w_))
                    return;
                setFileAttributes(replaced, attr::Archive);
                if (found == name) {
                    existing = ExistingTarget::Replace;
                    replaced.clear();
                }
            }

            const qint64 size = copyFile(source, destination, existing);
            if (!replaced.isEmpty())
                deleteFile(replaced);
            if (lookUpFile(destination) != name || fileLength(destination) != size)
                refuse();
            copied = true;
            if (!move) {
                w_.Command2->setEnabled(false);
                w_.Command2->setText(QStringLiteral("File Copied"));
                return;
            }

            setFileAttributes(source, attr::Archive);
            deleteFile(source);
            copied = false;
            w_.File1->removed(source);
            w_.updateFileCount();
            w_.Command7->setEnabled(false);
            w_.Command7->setText(QStringLiteral("File Moved"));
        },
        [&](const Error& e) { reportTransferFailure(kind, e, move && copied); });
}

void FileOperations::reportTransferFailure(Transfer kind, const Error& e, bool sourceKept) {
    const bool move = kind == Transfer::Move;
    const QString record =
        move ? errorRecordText(e, QStringLiteral("File Move"), QStringLiteral("File move"))
             : errorRecordText(e, QStringLiteral("File Copy"), QStringLiteral("File copy"));
    QString message = move ? QStringLiteral("Unable to move the selected file, the file/path may "
                                            "be corrupted")
                           : QStringLiteral("Unable to copy the selected file, the file/path may "
                                            "be corrupted");
    message += QStringLiteral("\nPlease select another file or check the destination path");
    if (sourceKept)
        message += QStringLiteral("\n\nThe file was copied to the destination directory, but "
                                  "the original could not be deleted: both files are kept.");
    lumorra::reportFailure(s_, record, message, &w_);
}

void FileOperations::reportOperationFailure(Reporting reporting, const Error& e,
                                            const QString& unknownArea, const QString& numberedArea,
                                            const QString& message, QWidget* owner) {
    if (reporting == Reporting::Logged) {
        lumorra::reportFailure(s_, errorRecordText(e, unknownArea, numberedArea), message, owner);
        return;
    }
    ignoreErrors([&] { s_.dialogs.beep(); });
    const QString title = e.description.isEmpty()
                              ? QStringLiteral("Unknown ") + unknownArea + QStringLiteral(" ERROR")
                              : QStringLiteral("ERROR ") + QString::number(e.number) +
                                    QStringLiteral(" (") + e.description + QLatin1Char(')');
    ignoreErrors([&] {
        s_.dialogs.message(message, title, Buttons::Ok, Icon::Critical, std::nullopt, owner);
    });
}

void FileOperations::mnudelete_Click() {
    deleteCurrentFile(Reporting::Logged, &w_);
}

bool FileOperations::deleteCurrentFile(Reporting reporting, QWidget* owner) {
    bool deleted = false;
    withFailureHandler(
        [&] {
            const QString path = w_.currentFile();
            if (s_.settings.read(keys::DelConfirmation) == QLatin1String("1")) {
                const Answer a = s_.dialogs.message(
                    QStringLiteral("Are you sure you want to delete the following file:\n\n") +
                        path,
                    QStringLiteral("Delete file?"), Buttons::YesNo, Icon::Exclamation, std::nullopt,
                    owner);
                if (a != Answer::Yes)
                    return;
            }
            const int index = w_.File1->listIndex();
            // A movie being shown lets go of its file.
            w_.AM1->setFileName(QString());
            setFileAttributes(path, attr::Archive);
            // To the Trash, from where a file manager restores it; for good only where the
            // file's volume has no Trash that takes it.
            if (!moveToTrash(path, homeTrashDirectory()))
                deleteFile(path);
            deleted = true;
            w_.File1->removed(path);
            w_.updateFileCount();
            w_.Label7->setText(QStringLiteral("Current: "));
            // The entry that followed the deleted one; none after the last.
            if (index < w_.File1->count())
                w_.File1->setListIndex(index);
        },
        [&](const Error& e) {
            reportOperationFailure(reporting, e, QStringLiteral("File Delete"),
                                   QStringLiteral("File delete"), DeleteMessage, owner);
        });
    return deleted;
}

void FileOperations::mnurename_Click() {
    renameCurrentFile(Reporting::Logged, &w_);
}

bool FileOperations::renameCurrentFile(Reporting reporting, QWidget* owner) {
    bool renamed = false;
    withFailureHandler(
        [&] {
            const QString path = w_.currentFile();
            const QString name = fileNameOf(path);
            InputBoxSpec prompt;
            prompt.prompt =
                QStringLiteral("Rename: ") + name + QStringLiteral("\n\nEnter new name");
            prompt.title = QStringLiteral("Rename file");
            prompt.defaultText = name;
            prompt.helpFile = s_.paths.helpFile();
            prompt.helpTopic = 9;
            if (reporting == Reporting::Logged)
                prompt.position = w_.File1->mapToGlobal(QPoint(0, 0));
            prompt.owner = owner;
            const QString answer = s_.dialogs.input(prompt).value_or(QString());
            if (answer.isEmpty())
                return;
            if (path.isEmpty())
                throw Error::fromErrno(ENOENT);
            // A new name, not a new place: the file stays in its own directory.
            if (answer.contains(QLatin1Char('/')))
                throw Error::fromErrno(EINVAL);
            QString newName = answer;
            if (!answer.contains(QLatin1Char('.'))) {
                const QString ext = extensionOf(path);
                if (!ext.isEmpty())
                    newName += QLatin1Char('.') + ext;
            }
            setFileAttributes(path, attr::Archive);
            renameNoReplace(path, joinPath(QFileInfo(path).path(), newName));
            renamed = true;
            w_.File1->refresh();
        },
        [&](const Error& e) {
            reportOperationFailure(reporting, e, QStringLiteral("File Rename"),
                                   QStringLiteral("File rename"), RenameMessage, owner);
        });
    return renamed;
}

void FileOperations::saveas_Click() {
    // Save As reports nothing: a cancel, a refusal and a failure all end quietly.
    ignoreErrors([&] {
        FileDialogSpec spec;
        spec.mode = FileDialogSpec::Mode::Save;
        spec.title = QStringLiteral("Save As");
        spec.confirmOverwrite = true;
        spec.helpFile = s_.paths.helpFile();
        spec.helpTopic = 10;
        spec.owner = &w_;
        const bool picture = w_.Label2->text() == QLatin1String("pic");
        if (picture) {
            spec.filters = PictureFilters;
        } else {
            saveExtension_ = QStringLiteral(".avi");
            spec.filters = AnimationFilters;
        }
        spec.defaultExtension = saveExtension_;
        spec.filterIndex = saveFilterIndex_;
        // The dialog opens where the last Save As went, at first in the current file's
        // directory, with an empty name.
        const QString start =
            saveDirectory_.isEmpty() ? QFileInfo(w_.currentFile()).path() : saveDirectory_;
        if (QFileInfo(start).isAbsolute())
            spec.fileName = joinPath(start, QString());
        const std::optional<FileDialogResult> chosen = s_.dialogs.file(spec);
        if (!chosen || chosen->path.isEmpty())
            return;
        saveDirectory_ = QFileInfo(chosen->path).path();
        saveFilterIndex_ = chosen->filterIndex;
        if (picture && chosen->filterIndex == 2) {
            // From the next Save As on, a name without an extension gets ".bmp".
            saveExtension_ = QStringLiteral(".bmp");
            savePicture(chosen->path);
        } else {
            saveCopy(chosen->path);
        }
    });
    listChanged();
}

void FileOperations::savePicture(const QString& target) {
    if (sameFile(target, w_.currentFile()))
        refuse();
    // The picture read last from a file, as the picture area shows it while it does (the frame
    // shown of an animation); in full, decoded for the copy alone unless the area has it so.
    const std::shared_ptr<const ShownPicture>& held = w_.shownPicture;
    QImage picture;
    if (held)
        picture = w_.Image1->shownPicture() == held ? w_.Image1->fullPicture() : held->full();
    // A BMP carries no profile: sRGB pixels.
    const QImage image = s_.colour.screenToSrgb(picture);
    if (image.isNull())
        throw Error::program(errc::InvalidPicture);
    // Written under a temporary name and renamed into place when complete; the dialog has
    // asked before an existing file is replaced.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        throw Error{errc::PathAccess, file.errorString()};
    if (!image.save(&file, "BMP")) {
        file.cancelWriting();
        throw Error::program(errc::PathAccess);
    }
    if (!file.commit())
        throw Error{errc::PathAccess, file.errorString()};
}

void FileOperations::saveCopy(const QString& chosen) {
    const QString current = w_.currentFile();
    const QFileInfo chosenInfo(chosen);
    const QString chosenName = chosenInfo.fileName();
    // The copy keeps the current file's format, so its extension replaces the one typed.
    const qsizetype dot = chosenName.indexOf(QLatin1Char('.'));
    if (dot <= 0)
        return;
    const QString ext = extensionOf(current);
    const QString target =
        joinPath(chosenInfo.path(),
                 chosenName.left(dot) + (ext.isEmpty() ? QString() : QLatin1Char('.') + ext));
    fileLength(current);
    if (sameFile(target, current))
        refuse();
    if (!occupied(target)) {
        copyFile(current, target);
        return;
    }
    if (!QFileInfo(target).isFile())
        throw Error::fromErrno(EEXIST);
    // The dialog asked about the name the user chose; a file under the name the copy really
    // takes is not replaced without asking.
    if (target != chosen && !askOverwrite(s_.dialogs, &w_))
        return;
    // The new copy takes the old file's place in one step once it is complete.
    setFileAttributes(target, attr::Archive);
    copyFile(current, target, ExistingTarget::Replace);
}

void FileOperations::listChanged() {
    ignoreErrors([&] { w_.File1->refresh(); });
    ignoreErrors([&] { w_.updateFileCount(); });
    ignoreErrors([&] { w_.Label7->setText(QStringLiteral("Current: ")); });
}

} // namespace lumorra
