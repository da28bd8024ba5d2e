#include "CodePage.h"

#include <QStringDecoder>

#include <map>

namespace lumorra::rtf {
namespace {

// 0x80 to 0x9F of code page 1252; the five unassigned bytes map to the C1 controls.
constexpr char16_t High1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decode1252(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char b : bytes)
        out += QChar(cp1252Char(static_cast<unsigned char>(b)));
    return out;
}

const char* codePageName(int codePage) {
    switch (codePage) {
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    case 852:
        return "IBM852";
    case 866:
        return "IBM866";
    case 874:
        return "windows-874";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "EUC-KR";
    case 950:
        return "Big5";
    case 1250:
        return "windows-1250";
    case 1251:
        return "windows-1251";
    case 1253:
        return "windows-1253";
    case 1254:
        return "windows-1254";
    case 1255:
        return "windows-1255";
    case 1256:
        return "windows-1256";
    case 1257:
        return "windows-1257";
    case 1258:
        return "windows-1258";
    case 10000:
        return "macintosh";
    case 65001:
        return "UTF-8";
    default:
        return nullptr;
    }
}

} // namespace

int cp1252Byte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (High1252[i] == c)
            return 0x80 + i;
    }
    return -1;
}

char16_t cp1252Char(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0)
        return High1252[byte - 0x80];
    return byte;
}

int charsetCodePage(int charset) {
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    default:
        return 0;
    }
}

QString decodeCodePage(const QByteArray& bytes, int codePage) {
    if (codePage == 1252 || codePage <= 0)
        return decode1252(bytes);
    const char* name = codePageName(codePage);
    if (!name)
        return decode1252(bytes);
    QStringDecoder decoder(name);
    if (!decoder.isValid())
        return decode1252(bytes);
    QString out = decoder.decode(bytes);
    if (decoder.hasError())
        return decode1252(bytes);
    return out;
}

} // namespace lumorra::rtf
