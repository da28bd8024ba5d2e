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

namespace {

bool makeAvifSequence(const QString& path, const QStringList& colours, const QStringList& options,
                      QSize size) {
    QStringList args{QStringLiteral("--lossless"), QStringLiteral("--timescale"),
                     QStringLiteral("100"), QStringLiteral("--duration"), QStringLiteral("5")};
    // convert's options ("-loop") are no avifenc options; "--duration" comes before a frame.
    QStringList durations;
    for (int i = 0; i + 1 < options.size(); i += 2) {
        if (options[i] == QLatin1String("--duration"))
            durations << options[i + 1];
        else if (options[i].startsWith(QLatin1String("--")))
            args << options[i] << options[i + 1];
    }
    for (int i = 0; i < colours.size(); ++i) {
        if (i < durations.size())
            args << QStringLiteral("--duration") << durations[i];
        const QString frame = path + QStringLiteral(".%1.png").arg(i);
        if (QProcess::execute(QStringLiteral("convert"),
                              {QStringLiteral("-size"),
                               QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
                               QStringLiteral("xc:") + colours[i],
                               QStringLiteral("PNG24:") + frame}) != 0)
            return false;
        args << frame;
    }
    args << QStringLiteral("-o") << path;
    QProcess encoder;
    encoder.start(QStringLiteral("avifenc"), args);
    const bool ok = encoder.waitForFinished(60000) && encoder.exitCode() == 0;
    for (int i = 0; i < colours.size(); ++i)
        QFile::remove(path + QStringLiteral(".%1.png").arg(i));
    return ok && QFileInfo(path).size() > 0;
}

} // namespace

bool makeAnimation(const QString& path, const QStringList& colours, const QStringList& options,
                   QSize size) {
    if (path.endsWith(QLatin1String(".avif")))
        return makeAvifSequence(path, colours, options, size);
    if (path.endsWith(QLatin1String(".jxl"))) {
        const QString gif = path + QStringLiteral(".gif");
        QProcess encoder;
        if (makeAnimation(gif, colours, options, size))
            encoder.start(QStringLiteral("cjxl"), {gif, path});
        const bool ok = encoder.waitForFinished(60000) && encoder.exitCode() == 0;
        QFile::remove(gif);
        return ok && QFileInfo(path).size() > 0;
    }
    QStringList args{QStringLiteral("-delay"), QStringLiteral("5"), QStringLiteral("-size"),
                     QStringLiteral("%1x%2").arg(size.width()).arg(size.height())};
    for (const QString& colour : colours)
        args << QStringLiteral("xc:") + colour;
    args << options << path;
    QFile::remove(path);
    return QProcess::execute(QStringLiteral("convert"), args) == 0 && QFileInfo(path).size() > 0;
}

} // namespace lumorra::test
