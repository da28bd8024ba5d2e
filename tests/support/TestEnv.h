#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace lumorra::test {

// A private home for one test program: XDG_CONFIG_HOME, XDG_STATE_HOME and XDG_DATA_HOME point
// into a temporary directory, so the settings file, the state directory and the Trash are the
// test's own.
class TestEnv {
public:
    TestEnv();
    QString root() const { return dir_.path(); }
    QString configHome() const { return dir_.path() + QStringLiteral("/config"); }
    QString stateHome() const { return dir_.path() + QStringLiteral("/state"); }
    // Not made beforehand: the first delete makes its Trash there.
    QString dataHome() const { return dir_.path() + QStringLiteral("/data"); }
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
// Writes a whole file and returns its path; ends the test program when it cannot.
QString writtenFile(const QString& path, const QByteArray& data);
// The directory that holds the built programs and the help file.
QString binDir();
// Writes an animation with ImageMagick's convert: one frame of `size` filled with each colour,
// 50 ms a frame, then the options ("-loop", "0"), in the format the name's extension gives.
// An animated JPEG XL is encoded from such a GIF by cjxl; an AVIF sequence by avifenc, without
// loss, from the frames as PNG, 50 ms each or as `options` say ("--duration", "10": the next
// frame's, in hundredths of a second; avifenc's own, "--cicp", ...). False when the tools cannot write it here.
bool makeAnimation(const QString& path, const QStringList& colours,
                   const QStringList& options = {QStringLiteral("-loop"), QStringLiteral("0")},
                   QSize size = QSize(40, 30));

} // namespace lumorra::test
