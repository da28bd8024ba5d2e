#include "EarlyStart.h"

#include "browser/MainWindow.h"
#include "picture/colour/Colour.h"
#include "picture/colour/ScreenProfile.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "platform/StartupProfile.h"
#include "platform/Text.h"
#include "viewer/Preloader.h"

#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <xcb/xcb.h>

namespace lumorra {
namespace {

// Qt gives a screen another ratio, or another screen, where one of these is set.
bool qtIsToldOtherwise() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return true;
    for (const char* name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                             "QT_ENABLE_HIGHDPI_SCALING", "QT_USE_PHYSICAL_DPI", "QT_FONT_DPI",
                             "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_XCB_FORCE_DPI"}) {
        if (qEnvironmentVariableIsSet(name))
            return true;
    }
    return false;
}

template <class Reply> struct Freed {
    Reply* reply;
    ~Freed() { std::free(reply); }
};

xcb_atom_t existingAtom(xcb_connection_t* c, xcb_intern_atom_cookie_t cookie) {
    const Freed<xcb_intern_atom_reply_t> atom{xcb_intern_atom_reply(c, cookie, nullptr)};
    return atom.reply != nullptr ? atom.reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_intern_atom_cookie_t askAtom(xcb_connection_t* c, const char* name) {
    return xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name);
}

// The "Xft.dpi" of the X resources, which Qt takes as the screen's logical dots per inch and
// divides by 96 for its device pixel ratio; 1 without it.
qreal ratioOfResources(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    const Freed<xcb_get_property_reply_t> resources{xcb_get_property_reply(c, cookie, nullptr)};
    if (resources.reply == nullptr || resources.reply->format != 8)
        return 1;
    const QByteArray text(static_cast<const char*>(xcb_get_property_value(resources.reply)),
                          xcb_get_property_value_length(resources.reply));
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith("Xft.dpi:")) {
            bool ok = false;
            const int dpi = line.mid(8).trimmed().toInt(&ok);
            return ok && dpi > 0 ? dpi / 96.0 : 1.0;
        }
    }
    return 1;
}

// The first desktop's work area in _NET_WORKAREA, within the screen; the screen without one.
QRect workArea(xcb_connection_t* c, xcb_window_t root, xcb_atom_t atom, const QRect& screen) {
    if (atom == XCB_ATOM_NONE)
        return screen;
    const Freed<xcb_get_property_reply_t> area{xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom, XCB_ATOM_CARDINAL, 0, 4), nullptr)};
    if (area.reply == nullptr || area.reply->type != XCB_ATOM_CARDINAL ||
        area.reply->format != 32 || xcb_get_property_value_length(area.reply) < 16)
        return screen;
    const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(area.reply));
    return QRect(int(v[0]), int(v[1]), int(v[2]), int(v[3])) & screen;
}

} // namespace

std::optional<EarlyScreen> readEarlyScreen() {
    if (qtIsToldOtherwise())
        return std::nullopt;
    int number = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &number);
    const struct Disconnect {
        xcb_connection_t* c;
        ~Disconnect() { xcb_disconnect(c); }
    } disconnect{c};
    if (xcb_connection_has_error(c) != 0)
        return std::nullopt;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < number && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0)
        return std::nullopt;
    const xcb_screen_t& screen = *screens.data;
    // All asked at once, then answered.
    const xcb_intern_atom_cookie_t workAreaAtom = askAtom(c, "_NET_WORKAREA");
    const xcb_intern_atom_cookie_t profileAtom = askAtom(c, "_ICC_PROFILE");
    const xcb_get_property_cookie_t resources = xcb_get_property(
        c, 0, screen.root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1u << 16);
    EarlyScreen early;
    early.ratio = ratioOfResources(c, resources);
    const QRect whole(0, 0, screen.width_in_pixels, screen.height_in_pixels);
    // Qt's screens measure in device-independent pixels: the device's divided by the ratio.
    const QRect area = workArea(c, screen.root, existingAtom(c, workAreaAtom), whole);
    early.available =
        QRect(area.topLeft() * (1.0 / early.ratio), area.size() * (1.0 / early.ratio));
    if (const xcb_atom_t atom = existingAtom(c, profileAtom); atom != XCB_ATOM_NONE)
        early.profile = readScreenProfile(c, screen.root, atom);
    if (xcb_connection_has_error(c) != 0)
        return std::nullopt;
    return early;
}

