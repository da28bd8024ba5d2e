#include "SecondaryWindows.h"

#include "platform/Error.h"
#include "platform/KeepOnTop.h"

namespace lumorra {

void SecondaryWindows::setOnTop(bool onTop) const {
    for (QWidget* w : {picture.data(), animation.data(), editor.data()}) {
        ignoreErrors([&] { setKeepOnTop(w, onTop); });
    }
}

void SecondaryWindows::closeAll() const {
    for (QWidget* w : {picture.data(), animation.data(), player.data(), editor.data()}) {
        ignoreErrors([&] {
            if (w)
                w->close();
        });
    }
}

QString SecondaryWindows::documentType() const {
    if (!editor || !editorDocumentType)
        return QString();
    return editorDocumentType();
}

} // namespace lumorra
