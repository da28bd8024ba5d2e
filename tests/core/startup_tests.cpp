#include "browser/MainWindow.h"
#include "browser/StartPath.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "core/Startup.h"
#include "movie/MovieControl.h"
#include "platform/Keys.h"
#include "platform/Launcher.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "support/Fakes.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnv.h"
#include "support/TestServices.h"
#include "ui/StatusBar.h"
#include "viewer/SelectionViewer.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

const QStringList NormalLines = {
    QStringLiteral("***Tovik Software, Lumorra Run Logfile***"),
    QString(),
    QStringLiteral("Program Logfile set.................................. OK"),
    QStringLiteral("Program information saved to registration database... OK"),
    QStringLiteral("Program Help file set................................ OK"),
    QStringLiteral("File list box pattern set............................ OK"),
    QStringLiteral("Drive list box drive set............................. OK"),
    QStringLiteral("Dir list box path set................................ OK"),
    QStringLiteral("Default copy destination path set.................... OK"),
    QStringLiteral("AutoSkip interval set................................ OK"),
    QStringLiteral("Statusbar text set................................... OK"),
    QStringLiteral("Label6 caption set................................... OK"),
    QStringLiteral("Special settings section completed................... OK"),
};

// One program start on a private program directory and settings file.
struct Start : TestServices {
    RunLog runLog;
    std::unique_ptr<MainWindow> window;
    QStringList events; // "splash", "input:<title>", "message:<title>" in the order shown
    int splashes = 0;

    Start() {
        window = std::make_unique<MainWindow>(
            services, std::vector<Volume>{Volume{QStringLiteral("/"), QStringLiteral("/"), true}});
        dialogs.onShow = [this](const ScriptedDialogs::Event& e) {
            if (e.kind == ScriptedDialogs::Event::Kind::Input)
                events << QStringLiteral("input:") + e.input.title;
            else if (e.kind == ScriptedDialogs::Event::Kind::Message)
                events << QStringLiteral("message:") + e.message.title;
        };
    }

    // Settings of a user who has started before, so no prompt is shown.
    void seedKnownUser() {
        settings.write(keys::User, QStringLiteral("Anna"));
        settings.write(keys::UserReq, QStringLiteral("0"));
        settings.write(keys::Systray, QStringLiteral("0"));
    }

    StartupSequence::Outcome run() {
        StartupSequence seq(services, runLog, *window, [this] {
            ++splashes;
            events << QStringLiteral("splash");
        });
        return seq.run();
    }

    QStringList runLogLines() const {
        QString text = QString::fromUtf8(readFile(services.paths.runLogFile()));
        if (!text.endsWith(QStringLiteral("\r\n")))
            return {QStringLiteral("<no CR LF at the end>"), text};
        text.chop(2);
        return text.split(QStringLiteral("\r\n"));
    }
};

QStringList settingsKeysInOrder(const QString& file) {
    QStringList keys;
    for (const QByteArray& line : readFile(file).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            keys << QString::fromUtf8(line.left(eq));
    }
    return keys;
}

QStringList tail(QStringList lines, const QStringList& more) {
    return lines << more;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartAsksForNameAndWritesDefaults();
    void normalStartRestoresBrowserState();
    void missingStartupDirUsesRecoveryDefaults();
    void userVerification_data();
    void userVerification();
    void nosplashInAnyCaseSkipsTheSplash_data();
    void nosplashInAnyCaseSkipsTheSplash();
    void screenWidthTest_data();
    void screenWidthTest();
    void screenYesStartsDisplaySettings();
    void screenFailureIsReported();
    void trayStep_data();
    void trayStep();
    void missingTrayProgramIsReportedAndStartContinues();
    void unwritableLogDirectoryStopsTheStart();
    void closingStoresIntervalAndClosesWindows();
    void startFileOfAnyTypeIsListedAndShown_data();
    void startFileOfAnyTypeIsListedAndShown();
};

