// lmtray: puts an icon into the system tray; a click on it starts the main program.

#include "platform/Error.h"
#include "platform/HelpViewer.h"
#include "platform/Launcher.h"
#include "platform/QtDialogs.h"
#include "platform/SettingsStore.h"
#include "platform/TerminationSignals.h"
#include "tray/TrayArtwork.h"
#include "tray/TrayWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSystemTrayIcon>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication::setApplicationName(QStringLiteral("lmtray"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));

    // --version and --help are answered before the application object exists, so that they
    // need no display.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Puts an icon into the system tray that starts Lumorra."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    // Options it does not know are left to the application object (-display and the like).
    (void)parser.parse(args);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp();

    QApplication app(argc, argv);
    // Message boxes come and go while the window is hidden; only closing the window ends us.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(lumorra::tray::makeTrayIcon());

    lumorra::HelpViewer help;
    lumorra::QtDialogs dialogs(help);
    lumorra::ProcessLauncher launcher;
    lumorra::SettingsStore settings(lumorra::SettingsStore::defaultFilePath());

    lumorra::tray::TrayWindow window(settings, launcher, dialogs,
                                     QSystemTrayIcon::isSystemTrayAvailable());
    QObject::connect(&window, &lumorra::tray::TrayWindow::unloaded, &app, &QApplication::quit);

    // A logout or a kill closes the window like "Exit" does, so "SystrayLoaded" goes back to
    // "0". Without the handlers lmtray still runs; it just cannot clean up after a kill.
    std::unique_ptr<lumorra::TerminationSignals> termination;
    lumorra::ignoreErrors([&] {
        termination = std::make_unique<lumorra::TerminationSignals>();
        QObject::connect(termination.get(), &lumorra::TerminationSignals::received, &window,
                         [&window] { window.close(); });
    });

    window.load();
    return app.exec();
}
