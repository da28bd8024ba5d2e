// The search-pattern parser and matcher, and the number and time texts.
//
// The input as UTF-8 text is a search pattern (and a file name after the first NUL), and a
// typed number; its first eight bytes are also taken as a number of milliseconds, a file size
// and a date.

#include "FuzzSupport.h"
#include "browser/SearchPattern.h"
#include "platform/Error.h"
#include "platform/Text.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <bit>
#include <cmath>
#include <cstring>

namespace {

template <class F> void expectErrorsOnly(F&& f) {
    try {
        f();
    } catch (const lumorra::Error&) {
    }
}

const QLocale& locale(unsigned which) {
    static const QLocale locales[] = {
        QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Arabic, QLocale::Egypt),
        QLocale(QLocale::Hindi, QLocale::India)};
    return locales[which % std::size(locales)];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumorra;
    const QByteArray input = fuzz::bytes(data, size);
    const qsizetype nul = input.indexOf('\0');
    const QString pattern = QString::fromUtf8(nul < 0 ? input : input.left(nul));
    const QString name =
        nul < 0 ? QStringLiteral("Picture 01.JPG") : QString::fromUtf8(input.mid(nul + 1));

    expectErrorsOnly([&] {
        const SearchPattern p = SearchPattern::parse(pattern);
        (void)p.matches(name);
        (void)p.matches(pattern);
    });
    (void)wildcardMatch(pattern.toCaseFolded(), name);

    expectErrorsOnly([&] {
        const double value = numberValue(pattern);
        if (std::isnan(value))
            __builtin_trap();
        (void)shortestText(value);
    });

    qint64 number = 0;
    std::memcpy(&number, data, std::min(size, sizeof number));
    const unsigned which = size > 8 ? data[8] : 0;
    (void)numberText(number, locale(which));
    (void)timeText(number);
    (void)shortestText(std::bit_cast<double>(number));
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(number, QTimeZone::utc());
    (void)generalDateText(when, locale(which));
    return 0;
}