void StartupTest::firstStartAsksForNameAndWritesDefaults() {
    Start s;
    s.dialogs.cancelInput(); // a cancel counts as an empty answer: asked again
    s.dialogs.answerInput(QString());
    s.dialogs.answerInput(QStringLiteral("Anna Maria"));
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);

    // The splash comes first; the name prompt is repeated until a name is typed.
    const QString prompt = QStringLiteral("input:Lumorra - User name entry");
    QCOMPARE(s.events, QStringList({QStringLiteral("splash"), prompt, prompt, prompt}));
    const InputBoxSpec spec = s.dialogs.inputs().front();
    QCOMPARE(spec.prompt, QStringLiteral("Enter a User name. (Capital letters will be remembered) "
                                         "It will later be possible to use this User name as "
                                         "password"));
    QCOMPARE(spec.defaultText, QString());
    QCOMPARE(spec.helpTopic, 27);
    QCOMPARE(spec.helpFile, s.programDir + QStringLiteral("/lmhelp.hlp"));

    QCOMPARE(settingsKeysInOrder(s.env.settingsFile()),
             QStringList({"AppPath", "EXEName", "Version", "User", "OLE", "AutoZoom", "AutoSkip",
                          "UserReq", "DelConfirmation", "MoveConfirmation", "OnTop", "Systray",
                          "AniPattern", "PicPattern"}));
    QCOMPARE(s.settings.read(keys::User), QStringLiteral("Anna Maria"));
    QCOMPARE(s.settings.read(keys::AppPath), s.programDir + QLatin1Char('/'));
    QCOMPARE(s.settings.read(keys::EXEName), QStringLiteral("lumorra"));
    QCOMPARE(s.settings.read(keys::Version), QStringLiteral("3"));
    for (const QString& k : {keys::OLE, keys::AutoZoom, keys::AutoSkip, keys::DelConfirmation,
                             keys::MoveConfirmation, keys::OnTop})
        QCOMPARE(s.settings.read(k), QStringLiteral("1"));
    QCOMPARE(s.settings.read(keys::UserReq), QStringLiteral("0"));
    QCOMPARE(s.settings.read(keys::Systray), QStringLiteral("0"));
    QCOMPARE(s.settings.read(keys::AniPattern),
             QStringLiteral("*.avi;*.mpg;*.mpeg;*.mov;*.viv;*.qm;*.mp4;*.mkv;*.webm;*.m4v"));
    QCOMPARE(s.settings.read(keys::PicPattern),
             QStringLiteral("*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.emf;*.ico;*.png;*.webp;*.tif;*.tiff;"
                            "*.tga;*.heic;*.heif;*.avif;*.jxl;*.cr2;*.cr3;*.nef;*.nrw;*.arw;*.sr2;"
                            "*.dng;*.raf;*.orf;*.rw2;*.pef;*.srw;*.3fr;*.iiq;*.kdc"));

    QCOMPARE(s.runLogLines(),
             tail(NormalLines,
                  {QStringLiteral("New user added....................................... OK"),
                   QStringLiteral("Options saved to registration database............... OK"),
                   QStringLiteral("Usertest section completed........................... OK"),
                   QStringLiteral("Screen resolution section completed.................. OK"),
                   QStringLiteral("Systray program load is off.......................... OK"),
                   QStringLiteral("Systray section completed............................ OK"),
                   QStringLiteral("PROGRAM LOAD COMPLETED")}));
    // An empty start-up directory leaves the lists where the window stands them as it shows:
    // on the user's home.
    s.window->standOnHomeUnlessPlaced();
    QCOMPARE(s.window->Dir1->path(), QDir::homePath());
    QCOMPARE(s.window->Text2->text(), QStringLiteral("10"));
    QCOMPARE(s.window->StatusBar1->text(1), QStringLiteral(" Pictures "));
    QCOMPARE(s.window->StatusBar1->text(3), QStringLiteral("  "));
    QVERIFY(s.programLogLines().isEmpty());
}

