#pragma once

#include "picture/PictureLoader.h"

#include <QByteArray>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>

namespace lumorra {

class ColourTransforms;
class Preloader;

// What the X server tells of its screen, read on a connection of the program's own before the
// application object connects: the work area, the device pixel ratio Qt will give the screen,
// and the screen's ICC profile. None where Qt would be told otherwise (another platform, a scale
// set in the environment) or there is no server.
struct EarlyScreen {
    QRect available;
    qreal ratio = 1;
    QByteArray profile;
};
std::optional<EarlyScreen> readEarlyScreen();

// The bounds the start's photo is decoded for: the picture area the auto zoom fits it into, in
// the window fitted to a screen with this work area; none (a decode in full) without the auto
// zoom. Before the window exists the picture area's size is a guess: the share of the window it
// has in a window of the usual proportions. A guess that turns out wrong costs a second decode,
// never a wrong picture.
FitBounds startFit(const QRect& available, qreal ratio, bool autoZoom);

// The decode of a file named on the command line, started from the first moment of the run: a
// thread reads the screen from the X server and starts the decode into `early` while the
// application object is made. Once it is, confirm() holds that decode to what Qt tells of the
// screen, and decodes afresh where the two differ.
class EarlyDecode {
public:
    // `early` decodes with `pool` into the colours of `colour`.
    EarlyDecode(const QString& file, picture::DecoderPool& pool, ColourTransforms& colour,
                Preloader& early);
    ~EarlyDecode();
    EarlyDecode(const EarlyDecode&) = delete;
    EarlyDecode& operator=(const EarlyDecode&) = delete;

    // Waits for the thread to be done with the X server (briefly: one that does not answer is
    // left behind). The environment the thread reads must not change before.
    void waitForScreen();
    // Waits for the thread (briefly: a server that does not answer is left behind), then makes
    // sure the file is being decoded for `fit` into the colours of the screen profile that
    // `colour` has now.
    void confirm(const FitBounds& fit);

private:
    struct Shared;
    static void decodeForEarlyScreen(const std::shared_ptr<Shared>& shared, const QString& file,
                                     ColourTransforms* colour, Preloader* early);

    QString file_;
    picture::DecoderPool& pool_;
    ColourTransforms& colour_;
    Preloader& early_;
    std::shared_ptr<Shared> shared_;
    // A decode started for another screen, left to end by itself.
    std::unique_ptr<Preloader> stale_;
};

} // namespace lumorra
