#pragma once

#include <QString>

class QWidget;

namespace lumorra {

// What the info list needs of the text editor window: its editing area's plain text, its
// document state and its four status bar panels. The editor window implements it.
class InfoListEditor {
public:
    virtual ~InfoListEditor() = default;
    // The editor's top-level window.
    virtual QWidget* window() = 0;
    // The editing area's plain text, lines separated by "\n".
    virtual QString text() const = 0;
    // Appends plain text after what the document holds, which keeps its formatting.
    virtual void appendText(const QString& text) = 0;
    // The document path (empty for an untitled document), the changed mark ("1" or empty) and
    // the document type ("txt" or "rtf").
    virtual void setDocumentState(const QString& path, const QString& changed,
                                  const QString& type) = 0;
    // A status bar panel's text, 1 to 4, shown as given.
    virtual void setPanelText(int panel, const QString& text) = 0;
};

} // namespace lumorra