void StartupTest::normalStartRestoresBrowserState() {
    Start s;
    s.seedKnownUser();
    const QString pics = s.env.makeDir(QStringLiteral("pics"));
    for (const char* name : {"a.JPG", "b.bmp", "c.txt", ".hidden.jpg", "d.png"})
        writeFile(pics + QLatin1Char('/') + QLatin1String(name), "x");
    QDir().mkpath(pics + QStringLiteral("/sub.jpg"));     // a directory is no file
    s.settings.write(QStringLiteral("Startupdir"), pics); // the other spelling of the key
    s.settings.write(keys::DefaultCopyDir, QStringLiteral("/tmp/copies/"));
    s.settings.write(keys::PicPattern, QStringLiteral("*.jpg;*.bmp"));
    s.settings.write(keys::AutoSkipInterval, QStringLiteral("abc"));
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);

    QCOMPARE(s.window->Dir1->path(), pics);
    QCOMPARE(s.window->File1->path(), pics);
    QCOMPARE(s.window->File1->count(), 2);
    QCOMPARE(s.window->Label6->text(), QStringLiteral("2 File(s)"));
    QCOMPARE(s.window->Text3->text(), QStringLiteral("/tmp/copies/"));
    QCOMPARE(s.window->StatusBar1->text(3), QStringLiteral("  /tmp/copies/"));
    // The interval is taken as stored; it is checked when the slide show starts.
    QCOMPARE(s.window->Text2->text(), QStringLiteral("abc"));
    QCOMPARE(s.runLogLines().mid(0, NormalLines.size()), NormalLines);
    QCOMPARE(s.runLogLines().last(), QStringLiteral("PROGRAM LOAD COMPLETED"));
    QVERIFY(s.dialogs.events().empty());
}

void StartupTest::missingStartupDirUsesRecoveryDefaults() {
    Start s;
    s.seedKnownUser();
    s.settings.write(keys::StartupDir, s.env.root() + QStringLiteral("/gone/away"));
    s.settings.write(keys::DefaultCopyDir, QStringLiteral("/never/used/"));
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);

    const QStringList lines = s.runLogLines();
    QCOMPARE(lines.mid(0, 7), NormalLines.mid(0, 7)); // up to "Drive list box drive set"
    QCOMPARE(
        lines.mid(7, 5),
        QStringList({QStringLiteral("Default copy destination set BY DEFAULT.............. OK"),
                     QStringLiteral("Statusbar text set BY DEFAULT........................ OK"),
                     QStringLiteral("Drive list box drive set BY DEFAULT.................. OK"),
                     QStringLiteral("Dir list box path ser BY DEFAULT..................... OK"),
                     QStringLiteral("Label6 caption set................................... OK")}));
    QCOMPARE(lines.last(), QStringLiteral("PROGRAM LOAD COMPLETED"));
    const QString home = QDir::homePath() + QLatin1Char('/');
    QCOMPARE(s.window->Text3->text(), home);
    QCOMPARE(s.window->Dir1->path(), QDir::homePath());
    QCOMPARE(s.window->StatusBar1->text(1), QStringLiteral("Pictures"));
    QCOMPARE(s.window->StatusBar1->text(3), QStringLiteral("  ") + home);
    // The steps after the failing one did not run: the interval box keeps its empty text.
    QCOMPARE(s.window->Text2->text(), QString());
}

void StartupTest::userVerification_data() {
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("admitted");
    QTest::newRow("same name") << false << QStringLiteral("Anna") << true;
    QTest::newRow("other letter case") << false << QStringLiteral("anna") << false;
    QTest::newRow("trailing space") << false << QStringLiteral("Anna ") << false;
    QTest::newRow("cancelled") << true << QString() << false;
}

