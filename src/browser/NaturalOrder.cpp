#include "NaturalOrder.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace lumorra {
namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Compares the digit runs starting at ia and ib by value; advances both past their runs.
int compareNumbers(const QString& a, qsizetype& ia, const QString& b, qsizetype& ib) {
    while (ia < a.size() && a[ia] == QLatin1Char('0') && ia + 1 < a.size() && isDigit(a[ia + 1]))
        ++ia;
    while (ib < b.size() && b[ib] == QLatin1Char('0') && ib + 1 < b.size() && isDigit(b[ib + 1]))
        ++ib;
    qsizetype ea = ia, eb = ib;
    while (ea < a.size() && isDigit(a[ea]))
        ++ea;
    while (eb < b.size() && isDigit(b[eb]))
        ++eb;
    int result = 0;
    if (ea - ia != eb - ib) {
        result = ea - ia < eb - ib ? -1 : 1;
    } else {
        for (qsizetype i = 0; i < ea - ia; ++i) {
            if (a[ia + i] != b[ib + i]) {
                result = a[ia + i] < b[ib + i] ? -1 : 1;
                break;
            }
        }
    }
    ia = ea;
    ib = eb;
    return result;
}

// The natural order of two case-folded names: -1, 0 or 1. 0 means equal but for leading
// zeros (or not at all).
int compareFolded(const QString& a, const QString& b) {
    qsizetype ia = 0, ib = 0;
    while (ia < a.size() && ib < b.size()) {
        if (isDigit(a[ia]) && isDigit(b[ib])) {
            const int c = compareNumbers(a, ia, b, ib);
            if (c != 0)
                return c;
            continue;
        }
        if (a[ia] != b[ib])
            return a[ia] < b[ib] ? -1 : 1;
        ++ia;
        ++ib;
    }
    if (ia < a.size() || ib < b.size())
        return ib < b.size() ? -1 : 1; // the shorter name first
    return 0;
}

} // namespace

bool naturalLess(const QString& a, const QString& b) {
    const int c = compareFolded(a.toCaseFolded(), b.toCaseFolded());
    // Equal but for letter case or leading zeros: fall back to the plain order.
    return c != 0 ? c < 0 : a < b;
}

namespace {

// A key whose plain order is the natural order of the folded name: each run of digits becomes
// "0", its length without leading zeros as one character, and those digits. Digits sort below
// or above every other character alike, so the marker "0" keeps their place; a shorter number
// sorts first, and equally long ones by their digits. Appended to keys; the name's characters
// come through fold.
template <typename Fold>
void appendKey(std::u16string& keys, const QChar* name, qsizetype size, Fold fold) {
    for (qsizetype i = 0; i < size;) {
        if (!isDigit(name[i])) {
            keys += fold(name[i++].unicode());
            continue;
        }
        qsizetype start = i;
        while (i < size && isDigit(name[i]))
            ++i;
        while (start + 1 < i && name[start] == QLatin1Char('0'))
            ++start;
        keys += u'0';
        keys += static_cast<char16_t>(qMin<qsizetype>(i - start, 0xffff));
        for (qsizetype k = start; k < i; ++k)
            keys += name[k].unicode();
    }
}

bool isAscii(const QString& name) {
    for (const QChar c : name) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// Sorts the positions by the keys (each keys[start[i]] up to keys[start[i + 1]]), equal keys by
// the names themselves.
template <typename Unit>
void sortByKeys(std::vector<qsizetype>& order, const std::basic_string<Unit>& keys,
                const std::vector<size_t>& start, const QStringList& names) {
    const auto key = [&](qsizetype i) {
        const size_t b = start[static_cast<size_t>(i)];
        return std::basic_string_view<Unit>(keys.data() + b, start[static_cast<size_t>(i) + 1] - b);
    };
    std::sort(order.begin(), order.end(), [&](qsizetype x, qsizetype y) {
        const int c = key(x).compare(key(y));
        return c != 0 ? c < 0 : names[x] < names[y];
    });
}

} // namespace

std::vector<qsizetype> naturalOrder(const QStringList& names) {
    // Each name gets its key once, all keys in one buffer; the sort then compares keys as
    // plain text.
    std::u16string keys;
    std::vector<size_t> start;
    start.reserve(static_cast<size_t>(names.size()) + 1);
    qsizetype total = 0;
    for (const QString& n : names)
        total += n.size() + 4;
    keys.reserve(static_cast<size_t>(total));
    for (const QString& n : names) {
        start.push_back(keys.size());
        if (isAscii(n)) {
            // An ASCII name folds letter by letter.
            appendKey(keys, n.constData(), n.size(), [](char16_t c) {
                return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
            });
        } else {
            const QString folded = n.toCaseFolded();
            appendKey(keys, folded.constData(), folded.size(), [](char16_t c) { return c; });
        }
    }
    start.push_back(keys.size());
    std::vector<qsizetype> order(static_cast<size_t>(names.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<qsizetype>(i);
    // Keys of small characters only compare as bytes, which is several times faster.
    if (std::all_of(keys.begin(), keys.end(), [](char16_t c) { return c < 0x100; })) {
        std::string bytes(keys.size(), '\0');
        std::transform(keys.begin(), keys.end(), bytes.begin(),
                       [](char16_t c) { return static_cast<char>(c); });
        sortByKeys(order, bytes, start, names);
    } else {
        sortByKeys(order, keys, start, names);
    }
    return order;
}

void naturalSort(QStringList& names) {
    const std::vector<qsizetype> order = naturalOrder(names);
    QStringList sorted;
    sorted.reserve(names.size());
    for (const qsizetype i : order)
        sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}

} // namespace lumorra
