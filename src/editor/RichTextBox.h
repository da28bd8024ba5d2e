#pragma once

#include <QTextEdit>

namespace lumorra {

// The editing area of the text editor: a rich-text edit whose Copy and Paste keys go to the
// window's menu, with the formatting keys of a rich-text control (Ctrl+B bold, Ctrl+U
// underline, Ctrl+L, Ctrl+E, Ctrl+R, Ctrl+J alignment).
class RichTextBox : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget* parent = nullptr);

signals:
    // A mouse button went down in the editing area, at a position of the viewport.
    void mouseDown(Qt::MouseButton button, const QPoint& position);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

} // namespace lumorra
