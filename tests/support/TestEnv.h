#pragma once

#include <QString>
#include <QTemporaryDir>

namespace lumorra::test {

// A private home for one test program: XDG_CONFIG_HOME and XDG_STATE_HOME point into a
// temporary directory, so the settings file and the state directory are the test's own.
class TestEnv {
public:
    TestEnv();
    QString root() const { return dir_.path(); }
    QString configHome() const { return dir_.path() + QStringLiteral("/config"); }
    QString stateHome() const { return dir_.path() + QStringLiteral("/state"); }
    QString settingsFile() const;
    // A fresh empty directory inside the test's root.
    QString makeDir(const QString& name) const;

private:
    QTemporaryDir dir_;
};

// Reads a whole text file; empty when it is missing.
QByteArray readFile(const QString& path);
// Writes a whole file, creating its directory.
void writeFile(const QString& path, const QByteArray& data);
// The directory that holds the built programs and the help file.
QString binDir();

} // namespace lumorra::test
