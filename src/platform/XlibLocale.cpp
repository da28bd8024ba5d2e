#include "XlibLocale.h"

#include <X11/Xlib.h>
#include <clocale>

namespace lumorra {

void prepareXlibForThreads() {
    (void)XInitThreads();
    (void)std::setlocale(LC_ALL, "");
}

void loadXlibLocale() {
    // Xlib keeps the locale's data once read, for every display of the process.
    (void)XSupportsLocale();
}

} // namespace lumorra
