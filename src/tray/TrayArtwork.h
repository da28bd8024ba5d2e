#pragma once

#include <QIcon>
#include <QPixmap>

namespace lumorra::tray {

// The tray companion's icon: a framed picture with a play mark, drawn at the usual tray and
// window sizes.
QPixmap drawTrayPixmap(int size);
QIcon makeTrayIcon();

} // namespace lumorra::tray
