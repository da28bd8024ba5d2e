#include "RichTextBox.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace lumorra {

RichTextBox::RichTextBox(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(true);
}

bool RichTextBox::event(QEvent* e) {
    // Copy and Paste are the menu's, not the edit's own.
    if (e->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste)) {
            e->ignore();
            return false;
        }
    }
    return QTextEdit::event(e);
}

void RichTextBox::keyPressEvent(QKeyEvent* e) {
    if (e->modifiers() == Qt::ControlModifier && !isReadOnly()) {
        QTextCharFormat format;
        switch (e->key()) {
        case Qt::Key_B:
            format.setFontWeight(fontWeight() >= QFont::DemiBold ? QFont::Normal : QFont::Bold);
            mergeCurrentCharFormat(format);
            return;
        case Qt::Key_U:
            format.setFontUnderline(!fontUnderline());
            mergeCurrentCharFormat(format);
            return;
        case Qt::Key_L:
            setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
            return;
        case Qt::Key_E:
            setAlignment(Qt::AlignHCenter);
            return;
        case Qt::Key_R:
            setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
            return;
        case Qt::Key_J:
            setAlignment(Qt::AlignJustify);
            return;
        default:
            break;
        }
    }
    QTextEdit::keyPressEvent(e);
}

void RichTextBox::mousePressEvent(QMouseEvent* e) {
    QTextEdit::mousePressEvent(e);
    emit mouseDown(e->button(), e->position().toPoint());
}

void RichTextBox::contextMenuEvent(QContextMenuEvent* e) {
    // The right button opens the window's own "Edit" menu.
    e->accept();
}

} // namespace lumorra
