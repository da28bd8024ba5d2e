#pragma once

#include <QString>

namespace lumorra {

// Where the program lives and where it keeps its logs.
struct ProgramPaths {
    // The directory of the running executable, without a trailing "/".
    QString programDir;
    // The executable's file name as it is ("lumorra").
    QString exeName;
    // Where "LMRunLog.txt" and "LMLog.txt" go: the program directory, or the per-user state
    // directory when the program directory is not writable (an installed copy).
    QString logDir;

    // The program directory with its trailing "/", as stored under "AppPath".
    QString appPath() const { return programDir + QLatin1Char('/'); }
    // "lmhelp.hlp" in the program directory, or in "../share/lumorra" beside it (an installed
    // copy) when the program directory has none.
    QString helpFile() const;
    QString runLogFile() const { return logDir + QStringLiteral("/LMRunLog.txt"); }
    QString programLogFile() const { return logDir + QStringLiteral("/LMLog.txt"); }

    // The paths of the running program (needs the application object).
    static ProgramPaths detect();
    // The paths for a program that lives in programDir.
    static ProgramPaths forDirectory(const QString& programDir, const QString& exeName);
    // "$XDG_STATE_HOME/lumorra", default "~/.local/state/lumorra".
    static QString stateDir();
};

} // namespace lumorra
