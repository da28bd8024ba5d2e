#pragma once

#include "Decoders.h"
#include "Fakes.h"
#include "ScriptedDialogs.h"
#include "TestEnv.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "picture/colour/Colour.h"
#include "platform/Clipboard.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"

#include <QStringList>

namespace lumorra::test {

// The services of one program run for a test: a private settings file and program directory,
// scripted dialogs, a launcher and help that record, a 1280 x 1024 screen, the process's own
// clipboard, the test program's decoder workers.
struct TestServices {
    TestEnv env;
    QString programDir = env.makeDir(QStringLiteral("program"));
    SettingsStore settings{env.settingsFile()};
    ProgramLog log;
    ScriptedDialogs dialogs;
    FakeLauncher launcher;
    FixedScreen screen{QSize(1280, 1024)};
    FakeHelp help;
    QtClipboard clipboard;
    ColourTransforms colour;
    picture::DecoderPool& decoders = test::decoders();
    Services services{settings,  log,
                      dialogs,   launcher,
                      screen,    help,
                      clipboard, ProgramPaths::forDirectory(programDir, QStringLiteral("lumorra")),
                      colour,    decoders};

    // Opens the program log, with "<d, t> " for the date and time of each record.
    void openProgramLog() {
        log.open(services.paths.programLogFile());
        log.setStamp([] { return QStringLiteral("<d, t> "); });
    }
    // The program log's lines, without their CR LF.
    QStringList programLogLines() const {
        QString text = QString::fromUtf8(readFile(services.paths.programLogFile()));
        text.chop(2);
        return text.isEmpty() ? QStringList() : text.split(QStringLiteral("\r\n"));
    }
};

} // namespace lumorra::test
