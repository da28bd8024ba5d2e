#include "FileListKeys.h"

#include "browser/MainWindow.h"
#include "platform/Error.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"

#include <QKeyEvent>

namespace lumorra {

FileListKeys::FileListKeys(MainWindow& window) : QObject(&window), w_(window) {
    w_.File1->installEventFilter(this);
}

bool FileListKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched == w_.File1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // A held Delete key deletes the one file it went down on, not every file after it.
        if (!(key->isAutoRepeat() && key->key() == Qt::Key_Delete))
            File1_KeyDown(key->key(), key->modifiers());
    }
    return QObject::eventFilter(watched, event);
}

void FileListKeys::File1_KeyDown(int key, Qt::KeyboardModifiers) {
    // The keypad's keys, and the main keyboard's "+" and "-" for keyboards without a keypad.
    if (key == Qt::Key_Plus)
        zoom(1.05);
    else if (key == Qt::Key_Minus)
        zoom(0.95);
    else if (key == Qt::Key_Delete && deleteSelected)
        ignoreErrors([&] { deleteSelected(); });
}

void FileListKeys::zoom(double factor) {
    PictureArea* area = w_.Image1;
    ignoreErrors([&] { w_.StatusBar1->setText(4, QStringLiteral("User")); });
    ignoreErrors([&] { area->hide(); });
    // Each press starts from the size shown, so repeated presses compound.
    ignoreErrors([&] { area->setWidthTwips(area->widthTwips() * factor); });
    ignoreErrors([&] { area->setHeightTwips(area->heightTwips() * factor); });
    ignoreErrors([&] { area->setStretch(true); });
    ignoreErrors([&] { area->show(); });
}

} // namespace lumorra
