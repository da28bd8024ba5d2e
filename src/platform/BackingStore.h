#pragma once

class QWidget;

namespace lumorra {

// The first paint of a window writes every page of its backing store for the first time, and
// the kernel makes each page on that first write: for a window of a megapixel, some milliseconds
// of the window's own thread, before anything is on the screen. This creates the window's native
// window and its backing store at its present size, and has the kernel make the pages on a
// thread of its own, without touching their contents, while the window is being shown. Call it
// on a top-level window that is about to be shown, after it has its size.
void prepareBackingStore(QWidget& window);

} // namespace lumorra
