#include "SessionBus.h"

#include <QAccessible>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace lumorra {
namespace {

bool runtimeBusSocket() {
    const QByteArray dir = qgetenv("XDG_RUNTIME_DIR");
    if (dir.isEmpty())
        return false;
    struct stat st {};
    return ::stat((dir + "/bus").constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

QByteArray machineId() {
    for (const char* path : {"/var/lib/dbus/machine-id", "/etc/machine-id"}) {
        QFile f(QString::fromLatin1(path));
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray id = f.readLine().trimmed();
            if (!id.isEmpty())
                return id;
        }
    }
    return {};
}

QByteArray userName() {
    char buffer[4096];
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr)
        return {};
    return QByteArray(found->pw_name);
}

// A bus that dbus-launch started for this display owns a selection named after the user and
// the machine; libdbus's autolaunch would find it. Where that cannot be told, a bus is assumed.
bool displayBus() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr)
        return true;
    const QByteArray id = machineId();
    const QByteArray user = userName();
    if (id.isEmpty() || user.isEmpty())
        return true;
    const QByteArray name = "_DBUS_SESSION_BUS_SELECTION_" + user + '_' + id;
    auto* c = static_cast<xcb_connection_t*>(x11->connection());
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
    if (atom == nullptr)
        return true;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false; // the name was never made on this display: no one owns it
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    if (owner == nullptr)
        return true;
    const bool owned = owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

} // namespace

void lookForSessionBusWithoutAutolaunch() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") || runtimeBusSocket() ||
        displayBus())
        return;
    // An address libdbus cannot connect to: the lookup fails at once instead of autolaunching.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QAccessible::isActive();
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

} // namespace lumorra
