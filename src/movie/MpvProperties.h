#pragma once

#include "platform/Error.h"

#include <QSize>
#include <QString>

#include <mpv/client.h>
#include <optional>

namespace lumorra {

// Reading libmpv's results in the program's terms. Only the movie player's sources include this.

// mpv's error texts are lower-case phrases ("unrecognized file format"); the program shows them
// as sentences.
Error mpvError(int code);

QString mpvString(mpv_handle* mpv, const char* name);
std::optional<double> mpvDouble(mpv_handle* mpv, const char* name);
bool mpvFlag(mpv_handle* mpv, const char* name);

// The frame size in a "video-params" node; QSize() when the node has none.
QSize sizeFromVideoParams(const mpv_node& node);

// The "playlist_entry_id" of a "loadfile" command's result; -1 when it has none.
int64_t playlistEntryId(const mpv_node& result);

// What the track list says about the file's first video and audio track, the selected ones
// first. Unlike the current-track properties, it still names a sound track that plays nowhere
// because there is no sound device.
struct TrackInfo {
    QString videoCodec;
    QString audioCodec;
    double audioBitRate = 0;
};

TrackInfo trackInfo(mpv_handle* mpv);

} // namespace lumorra
