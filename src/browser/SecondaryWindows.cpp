#include "SecondaryWindows.h"

#include "platform/Error.h"
#include "platform/KeepOnTop.h"

#include <algorithm>

namespace lumorra {

void SecondaryWindows::prune() {
    std::erase_if(separate_, [](const Separate& s) { return s.window.isNull(); });
}

void SecondaryWindows::addSeparate(QWidget* window, SeparateKind kind) {
    prune();
    if (window)
        separate_.push_back(Separate{window, kind});
}

std::vector<QWidget*> SecondaryWindows::separateWindows() const {
    std::vector<QWidget*> windows;
    for (const Separate& s : separate_)
        if (s.window)
            windows.push_back(s.window.data());
    return windows;
}

std::vector<QWidget*> SecondaryWindows::separateWindows(SeparateKind kind) const {
    std::vector<QWidget*> windows;
    for (const Separate& s : separate_)
        if (s.window && s.kind == kind)
            windows.push_back(s.window.data());
    return windows;
}

void SecondaryWindows::setSeparateWindowState(Qt::WindowState state) {
    for (SeparateKind kind : {SeparateKind::Picture, SeparateKind::Animation}) {
        if (separateWindows(kind).empty() && createHiddenSeparate)
            ignoreErrors([&] { addSeparate(createHiddenSeparate(kind), kind); });
    }
    // A hidden window only takes note of the state: on X11, leaving the minimised state maps
    // the native window, which would put an unpainted window on the screen that the program
    // takes for hidden and that swallows the clicks meant for the windows below it.
    for (QWidget* w : separateWindows())
        ignoreErrors([&] {
            if (w->isVisible())
                w->setWindowState(state);
            else
                w->overrideWindowState(state);
        });
}

void SecondaryWindows::setOnTop(bool onTop) const {
    std::vector<QWidget*> windows = separateWindows();
    windows.push_back(editor.data());
    for (QWidget* w : windows)
        ignoreErrors([&] { setKeepOnTop(w, onTop); });
}

void SecondaryWindows::closeAll() const {
    // Held weakly: a window that closing deletes drops out before its turn comes.
    std::vector<QPointer<QWidget>> windows;
    for (SeparateKind kind : {SeparateKind::Picture, SeparateKind::Animation})
        for (QWidget* w : separateWindows(kind))
            windows.emplace_back(w);
    windows.push_back(player);
    windows.push_back(editor);
    for (const QPointer<QWidget>& w : windows) {
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
