#include "StatusBar.h"

#include "platform/Error.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

namespace lumorra {
namespace {

void applyBevel(QLabel* label, StatusBar::Bevel bevel) {
    switch (bevel) {
    case StatusBar::Bevel::Inset:
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        break;
    case StatusBar::Bevel::Raised:
        label->setFrameStyle(QFrame::Panel | QFrame::Raised);
        break;
    case StatusBar::Bevel::Flat:
        label->setFrameStyle(QFrame::NoFrame);
        break;
    }
}

} // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent), layout_(new QHBoxLayout(this)) {
    layout_->setContentsMargins(2, 2, 2, 2);
    layout_->setSpacing(2);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

int StatusBar::addPanel(const PanelSpec& spec) {
    auto* label = new QLabel(spec.text, this);
    label->setObjectName(QStringLiteral("panel_") +
                         (spec.key.isEmpty() ? QString::number(panels_.size() + 1) : spec.key));
    label->setToolTip(spec.toolTip);
    label->setTextFormat(Qt::PlainText);
    label->setMargin(1);
    label->setMinimumWidth(spec.minimumWidth);
    // A long path must not widen the window: the stretching panel takes what is left.
    label->setSizePolicy(spec.stretch ? QSizePolicy::Ignored : QSizePolicy::Preferred,
                         QSizePolicy::Preferred);
    applyBevel(label, spec.bevel);
    label->installEventFilter(this);
    layout_->addWidget(label, spec.stretch ? 1 : 0);
    panels_.push_back(Panel{spec.key, spec.bevel, label});
    return panelCount();
}

int StatusBar::indexOf(const QString& key) const {
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        if (panels_[i].key == key)
            return static_cast<int>(i) + 1;
    }
    return 0;
}

const StatusBar::Panel& StatusBar::at(int index) const {
    if (index < 1 || index > panelCount())
        throw Error::program(errc::InvalidCall);
    return panels_[static_cast<std::size_t>(index - 1)];
}

StatusBar::Panel& StatusBar::at(int index) {
    return const_cast<Panel&>(static_cast<const StatusBar*>(this)->at(index));
}

QString StatusBar::key(int index) const {
    return at(index).key;
}
QString StatusBar::text(int index) const {
    return at(index).label->text();
}
void StatusBar::setText(int index, const QString& text) {
    at(index).label->setText(text);
}
QString StatusBar::toolTip(int index) const {
    return at(index).label->toolTip();
}
void StatusBar::setToolTip(int index, const QString& tip) {
    at(index).label->setToolTip(tip);
}
StatusBar::Bevel StatusBar::bevel(int index) const {
    return at(index).bevel;
}
QWidget* StatusBar::panelWidget(int index) const {
    return at(index).label;
}

void StatusBar::setBevel(int index, Bevel bevel) {
    Panel& p = at(index);
    p.bevel = bevel;
    applyBevel(p.label, bevel);
}

bool StatusBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
            for (std::size_t i = 0; i < panels_.size(); ++i) {
                if (panels_[i].label == watched &&
                    panels_[i].label->rect().contains(me->position().toPoint())) {
                    emit panelClicked(static_cast<int>(i) + 1, panels_[i].key);
                    return true;
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace lumorra
