#pragma once

#include "picture/ShownPicture.h"

#include <QDateTime>
#include <QFuture>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace lumorra {

// Decodes the pictures next to the shown one in the background, so that an arrow key or a
// slide-show tick shows the next picture at once. A preloaded picture is handed out only when
// its file still has the size and modification time it had when it was read, and only for the
// same shown size; everything else is decoded afresh by the caller. Metafiles are not preloaded
// (their readers run in a child process of their own). A picture handed out carries its file's
// bytes as they were read, as one loaded by the caller does.
class Preloader {
public:
    // At most this many bytes are held, decoded pixels and the files' bytes kept with them,
    // however many pictures are asked for.
    static constexpr qint64 MemoryCap = qint64(384) << 20;

    // Pictures are decoded by `pool`'s workers into the colour space of `colour`'s screen.
    Preloader(picture::DecoderPool& pool, const ColourTransforms& colour)
        : pool_(pool), colour_(colour) {}
    ~Preloader();
    Preloader(const Preloader&) = delete;
    Preloader& operator=(const Preloader&) = delete;

    struct Request {
        QString path;
        QSize shown; // decoded for showing at this size (see loadPicture); invalid: in full
        // When set, the picture is decoded for the size it fits these bounds at, worked out by
        // the worker from its natural size, instead of `shown`.
        std::optional<FitBounds> fit = {};
        // When set, the device pixels the picture will be shown at, from its natural size: it is
        // drawn at that size too, on the decoding thread, for a first paint that only copies.
        std::function<QSize(QSize)> drawnAt = {};
    };
    // Starts decoding these files in this order; drops what was held for any other file.
    void preload(const std::vector<Request>& requests);
    // The picture of a file if it was preloaded for this size and the file is unchanged (none
    // otherwise); waits for a decode still running. Either way the file is no longer held.
    // `drawing` gets the drawing a request asked for, where one was made.
    std::shared_ptr<const ShownPicture> take(const QString& path, QSize shown,
                                             QImage* drawing = nullptr);
    // The natural size of a file preloaded, if it was decoded and is unchanged; waits for a
    // decode still running. The file stays held.
    std::optional<QSize> naturalSize(const QString& path);
    // The file's length and modification time now; none when it cannot be read.
    struct Stamp {
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const Stamp&) const = default;
    };
    static std::optional<Stamp> stampOf(const QString& path);
    // Holds a picture that was shown, read from the file when it had `stamp`, as if it had been
    // preloaded for `request`: a step back to it needs no decode. It is handed out on the same
    // terms as one decoded here.
    void keep(const Request& request, std::shared_ptr<const ShownPicture> picture, Stamp stamp);
    // Drops everything and waits for running decodes.
    void clear();
    // Takes over what `other` holds or is decoding (it decodes with the same pool, into the
    // same colours).
    void adopt(Preloader& other);

private:
    struct Entry {
        QSize shown;
        Stamp stamp;
        QFuture<std::shared_ptr<const ShownPicture>> result;
        std::optional<FitBounds> fit; // decoded for the size its request's bounds gave
        // The natural size the picture came with; written by the decoding thread before it ends.
        // A decode that failed leaves it invalid.
        std::shared_ptr<QSize> natural;
        std::shared_ptr<QImage> drawing; // the same, for a request with `drawnAt`
    };
    qint64 heldBytes();

    picture::DecoderPool& pool_;
    const ColourTransforms& colour_;
    std::map<QString, Entry> entries_;
};

} // namespace lumorra
