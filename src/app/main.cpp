// Lumorra: a picture and animation viewer with a built-in file browser.

#include "browser/MainWindow.h"
#include "core/Artwork.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "core/SplashWindow.h"
#include "core/Startup.h"
#include "fileops/ClipboardCommands.h"
#include "platform/Clipboard.h"
#include "platform/Error.h"
#include "platform/HelpViewer.h"
#include "platform/Launcher.h"
#include "platform/ProgramPaths.h"
#include "platform/QtDialogs.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "platform/TerminationSignals.h"
#include "viewer/SelectionViewer.h"
#include "viewer/SeparateViewer.h"
#include "viewer/VivoPlayerWindow.h"
#include "windows/OptionsWindow.h"

#include <QAction>
#include <QApplication>
#include <QPointer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The program places its own windows, which a Wayland session lets no client do; XWayland
// lets it, so prefer it there unless the user chose a platform.
void preferX11OnWayland() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    const bool wayland = qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
                         qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    if (wayland && qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int main(int argc, char* argv[]) {
    preferX11OnWayland();
    QApplication::setApplicationName(QStringLiteral("Lumorra"));
    QApplication::setOrganizationName(QStringLiteral("Tovik Software"));
    QApplication::setApplicationVersion(QStringLiteral("3.0"));
    QApplication app(argc, argv);
    QApplication::setWindowIcon(lumorra::programIcon());
    // Message boxes during start-up come and go before the main window exists; only the main
    // window's closing ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    using namespace lumorra;
    HelpViewer help;
    QtDialogs dialogs(help);
    ProcessLauncher launcher;
    QtScreen screen;
    SettingsStore settings(SettingsStore::defaultFilePath());
    ProgramLog programLog;
    RunLog runLog;
    QtClipboard clipboard;
    Services services{settings, programLog, dialogs,   launcher,
                      screen,   help,       clipboard, ProgramPaths::detect()};

    MainWindow window(services, mountedVolumes());
    SelectionViewer viewer(window, services);
    viewer.showVivo = [&](const QString& path) {
        QPointer<QWidget>& player = window.secondaryWindows().player;
        if (!player)
            player = new VivoPlayerWindow(services, &window);
        static_cast<VivoPlayerWindow*>(player.data())->showMovie(path);
    };
    QObject::connect(window.options, &QAction::triggered, &window, [&] {
        ignoreErrors([&] {
            OptionsWindow options(services, window.secondaryWindows(), &window);
            options.exec();
        });
    });
    // Separate picture and animation windows, and the clipboard's copy and paste buttons.
    SeparateViewer separateViewer(window, services);
    ClipboardCommands clipboardCommands(window, services);
    StartupSequence startup(services, runLog, window, [] {
        SplashWindow splash;
        splash.exec();
    });

    StartupSequence::Outcome outcome = StartupSequence::Outcome::Terminated;
    const bool started = withFailureHandler(
        [&] { outcome = startup.run(); },
        [&](const Error& e) {
            const QString text =
                QStringLiteral("Run-time error '%1':\n\n%2").arg(e.number).arg(e.description);
            std::fprintf(stderr, "lumorra: %s\n", qPrintable(text));
            dialogs.message(text, QStringLiteral("Lumorra"), Buttons::Ok, Icon::Critical);
        });
    if (!started)
        return EXIT_FAILURE;
    if (outcome == StartupSequence::Outcome::Terminated)
        return EXIT_FAILURE;

    QObject::connect(&window, &MainWindow::closed, &app, &QApplication::quit);
    // A logout or kill -TERM closes the main window, which runs the closing sequence.
    std::unique_ptr<TerminationSignals> termination;
    ignoreErrors([&] {
        termination = std::make_unique<TerminationSignals>();
        QObject::connect(termination.get(), &TerminationSignals::received, &window,
                         [&window] { window.close(); });
    });

    ignoreErrors([&] { window.fitToScreen(screen.availableGeometry()); });
    window.show();
    return app.exec();
}
