#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QImage>
#include <QRect>
#include <QThreadPool>

#include <functional>

namespace lumorra {

// The regions of a large picture decoded at full size, for a view that shows it larger than
// the reduced image held: the region decoded last, kept for the next paints, and the one
// decoded ahead on a thread while the view nears the edge of the one held. Rectangles are in
// the picture's natural pixels.
class RegionCache {
public:
    // Decodes a rectangle of the picture at full size; called on other threads too.
    using Loader = std::function<QImage(QRect)>;
    // The largest region decoded: a few screens' worth.
    static constexpr qint64 ByteCap = qint64(128) << 20;

    RegionCache();
    // Waits for every decode started, those left to finish too: a loader may use what outlives
    // the cache's owner only.
    ~RegionCache();
    RegionCache(const RegionCache&) = delete;
    RegionCache& operator=(const RegionCache&) = delete;

    // The picture the regions are of (an empty loader: none). Drops the region held; a decode
    // still running for the picture before is left to finish, not waited for, and not taken.
    void setPicture(QSize natural, Loader loader);
    const Loader& loader() const { return loader_; }
    // The same, for the same picture: the regions made go.
    void dropRegions();

    // A region with `needed` in it, for a view of `view`: the one held, the one decoded ahead
    // (waited for while it runs when `needed` is in it), or else one decoded now around the
    // view. Null when none can be had: too large for a region, or not decoded.
    const QImage* regionFor(const QRect& needed, const QRect& view);
    const QImage& held() const { return held_; }
    QRect heldRect() const { return heldRect_; }

    // Starts decoding the region around `view` on a thread when the view is near an edge of
    // the region held where the picture goes on. One at a time; it is taken once it is there.
    void decodeAhead(const QRect& view);
    // The region being decoded ahead; empty when none is.
    QRect aheadRect() const { return running_ ? aheadRect_ : QRect(); }

    // The region to decode for a view: the view and what a scroll of about a screen shows
    // next.
    QRect around(const QRect& view) const;

private:
    // Takes the region decoded ahead if it is there, or, when `needed` is in it, once it is.
    void takeAhead(const QRect& needed);

    // Decodes of their own: they never wait behind other background work, nor a decode ahead
    // behind one left to finish.
    QThreadPool pool_;
    QSize natural_;
    Loader loader_;
    QImage held_;
    QRect heldRect_;
    QFuture<QImage> ahead_;
    QFutureWatcher<QImage> watcher_;
    QRect aheadRect_;
    bool running_ = false;
};

} // namespace lumorra