FitBounds startFit(const QRect& available, qreal ratio, bool autoZoom) {
    FitBounds fit;
    if (autoZoom) {
        const QSize frame = MainWindow::fittedSize(available);
        fit.bounds = QSize(int(0.743 * frame.width()), int(0.896 * frame.height()));
        fit.ratio = ratio;
    }
    return fit;
}

struct EarlyDecode::Shared {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;       // the thread leaves the preloader and the colours alone
    std::optional<FitBounds> fit; // the decode started, for these bounds
    QByteArray profile;           // and this screen profile
};

namespace {

// A server that takes longer than this to answer is left to Qt.
constexpr std::chrono::milliseconds Patience(200);

} // namespace

EarlyDecode::EarlyDecode(const QString& file, picture::DecoderPool& pool, ColourTransforms& colour,
                         Preloader& early)
    : file_(file), pool_(pool), colour_(colour), early_(early),
      shared_(std::make_shared<Shared>()) {
    if (file_.isEmpty()) {
        shared_->done = true;
        return;
    }
    try {
        std::thread([shared = shared_, file, colour = &colour, early = &early] {
            decodeForEarlyScreen(shared, file, colour, early);
        }).detach();
    } catch (...) {
        shared_->done = true; // confirm() starts the decode
    }
}

EarlyDecode::~EarlyDecode() {
    std::unique_lock lock(shared_->mutex);
    shared_->finished.wait_for(lock, Patience,
                               [this] { return shared_->done || shared_->abandoned; });
    shared_->abandoned = true;
}

void EarlyDecode::waitForScreen() {
    std::unique_lock lock(shared_->mutex);
    if (!shared_->finished.wait_for(lock, Patience,
                                    [this] { return shared_->done || shared_->abandoned; }))
        shared_->abandoned = true;
}

void EarlyDecode::confirm(const FitBounds& fit) {
    std::unique_lock lock(shared_->mutex);
    shared_->finished.wait_for(lock, Patience,
                               [this] { return shared_->done || shared_->abandoned; });
    shared_->abandoned = true;
    const std::optional<FitBounds> started = shared_->fit;
    const QByteArray startedProfile = shared_->profile;
    lock.unlock();
    if (file_.isEmpty())
        return;
    if (started && *started == fit && startedProfile == colour_.screenProfile())
        return;
    // Decoded for another window or into other colours, or not at all: decoded afresh.
    profile::mark("early decode: started afresh");
    if (started) {
        // The decode running goes on elsewhere, and the window waits for nothing of it.
        stale_ = std::make_unique<Preloader>(pool_, colour_);
        stale_->adopt(early_);
    }
    if (QFileInfo(file_).isFile())
        early_.preload({{file_, QSize(), fit}});
}

void EarlyDecode::decodeForEarlyScreen(const std::shared_ptr<Shared>& shared, const QString& file,
                                       ColourTransforms* colour, Preloader* early) {
    std::optional<EarlyScreen> screen;
    bool autoZoom = false;
    try {
        if (QFileInfo(file).isFile()) {
            screen = readEarlyScreen();
            autoZoom =
                numberValue(SettingsStore(SettingsStore::defaultFilePath()).read(keys::AutoZoom)) ==
                1;
        }
    } catch (...) {
        screen.reset(); // confirm() starts the decode
    }
    profile::mark("early screen read");
    const std::lock_guard lock(shared->mutex);
    if (screen && !shared->abandoned) {
        try {
            colour->setScreenProfile(screen->profile);
            const FitBounds fit = startFit(screen->available, screen->ratio, autoZoom);
            early->preload({{file, QSize(), fit}});
            shared->fit = fit;
            shared->profile = screen->profile;
        } catch (...) {
            shared->fit.reset();
        }
    }
    shared->done = true;
    shared->finished.notify_all();
}

} // namespace lumorra
