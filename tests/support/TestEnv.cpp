#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace lumorra::test {

TestEnv::TestEnv() {
    QDir().mkpath(configHome());
    QDir().mkpath(stateHome());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_STATE_HOME", QFile::encodeName(stateHome()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
}

QString TestEnv::settingsFile() const {
    return configHome() + QStringLiteral("/Tovik Software/Lumorra.conf");
}

QString TestEnv::makeDir(const QString& name) const {
    const QString path = dir_.path() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

QString writtenFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString binDir() {
    return qEnvironmentVariable("LUMORRA_BIN_DIR");
}

bool makeAnimation(const QString& path, const QStringList& colours, const QStringList& options,
                   QSize size) {
    QStringList args{QStringLiteral("-delay"), QStringLiteral("5"), QStringLiteral("-size"),
                     QStringLiteral("%1x%2").arg(size.width()).arg(size.height())};
    for (const QString& colour : colours)
        args << QStringLiteral("xc:") + colour;
    args << options << path;
    QFile::remove(path);
    return QProcess::execute(QStringLiteral("convert"), args) == 0 && QFileInfo(path).size() > 0;
}

} // namespace lumorra::test
