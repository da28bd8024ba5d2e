#include "DirectoryCommands.h"

#include "DirBrowserWindow.h"
#include "MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace lumorra {

QString directoryText(const QString& listPath) {
    return listPath.endsWith(QLatin1Char('/')) ? listPath : listPath + QLatin1Char('/');
}

void useAsCopyDirectory(MainWindow& window, const QString& dirText) {
    window.Text3->setText(dirText);
    window.StatusBar1->setText(3, QStringLiteral("  ") + dirText);
}

std::optional<QString> askSubDirectoryName(Services& s, const QString& dirText, QWidget* owner) {
    InputBoxSpec prompt;
    prompt.title = QStringLiteral("Create sub directory");
    prompt.prompt = QStringLiteral("You are currently in: ") + dirText +
                    QStringLiteral("\n\nEnter new sub directory name");
    prompt.helpFile = s.paths.helpFile();
    prompt.helpTopic = 19;
    prompt.owner = owner;
    const QString answer = s.dialogs.input(prompt).value_or(QString());
    if (answer.isEmpty())
        return std::nullopt;
    return answer;
}

DirectoryCommands::DirectoryCommands(MainWindow& window)
    : QObject(&window), w_(window), s_(window.services()) {
    connect(w_.mnurenamedir, &QAction::triggered, this, &DirectoryCommands::mnurenamedir_Click);
    connect(w_.mnusession, &QAction::triggered, this, &DirectoryCommands::mnusession_Click);
    connect(w_.mnudefault, &QAction::triggered, this, &DirectoryCommands::mnudefault_Click);
    connect(w_.mnustartup, &QAction::triggered, this, &DirectoryCommands::mnustartup_Click);
    connect(w_.mnusub, &QAction::triggered, this, &DirectoryCommands::mnusub_Click);
    connect(&w_, &MainWindow::panelClicked, this, [this](const QString& key) {
        if (key == QLatin1String("copydes"))
            openDirBrowser();
    });
    // Panel 3 shows the copy directory, however the box got it.
    connect(w_.Text3, &QLineEdit::textChanged, this, [this](const QString& text) {
        ignoreErrors([&] { w_.StatusBar1->setText(3, QStringLiteral("  ") + text); });
    });
}

void DirectoryCommands::mnurenamedir_Click() {
    const QString from = w_.Dir1->path();
    QString target;
    const bool renamed = withFailureHandler(
        [&] {
            InputBoxSpec prompt;
            prompt.title = QStringLiteral("Rename directory");
            prompt.prompt = QStringLiteral("Rename: ") + from +
                            QStringLiteral("\n\nEnter name directory name (full path)");
            prompt.defaultText = from;
            prompt.owner = &w_;
            const QString answer = s_.dialogs.input(prompt).value_or(QString());
            if (answer.isEmpty())
                return;
            // The answer is a full path; a bare name stays beside the directory rather than
            // landing wherever the program happened to be started.
            target = QDir(QFileInfo(from).path()).absoluteFilePath(answer);
            // Never onto an existing directory, not even an empty one.
            renameNoReplace(from, target);
        },
        [&](const Error&) {
            target.clear();
            reportFailure(s_, QStringLiteral("Directory rename ERROR"),
                          QStringLiteral("Unabled to rename the selected directory\n\nPlease check "
                                         "that the file is valid and the directory isn't write "
                                         "protected"),
                          &w_);
        });
    // The list shows the directory under its new name.
    if (renamed && !target.isEmpty())
        ignoreErrors([&] { w_.Dir1->setPath(target); });
}

void DirectoryCommands::mnusession_Click() {
    ignoreErrors([this] { useAsCopyDirectory(w_, directoryText(w_.Dir1->path())); });
}

void DirectoryCommands::mnudefault_Click() {
    ignoreErrors(
        [this] { s_.settings.write(keys::DefaultCopyDir, directoryText(w_.Dir1->path())); });
}

void DirectoryCommands::mnustartup_Click() {
    ignoreErrors([this] { s_.settings.write(keys::StartupDir, directoryText(w_.Dir1->path())); });
}

void DirectoryCommands::mnusub_Click() {
    withFailureHandler(
        [&] {
            const QString dir = directoryText(w_.Dir1->path());
            const std::optional<QString> name = askSubDirectoryName(s_, dir, &w_);
            if (!name)
                return;
            makeDirectory(dir + *name);
            w_.Dir1->refresh();
        },
        [&](const Error& e) {
            const QString record = errorRecordText(e, QStringLiteral("SubDIR Creation"),
                                                   QStringLiteral("SubDIR Creation"));
            ignoreErrors([&] { s_.log.record(record); });
            s_.dialogs.message(QStringLiteral("Unable to create sub directory, please make sure "
                                              "that the current path is valid"),
                               record, Buttons::Ok, Icon::Critical, std::nullopt, &w_);
        });
}

void DirectoryCommands::openDirBrowser() {
    ignoreErrors([this] {
        DirBrowserWindow browser(w_, &w_);
        browser.exec();
    });
}

} // namespace lumorra