void StartupTest::userVerification() {
    QFETCH(bool, cancel);
    QFETCH(QString, typed);
    QFETCH(bool, admitted);
    Start s;
    s.seedKnownUser();
    s.settings.write(keys::UserReq, QStringLiteral("1"));
    s.log.setStamp([] { return QStringLiteral("<d, t> "); });
    if (cancel)
        s.dialogs.cancelInput();
    else
        s.dialogs.answerInput(typed);

    const auto outcome = s.run();
    const InputBoxSpec prompt = s.dialogs.inputs().at(0);
    QCOMPARE(prompt.title, QStringLiteral("Lumorra - User Verification"));
    QCOMPARE(prompt.prompt, QStringLiteral("Enter your User name to run the Lumorra program "
                                           "(Remember capital letters)"));
    QCOMPARE(prompt.helpTopic, 27);
    if (admitted) {
        QCOMPARE(outcome, StartupSequence::Outcome::Completed);
        QCOMPARE(s.dialogs.beeps(), 0);
        QCOMPARE(s.runLogLines().last(), QStringLiteral("PROGRAM LOAD COMPLETED"));
        return;
    }
    QCOMPARE(outcome, StartupSequence::Outcome::Terminated);
    QCOMPARE(s.dialogs.beeps(), 1);
    const auto messages = s.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text, QStringLiteral("Invalid User name. The program will terminate, for "
                                              "another try restart the program"));
    QCOMPARE(messages[0].title, QStringLiteral("Lumorra - Invalid User Name"));
    QCOMPARE(messages[0].buttons, Buttons::Ok);
    QCOMPARE(messages[0].icon, Icon::Critical);
    QCOMPARE(s.programLogLines(),
             QStringList({QStringLiteral("<d, t> Invalid user name was entered")}));
    const QStringList lines = s.runLogLines();
    QCOMPARE(lines.last(), QStringLiteral("Invalid user name was entered, Program terminated"));
    QCOMPARE(lines.at(lines.size() - 2), NormalLines.last());
    QVERIFY(!lines.contains(QStringLiteral("PROGRAM LOAD COMPLETED")));
    QVERIFY(!s.log.isOpen());
}

void StartupTest::nosplashInAnyCaseSkipsTheSplash_data() {
    QTest::addColumn<QString>("special");
    QTest::addColumn<int>("splashes");
    QTest::newRow("none") << QString() << 1;
    QTest::newRow("lower case") << QStringLiteral("nosplash") << 0;
    QTest::newRow("mixed case between words") << QStringLiteral("fast NoSplash quiet") << 0;
    QTest::newRow("capitals glued to words") << QStringLiteral("xNOSPLASHy") << 0;
    QTest::newRow("other keyword") << QStringLiteral("no splash") << 1;
}

void StartupTest::nosplashInAnyCaseSkipsTheSplash() {
    QFETCH(QString, special);
    QFETCH(int, splashes);
    Start s;
    s.seedKnownUser();
    s.settings.write(keys::SpcSetting, special);
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);
    QCOMPARE(s.splashes, splashes);
}

void StartupTest::screenWidthTest_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("asks");
    QTest::newRow("1280 x 600 passes") << QSize(1280, 600) << false;
    QTest::newRow("1024 x 768 passes") << QSize(1024, 768) << false;
    QTest::newRow("1023 wide asks") << QSize(1023, 768) << true;
    QTest::newRow("800 x 1024 asks") << QSize(800, 1024) << true;
}

