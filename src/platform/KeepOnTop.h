#pragma once

class QWidget;

namespace lumorra {

// Switches a window's keep-on-top flag; a shown window stays shown (Qt hides a window whose
// flags change, so it is shown again).
void setKeepOnTop(QWidget* window, bool onTop);
bool keepsOnTop(const QWidget* window);

} // namespace lumorra
