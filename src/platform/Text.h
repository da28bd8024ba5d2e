#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace lumorra {

// "#,#": a whole number with the system's thousands separator and no decimals; 0 gives an
// empty text.
QString numberText(qint64 value);
// The same in a given locale's digits and separators.
QString numberText(qint64 value, const QLocale& locale);

// A date and time in the general date form: the short date (with a four-digit year), a space
// and the long time without a time zone; the time is left out when it is exactly midnight.
QString generalDateText(const QDateTime& time, const QLocale& locale = QLocale::system());

// A setting or a typed text read as a number: leading and trailing blanks are ignored; an
// empty text or one that is no number throws Error 13 "Type mismatch", a number too large for
// the program throws Error 6 "Overflow".
double numberValue(const QString& text);

// A number in its shortest decimal text: 640 for 640.0, 594.4 for 594.4.
QString shortestText(double value);

// A time of a movie as minutes, ":" and two-digit seconds, followed by two spaces ("3:07  ").
// Seconds are cut to whole seconds; a negative time counts as 0.
QString timeText(qint64 milliseconds);

} // namespace lumorra
