#pragma once

namespace lumorra {

// Xlib reads its data of the user's locale the first time a window's title is set, which Qt does
// while it makes the application object, on the window's thread. These two let another thread
// read it before.
//
// Call this first, while the process has no other thread: it tells Xlib that threads use it (as
// Qt does, later) and takes the user's locale (as Qt's application object does, later).
void prepareXlibForThreads();
// Reads Xlib's data of the locale; call it on a thread of its own after prepareXlibForThreads().
void loadXlibLocale();

} // namespace lumorra
