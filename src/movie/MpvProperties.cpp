#include "MpvProperties.h"

#include <cstdlib>
#include <cstring>

namespace lumorra {

namespace {

const mpv_node* mapValue(const mpv_node& map, const char* key) {
    if (map.format != MPV_FORMAT_NODE_MAP || !map.u.list)
        return nullptr;
    for (int i = 0; i < map.u.list->num; ++i) {
        if (std::strcmp(map.u.list->keys[i], key) == 0)
            return &map.u.list->values[i];
    }
    return nullptr;
}

QString nodeString(const mpv_node* node) {
    return node && node->format == MPV_FORMAT_STRING ? QString::fromUtf8(node->u.string)
                                                     : QString();
}

} // namespace

Error mpvError(int code) {
    QString text = QString::fromUtf8(mpv_error_string(code));
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return Error{std::abs(code), text};
}

QString mpvString(mpv_handle* mpv, const char* name) {
    char* value = mpv_get_property_string(mpv, name);
    if (!value)
        return {};
    QString result = QString::fromUtf8(value);
    mpv_free(value);
    return result;
}

std::optional<double> mpvDouble(mpv_handle* mpv, const char* name) {
    double value = 0;
    if (mpv_get_property(mpv, name, MPV_FORMAT_DOUBLE, &value) < 0)
        return std::nullopt;
    return value;
}

bool mpvFlag(mpv_handle* mpv, const char* name) {
    int value = 0;
    return mpv_get_property(mpv, name, MPV_FORMAT_FLAG, &value) >= 0 && value != 0;
}

QSize sizeFromVideoParams(const mpv_node& node) {
    if (node.format != MPV_FORMAT_NODE_MAP || !node.u.list)
        return {};
    int64_t w = 0;
    int64_t h = 0;
    for (int i = 0; i < node.u.list->num; ++i) {
        const char* key = node.u.list->keys[i];
        const mpv_node& value = node.u.list->values[i];
        if (value.format != MPV_FORMAT_INT64)
            continue;
        if (std::strcmp(key, "w") == 0)
            w = value.u.int64;
        else if (std::strcmp(key, "h") == 0)
            h = value.u.int64;
    }
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535)
        return {};
    return QSize(int(w), int(h));
}

int64_t playlistEntryId(const mpv_node& result) {
    int64_t id = -1;
    if (result.format == MPV_FORMAT_NODE_MAP && result.u.list) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (std::strcmp(result.u.list->keys[i], "playlist_entry_id") == 0 &&
                result.u.list->values[i].format == MPV_FORMAT_INT64)
                id = result.u.list->values[i].u.int64;
        }
    }
    return id;
}

TrackInfo trackInfo(mpv_handle* mpv) {
    TrackInfo info;
    mpv_node list{};
    if (mpv_get_property(mpv, "track-list", MPV_FORMAT_NODE, &list) < 0)
        return info;
    bool videoSelected = false;
    bool audioSelected = false;
    if (list.format == MPV_FORMAT_NODE_ARRAY && list.u.list) {
        for (int i = 0; i < list.u.list->num; ++i) {
            const mpv_node& track = list.u.list->values[i];
            const QString type = nodeString(mapValue(track, "type"));
            const mpv_node* selectedNode = mapValue(track, "selected");
            const bool selected =
                selectedNode && selectedNode->format == MPV_FORMAT_FLAG && selectedNode->u.flag;
            QString codec = nodeString(mapValue(track, "decoder-desc"));
            if (codec.isEmpty())
                codec = nodeString(mapValue(track, "codec"));
            if (type == QLatin1String("video") &&
                (info.videoCodec.isEmpty() || (selected && !videoSelected))) {
                info.videoCodec = codec;
                videoSelected = selected;
            } else if (type == QLatin1String("audio") &&
                       (info.audioCodec.isEmpty() || (selected && !audioSelected))) {
                info.audioCodec = codec;
                audioSelected = selected;
                const mpv_node* rate = mapValue(track, "demux-bitrate");
                info.audioBitRate =
                    rate && rate->format == MPV_FORMAT_INT64 ? double(rate->u.int64) : 0;
            }
        }
    }
    mpv_free_node_contents(&list);
    return info;
}

} // namespace lumorra
