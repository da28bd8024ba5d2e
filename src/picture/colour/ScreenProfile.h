#pragma once

#include <QAbstractNativeEventFilter>
#include <QByteArray>

namespace lumorra {

class ColourTransforms;

// The ICC profile in the _ICC_PROFILE property (atom `atom`) of the root window `root`, on an
// xcb connection; empty where there is none.
QByteArray readScreenProfile(void* connection, quint32 root, quint32 atom);

// Keeps the colour transforms told of the screen's ICC profile: the one the X server announces
// in the root window's _ICC_PROFILE property (set by colour daemons and calibration tools), read
// at start and again whenever the property changes. Without an X server, or without the
// property, the screen is sRGB.
class ScreenProfileWatch : public QAbstractNativeEventFilter {
public:
    explicit ScreenProfileWatch(ColourTransforms& colour);
    ~ScreenProfileWatch() override;
    ScreenProfileWatch(const ScreenProfileWatch&) = delete;
    ScreenProfileWatch& operator=(const ScreenProfileWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void read();

    ColourTransforms& colour_;
    void* connection_ = nullptr; // xcb_connection_t
    quint32 root_ = 0;
    quint32 atom_ = 0;
};

} // namespace lumorra