void StartupTest::screenWidthTest() {
    QFETCH(QSize, size);
    QFETCH(bool, asks);
    Start s;
    s.seedKnownUser();
    s.screen.setSize(size);
    s.dialogs.answerMessage(Answer::No);
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);
    const auto messages = s.dialogs.messages();
    QCOMPARE(messages.size(), size_t(asks ? 1 : 0));
    QCOMPARE(s.launcher.displaySettingsStarts, 0);
    if (!asks)
        return;
    const MessageBoxSpec& m = messages[0];
    QCOMPARE(m.title, QStringLiteral("Lumorra - The current screen resolution is insufficient"));
    QCOMPARE(m.text, QStringLiteral(
                         "The Lumorra program is designed for a screen resolution of 1024 x 768 "
                         "pixels or more.\n\nThe current screen resolution is: %1 x %2 Pixels\n\n"
                         "In order to get the full advantages and capabilities of this program "
                         "you'll have to change the\nscreen resolution to a minimum of 1024 x 768 "
                         "pixels\n\nDO YOU WANT TO CHANGE THE SCREEN RESOLUTION NOW?")
                         .arg(size.width())
                         .arg(size.height()));
    QCOMPARE(m.buttons, Buttons::YesNo);
    QCOMPARE(m.icon, Icon::Exclamation);
    QCOMPARE(m.defaultButton, std::optional<Answer>(Answer::No));
    QVERIFY(s.runLogLines().contains(
        QStringLiteral("Screen resolution section completed.................. OK")));
}

void StartupTest::screenYesStartsDisplaySettings() {
    Start s;
    s.seedKnownUser();
    s.screen.setSize(QSize(800, 600));
    s.dialogs.answerMessage(Answer::Yes);
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);
    const auto messages = s.dialogs.messages();
    QCOMPARE(messages.size(), size_t(2));
    QCOMPARE(messages[1].title, QStringLiteral("HELP - for changing the screen resolution"));
    QCOMPARE(messages[1].text, QStringLiteral("Double click on the Display icon, and select the "
                                              "Settings tab, then change the display area to a "
                                              "minimum of 1024 x 768 pixels"));
    QCOMPARE(messages[1].icon, Icon::Information);
    QCOMPARE(s.launcher.displaySettingsStarts, 1);
}

void StartupTest::screenFailureIsReported() {
    Start s;
    s.seedKnownUser();
    s.screen.setSize(QSize(800, 600));
    s.dialogs.answerMessage(Answer::Yes);
    s.launcher.failWith = Error{13, QStringLiteral("Permission denied")};
    s.log.setStamp([] { return QStringLiteral("<d, t> "); });
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);
    QCOMPARE(s.dialogs.beeps(), 1);
    const auto messages = s.dialogs.messages();
    QCOMPARE(messages.back().title,
             QStringLiteral("Resolution detection ERROR 13 (Permission denied)"));
    QCOMPARE(messages.back().text,
             QStringLiteral("Unable to detect the screen resolution or running the Control panel"));
    QCOMPARE(messages.back().icon, Icon::Critical);
    QCOMPARE(s.programLogLines(),
             QStringList(
                 {QStringLiteral("\"<d, t> Resolution detection ERROR 13 (Permission denied)\"")}));
    const QStringList lines = s.runLogLines();
    const auto at = lines.indexOf(QStringLiteral("Screen resolution detection ERROR"));
    QVERIFY(at > 0);
    QCOMPARE(lines.at(at + 1),
             QStringLiteral("Screen resolution section completed.................. OK"));
    QCOMPARE(lines.last(), QStringLiteral("PROGRAM LOAD COMPLETED"));
}

void StartupTest::trayStep_data() {
    QTest::addColumn<QString>("systray");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QString>("line");
    QTest::newRow("on, not running")
        << "1"
        << "0" << true << "Systray program loaded............................... OK";
    QTest::newRow("on, never ran")
        << "1"
        << "" << true << "Systray program loaded............................... OK";
    QTest::newRow("on, already running") << "1"
                                         << "1" << false << "";
    QTest::newRow("off") << "0"
                         << "0" << false
                         << "Systray program load is off.......................... OK";
    QTest::newRow("off, but running") << "0"
                                      << "1" << false << "";
}

