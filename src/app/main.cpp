// Lumorra: a picture and animation viewer with a built-in file browser.

#include "EarlyStart.h"
#include "Launch.h"
#include "SessionBus.h"
#include "browser/DirectoryCommands.h"
#include "browser/MainWindow.h"
#include "browser/OptionsWindow.h"
#include "browser/StartPath.h"
#include "core/Artwork.h"
#include "core/ContextHelp.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "core/SplashWindow.h"
#include "core/Startup.h"
#include "editor/EditorInfoListTarget.h"
#include "editor/EditorWindow.h"
#include "fileops/ClipboardCommands.h"
#include "fileops/FileInfoWindow.h"
#include "fileops/FileOperations.h"
#include "infolist/InfoListEditor.h"
#include "infolist/InfoListGenerator.h"
#include "picture/PictureLoader.h"
#include "picture/colour/Colour.h"
#include "picture/colour/ScreenProfile.h"
#include "picture/sandbox/Sandbox.h"
#include "platform/BackingStore.h"
#include "platform/Clipboard.h"
#include "platform/Error.h"
#include "platform/HelpViewer.h"
#include "platform/Keys.h"
#include "platform/Launcher.h"
#include "platform/ProgramPaths.h"
#include "platform/QtDialogs.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "platform/StartupProfile.h"
#include "platform/TerminationSignals.h"
#include "platform/Text.h"
#include "platform/XlibLocale.h"
#include "viewer/FileListKeys.h"
#include "viewer/Preloader.h"
#include "viewer/SelectionViewer.h"
#include "viewer/SeparateViewer.h"
#include "viewer/SlideShow.h"
#include "viewer/VivoPlayerWindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <cstdio>
#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <functional>
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

// Holds the decode of a file named on the command line, started before the application object
// for the size the auto zoom will show it at in the window fitToScreen() makes, to what Qt tells
// of the screen. The selection takes the picture over when it shows the file. Anything that fails
// here is left to the selection, which reads the file again and reports what fails.
void confirmEarlyDecode(lumorra::EarlyDecode& earlyDecode, lumorra::SettingsStore& settings,
                        const lumorra::QtScreen& screen) {
    using namespace lumorra;
    ignoreErrors([&] {
        const QScreen* primary = QGuiApplication::primaryScreen();
        earlyDecode.confirm(startFit(screen.availableGeometry(),
                                     primary != nullptr ? primary->devicePixelRatio() : 1.0,
                                     numberValue(settings.read(keys::AutoZoom)) == 1));
    });
}

// When the start-up is profiled: the first expose and paint of any window, and the end of the
// first paint of the main window (after which its frame goes to the screen).
class FirstPaints : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose)
            lumorra::profile::markOnce("first expose");
        else if (event->type() == QEvent::Paint && watched->isWidgetType())
            lumorra::profile::markOnce("first paint");
        else if (event->type() == QEvent::UpdateRequest)
            lumorra::profile::markOnce("first update request");
        return false;
    }
};

// Runs its work once, after the first frame of any window was painted: what the program does
// ahead of need waits until the window is on the screen.
class AfterFirstPaint : public QObject {
public:
    explicit AfterFirstPaint(std::function<void()> work) : work_(std::move(work)) {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (work_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
            // After this paint is done and its frame sent.
            QTimer::singleShot(0, this, [this, work = std::move(work_)] {
                qApp->removeEventFilter(this);
                work();
            });
            work_ = nullptr;
        }
        return false;
    }

private:
    std::function<void()> work_;
};

