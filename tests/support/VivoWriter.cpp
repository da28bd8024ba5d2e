#include "VivoWriter.h"

#include "TestEnv.h"

#include <QFile>
#include <QProcess>

#include <algorithm>

namespace lumorra::test {

namespace {

constexpr int TypeHeader = 0;
constexpr int TypeVideo = 2; // carries a length
constexpr int TypeAudio = 4; // one G.723.1 frame, no length
constexpr int G7231FrameBytes = 24;
constexpr int G7231FrameMs = 30;
// A length is at most two bytes of seven bits.
constexpr int MaxPacketBytes = (1 << 14) - 1;

void appendLength(QByteArray& out, int length) {
    if (length > 0x7F)
        out.append(char(0x80 | (length >> 7)));
    out.append(char(length & 0x7F));
}

void appendPacket(QByteArray& out, int type, int sequence, const QByteArray& payload,
                  bool withLength) {
    out.append(char((type << 4) | (sequence & 0xF)));
    if (withLength)
        appendLength(out, int(payload.size()));
    out.append(payload);
}

} // namespace

QList<QByteArray> splitH263Pictures(const QByteArray& stream) {
    // A picture start code is 22 bits, 0000 0000 0000 0000 1000 00, byte-aligned in FFmpeg's
    // output.
    QList<qsizetype> starts;
    const auto* bytes = reinterpret_cast<const unsigned char*>(stream.constData());
    for (qsizetype i = 0; i + 2 < stream.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && (bytes[i + 2] & 0xFC) == 0x80)
            starts.append(i);
    }
    QList<QByteArray> pictures;
    for (qsizetype n = 0; n < starts.size(); ++n) {
        const qsizetype end = n + 1 < starts.size() ? starts[n + 1] : stream.size();
        pictures.append(stream.mid(starts[n], end - starts[n]));
    }
    return pictures;
}

QByteArray vivoFile(const VivoMovie& movie) {
    const QByteArray header =
        QByteArray("\r\nVersion:Vivo/1.0\r\n") + "Width:" + QByteArray::number(movie.width) +
        "\r\n" + "Height:" + QByteArray::number(movie.height) + "\r\n" +
        // one time unit = numerator / 1000 / denominator seconds
        "TimeUnitNumerator:1000\r\n" +
        "TimeUnitDenominator:" + QByteArray::number(movie.framesPerSecond) + "\r\n" +
        "Duration:" + QByteArray::number(movie.durationMs) + "\r\n" + "Title:Lumorra test\r\n\r\n";

    QByteArray out;
    appendPacket(out, TypeHeader, 0, header, true);

    const QList<QByteArray> pictures = splitH263Pictures(movie.h263);
    const qsizetype audioFrames = movie.g7231.size() / G7231FrameBytes;
    // Packets of one frame share a sequence number and the next frame's differs, which is how
    // the reader tells where a frame ends.
    int sequence = 0;
    qsizetype v = 0;
    qsizetype a = 0;
    while (v < pictures.size() || a < audioFrames) {
        const qint64 videoMs = v < pictures.size() ? v * 1000 / movie.framesPerSecond : -1;
        const qint64 audioMs = a < audioFrames ? a * G7231FrameMs : -1;
        sequence = (sequence + 1) & 0xF;
        if (audioMs < 0 || (videoMs >= 0 && videoMs <= audioMs)) {
            const QByteArray& picture = pictures[v++];
            for (qsizetype at = 0; at < picture.size(); at += MaxPacketBytes)
                appendPacket(
                    out, TypeVideo, sequence,
                    picture.mid(at, std::min<qsizetype>(MaxPacketBytes, picture.size() - at)),
                    true);
        } else {
            appendPacket(out, TypeAudio, sequence,
                         movie.g7231.mid(a++ * G7231FrameBytes, G7231FrameBytes), false);
        }
    }
    return out;
}

bool makeVivoMovie(const QString& path, int durationMs) {
    const auto ffmpeg = [](const QStringList& args) {
        return QProcess::execute(QStringLiteral("ffmpeg"),
                                 QStringList{"-loglevel", "error", "-y"} + args) == 0;
    };
    const QString video = path + QStringLiteral(".h263");
    const QString audio = path + QStringLiteral(".g723");
    if (!ffmpeg({"-f", "lavfi", "-i", "testsrc=size=176x144:rate=10", "-t", "3", "-c:v", "h263",
                 "-f", "h263", video}) ||
        !ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000", "-t", "3", "-c:a",
                 "g723_1", "-ar", "8000", "-ac", "1", "-b:a", "6300", "-f", "g723_1", audio}))
        return false;
    VivoMovie movie;
    movie.h263 = readFile(video);
    movie.g7231 = readFile(audio);
    movie.durationMs = durationMs;
    QFile::remove(video);
    QFile::remove(audio);
    writeFile(path, vivoFile(movie));
    return true;
}

} // namespace lumorra::test
