// ICO and CUR: the largest entry is shown, the deepest of equal ones. Entries are bitmaps with an
// AND mask (32-bit ones with alpha of their own) or PNG files; the sizes and depths come from
// the entries' own headers, not from the directory, which may say otherwise. An entry that does
// not decode gives way to the next best. A cursor's hotspot is of no matter here.

#include "BytesFormat.h"
#include "Dib.h"

#include <algorithm>
#include <vector>

namespace lumorra::formats {
namespace {

struct Entry {
    QByteArrayView data;
    QSize size;
    int bits = 0;
    bool png = false;
};

constexpr int MaxEntries = 4096;

Entry entry(QByteArrayView b, int i) {
    const qsizetype at = 6 + qsizetype(i) * 16;
    const qint64 length = le<quint32>(b, at + 8), offset = le<quint32>(b, at + 12);
    if (offset < 6 || offset >= b.size() || length < 12)
        throw invalid();
    Entry e;
    e.data = b.sliced(offset, qMin<qint64>(length, b.size() - offset));
    e.png = e.data.startsWith("\x89PNG\r\n\x1A\n");
    if (e.png) {
        e.size = QSize(int(be<quint32>(e.data, 16) & 0x7FFFFFFF),
                       int(be<quint32>(e.data, 20) & 0x7FFFFFFF));
        const int colourType = u8(e.data, 25);
        e.bits = colourType == 6 ? 32 : colourType == 2 ? 24 : u8(e.data, 24);
    } else {
        e.size = dibSize(e.data, 0, true, &e.bits);
    }
    if (e.size.isEmpty())
        throw invalid();
    return e;
}

// The entries the file holds, best first.
std::vector<Entry> entries(QByteArrayView b) {
    if (b.size() < 6 || le<quint16>(b, 0) != 0 ||
        (le<quint16>(b, 2) != 1 && le<quint16>(b, 2) != 2))
        throw invalid();
    const int count =
        int(qMin<qint64>(qMin<int>(le<quint16>(b, 4), MaxEntries), (b.size() - 6) / 16));
    std::vector<Entry> found;
    for (int i = 0; i < count; ++i) {
        try {
            found.push_back(entry(b, i));
        } catch (const Error&) {
        }
    }
    if (found.empty())
        throw invalid();
    std::stable_sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) {
        const qint64 areaA = qint64(a.size.width()) * a.size.height();
        const qint64 areaB = qint64(b.size.width()) * b.size.height();
        return areaA != areaB ? areaA > areaB : a.bits > b.bits;
    });
    return found;
}

QImage decodeEntry(const Entry& e, qint64 budget) {
    requirePixels(e.size, budget);
    if (!e.png)
        return decodeDib(e.data, DibPlace{0, -1, true}, budget);
    QImage image = QImage::fromData(e.data, "PNG");
    if (image.isNull())
        throw invalid();
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        throw tooLarge();
    return image;
}

} // namespace

Header iconHeader(QByteArrayView bytes) {
    return Header{entries(bytes).front().size, 1};
}

Decoded decodeIcon(QByteArrayView bytes, qint64 budget) {
    const std::vector<Entry> all = entries(bytes);
    for (size_t i = 0; i < all.size(); ++i) {
        try {
            return Decoded{decodeEntry(all[i], budget), {}};
        } catch (const Error& e) {
            // Too large for memory: so would the picture be whichever entry is shown.
            if (e.number == errc::OutOfMemory || i + 1 == all.size())
                throw;
        }
    }
    throw invalid();
}

} // namespace lumorra::formats

namespace lumorra::picture {
namespace {

// A reserved word of 0, the type (1 icon, 2 cursor), at least one entry.
QByteArray iconClaim(QByteArrayView h, QByteArrayView) {
    const auto u16 = [&](qsizetype at) { return littleEndian<quint16>(h, at); };
    if (h.size() < 6 || u16(0) != 0 || (u16(2) != 1 && u16(2) != 2) || u16(4) == 0)
        return {};
    return u16(2) == 1 ? "ico" : "cur";
}

} // namespace

LUMORRA_LISTED_FORMAT(IconFormat, BytesFormat, 60, {"ico", "cur"}, iconClaim, formats::iconHeader,
                      formats::decodeIcon)

} // namespace lumorra::picture