// The selection's Vivo player and the Options window.
void wireViewerWindows(lumorra::MainWindow& window, lumorra::SelectionViewer& viewer,
                       lumorra::Services& services) {
    using namespace lumorra;
    viewer.showVivo = [&window, &services](const QString& path) {
        QPointer<QWidget>& player = window.secondaryWindows().player;
        if (!player)
            player = new VivoPlayerWindow(services, &window);
        static_cast<VivoPlayerWindow*>(player.data())->showMovie(path);
    };
    const auto options_Click = [&window, &services] {
        ignoreErrors([&] {
            OptionsWindow options(services, window.secondaryWindows(), &window);
            options.exec();
        });
    };
    QObject::connect(window.options, &QAction::triggered, &window, options_Click);
}

// File operations: copy and move to the copy directory, delete, rename, save as, the keys of
// the file list and the File Information window of status bar panel 2.
void wireFileOperations(lumorra::MainWindow& window, lumorra::FileOperations& fileOperations,
                        lumorra::FileListKeys& fileListKeys, lumorra::Services& services) {
    using namespace lumorra;
    QObject::connect(window.Command2, &QPushButton::clicked, &fileOperations,
                     &FileOperations::Command2_Click);
    QObject::connect(window.Command7, &QPushButton::clicked, &fileOperations,
                     &FileOperations::Command7_Click);
    QObject::connect(window.mnudelete, &QAction::triggered, &fileOperations,
                     &FileOperations::mnudelete_Click);
    QObject::connect(window.mnurename, &QAction::triggered, &fileOperations,
                     &FileOperations::mnurename_Click);
    QObject::connect(window.saveas, &QAction::triggered, &fileOperations,
                     &FileOperations::saveas_Click);
    fileListKeys.deleteSelected = [&window, &fileOperations] {
        fileOperations.deleteCurrentFile(FileOperations::Reporting::Logged, &window);
    };
    QObject::connect(&window, &MainWindow::panelClicked, &window,
                     [&window, &services, &fileOperations](const QString& key) {
                         if (key != QLatin1String("file"))
                             return;
                         ignoreErrors([&] {
                             FileInfoWindow info(window, services, fileOperations, &window);
                             info.exec();
                         });
                     });
}

// Info list: "Create Info List" of the directory list's menu, written into the text editor;
// "Open text editor" opens the one editor window as a new document.
void wireEditor(lumorra::MainWindow& window, lumorra::InfoListGenerator& infoList,
                lumorra::EditorInfoListTarget& infoListEditor, lumorra::Services& services) {
    using namespace lumorra;
    infoList.editor = [&window, &infoListEditor, &services]() -> InfoListEditor* {
        infoListEditor.editor = EditorWindow::ensure(services, window.secondaryWindows(), &window);
        return &infoListEditor;
    };
    infoList.setSeparateWindowsState = [&window](Qt::WindowState state) {
        window.secondaryWindows().setSeparateWindowState(state);
    };
    const auto textfile_Click = [&window, &services] {
        ignoreErrors([&] {
            EditorWindow::ensure(services, window.secondaryWindows(), &window)->openAsNew();
        });
    };
    QObject::connect(window.textfile, &QAction::triggered, &window, textfile_Click);
}

// Runs the start-up sequence; false when the program ends without showing its window.
bool runStartup(lumorra::StartupSequence& startup, lumorra::Dialogs& dialogs) {
    using namespace lumorra;
    StartupSequence::Outcome outcome = StartupSequence::Outcome::Terminated;
    const bool started = withFailureHandler(
        [&] { outcome = startup.run(); },
        [&](const Error& e) {
            const QString text =
                QStringLiteral("Run-time error '%1':\n\n%2").arg(e.number).arg(e.description);
            std::fprintf(stderr, "lumorra: %s\n", qPrintable(text));
            dialogs.message(text, QStringLiteral("Lumorra"), Buttons::Ok, Icon::Critical);
        });
    return started && outcome != StartupSequence::Outcome::Terminated;
}

