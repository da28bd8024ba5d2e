#include "StartPath.h"

#include "MainWindow.h"
#include "platform/Error.h"

#include <QFileInfo>
#include <QLabel>

#include <cerrno>

namespace lumorra {
namespace {

int indexOf(const FileList& list, const QString& name) {
    for (int i = 0; i < list.count(); ++i) {
        if (list.item(i) == name)
            return i;
    }
    return -1;
}

void switchMode(MainWindow& window) {
    if (window.Label2->text() == QLatin1String("pic"))
        window.setAnimationMode();
    else
        window.setPictureMode();
    window.updateFileCount();
}

// The movie types the movie control plays, by extension: those of the desktop entry's video
// types and the common containers. Every other file is taken for a picture: the picture
// loader reads the many picture types by their content, and a file it cannot read gets the
// picture load message like any broken picture.
bool isMovieName(const QString& name) {
    static const QStringList movies = {
        QStringLiteral("avi"),  QStringLiteral("divx"), QStringLiteral("mpg"),
        QStringLiteral("mpeg"), QStringLiteral("mpe"),  QStringLiteral("m1v"),
        QStringLiteral("m2v"),  QStringLiteral("vob"),  QStringLiteral("mov"),
        QStringLiteral("qt"),   QStringLiteral("mp4"),  QStringLiteral("m4v"),
        QStringLiteral("mkv"),  QStringLiteral("webm"), QStringLiteral("wmv"),
        QStringLiteral("asf"),  QStringLiteral("flv"),  QStringLiteral("ogv"),
        QStringLiteral("3gp"),  QStringLiteral("viv"),  QStringLiteral("vivo")};
    return movies.contains(QFileInfo(name).suffix(), Qt::CaseInsensitive);
}

// The pattern that lists the file: "*." and its extension as the name spells it, or
// the whole name when it has none. The characters a pattern cannot hold as they are
// (";" splits, spaces at the ends fall away) are left to "?".
QString specFor(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString spec = dot > 0 && dot + 1 < name.size() ? QLatin1Char('*') + name.mid(dot) : name;
    for (QChar& c : spec) {
        if (c == QLatin1Char(';') || c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return spec;
}

// A file that neither mode's pattern lists: the mode that shows it lists it too, for this run
// only (the stored patterns stay). Returns its index, or -1 with the list back in the mode the
// user had and its stored pattern when the list leaves the file out anyway (a hidden file).
int listForThisRun(MainWindow& window, const QString& name, const QString& userMode) {
    const QLatin1String fitting(isMovieName(name) ? "avi" : "pic");
    if (window.Label2->text() != fitting)
        switchMode(window);
    const QString stored = window.File1->pattern();
    window.File1->setPattern(stored + QLatin1Char(';') + specFor(name));
    window.updateFileCount();
    const int index = indexOf(*window.File1, name);
    if (index >= 0)
        return index;
    if (window.Label2->text() != userMode) {
        switchMode(window);
    } else {
        window.File1->setPattern(stored);
        window.updateFileCount();
    }
    return -1;
}

} // namespace

void openStartPath(MainWindow& window, const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw Error::fromErrno(ENOENT);
    const QString dir = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    window.setDriveFromPath(dir);
    window.setDirPath(dir);
    if (info.isDir())
        return;
    const QString name = info.fileName();
    const QString userMode = window.Label2->text();
    int index = indexOf(*window.File1, name);
    if (index < 0) {
        switchMode(window);
        index = indexOf(*window.File1, name);
    }
    if (index < 0)
        index = listForThisRun(window, name, userMode);
    if (index < 0)
        return;
    window.File1->setListIndex(index);
}

} // namespace lumorra
