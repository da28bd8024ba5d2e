#include "Preloader.h"

#include "platform/FileSystem.h"

#include <QtConcurrent/QtConcurrentRun>

namespace lumorra {

Preloader::~Preloader() {
    clear();
}

std::optional<Preloader::Stamp> Preloader::stampOf(const QString& path) {
    try {
        return Stamp{fileLength(path), fileModified(path)};
    } catch (...) {
        return std::nullopt;
    }
}

qint64 Preloader::heldBytes() {
    qint64 bytes = 0;
    for (auto& [path, entry] : entries_) {
        if (entry.result.isFinished()) {
            const std::optional<Picture>& p = entry.result.result();
            if (p)
                bytes += p->image.sizeInBytes();
        } else if (entry.shown.isValid()) {
            bytes += qint64(entry.shown.width()) * entry.shown.height() * 4 * 4;
        } else {
            bytes += MemoryCap; // a full decode of unknown size: count it as the whole cap
        }
    }
    return bytes;
}

void Preloader::preload(const QStringList& paths, QSize shown) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (paths.contains(it->first) && it->second.shown == shown) {
            ++it;
        } else {
            it->second.result.waitForFinished();
            it = entries_.erase(it);
        }
    }
    for (const QString& path : paths) {
        if (entries_.count(path) != 0)
            continue;
        if (heldBytes() >= MemoryCap)
            break;
        const std::optional<Stamp> stamp = stampOf(path);
        if (!stamp)
            continue;
        Entry entry{shown, *stamp, {}};
        entry.result = QtConcurrent::run([path, shown]() -> std::optional<Picture> {
            try {
                Picture p = loadPicture(path, shown, MetafilePolicy::Refuse);
                return p;
            } catch (...) {
                return std::nullopt; // the viewer reads it again and reports what fails
            }
        });
        entries_.emplace(path, std::move(entry));
    }
}

std::optional<Picture> Preloader::take(const QString& path, QSize shown) {
    const auto it = entries_.find(path);
    if (it == entries_.end())
        return std::nullopt;
    Entry entry = std::move(it->second);
    entries_.erase(it);
    if (entry.shown != shown)
        return std::nullopt;
    std::optional<Picture> picture = entry.result.result();
    // The file must be the one that was read: same length, same modification time, before
    // and after the decode.
    if (!picture || stampOf(path) != std::optional<Stamp>(entry.stamp))
        return std::nullopt;
    return picture;
}

void Preloader::clear() {
    for (auto& [path, entry] : entries_)
        entry.result.waitForFinished();
    entries_.clear();
}

} // namespace lumorra
