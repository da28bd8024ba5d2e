#include "RegionCache.h"

#include "platform/Error.h"

#include <QtConcurrent/QtConcurrentRun>

namespace lumorra {
namespace {

// As many decodes at once as are started: one ahead and those left to finish.
constexpr int Decodes = 8;

bool tooLarge(const QRect& region) {
    return qint64(region.width()) * region.height() * 4 > RegionCache::ByteCap;
}

} // namespace

RegionCache::RegionCache() {
    pool_.setMaxThreadCount(Decodes);
    QObject::connect(&watcher_, &QFutureWatcherBase::finished, &watcher_,
                     [this] { takeAhead(QRect()); });
}

RegionCache::~RegionCache() {
    dropRegions();
    pool_.waitForDone();
}

void RegionCache::setPicture(QSize natural, Loader loader) {
    dropRegions();
    natural_ = natural;
    loader_ = std::move(loader);
}

void RegionCache::dropRegions() {
    // Neither the future nor the watcher keeps a stale region once it is decoded.
    running_ = false;
    ahead_ = QFuture<QImage>();
    watcher_.setFuture(ahead_);
    held_ = QImage();
    heldRect_ = QRect();
}

const QImage* RegionCache::regionFor(const QRect& needed, const QRect& view) {
    if (!heldRect_.contains(needed))
        takeAhead(needed);
    if (!heldRect_.contains(needed)) {
        if (!loader_)
            return nullptr;
        QRect region = around(view);
        // A grab of the whole area, say, is no view of a region.
        if (tooLarge(region))
            region = needed;
        if (tooLarge(region))
            return nullptr;
        QImage decoded;
        ignoreErrors([&] { decoded = loader_(region); });
        if (decoded.size() != region.size())
            return nullptr;
        held_ = std::move(decoded);
        heldRect_ = region;
    }
    return &held_;
}

QRect RegionCache::around(const QRect& view) const {
    // A JPEG's rows above a region are decoded to be skipped whatever its width, so more rows
    // below cost much and more columns little: a screen above and below, half a screen aside.
    const int mx = qMax(256, view.width() / 2);
    const int my = qMax(256, view.height());
    return view.adjusted(-mx, -my, mx, my) & QRect(QPoint(0, 0), natural_);
}

void RegionCache::decodeAhead(const QRect& view) {
    if (running_ || !loader_)
        return;
    const QRect picture(QPoint(0, 0), natural_);
    // Near an edge of the region held, a quarter of a screen from it, where the picture goes
    // on beyond it.
    const int qx = view.width() / 4, qy = view.height() / 4;
    const QRect held = heldRect_;
    const bool near = (view.left() - held.left() < qx && held.left() > 0) ||
                      (held.right() - view.right() < qx && held.right() < picture.right()) ||
                      (view.top() - held.top() < qy && held.top() > 0) ||
                      (held.bottom() - view.bottom() < qy && held.bottom() < picture.bottom());
    if (!near)
        return;
    const QRect region = around(view);
    if (tooLarge(region) || held.contains(region))
        return;
    aheadRect_ = region;
    running_ = true;
    ahead_ = QtConcurrent::run(&pool_, [load = loader_, region] {
        QImage decoded;
        ignoreErrors([&] { decoded = load(region); });
        return decoded;
    });
    // Taken at the next paint that needs it, or once it is there.
    watcher_.setFuture(ahead_);
}

void RegionCache::takeAhead(const QRect& needed) {
    if (!running_)
        return;
    // The watcher's word may come for a decode dropped before this one.
    if (!aheadRect_.contains(needed) && !ahead_.isFinished())
        return;
    running_ = false;
    QImage decoded = ahead_.takeResult();
    ahead_ = QFuture<QImage>();
    if (decoded.size() == aheadRect_.size()) {
        held_ = std::move(decoded);
        heldRect_ = aheadRect_;
    }
}

} // namespace lumorra
