#include "NaturalOrder.h"

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

} // namespace

bool naturalLess(const QString& a, const QString& b) {
    qsizetype ia = 0, ib = 0;
    while (ia < a.size() && ib < b.size()) {
        if (isDigit(a[ia]) && isDigit(b[ib])) {
            const int c = compareNumbers(a, ia, b, ib);
            if (c != 0)
                return c < 0;
            continue;
        }
        const QChar ca = a[ia].toCaseFolded();
        const QChar cb = b[ib].toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++ia;
        ++ib;
    }
    if (ia < a.size() || ib < b.size())
        return ib < b.size(); // the shorter name first
    // Equal but for letter case or leading zeros: fall back to the plain order.
    return a < b;
}

} // namespace lumorra
