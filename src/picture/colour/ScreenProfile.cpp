#include "ScreenProfile.h"

#include "Colour.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdlib>
#include <xcb/xcb.h>

namespace lumorra {
namespace {

xcb_connection_t* xcb(void* c) {
    return static_cast<xcb_connection_t*>(c);
}

// Profiles are a few kilobytes; a LUT profile may reach a megabyte. Read in 32-bit units.
constexpr quint32 ProfileWords = (4u << 20) / 4;

} // namespace

ScreenProfileWatch::ScreenProfileWatch(ColourTransforms& colour) : colour_(colour) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr)
        return; // not on X: sRGB
    connection_ = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(xcb(connection_));
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (screens.rem == 0)
        return;
    root_ = screens.data->root;
    static constexpr char Name[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        xcb(connection_), xcb_intern_atom(xcb(connection_), 0, sizeof Name - 1, Name), nullptr);
    if (atom == nullptr)
        return;
    atom_ = atom->atom;
    std::free(atom);
    // Property changes on the root window come to this client: add them to what it asks for
    // there, keeping the rest.
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        xcb(connection_), xcb_get_window_attributes(xcb(connection_), root_), nullptr);
    if (attributes != nullptr) {
        const quint32 mask = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(xcb(connection_), root_, XCB_CW_EVENT_MASK, &mask);
        std::free(attributes);
    }
    read();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

ScreenProfileWatch::~ScreenProfileWatch() {
    if (connection_ != nullptr && QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

QByteArray readScreenProfile(void* connection, quint32 root, quint32 atom) {
    QByteArray profile;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(xcb(connection),
                               xcb_get_property(xcb(connection), 0, root, atom,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, ProfileWords),
                               nullptr);
    if (reply != nullptr) {
        if (reply->format == 8 && reply->bytes_after == 0)
            profile = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                                 xcb_get_property_value_length(reply));
        std::free(reply);
    }
    return profile;
}

void ScreenProfileWatch::read() {
    colour_.setScreenProfile(readScreenProfile(connection_, root_, atom_));
}

bool ScreenProfileWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || message == nullptr)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
        const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
        if (change->window == root_ && change->atom == atom_)
            read();
    }
    return false;
}

} // namespace lumorra