void StartupTest::trayStep() {
    QFETCH(QString, systray);
    QFETCH(QString, loaded);
    QFETCH(bool, starts);
    QFETCH(QString, line);
    Start s;
    s.seedKnownUser();
    s.settings.write(keys::Systray, systray);
    s.settings.write(keys::SystrayLoaded, loaded);
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);
    QCOMPARE(s.launcher.starts.size(), size_t(starts ? 1 : 0));
    if (starts) {
        QCOMPARE(s.launcher.starts[0].program, s.programDir + QStringLiteral("/lmtray"));
        QCOMPARE(s.launcher.starts[0].focus, LaunchFocus::Unfocused);
    }
    QStringList expected{
        QStringLiteral("Screen resolution section completed.................. OK")};
    if (!line.isEmpty())
        expected << line;
    expected << QStringLiteral("Systray section completed............................ OK")
             << QStringLiteral("PROGRAM LOAD COMPLETED");
    const QStringList lines = s.runLogLines();
    QCOMPARE(lines.mid(lines.size() - expected.size()), expected);
    // The main program never writes the tray program's key.
    QCOMPARE(s.settings.read(keys::SystrayLoaded), loaded);
}

void StartupTest::missingTrayProgramIsReportedAndStartContinues() {
    // The real launcher, on a program directory without lmtray.
    Start s;
    ProcessLauncher real;
    Services services{s.settings, s.log,       s.dialogs,        real,     s.screen,
                      s.help,     s.clipboard, s.services.paths, s.colour, s.decoders};
    s.seedKnownUser();
    s.settings.write(keys::Systray, QStringLiteral("1"));
    s.log.setStamp([] { return QStringLiteral("<d, t> "); });
    StartupSequence seq(services, s.runLog, *s.window, {});
    QCOMPARE(seq.run(), StartupSequence::Outcome::Completed);

    QCOMPARE(s.dialogs.beeps(), 1);
    const auto messages = s.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text, QStringLiteral("Unable to load the Systray program, please check "
                                              "that the program exists."));
    QCOMPARE(messages[0].title, QStringLiteral("Systray ERROR 2 (No such file or directory)"));
    QCOMPARE(messages[0].icon, Icon::Critical);
    QCOMPARE(
        s.programLogLines(),
        QStringList({QStringLiteral("\"<d, t> Systray ERROR 2 (No such file or directory)\"")}));
    const QStringList lines = s.runLogLines();
    QCOMPARE(
        lines.mid(lines.size() - 3),
        QStringList({QStringLiteral("Systray program ERROR"),
                     QStringLiteral("Systray section completed............................ OK"),
                     QStringLiteral("PROGRAM LOAD COMPLETED")}));
}

void StartupTest::unwritableLogDirectoryStopsTheStart() {
    Start s;
    s.seedKnownUser();
    // A log directory that cannot hold files: the start is abandoned with the error.
    s.services.paths.logDir = s.env.root() + QStringLiteral("/afile");
    writeFile(s.services.paths.logDir, "x");
    StartupSequence seq(s.services, s.runLog, *s.window, {});
    QVERIFY_THROWS_EXCEPTION(Error, seq.run());
}

void StartupTest::closingStoresIntervalAndClosesWindows() {
    Start s;
    s.seedKnownUser();
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);
    auto* editor = new QWidget;
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->show();
    QPointer<QWidget> watch(editor);
    s.window->secondaryWindows().editor = editor;
    s.window->show();
    s.window->Text2->setText(QStringLiteral(" 7x"));
    QSignalSpy closed(s.window.get(), &MainWindow::closed);
    s.window->close();
    QCOMPARE(closed.count(), 1);
    QTRY_VERIFY(watch.isNull());
    QCOMPARE(s.settings.read(keys::AutoSkipInterval), QStringLiteral(" 7x"));
    QVERIFY(!s.log.isOpen());
}

