#include "Startup.h"

#include "Logs.h"
#include "Services.h"
#include "platform/Dialogs.h"
#include "platform/Help.h"
#include "platform/Keys.h"
#include "platform/Launcher.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "platform/StartupProfile.h"

#include <QDir>

namespace lumorra {
namespace {

const QString MajorVersion = QStringLiteral("3");

} // namespace

StartupSequence::StartupSequence(Services& services, RunLog& runLog, StartupTarget& target,
                                 std::function<void()> showSplash)
    : s_(services), runLog_(runLog), target_(target), showSplash_(std::move(showSplash)) {}

QString StartupSequence::recoveryDir() {
    return QDir::homePath() + QLatin1Char('/');
}

StartupSequence::Outcome StartupSequence::run() {
    // Steps 1 and 2 run without error handling: a log that cannot be opened stops the start.
    runLog_.open(s_.paths.runLogFile());
    s_.log.open(s_.paths.programLogFile());
    runLog_.status(QStringLiteral("Program Logfile set"));
    profile::mark("startup: logs opened");

    // The program's identity goes to the file in one replace, on a thread of its own: the start
    // goes on while it reaches the disk, and ends only once it has. Should the replace fail,
    // each key is tried on its own, so that what can be stored still is.
    s_.settings.writeSoon({{keys::AppPath, s_.paths.appPath()},
                           {keys::EXEName, s_.paths.exeName},
                           {keys::Version, MajorVersion}});
    ignoreErrors([&] {
        runLog_.status(QStringLiteral("Program information saved to registration database"));
    });
    // The help file is found by its path whenever a window opens it; nothing to register.
    ignoreErrors([&] { runLog_.status(QStringLiteral("Program Help file set")); });
    profile::mark("startup: identity stored");

    try {
        restoreBrowserState();
    } catch (...) {
        recover();
    }

    target_.setFileCountText(QString::number(target_.fileCount()) + QStringLiteral(" File(s)"));
    runLog_.status(QStringLiteral("Label6 caption set"));
    profile::mark("startup: browser state restored");

    spctest();
    runLog_.status(QStringLiteral("Special settings section completed"));
    profile::mark("startup: spctest");

    if (!usertest()) {
        s_.settings.settle();
        return Outcome::Terminated;
    }
    runLog_.status(QStringLiteral("Usertest section completed"));
    profile::mark("startup: usertest");

    restest();
    runLog_.status(QStringLiteral("Screen resolution section completed"));
    profile::mark("startup: restest");

    systray();
    runLog_.status(QStringLiteral("Systray section completed"));
    // What the start stored goes on the disk on its thread meanwhile: the program settles it once
    // the first frame is on the screen, and every later write waits for it first.

    runLog_.line(QStringLiteral("PROGRAM LOAD COMPLETED"));
    runLog_.close();
    profile::mark("startup: systray, run log closed");
    return Outcome::Completed;
}

void StartupSequence::restoreBrowserState() {
    const QString picPattern = s_.settings.read(keys::PicPattern);
    target_.setFilePattern(picPattern.isEmpty() ? defaults::PicPattern : picPattern);
    runLog_.status(QStringLiteral("File list box pattern set"));
    profile::mark("startup: pattern");

    const QString startupDir = s_.settings.read(keys::StartupDir);
    target_.setDriveFromPath(startupDir);
    runLog_.status(QStringLiteral("Drive list box drive set"));
    profile::mark("startup: drive");

    target_.setDirPath(startupDir);
    runLog_.status(QStringLiteral("Dir list box path set"));
    profile::mark("startup: dir");

    target_.setCopyDir(s_.settings.read(keys::DefaultCopyDir));
    runLog_.status(QStringLiteral("Default copy destination path set"));

    const QString interval = s_.settings.read(keys::AutoSkipInterval);
    target_.setIntervalText(interval.isEmpty() ? QStringLiteral("10") : interval);
    runLog_.status(QStringLiteral("AutoSkip interval set"));

    target_.setPanelText(1, QStringLiteral(" Pictures "));
    target_.setPanelText(2, target_.currentFile());
    target_.setPanelText(3, QStringLiteral("  ") + target_.copyDir());
    runLog_.status(QStringLiteral("Statusbar text set"));
}

void StartupSequence::recover() {
    // The recovery steps must not fail the start themselves: each one is tried, and its line
    // tells that the step was reached.
    ignoreErrors([&] { target_.setCopyDir(recoveryDir()); });
    runLog_.status(QStringLiteral("Default copy destination set BY DEFAULT"));

    ignoreErrors([&] {
        target_.setPanelText(1, QStringLiteral("Pictures"));
        target_.setPanelText(2, target_.currentFile());
        target_.setPanelText(3, QStringLiteral("  ") + target_.copyDir());
    });
    runLog_.status(QStringLiteral("Statusbar text set BY DEFAULT"));

    ignoreErrors([&] { target_.setDriveFromPath(recoveryDrive()); });
    runLog_.status(QStringLiteral("Drive list box drive set BY DEFAULT"));

    ignoreErrors([&] { target_.setDirPath(recoveryDir()); });
    runLog_.status(QStringLiteral("Dir list box path ser BY DEFAULT"));
}

void StartupSequence::spctest() {
    const QString special = s_.settings.read(keys::SpcSetting).toLower();
    if (!special.contains(QStringLiteral("nosplash")) && showSplash_)
        showSplash_();
}

bool StartupSequence::usertest() {
    if (s_.settings.read(keys::User).isEmpty()) {
        InputBoxSpec prompt;
        prompt.title = QStringLiteral("Lumorra - User name entry");
        prompt.prompt = QStringLiteral("Enter a User name. (Capital letters will be remembered) It "
                                       "will later be possible to use this User name as password");
        prompt.helpFile = s_.paths.helpFile();
        prompt.helpTopic = 27;
        QString name;
        while (name.isEmpty())
            name = s_.dialogs.input(prompt).value_or(QString());
        runLog_.status(QStringLiteral("New user added"));

        s_.settings.write(keys::User, name);
        s_.settings.write(keys::OLE, QStringLiteral("1"));
        s_.settings.write(keys::AutoZoom, QStringLiteral("1"));
        s_.settings.write(keys::AutoSkip, QStringLiteral("1"));
        s_.settings.write(keys::UserReq, QStringLiteral("0"));
        s_.settings.write(keys::DelConfirmation, QStringLiteral("1"));
        s_.settings.write(keys::MoveConfirmation, QStringLiteral("1"));
        s_.settings.write(keys::OnTop, QStringLiteral("1"));
        s_.settings.write(keys::Systray, QStringLiteral("0"));
        s_.settings.write(keys::AniPattern, defaults::AniPattern);
        s_.settings.write(keys::PicPattern, defaults::PicPattern);
        runLog_.status(QStringLiteral("Options saved to registration database"));
    }

    if (s_.settings.read(keys::UserReq) != QLatin1String("1"))
        return true;

    InputBoxSpec prompt;
    prompt.title = QStringLiteral("Lumorra - User Verification");
    prompt.prompt = QStringLiteral(
        "Enter your User name to run the Lumorra program (Remember capital letters)");
    prompt.helpFile = s_.paths.helpFile();
    prompt.helpTopic = 27;
    const std::optional<QString> answer = s_.dialogs.input(prompt);
    if (answer && *answer == s_.settings.read(keys::User))
        return true;

    s_.dialogs.beep();
    s_.log.record(QStringLiteral("Invalid user name was entered"), false);
    s_.dialogs.message(QStringLiteral("Invalid User name. The program will terminate, for another "
                                      "try restart the program"),
                       QStringLiteral("Lumorra - Invalid User Name"), Buttons::Ok, Icon::Critical);
    runLog_.line(QStringLiteral("Invalid user name was entered, Program terminated"));
    runLog_.close();
    s_.log.close();
    return false;
}

void StartupSequence::restest() {
    withFailureHandler(
        [&] {
            const double width = s_.screen.widthTwips() / s_.screen.twipsPerPixelX();
            const double height = s_.screen.heightTwips() / s_.screen.twipsPerPixelY();
            if (width >= 1024)
                return;
            const auto shortest = [](double v) {
                return QString::number(v, 'g', QLocale::FloatingPointShortest);
            };
            const QString text =
                QStringLiteral("The Lumorra program is designed for a screen resolution of 1024 "
                               "x 768 pixels or more.\n\nThe current screen resolution is: ") +
                shortest(width) + QStringLiteral(" x ") + shortest(height) +
                QStringLiteral(" Pixels\n\nIn order to get the full advantages and capabilities "
                               "of this program you'll have to change the\nscreen resolution to "
                               "a minimum of 1024 x 768 pixels\n\nDO YOU WANT TO CHANGE THE "
                               "SCREEN RESOLUTION NOW?");
            const Answer answer = s_.dialogs.message(
                text, QStringLiteral("Lumorra - The current screen resolution is insufficient"),
                Buttons::YesNo, Icon::Exclamation, Answer::No);
            if (answer != Answer::Yes)
                return;
            s_.dialogs.message(QStringLiteral("Double click on the Display icon, and select the "
                                              "Settings tab, then change the display area to a "
                                              "minimum of 1024 x 768 pixels"),
                               QStringLiteral("HELP - for changing the screen resolution"),
                               Buttons::Ok, Icon::Information);
            s_.launcher.startDisplaySettings();
        },
        [&](const Error& e) {
            s_.dialogs.beep();
            ignoreErrors(
                [&] { runLog_.line(QStringLiteral("Screen resolution detection ERROR")); });
            const QString record = errorRecordText(e, QStringLiteral("Resolution detection"),
                                                   QStringLiteral("Resolution detection"));
            ignoreErrors([&] { s_.log.record(record); });
            s_.dialogs.message(
                QStringLiteral(
                    "Unable to detect the screen resolution or running the Control panel"),
                record, Buttons::Ok, Icon::Critical);
        });
}

void StartupSequence::systray() {
    withFailureHandler(
        [&] {
            if (s_.settings.read(keys::SystrayLoaded) == QLatin1String("1"))
                return;
            if (s_.settings.read(keys::Systray) == QLatin1String("1")) {
                // The tray program reads the program's path from the file.
                s_.settings.settle();
                s_.launcher.start(s_.settings.read(keys::AppPath) + trayProgramName(), {},
                                  LaunchFocus::Unfocused);
                runLog_.status(QStringLiteral("Systray program loaded"));
            } else {
                runLog_.status(QStringLiteral("Systray program load is off"));
            }
        },
        [&](const Error& e) {
            s_.dialogs.beep();
            ignoreErrors([&] { runLog_.line(QStringLiteral("Systray program ERROR")); });
            const QString record =
                errorRecordText(e, QStringLiteral("Systray"), QStringLiteral("Systray"));
            ignoreErrors([&] { s_.log.record(record); });
            s_.dialogs.message(
                QStringLiteral("Unable to load the Systray program, please check that the program "
                               "exists."),
                record, Buttons::Ok, Icon::Critical);
        });
}

void runClosingSequence(Services& s, const std::function<void()>& closeWindows,
                        const QString& intervalText) {
    ignoreErrors([&] {
        if (closeWindows)
            closeWindows();
    });
    ignoreErrors([&] { s.log.close(); });
    ignoreErrors([&] { s.settings.write(keys::AutoSkipInterval, intervalText); });
}

} // namespace lumorra
