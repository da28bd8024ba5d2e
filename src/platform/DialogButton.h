#pragma once

#include <QPushButton>
#include <QString>

namespace lumorra {

// A push button of a dialog window carrying its control name as its object name. Return does
// not press it unless the window makes it the default button.
inline QPushButton* dialogButton(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace lumorra