void StartupTest::startFileOfAnyTypeIsListedAndShown_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format"); // a picture format, "mkv" for a clip, empty: noise
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("pattern");
    const QString pic = defaults::PicPattern + QLatin1Char(';');
    const QString ani = defaults::AniPattern + QLatin1Char(';');
    QTest::newRow("ppm") << "photo.ppm" << QByteArray("PPM") << "pic" << pic + "*.ppm";
    QTest::newRow("pgm as typed") << "Photo.PGM" << QByteArray("PGM") << "pic" << pic + "*.PGM";
    QTest::newRow("listed") << "holiday.jpg" << QByteArray("JPG") << "pic" << defaults::PicPattern;
    QTest::newRow("tif listed") << "scan.tif" << QByteArray("TIFF") << "pic"
                                << defaults::PicPattern;
    QTest::newRow("movie") << "clip.flv" << QByteArray("mkv") << "avi" << ani + "*.flv";
    QTest::newRow("mkv listed") << "clip.mkv" << QByteArray("mkv") << "avi" << defaults::AniPattern;
    QTest::newRow("unknown") << "x.qqq" << QByteArray() << "pic" << pic + "*.qqq";
}

// "lumorra FILE" after a normal start on the default patterns: the file is listed, selected and
// shown, in the mode that shows its type; the stored settings stay as they were.
void StartupTest::startFileOfAnyTypeIsListedAndShown() {
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(QString, mode);
    QFETCH(QString, pattern);
    Start s;
    s.seedKnownUser();
    s.settings.write(keys::OLE, QStringLiteral("0"));
    s.settings.write(keys::AutoZoom, QStringLiteral("0"));
    s.settings.write(keys::PicPattern, defaults::PicPattern);
    s.settings.write(keys::AniPattern, defaults::AniPattern);
    s.settings.write(keys::StartupDir, s.env.makeDir(QStringLiteral("start")));
    const QString path = s.env.makeDir(QStringLiteral("pics")) + QLatin1Char('/') + name;
    if (format == "mkv") {
        if (QProcess::execute(QStringLiteral("ffmpeg"),
                              {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                               "testsrc=size=160x120:rate=10", "-t", "1", path}) != 0)
            QSKIP("ffmpeg cannot make a clip here");
    } else if (!format.isEmpty()) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        if (!image.save(path, format.constData()))
            QSKIP("Qt cannot write this format here");
    } else {
        QByteArray noise(300, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        writeFile(path, noise);
    }
    SelectionViewer viewer(*s.window, s.services);
    QCOMPARE(s.run(), StartupSequence::Outcome::Completed);
    s.settings.settle(); // as the program does once its first frame is on the screen
    const QByteArray stored = readFile(s.env.settingsFile());

    openStartPath(*s.window, path);
    MainWindow& w = *s.window;
    QCOMPARE(w.Label2->text(), mode);
    QCOMPARE(w.StatusBar1->text(1),
             mode == "pic" ? QStringLiteral(" Pictures ") : QStringLiteral(" Animations "));
    QCOMPARE(w.File1->pattern(), pattern);
    QCOMPARE(w.File1->fileName(), name);
    QCOMPARE(w.Label6->text(), QStringLiteral("1 File(s)"));
    QCOMPARE(w.Label1->text(), path);
    QVERIFY2(w.StatusBar1->text(2).startsWith(path + QStringLiteral(" (")),
             qPrintable(w.StatusBar1->text(2)));
    QCOMPARE(readFile(s.env.settingsFile()), stored);
    // Noise is no picture: it gets the picture load message as a broken picture does.
    const auto messages = s.dialogs.messages();
    QCOMPARE(messages.size(), size_t(format.isEmpty() ? 1 : 0));
    if (format.isEmpty())
        QVERIFY2(messages[0].title.startsWith(QStringLiteral("Picture load ERROR ")),
                 qPrintable(messages[0].title));
    w.AM1->setFileName(QString());
}

QTEST_MAIN(StartupTest)
#include "startup_tests.moc"