// Shows the started main window, at the path of the command line (a file manager's "Open
// with") if one was given, which wins over the start-up directory; returns when it closed.
int showMainWindow(QApplication& app, lumorra::MainWindow& window, lumorra::Dialogs& dialogs,
                   const lumorra::Screen& screen, const QString& startPath) {
    using namespace lumorra;
    QObject::connect(&window, &MainWindow::closed, &app, &QApplication::quit);
    // A logout or kill -TERM closes the main window, which runs the closing sequence.
    std::unique_ptr<TerminationSignals> termination;
    ignoreErrors([&] {
        termination = std::make_unique<TerminationSignals>();
        QObject::connect(termination.get(), &TerminationSignals::received, &window,
                         [&window] { window.close(); });
    });

    window.standOnHomeUnlessPlaced();
    ignoreErrors([&] { window.fitToScreen(screen.availableGeometry()); });
    window.show();
    profile::mark("window fitted and shown");
    prepareBackingStore(window);
    profile::mark("backing store prepared");

    if (!startPath.isEmpty()) {
        const QString absolute = QFileInfo(startPath).absoluteFilePath();
        withFailureHandler([&] { openStartPath(window, absolute); },
                           [&](const Error& e) {
                               dialogs.message(
                                   QStringLiteral("Lumorra cannot open \"%1\" (%2).\n"
                                                  "It opens at the start-up directory instead.")
                                       .arg(absolute, e.description),
                                   QStringLiteral("Lumorra"), Buttons::Ok, Icon::Exclamation,
                                   std::nullopt, &window);
                           });
    }
    profile::mark("start path opened");
    return app.exec();
}

// The main window and everything that works on it, started with the services; returns the
// program's exit code.
int runMainWindow(QApplication& app, lumorra::Services& services, lumorra::QtDialogs& dialogs,
                  lumorra::RunLog& runLog, lumorra::Preloader& early, const QString& startPath) {
    using namespace lumorra;
    VolumeWatch volumes;
    profile::mark("volumes");
    MainWindow window(services, volumes);
    profile::mark("main window built");
    SelectionViewer viewer(window, services);
    viewer.adoptPreloaded(early);
    wireViewerWindows(window, viewer, services);
    // Directory commands and the DIR browser (status bar panel 3); the autoskip slide show.
    DirectoryCommands directoryCommands(window);
    SlideShow slideShow(window, services);
    FileOperations fileOperations(window, services);
    FileListKeys fileListKeys(window);
    wireFileOperations(window, fileOperations, fileListKeys, services);
    InfoListGenerator infoList(window, services);
    EditorInfoListTarget infoListEditor;
    wireEditor(window, infoList, infoListEditor, services);
    // Separate picture and animation windows, and the clipboard's copy and paste buttons.
    SeparateViewer separateViewer(window, services);
    ClipboardCommands clipboardCommands(window, services);

    // Context help: F1 in any window opens the help topic of the focused control or window.
    ContextHelp contextHelp(services.help, services.paths.helpFile());
    app.installEventFilter(&contextHelp);
    StartupSequence startup(services, runLog, window, [] {
        SplashWindow splash;
        splash.exec();
    });
    profile::mark("viewer and commands wired");
    if (!runStartup(startup, dialogs))
        return EXIT_FAILURE;
    // The start's settings are written on a thread: once the window's first frame is on the
    // screen the program waits for the write, and writes again what failed there.
    const AfterFirstPaint settled(
        [&services] { ignoreErrors([&] { services.settings.settle(); }); });
    return showMainWindow(app, window, dialogs, services.screen, startPath);
}

