#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace lumorra::test {

// Vivo 1.0 files for the movie tests, made from streams that ffmpeg encodes (FFmpeg reads Vivo
// but cannot write it).
struct VivoMovie {
    QByteArray h263;  // raw H.263 stream (ffmpeg -f h263)
    QByteArray g7231; // raw G.723.1 stream at 6.3 kbit/s (ffmpeg -f g723_1), 24 bytes a frame
    int width = 176;
    int height = 144;
    int framesPerSecond = 10;
    int durationMs = 0; // written to the header as given
};

// The pictures of a raw H.263 stream, split at the picture start codes.
QList<QByteArray> splitH263Pictures(const QByteArray& stream);

// The whole file: a text header packet, then video and audio packets interleaved by time.
QByteArray vivoFile(const VivoMovie& movie);

// Encodes three seconds of test picture and tone with ffmpeg and writes them as a Vivo file
// whose header gives the duration. False when ffmpeg is missing or fails.
bool makeVivoMovie(const QString& path, int durationMs);

} // namespace lumorra::test
