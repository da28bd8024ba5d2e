#include "SearchPattern.h"

#include "platform/Error.h"

#include <QStringList>

namespace lumorra {

SearchPattern SearchPattern::parse(const QString& text) {
    SearchPattern p;
    p.text_ = text;
    for (const QString& raw : text.split(QLatin1Char(';'))) {
        const QString spec = raw.trimmed();
        if (spec.isEmpty())
            continue;
        for (const QChar c : spec) {
            if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f)
                throw Error::program(errc::InvalidProperty);
        }
        p.specs_.push_back(spec.toCaseFolded());
    }
    if (p.specs_.empty())
        throw Error::program(errc::InvalidProperty);
    return p;
}

bool SearchPattern::matches(const QString& fileName) const {
    for (const QString& spec : specs_) {
        if (wildcardMatch(spec, fileName))
            return true;
    }
    return false;
}

namespace {

QChar folded(QChar c) {
    return c.toCaseFolded();
}
// An ASCII letter folds to its small letter, every other ASCII character to itself.
QChar folded(char c) {
    return QLatin1Char(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
}

// Greedy match with one back-track point: the last "*" seen. Linear in practice.
template <typename Char> bool matchFolded(const QString& spec, const Char* n, qsizetype nn) {
    const QChar* s = spec.constData();
    const qsizetype sn = spec.size();
    qsizetype si = 0, ni = 0, star = -1, mark = 0;
    while (ni < nn) {
        if (si < sn && s[si] == QLatin1Char('*')) {
            star = si++;
            mark = ni;
        } else if (si < sn && (s[si] == QLatin1Char('?') || s[si] == folded(n[ni]))) {
            ++si;
            ++ni;
        } else if (star >= 0) {
            si = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (si < sn && s[si] == QLatin1Char('*'))
        ++si;
    return si == sn;
}

} // namespace

bool SearchPattern::matchesAscii(const char* fileName, size_t length) const {
    for (const QString& spec : specs_) {
        if (matchFolded(spec, fileName, static_cast<qsizetype>(length)))
            return true;
    }
    return false;
}

bool wildcardMatch(const QString& spec, const QString& name) {
    return matchFolded(spec, name.constData(), name.size());
}

} // namespace lumorra
