#include "FallbackEditorWindow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace lumorra {

FallbackEditorWindow::FallbackEditorWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("infoListWindow"));
    setWindowTitle(QStringLiteral("Text Editor"));
    area_ = new QPlainTextEdit(this);
    area_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    area_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* bar = new QHBoxLayout;
    for (QLabel*& panel : panels_) {
        panel = new QLabel(this);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(panel);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(area_, 1);
    layout->addLayout(bar);
    setFocusProxy(area_);
    resize(513, 400);
}

QString FallbackEditorWindow::text() const {
    return area_->toPlainText();
}

void FallbackEditorWindow::setText(const QString& text) {
    area_->setPlainText(text);
}

void FallbackEditorWindow::setDocumentState(const QString&, const QString&, const QString&) {}

void FallbackEditorWindow::setPanelText(int panel, const QString& text) {
    if (panel >= 1 && panel <= 4)
        panels_[panel - 1]->setText(text);
}

} // namespace lumorra
