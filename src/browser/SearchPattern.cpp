#include "SearchPattern.h"

#include "platform/Error.h"

namespace lumorra {

SearchPattern SearchPattern::parse(const QString& text) {
    SearchPattern p;
    p.text_ = text;
    for (const QString& raw : text.split(QLatin1Char(';'))) {
        const QString spec = raw.trimmed();
        if (spec.isEmpty())
            continue;
        QString rx;
        rx.reserve(spec.size() * 2 + 4);
        for (const QChar c : spec) {
            if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f)
                throw Error::program(errc::InvalidProperty);
            if (c == QLatin1Char('*'))
                rx += QStringLiteral(".*");
            else if (c == QLatin1Char('?'))
                rx += QLatin1Char('.');
            else
                rx += QRegularExpression::escape(QString(c));
        }
        p.specs_.emplace_back(QRegularExpression::anchoredPattern(rx),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
    }
    if (p.specs_.empty())
        throw Error::program(errc::InvalidProperty);
    return p;
}

bool SearchPattern::matches(const QString& fileName) const {
    for (const QRegularExpression& rx : specs_) {
        if (rx.match(fileName).hasMatch())
            return true;
    }
    return false;
}

} // namespace lumorra
