#include "Services.h"

#include "Logs.h"
#include "platform/Dialogs.h"

namespace lumorra {

void reportFailure(Services& s, const QString& recordText, const QString& message, QWidget* owner) {
    ignoreErrors([&] { s.dialogs.beep(); });
    ignoreErrors([&] { s.log.record(recordText); });
    ignoreErrors([&] {
        s.dialogs.message(message, recordText, Buttons::Ok, Icon::Critical, std::nullopt, owner);
    });
}

} // namespace lumorra
