#include "ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace lumorra {
namespace {

QString withoutTrailingSlash(QString dir) {
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

bool writableDir(const QString& dir) {
    const QByteArray local = QFile::encodeName(dir);
    return ::access(local.constData(), W_OK | X_OK) == 0;
}

} // namespace

QString ProgramPaths::helpFile() const {
    const QString beside = programDir + QStringLiteral("/lmhelp.hlp");
    if (QFileInfo::exists(beside))
        return beside;
    const QString shared =
        QDir::cleanPath(programDir + QStringLiteral("/../share/lumorra/lmhelp.hlp"));
    return QFileInfo::exists(shared) ? shared : beside;
}

QString ProgramPaths::stateDir() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/lumorra");
}

ProgramPaths ProgramPaths::forDirectory(const QString& programDir, const QString& exeName) {
    ProgramPaths p;
    p.programDir = withoutTrailingSlash(programDir);
    p.exeName = exeName;
    if (writableDir(p.programDir)) {
        p.logDir = p.programDir;
    } else {
        p.logDir = stateDir();
        QDir().mkpath(p.logDir);
    }
    return p;
}

ProgramPaths ProgramPaths::detect() {
    return forDirectory(QCoreApplication::applicationDirPath(),
                        QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

} // namespace lumorra
