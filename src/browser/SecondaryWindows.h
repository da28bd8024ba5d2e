#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace lumorra {

// The main window's registry of the modeless windows it opens: the separate picture and
// animation windows, the movie player and the text editor. The windows register themselves
// when they open; the registry only holds weak pointers.
class SecondaryWindows {
public:
    QPointer<QWidget> picture;   // separate picture window
    QPointer<QWidget> animation; // separate animation window
    QPointer<QWidget> player;    // movie player window
    QPointer<QWidget> editor;    // text editor window

    // The editor's document type ("txt", "rtf"), empty while no editor is open.
    std::function<QString()> editorDocumentType;

    // The keep-on-top flag of the separate windows and the editor: off while a modal window
    // of the main window is open, on again when it closes.
    void setOnTop(bool onTop) const;
    // Closes the separate picture, separate animation, player and editor windows, in this
    // order, each with its own closing handling.
    void closeAll() const;
    QString documentType() const;
};

} // namespace lumorra
