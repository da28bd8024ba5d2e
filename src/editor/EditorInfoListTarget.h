#pragma once

#include "EditorWindow.h"
#include "infolist/InfoListEditor.h"

#include <QPointer>
#include <QStringList>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

namespace lumorra {

// The text editor window as the info list writes into it. Holds the window weakly: a closed
// editor takes nothing and gives empty text.
class EditorInfoListTarget : public InfoListEditor {
public:
    QPointer<EditorWindow> editor;
    QWidget* window() override { return editor; }
    QString text() const override { return editor ? editor->text() : QString(); }
    // The text runs on from the document's last character, in the editor's own font; the lines
    // after its first are plain paragraphs, outside any list, alignment or indent the last
    // paragraph has. What the document held keeps its formatting.
    void appendText(const QString& text) override {
        if (!editor)
            return;
        QTextCursor cursor(editor->RichTextBox1->document());
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
            cursor.insertText(lines[i], QTextCharFormat());
        }
        cursor.endEditBlock();
    }
    void setDocumentState(const QString& path, const QString& changed,
                          const QString& type) override {
        if (editor)
            editor->setDocumentState(path, changed, type);
    }
    void setPanelText(int panel, const QString& text) override {
        if (editor)
            editor->setPanelText(panel, text);
    }
};

} // namespace lumorra
