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
    int index = indexOf(*window.File1, name);
    if (index < 0) {
        switchMode(window);
        index = indexOf(*window.File1, name);
        if (index < 0) {
            // Neither mode lists it: stay in the mode the user had.
            switchMode(window);
            return;
        }
    }
    window.File1->setListIndex(index);
}

} // namespace lumorra
