#include "Text.h"

#include "Error.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace lumorra {

QString numberText(qint64 value) {
    if (value == 0)
        return QString();
    QLocale locale = QLocale::system();
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(value);
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
