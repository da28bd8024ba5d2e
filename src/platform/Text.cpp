#include "Text.h"

#include "Error.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace lumorra {

QString numberText(qint64 value) {
    return numberText(value, QLocale::system());
}

QString numberText(qint64 value, const QLocale& locale) {
    if (value == 0)
        return QString();
    QLocale l = locale;
    l.setNumberOptions(l.numberOptions() & ~QLocale::OmitGroupSeparator);
    return l.toString(value);
}

namespace {

// A locale's date or time format with its time-zone fields taken out, and a two-digit year
// widened to four digits.
QString generalFormat(const QString& format) {
    QString out;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            // A quoted literal is copied as it is, quotes included.
            const qsizetype end = format.indexOf(QLatin1Char('\''), i + 1);
            const qsizetype stop = end < 0 ? format.size() : end + 1;
            out += format.mid(i, stop - i);
            i = stop;
            continue;
        }
        qsizetype run = i;
        while (run < format.size() && format.at(run) == c)
            ++run;
        if (c == QLatin1Char('t')) {
            // The zone and whatever brackets held it alone go.
            if (out.endsWith(QLatin1Char('(')) && run < format.size() &&
                format.at(run) == QLatin1Char(')')) {
                out.chop(1);
                ++run;
            }
        } else if (c == QLatin1Char('y') && run - i == 2) {
            out += QStringLiteral("yyyy");
        } else {
            out += format.mid(i, run - i);
        }
        i = run;
    }
    return out.simplified();
}

} // namespace

QString generalDateText(const QDateTime& time, const QLocale& locale) {
    // Some locales put a narrow no-break space before AM and PM; a plain list reads better
    // with an ordinary one.
    auto plain = [](QString s) { return s.replace(QChar(0x202F), QLatin1Char(' ')); };
    const QString date =
        locale.toString(time.date(), generalFormat(locale.dateFormat(QLocale::ShortFormat)));
    const QTime t = time.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return plain(date);
    return plain(date + QLatin1Char(' ') +
                 locale.toString(t, generalFormat(locale.timeFormat(QLocale::LongFormat))));
}

double numberValue(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        throw Error::program(errc::TypeMismatch);
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok) {
        // "1e400" parses as a number that does not fit: that is an overflow, not a mismatch.
        const bool numeric = t.contains(
            QRegularExpression(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$")));
        throw Error::program(numeric ? errc::Overflow : errc::TypeMismatch);
    }
    if (!std::isfinite(v))
        throw Error::program(std::isnan(v) ? errc::TypeMismatch : errc::Overflow);
    return v;
}

QString shortestText(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString timeText(qint64 milliseconds) {
    const qint64 seconds = qMax<qint64>(0, milliseconds) / 1000;
    return QString::number(seconds / 60) + QLatin1Char(':') +
           QString::number(seconds % 60).rightJustified(2, QLatin1Char('0')) + QStringLiteral("  ");
}

} // namespace lumorra
