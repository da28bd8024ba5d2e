#pragma once

#include "InfoListEditor.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace lumorra {

// A plain window that holds the info list until the text editor window takes the list: an
// editing area and four panels, nothing more. It can be read, edited and closed, not saved.
class FallbackEditorWindow : public QWidget, public InfoListEditor {
    Q_OBJECT
public:
    explicit FallbackEditorWindow(QWidget* parent = nullptr);

    QWidget* window() override { return this; }
    QString text() const override;
    void setText(const QString& text) override;
    void setDocumentState(const QString& path, const QString& changed,
                          const QString& type) override;
    void setPanelText(int panel, const QString& text) override;

private:
    QPlainTextEdit* area_;
    QLabel* panels_[4];
};

} // namespace lumorra
