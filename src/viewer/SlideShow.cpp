#include "SlideShow.h"

#include "browser/MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace lumorra {
namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

SlideShow::SlideShow(MainWindow& window, Services& services)
    : QObject(&window), w_(window), s_(services) {
    // Stopped at start.
    w_.Timer1->stop();
    // A coarse timer may fire up to 5 % early; each picture stays its full interval.
    w_.Timer1->setTimerType(Qt::PreciseTimer);
    w_.Command4->setEnabled(true);
    w_.Command5->setEnabled(false);
    connect(w_.Command4, &QPushButton::clicked, this, &SlideShow::Command4_Click);
    connect(w_.Command5, &QPushButton::clicked, this, &SlideShow::Command5_Click);
    connect(w_.Timer1, &QTimer::timeout, this, &SlideShow::Timer1_Timer);
}

bool SlideShow::running() const {
    return w_.Timer1->isActive();
}

double SlideShow::leadingNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i]))
        ++i, ++digits;
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return 0;
    qsizetype end = i;
    // An exponent counts only with at least one digit.
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            end = j;
        }
    }
    bool ok = false;
    const double v = text.mid(start, end - start).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

void SlideShow::Command4_Click() {
    withFailureHandler(
        [&] {
            const double lead = leadingNumber(w_.Text2->text());
            if (lead < 2 || lead > 60) {
                invalidInterval();
                return;
            }
            w_.setWindowTitle(QStringLiteral("Lumorra - Autoskip is running"));
            const double seconds = numberValue(w_.Text2->text());
            w_.Timer1->setInterval(static_cast<int>(std::lround(seconds * 1000)));
            w_.Timer1->start();
            w_.Command4->setEnabled(false);
            w_.Command5->setEnabled(true);
        },
        [&](const Error& e) {
            if (e.description.isEmpty()) {
                invalidInterval();
                return;
            }
            reportFailure(s_,
                          QStringLiteral("Autoskip ERROR ") + QString::number(e.number) +
                              QStringLiteral(" (") + e.description + QLatin1Char(')'),
                          QStringLiteral("Unable to run Autoskip. Make sure you have entered a "
                                         "number between 2 and 60"),
                          &w_);
        });
}

void SlideShow::invalidInterval() {
    ignoreErrors([&] { s_.dialogs.beep(); });
    ignoreErrors([&] { s_.log.record(QStringLiteral("Autoskip ERROR (Invalid interval time")); });
    ignoreErrors([&] {
        s_.dialogs.message(
            QStringLiteral("You have to enter an interval time between 2 and 60 sec."),
            QStringLiteral("ERROR (Invalid interval time)"), Buttons::Ok, Icon::Critical,
            std::nullopt, &w_);
    });
}

void SlideShow::Command5_Click() {
    ignoreErrors([&] { w_.setWindowTitle(QStringLiteral("Lumorra")); });
    stop();
}

void SlideShow::stop() {
    w_.Timer1->stop();
    w_.Command5->setEnabled(false);
    w_.Command4->setEnabled(true);
}

void SlideShow::Timer1_Timer() {
    // A tick that comes while the previous one still shows its file (a message box of a failed
    // load runs its own event loop) is left out: one load at a time.
    if (ticking_)
        return;
    ticking_ = true;
    withFailureHandler(
        [&] {
            FileList* list = w_.File1;
            const int next = list->listIndex() + 1;
            if (next >= list->count())
                throw Error::program(errc::InvalidProperty);
            list->setListIndex(next);
        },
        [&](const Error&) { endOfList(); });
    ticking_ = false;
}

void SlideShow::endOfList() {
    bool restarted = false;
    ignoreErrors([&] {
        if (numberValue(s_.settings.read(keys::AutoSkip)) != 1)
            return;
        // An empty list (another directory chosen meanwhile) has no top to restart at.
        if (w_.File1->count() == 0)
            return;
        w_.File1->setListIndex(0);
        restarted = true;
    });
    if (restarted)
        return;
    stop();
    ignoreErrors([&] {
        s_.dialogs.message(
            QStringLiteral("Unabled to continue, no more files in file list. You can make Lumorra "
                           "to automatically restart at the top of the file list, when it reaches "
                           "the bottom, by checking the checkbox in the File properties and "
                           "settings window"),
            QStringLiteral("AutoSkip stopped"), Buttons::Ok, Icon::Exclamation, std::nullopt, &w_);
    });
}

} // namespace lumorra
