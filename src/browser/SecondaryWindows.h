#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

namespace lumorra {

// The main window's registry of the modeless windows it opens: any number of separate picture
// and animation windows, the movie player and the text editor. The windows are registered when
// they open; the registry only holds weak pointers, so a closed window drops out by itself.
class SecondaryWindows {
public:
    enum class SeparateKind { Picture, Animation };

    QPointer<QWidget> player; // movie player window
    QPointer<QWidget> editor; // text editor window

    // The editor's document type ("txt", "rtf"), empty while no editor is open.
    std::function<QString()> editorDocumentType;

    // A further separate window; it stays in the registry until it is deleted.
    void addSeparate(QWidget* window, SeparateKind kind);
    // The separate windows that exist (shown or not), in the order they opened.
    std::vector<QWidget*> separateWindows() const;
    std::vector<QWidget*> separateWindows(SeparateKind kind) const;

    // Makes a separate window of the kind without showing it, for setSeparateWindowState().
    std::function<QWidget*(SeparateKind kind)> createHiddenSeparate;
    // Sets the window state (minimised or normal) of every separate window. A kind of which no
    // window exists gets one first, made hidden by createHiddenSeparate; it stays hidden.
    void setSeparateWindowState(Qt::WindowState state);

    // The keep-on-top flag of the separate windows and the editor: off while a modal window
    // of the main window is open, on again when it closes.
    void setOnTop(bool onTop) const;
    // Closes the separate picture windows, the separate animation windows, the player and the
    // editor, in this order, each with its own closing handling.
    void closeAll() const;
    QString documentType() const;

private:
    struct Separate {
        QPointer<QWidget> window;
        SeparateKind kind;
    };
    void prune();

    std::vector<Separate> separate_;
};

} // namespace lumorra
