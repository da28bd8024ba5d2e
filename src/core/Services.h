#pragma once

#include "platform/ProgramPaths.h"

class QWidget;

namespace lumorra {

class Clipboard;
class ColourTransforms;
class Dialogs;
class Help;
class Launcher;
class ProgramLog;
class Screen;
class SettingsStore;
namespace picture {
class DecoderPool;
}

// The services every window and handler works with. They are made once in main() (or by a
// test) and passed in; nothing reaches them through globals.
struct Services {
    SettingsStore& settings;
    ProgramLog& log;
    Dialogs& dialogs;
    Launcher& launcher;
    Screen& screen;
    Help& help;
    Clipboard& clipboard;
    ProgramPaths paths;
    // The screen's colour profile and the transforms to it.
    ColourTransforms& colour;
    // The sandboxed decoder workers every picture is decoded in.
    picture::DecoderPool& decoders;
};

// The failure handler of an action: beep, program log record, and a critical message box with
// the record text as its title.
void reportFailure(Services& services, const QString& recordText, const QString& message,
                   QWidget* owner = nullptr);

} // namespace lumorra
