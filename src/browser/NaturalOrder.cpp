#include "NaturalOrder.h"

#include <algorithm>
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
// sorts first, and equally long ones by their digits.
QString naturalKey(const QString& name) {
    const QString folded = name.toCaseFolded();
    QString key;
    key.reserve(folded.size() + 8);
    for (qsizetype i = 0; i < folded.size();) {
        if (!isDigit(folded[i])) {
            key += folded[i++];
            continue;
        }
        qsizetype start = i;
        while (i < folded.size() && isDigit(folded[i]))
            ++i;
        while (start + 1 < i && folded[start] == QLatin1Char('0'))
            ++start;
        key += QLatin1Char('0');
        key += QChar(static_cast<char16_t>(qMin<qsizetype>(i - start, 0xffff)));
        key += QStringView(folded).mid(start, i - start);
    }
    return key;
}

} // namespace

void naturalSort(QStringList& names) {
    // Each name gets its key once; the sort then compares keys as plain text.
    struct Entry {
        QString key;
        QString name;
    };
    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(names.size()));
    for (QString& n : names)
        entries.push_back(Entry{naturalKey(n), std::move(n)});
    std::sort(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) {
        const int c = x.key.compare(y.key);
        return c != 0 ? c < 0 : x.name < y.name;
    });
    for (size_t i = 0; i < entries.size(); ++i)
        names[static_cast<qsizetype>(i)] = std::move(entries[i].name);
}

} // namespace lumorra
