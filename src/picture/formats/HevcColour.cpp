#include "HevcColour.h"

#include "picture/Decoding.h"

#include <QByteArray>

#include <vector>

namespace lumorra::picture {
namespace {

// The bits of a NAL unit's payload, its emulation prevention bytes taken out. Reads past the
// end give zeros and mark the reader bad.
class Bits {
public:
    explicit Bits(QByteArrayView nal) {
        bytes_.reserve(nal.size());
        int zeros = 0;
        for (const char c : nal) {
            if (zeros >= 2 && c == 3) {
                zeros = 0;
                continue;
            }
            zeros = c == 0 ? zeros + 1 : 0;
            bytes_.append(c);
        }
    }
    bool bad() const { return bad_; }
    quint32 bit() {
        if (at_ >= qint64(bytes_.size()) * 8) {
            bad_ = true;
            return 0;
        }
        const quint32 v = (uchar(bytes_[qsizetype(at_ / 8)]) >> (7 - at_ % 8)) & 1;
        ++at_;
        return v;
    }
    quint32 bits(int n) {
        quint32 v = 0;
        for (int i = 0; i < n; ++i)
            v = v << 1 | bit();
        return v;
    }
    void skip(qint64 n) {
        at_ += n;
        bad_ = bad_ || at_ > qint64(bytes_.size()) * 8;
    }
    // An Exp-Golomb number; a signed one takes as many bits, so skipping one reads it so too.
    quint32 ue() {
        int zeros = 0;
        while (bit() == 0) {
            if (bad_ || ++zeros > 31) {
                bad_ = true;
                return 0;
            }
        }
        return (1u << zeros) - 1 + bits(zeros);
    }

private:
    QByteArray bytes_;
    qint64 at_ = 0;
    bool bad_ = false;
};

void skipProfileTierLevel(Bits& b, int subLayers) {
    b.skip(96); // the general profile and level
    bool profile[8] = {}, level[8] = {};
    for (int i = 0; i < subLayers; ++i) {
        profile[i] = b.bit() != 0;
        level[i] = b.bit() != 0;
    }
    if (subLayers > 0)
        b.skip(2 * (8 - subLayers));
    for (int i = 0; i < subLayers; ++i)
        b.skip((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
}

void skipScalingLists(Bits& b) {
    for (int size = 0; size < 4; ++size) {
        for (int matrix = 0; matrix < 6; matrix += size == 3 ? 3 : 1) {
            if (b.bit() == 0) {
                b.ue();
                continue;
            }
            const int coefficients = qMin(64, 1 << (4 + (size << 1)));
            for (int i = 0; i < coefficients + (size > 1 ? 1 : 0); ++i)
                b.ue();
        }
    }
}

// The short-term reference picture sets; each may be predicted from the one before it.
void skipShortTermSets(Bits& b, quint32 count) {
    std::vector<quint32> pictures(count);
    for (quint32 i = 0; i < count && !b.bad(); ++i) {
        if (i > 0 && b.bit() != 0) {
            b.skip(1);
            b.ue();
            for (quint32 j = 0; j <= pictures[i - 1] && !b.bad(); ++j)
                pictures[i] += b.bit() != 0 || b.bit() != 0 ? 1 : 0;
            continue;
        }
        const quint32 before = b.ue(), after = b.ue();
        if (before > 16 || after > 16)
            return b.skip(1 << 30);
        for (quint32 j = 0; j < before + after; ++j) {
            b.ue();
            b.skip(1);
        }
        pictures[i] = before + after;
    }
}

int specified(quint32 code) {
    return code == 2 ? 0 : int(code); // 2 is "unspecified"
}

// A sequence parameter set's NAL unit, read up to its colour description.
StreamColour sequenceColour(QByteArrayView nal) {
    Bits b(nal);
    b.skip(16 + 4); // the NAL unit's header, the video parameter set's number
    const int subLayers = int(b.bits(3));
    b.skip(1);
    skipProfileTierLevel(b, subLayers);
    b.ue();
    if (b.ue() == 3) // the chroma format: 4:4:4 tells whether its planes are separate
        b.skip(1);
    b.ue(), b.ue(); // width, height
    if (b.bit() != 0)
        b.ue(), b.ue(), b.ue(), b.ue(); // the conformance window
    b.ue(), b.ue();                     // the bit depths
    const quint32 orderLength = b.ue() + 4;
    for (int i = b.bit() != 0 ? 0 : subLayers; i <= subLayers; ++i)
        b.ue(), b.ue(), b.ue();
    for (int i = 0; i < 6; ++i) // coding block and transform sizes
        b.ue();
    if (b.bit() != 0 && b.bit() != 0)
        skipScalingLists(b);
    b.skip(2);
    if (b.bit() != 0) { // PCM
        b.skip(8);
        b.ue(), b.ue();
        b.skip(1);
    }
    const quint32 sets = b.ue();
    if (sets > 64)
        return {};
    skipShortTermSets(b, sets);
    if (b.bit() != 0) {
        const quint32 longTerm = b.ue();
        b.skip(qint64(qMin<quint32>(longTerm, 33)) * (orderLength + 1));
    }
    b.skip(2);
    if (b.bit() == 0) // no video usability information
        return {};
    if (b.bit() != 0 && b.bits(8) == 255) // the aspect ratio, given by its sides
        b.skip(32);
    if (b.bit() != 0)
        b.skip(1);
    if (b.bit() == 0)
        return {};
    b.skip(4); // the video format, the full range
    if (b.bit() == 0)
        return {};
    StreamColour c;
    c.primaries = specified(b.bits(8));
    c.transfer = specified(b.bits(8));
    return b.bad() ? StreamColour() : c;
}

// Calls f(type, payload) for each box in `data`, in order, until it returns true.
template <class F> void eachBox(QByteArrayView data, F f) {
    qsizetype at = 0;
    while (data.size() - at >= 8) {
        quint64 size = bigEndian<quint32>(data, at);
        qsizetype header = 8;
        if (size == 1) {
            size = bigEndian<quint64>(data, at + 8);
            header = 16;
        } else if (size == 0) {
            size = quint64(data.size() - at);
        }
        if (size < quint64(header) || size > quint64(data.size() - at))
            return;
        if (f(data.sliced(at + 4, 4), data.sliced(at + header, qsizetype(size) - header)))
            return;
        at += qsizetype(size);
    }
}

QByteArrayView child(QByteArrayView data, QByteArrayView type) {
    QByteArrayView found;
    eachBox(data, [&](QByteArrayView t, QByteArrayView payload) {
        found = t == type ? payload : found;
        return t == type;
    });
    return found;
}

// The configuration among `properties` (hvcC payloads, empty for other boxes) that the
// association box gives item `item`.
QByteArrayView itemConfiguration(QByteArrayView ipma, quint32 item,
                                 const std::vector<QByteArrayView>& properties) {
    if (ipma.size() < 8)
        return {};
    const bool longIds = ipma[0] != 0, longIndices = (ipma[3] & 1) != 0;
    const quint32 entries = bigEndian<quint32>(ipma, 4);
    qsizetype at = 8;
    for (quint32 e = 0; e < entries && at < ipma.size(); ++e) {
        const quint32 id = longIds ? bigEndian<quint32>(ipma, at) : bigEndian<quint16>(ipma, at);
        at += longIds ? 4 : 2;
        const int count = at < ipma.size() ? uchar(ipma[at]) : 0;
        ++at;
        for (int k = 0; k < count; ++k, at += longIndices ? 2 : 1) {
            const quint32 index = longIndices ? bigEndian<quint16>(ipma, at) & 0x7fff
                                              : quint32(at < ipma.size() ? ipma[at] & 0x7f : 0);
            if (id == item && index >= 1 && index <= properties.size() &&
                !properties[index - 1].isEmpty())
                return properties[index - 1];
        }
    }
    return {};
}

} // namespace

StreamColour hevcConfigurationColour(QByteArrayView hvcC) {
    constexpr int SequenceParameterSet = 33;
    if (hvcC.size() < 23)
        return {};
    qsizetype at = 23;
    for (int a = 0, arrays = uchar(hvcC[22]); a < arrays && at + 3 <= hvcC.size(); ++a) {
        const int type = hvcC[at] & 0x3f;
        const int count = bigEndian<quint16>(hvcC, at + 1);
        at += 3;
        for (int k = 0; k < count; ++k) {
            const qsizetype length = bigEndian<quint16>(hvcC, at);
            at += 2;
            if (length > hvcC.size() - at)
                return {};
            if (type == SequenceParameterSet)
                return sequenceColour(hvcC.sliced(at, length));
            at += length;
        }
    }
    return {};
}

StreamColour heifStreamColour(QByteArrayView bytes, quint32 item) {
    const QByteArrayView meta = child(bytes, "meta");
    if (meta.size() < 4)
        return {};
    const QByteArrayView properties = child(meta.sliced(4), "iprp");
    std::vector<QByteArrayView> configurations;
    eachBox(child(properties, "ipco"), [&](QByteArrayView type, QByteArrayView payload) {
        configurations.push_back(type == "hvcC" ? payload : QByteArrayView());
        return false;
    });
    QByteArrayView own = itemConfiguration(child(properties, "ipma"), item, configurations);
    for (std::size_t i = 0; i < configurations.size() && own.isEmpty(); ++i)
        own = configurations[i];
    return hevcConfigurationColour(own);
}

} // namespace lumorra::picture
