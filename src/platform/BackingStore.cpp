#include "BackingStore.h"

#include <QBackingStore>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14
#endif

namespace lumorra {

void prepareBackingStore(QWidget& window) {
    if (!window.isWindow() || window.size().isEmpty())
        return;
    window.winId(); // the native window, which the backing store needs
    QBackingStore* store = window.backingStore();
    if (store == nullptr)
        return;
    store->resize(window.size()); // what the first paint would do
    QPaintDevice* device = store->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image)
        return;
    const auto* image = static_cast<const QImage*>(device);
    if (image->constBits() == nullptr || image->sizeInBytes() <= 0)
        return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(image->constBits());
    const std::uintptr_t begin = first & ~(page - 1);
    const std::uintptr_t end =
        (first + static_cast<std::uintptr_t>(image->sizeInBytes()) + page - 1) & ~(page - 1);
    // The kernel makes the pages writable as a write would, and leaves what they hold alone, so
    // the paint may begin meanwhile. Should the store be replaced first, the call fails on the
    // unmapped range or makes pages nobody writes: nothing else happens either way.
    try {
        std::thread([begin, end] {
            ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
        }).detach();
    } catch (...) {
        // Without a thread the first paint makes the pages as it always did.
    }
}

} // namespace lumorra
