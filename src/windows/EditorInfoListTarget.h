#pragma once

#include "infolist/InfoListEditor.h"
#include "windows/EditorWindow.h"

#include <QPointer>

namespace lumorra {

// The text editor window as the info list writes into it. Holds the window weakly: a closed
// editor takes nothing and gives empty text.
class EditorInfoListTarget : public InfoListEditor {
public:
    QPointer<EditorWindow> editor;
    QWidget* window() override { return editor; }
    QString text() const override { return editor ? editor->text() : QString(); }
    void appendText(const QString& text) override {
        if (editor)
            editor->appendText(text);
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
