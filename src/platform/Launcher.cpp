#include "Launcher.h"

#include "Error.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <unistd.h>

namespace lumorra {

void ProcessLauncher::start(const QString& program, const QStringList& args, LaunchFocus) {
    // The window system decides about focus on Linux; the flag is kept for the callers' intent.
    const QFileInfo info(program);
    if (program.isEmpty() || !info.exists())
        throw Error::fromErrno(ENOENT);
    if (info.isDir())
        throw Error::fromErrno(EISDIR);
    const QByteArray local = QFile::encodeName(info.absoluteFilePath());
    if (::access(local.constData(), X_OK) != 0)
        throw Error::fromErrno(errno);
    QProcess process;
    process.setProgram(info.absoluteFilePath());
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        throw Error{errc::PathAccess, process.errorString()};
}

bool ProcessLauncher::startDisplaySettings() {
    struct Tool {
        const char* program;
        QStringList args;
    };
    const Tool tools[] = {
        {"gnome-control-center", {QStringLiteral("display")}},
        {"systemsettings", {QStringLiteral("kcm_kscreen")}},
        {"xfce4-display-settings", {}},
        {"cinnamon-settings", {QStringLiteral("display")}},
        {"mate-display-properties", {}},
        {"lxqt-config-monitor", {}},
        {"lxrandr", {}},
        {"arandr", {}},
    };
    for (const Tool& t : tools) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(t.program));
        if (!path.isEmpty()) {
            start(path, t.args, LaunchFocus::Focused);
            return true;
        }
    }
    return false;
}

void ProcessLauncher::openDocument(const QString& path) {
    if (!QFileInfo::exists(path))
        throw Error::fromErrno(ENOENT);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())))
        throw Error{errc::PathAccess,
                    QStringLiteral("No application is registered to open this file")};
}

} // namespace lumorra