// The services the windows are given, made once the application object exists; the decoder
// pool, made before it, outlives them all.
int runProgram(QApplication& app, const QString& startPath, lumorra::picture::DecoderPool& decoders,
               lumorra::ColourTransforms& colour, lumorra::Preloader& early,
               lumorra::EarlyDecode& earlyDecode, QFuture<std::vector<QImage>>& iconImages) {
    using namespace lumorra;
    HelpViewer help;
    QtDialogs dialogs(help);
    ProcessLauncher launcher;
    QtScreen screen;
    SettingsStore settings(SettingsStore::defaultFilePath());
    ProgramLog programLog;
    RunLog runLog;
    QtClipboard clipboard;
    ScreenProfileWatch screenProfile(colour);
    Services services{settings, programLog, dialogs,   launcher,
                      screen,   help,       clipboard, ProgramPaths::detect(),
                      colour,   decoders};
    profile::mark("services and settings");
    confirmEarlyDecode(earlyDecode, settings, screen);
    profile::mark("early decode confirmed");
    QApplication::setWindowIcon(programIcon(iconImages.result()));
    profile::mark("icon");
    return runMainWindow(app, services, dialogs, runLog, early, startPath);
}

} // namespace

int lumorraMain(Launch* launch) {
    lumorra::profile::mark("main");
    const QString startPath = QFile::decodeName(launch->startPath);
    preferX11OnWayland();
    lumorra::prepareXlibForThreads();
    // Fontconfig reads its configuration and font caches on a thread of its own meanwhile, and
    // Xlib its data of the locale: the first caption the window measures, and the first title
    // the application object sets, would otherwise wait for them.
    [[maybe_unused]] const QFuture<void> fonts = QtConcurrent::run([] {
        FcInit();
        lumorra::loadXlibLocale();
    });
    // With a picture to show, the decoder workers start before anything else, on the zygote the
    // launcher started: the picture waits for none. Without one they start once the window is
    // on the screen, and leave the start the processor meanwhile. The pool ends after the
    // application object, which waits for the threads that decode; its end stops the workers
    // and the zygote.
    lumorra::picture::DecoderPool decoders(lumorra::picture::DecoderPool::defaultProgram());
    decoders.adoptZygote(launch->zygoteControl, launch->zygotePid);
    if (!startPath.isEmpty()) {
        decoders.warmUp();
        lumorra::profile::mark("decoder pool warmed");
    }
    // The photo's decode starts beside the application object's making.
    lumorra::ColourTransforms colour;
    lumorra::Preloader early(decoders, colour);
    lumorra::EarlyDecode earlyDecode(startPath.isEmpty() ? QString()
                                                         : QFileInfo(startPath).absoluteFilePath(),
                                     decoders, colour, early);
    QApplication::setApplicationName(QStringLiteral("Lumorra"));
    QApplication::setOrganizationName(QStringLiteral("Tovik Software"));
    QApplication::setApplicationVersion(QStringLiteral("3.0"));
    QApplication app(launch->argc, launch->argv);
    lumorra::profile::mark("QApplication");
    lumorra::cacheStylePixmaps();
    FirstPaints firstPaints;
    if (lumorra::profile::enabled())
        app.installEventFilter(&firstPaints);
    // Qt's image plugins load on a thread of their own once the first window is on the
    // screen: loading them holds locks the first frame would wait for. The end of the program
    // waits for it. The decoder workers are ready by then too.
    QThreadPool imagePlugins;
    const AfterFirstPaint afterFirstFrame([&imagePlugins, &decoders] {
        decoders.warmUp();
        lumorra::profile::mark("after the first frame: workers and plugins started");
        [[maybe_unused]] const QFuture<void> loaded =
            QtConcurrent::run(&imagePlugins, lumorra::loadImageFormatPlugins);
    });
    // The icon is drawn beside the making of the services; the windows take it once it is set.
    QFuture<std::vector<QImage>> iconImages = QtConcurrent::run(lumorra::programIconImages);
    lumorra::profile::mark("style pixmaps");
    // Message boxes during start-up come and go before the main window exists; only the main
    // window's closing ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // The look for the session bus changes the environment, which the early decode's connection
    // to the X server reads.
    earlyDecode.waitForScreen();
    lumorra::lookForSessionBusWithoutAutolaunch();
    lumorra::profile::mark("plugins, icon, session bus");
    return runProgram(app, startPath, decoders, colour, early, earlyDecode, iconImages);
}
