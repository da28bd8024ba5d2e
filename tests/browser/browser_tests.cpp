#include "browser/DirBrowserWindow.h"
#include "browser/FileTypeWindow.h"
#include "browser/MainWindow.h"
#include "browser/NaturalOrder.h"
#include "browser/SearchPattern.h"
#include "browser/StartPath.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "platform/DirectoryWatch.h"
#include "platform/Error.h"
#include "platform/FileAttributes.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "support/Fakes.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnv.h"
#include "support/TestServices.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTest>
#include <QTreeWidgetItem>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

namespace {

void touch(const QString& dir, const QString& name) {
    writeFile(dir + QLatin1Char('/') + name, "x");
}

void setStoredAttributes(const QString& path, const char* value) {
    const QByteArray local = QFile::encodeName(path);
    QVERIFY(::setxattr(local.constData(), AttributesXattr, value, qstrlen(value), 0) == 0);
}

// A main window on a private settings file, with scripted dialogs.
struct Browser : TestServices {
    QString dir = env.makeDir(QStringLiteral("pics"));
    std::unique_ptr<MainWindow> window;

    explicit Browser(std::vector<Volume> volumes = {
                         Volume{QStringLiteral("/"), QStringLiteral("/"), true}}) {
        for (const char* n :
             {"a.jpg", "b.BMP", "c.gif", "clip.avi", "movie.MPG", "old.viv", "notes.txt"})
            touch(dir, QString::fromLatin1(n));
        openProgramLog();
        window = std::make_unique<MainWindow>(services, std::move(volumes));
        window->setFilePattern(defaults::PicPattern);
        window->setDirPath(dir);
    }
    QStringList listed() const {
        QStringList out;
        for (int i = 0; i < window->File1->count(); ++i)
            out << window->File1->item(i);
        return out;
    }
    int indexOf(const QString& name) const { return listed().indexOf(name); }
};

// Gives a directory a mode while the object lives, and 0755 back after it.
struct DirMode {
    QByteArray path;
    DirMode(const QString& dir, mode_t mode) : path(QFile::encodeName(dir)) {
        ::chmod(path.constData(), mode);
    }
    ~DirMode() { ::chmod(path.constData(), 0755); }
};

} // namespace

class BrowserTest : public QObject {
    Q_OBJECT
private slots:
    void searchPatternMatching_data();
    void searchPatternMatching();
    void refusedPatterns_data();
    void refusedPatterns();
    void naturalOrder();
    void listsLeaveOutHiddenSystemAndNonFiles();
    void longListsLeaveOutHiddenAndSystemFilesToo();
    void directoryWatchTellsARemovalFromOtherChanges();
    void patternMatchingEveryNameListsEveryFile();
    void currentFileJoinsWithOneSlash();
    void everythingFitsA1024By768Screen();
    void modeSwitchThroughOk();
    void defaultsThenOkUsesTheDefaultPictures();
    void pendingPatternsAreStoredOnlyByOk();
    void filetypeWindowSwitchesKeepOnTop();
    void manualPatternChange();
    void refusedManualPatternKeepsThePrevious();
    void failedReadKeepsThePreviousPattern_data();
    void failedReadKeepsThePreviousPattern();
    void fileMenuEntriesFollowTheSelection();
    void driveWithoutMediumFallsBackSilently();
    void driveReopensWhereItWasLeft();
    void unreadableDirectoryStaysClosed_data();
    void unreadableDirectoryStaysClosed();
    void mountTableVolumes_data();
    void mountTableVolumes();
    void removedVolumeSendsEverythingHome();
    void mountedCardComesAndGoes();
    void startPathOpensDirectoryOrSelectsFile();
    void startPathSwitchesModeForAnAnimation();
    void startPathAddsWhatNeitherPatternLists_data();
    void startPathAddsWhatNeitherPatternLists();
    void startPathThatDoesNotExistChangesNothing();
    void helpFileFoundBesideOrInShare();
};

void BrowserTest::searchPatternMatching_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");
    QTest::newRow("case") << "*.jpg;*.bmp"
                          << "HOLIDAY.JPG" << true;
    QTest::newRow("second spec") << "*.jpg;*.bmp"
                                 << "x.bmp" << true;
    QTest::newRow("no match") << "*.jpg;*.bmp"
                              << "x.jpeg" << false;
    QTest::newRow("space after ;") << "*.jpg; *.bmp; *.gif"
                                   << "a.gif" << true;
    QTest::newRow("question mark") << "img?.png"
                                   << "img1.png" << true;
    QTest::newRow("question mark is one") << "img?.png"
                                          << "img12.png" << false;
    QTest::newRow("regex chars are literal") << "a+(b).jpg"
                                             << "a+(b).jpg" << true;
    QTest::newRow("dot is literal") << "a.jpg"
                                    << "abjpg" << false;
    QTest::newRow("star matches all") << "*"
                                      << "README" << true;
    QTest::newRow("empty spec skipped") << "*.gif;;"
                                        << "a.gif" << true;
}

void BrowserTest::searchPatternMatching() {
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    const SearchPattern parsed = SearchPattern::parse(pattern);
    QCOMPARE(parsed.matches(name), matches);
    // Names as the directory gives them, matched byte by byte, go the same way.
    const QByteArray bytes = name.toLatin1();
    QCOMPARE(parsed.matchesAscii(bytes.constData(), size_t(bytes.size())), matches);
}

void BrowserTest::refusedPatterns_data() {
    QTest::addColumn<QString>("pattern");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks and separators") << QStringLiteral(" ; ;");
    QTest::newRow("slash") << QStringLiteral("pics/*.jpg");
    QTest::newRow("control character") << QStringLiteral("*.jpg\n*.bmp");
}

void BrowserTest::refusedPatterns() {
    QFETCH(QString, pattern);
    try {
        SearchPattern::parse(pattern);
        QFAIL("pattern accepted");
    } catch (const Error& e) {
        QCOMPARE(e.number, 380);
        QCOMPARE(e.description, QStringLiteral("Invalid property value"));
    }
}

void BrowserTest::naturalOrder() {
    QStringList names = {"img10.jpg", "IMG2.jpg", "img1.jpg", "b.jpg",    "A.jpg",
                         "img02.jpg", "img2.JPG", "img",      "img1x.jpg"};
    std::sort(names.begin(), names.end(), naturalLess);
    QCOMPARE(names, QStringList({"A.jpg", "b.jpg", "img", "img1.jpg", "img1x.jpg", "IMG2.jpg",
                                 "img02.jpg", "img2.JPG", "img10.jpg"}));
    QVERIFY(!naturalLess("a", "a"));
    QVERIFY(naturalLess("9", "10") && !naturalLess("10", "9"));
    QVERIFY(naturalLess("x99999999999999999999", "x100000000000000000000"));
    // The list's sort folds each name once and must give the same order.
    QStringList sorted = {"img10.jpg", "IMG2.jpg", "img1.jpg", "b.jpg",     "A.jpg",
                          "img02.jpg", "img2.JPG", "img",      "img1x.jpg", "Ärger.jpg"};
    QStringList expected = sorted;
    std::sort(expected.begin(), expected.end(), naturalLess);
    naturalSort(sorted);
    QCOMPARE(sorted, expected);
    // And on many names mixing digits, zeros, letter case and punctuation.
    const QString alphabet = QStringLiteral("0019aZz_. -~Ä");
    quint32 seed = 12345;
    QStringList many;
    for (int i = 0; i < 3000; ++i) {
        QString name;
        const int length = 1 + int((seed = seed * 1103515245u + 12345u) >> 16) % 8;
        for (int k = 0; k < length; ++k)
            name += alphabet[int((seed = seed * 1103515245u + 12345u) >> 16) % alphabet.size()];
        many << name;
    }
    QStringList byKeys = many;
    naturalSort(byKeys);
    std::sort(many.begin(), many.end(), naturalLess);
    QCOMPARE(byKeys, many);
    // Characters beyond the first 256, and numbers of hundreds of digits, in the keys.
    QStringList wide = {"\u6f22\u5b57.jpg",
                        "a" + QString(300, '9') + ".jpg",
                        "a" + QString(299, '9') + ".jpg",
                        "A1.jpg",
                        "\u00e9t\u00e9.jpg",
                        "b.jpg"};
    expected = wide;
    std::sort(expected.begin(), expected.end(), naturalLess);
    naturalSort(wide);
    QCOMPARE(wide, expected);
    QCOMPARE(wide.first(), QStringLiteral("A1.jpg"));
}

void BrowserTest::listsLeaveOutHiddenSystemAndNonFiles() {
    TestEnv env;
    const QString dir = env.makeDir(QStringLiteral("d"));
    for (const char* n : {"shown.jpg", ".dot.jpg", "hidden.jpg", "system.jpg", "archive.jpg"})
        touch(dir, QString::fromLatin1(n));
    setStoredAttributes(dir + QStringLiteral("/hidden.jpg"), "34");
    setStoredAttributes(dir + QStringLiteral("/system.jpg"), "36");
    setStoredAttributes(dir + QStringLiteral("/archive.jpg"), "32");
    QDir().mkpath(dir + QStringLiteral("/folder.jpg"));
    QFile::link(dir + QStringLiteral("/shown.jpg"), dir + QStringLiteral("/link.jpg"));
    QFile::link(dir + QStringLiteral("/gone.jpg"), dir + QStringLiteral("/dangling.jpg"));
    const QStringList names = listFiles(dir, SearchPattern::parse(QStringLiteral("*.jpg")));
    QCOMPARE(names, QStringList({"archive.jpg", "link.jpg", "shown.jpg"}));
    // Names beyond ASCII are matched, decoded and sorted among the others.
    for (const QString& n :
         {QStringLiteral("\u00c4rger.JPG"), QStringLiteral("\u00e4pfel10.jpg"),
          QStringLiteral("\u00c4pfel9.jpg"), QStringLiteral("\u00e9t\u00e9.txt")})
        touch(dir, n);
    setStoredAttributes(dir + QStringLiteral("/\u00e4pfel10.jpg"), "2");
    QCOMPARE(listFiles(dir, SearchPattern::parse(QStringLiteral("*.jpg;\u00c9T\u00c9.*"))),
             QStringList({"archive.jpg", "link.jpg", "shown.jpg", "\u00c4pfel9.jpg",
                          "\u00c4rger.JPG", "\u00e9t\u00e9.txt"}));
    QVERIFY_THROWS_EXCEPTION(Error, listFiles(dir + QStringLiteral("/missing"),
                                              SearchPattern::parse(QStringLiteral("*"))));
}

void BrowserTest::longListsLeaveOutHiddenAndSystemFilesToo() {
    // Long lists read the stored attributes in bulk, relative to the directory.
    TestEnv env;
    const QString dir = env.makeDir(QStringLiteral("many"));
    for (int i = 0; i < 2600; ++i)
        touch(dir, QStringLiteral("p%1.jpg").arg(i));
    setStoredAttributes(dir + QStringLiteral("/p7.jpg"), "34");
    setStoredAttributes(dir + QStringLiteral("/p2599.jpg"), "36");
    setStoredAttributes(dir + QStringLiteral("/p1300.jpg"), "32");
    QDir().mkpath(dir + QStringLiteral("/sub"));
    QDir().mkpath(dir + QStringLiteral("/hiddensub"));
    setStoredAttributes(dir + QStringLiteral("/hiddensub"), "2");
    const QStringList names = listFiles(dir, SearchPattern::parse(QStringLiteral("*.jpg")));
    QCOMPARE(names.size(), 2598);
    QVERIFY(!names.contains(QStringLiteral("p7.jpg")) && !names.contains("p2599.jpg"));
    QCOMPARE(names.first(), QStringLiteral("p0.jpg"));
    QCOMPARE(names.at(8), QStringLiteral("p9.jpg"));
    QCOMPARE(names.last(), QStringLiteral("p2598.jpg"));
    // The directory list shows the visible subdirectory only.
    DirList dirs;
    dirs.setPath(dir);
    QCOMPARE(dirs.topLevelItemCount(), 1);
    QTreeWidgetItem* shownDir = dirs.currentItem();
    QVERIFY(shownDir);
    QCOMPARE(shownDir->childCount(), 1);
    QCOMPARE(shownDir->child(0)->text(0), QStringLiteral("sub"));
}

void BrowserTest::directoryWatchTellsARemovalFromOtherChanges() {
    TestEnv env;
    const QString dir = env.makeDir(QStringLiteral("w"));
    for (const char* n : {"a.jpg", "b.jpg", "c.jpg"})
        touch(dir, QString::fromLatin1(n));
    const auto remove = [&](const char* n) {
        QVERIFY(QFile::remove(dir + QLatin1Char('/') + QLatin1String(n)));
    };
    DirectoryWatch watch(dir);
    QVERIFY(watch.valid());
    QVERIFY(!watch.onlyRemoved("a.jpg")); // nothing happened yet
    // The program's own delete: attributes cleared, then the file removed.
    setStoredAttributes(dir + QStringLiteral("/a.jpg"), "32");
    remove("a.jpg");
    QVERIFY(watch.onlyRemoved("a.jpg"));
    // Another entry removed, or one created besides, is another change.
    remove("b.jpg");
    QVERIFY(!watch.onlyRemoved("c.jpg"));
    touch(dir, QStringLiteral("d.jpg"));
    remove("c.jpg");
    QVERIFY(!watch.onlyRemoved("c.jpg"));
    // An attribute changed on another entry too.
    touch(dir, QStringLiteral("e.jpg"));
    DirectoryWatch second(dir);
    setStoredAttributes(dir + QStringLiteral("/e.jpg"), "2");
    remove("d.jpg");
    QVERIFY(!second.onlyRemoved("d.jpg"));
    // Moved out of the directory, as to the Trash, it is gone; renamed inside, it is not.
    const QString away = env.makeDir(QStringLiteral("away"));
    QVERIFY(QFile::rename(dir + QStringLiteral("/e.jpg"), away + QStringLiteral("/e.jpg")));
    QVERIFY(second.onlyRemoved("e.jpg"));
    touch(dir, QStringLiteral("f.jpg"));
    DirectoryWatch third(dir);
    QVERIFY(QFile::rename(dir + QStringLiteral("/f.jpg"), dir + QStringLiteral("/g.jpg")));
    QVERIFY(!third.onlyRemoved("f.jpg"));
    QVERIFY(!DirectoryWatch(dir + QStringLiteral("/missing")).valid());
    // A watch gives its descriptor back once it is gone, though not while its owner waits.
    const auto openDescriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    const uint before = openDescriptors();
    for (int i = 0; i < 64; ++i)
        DirectoryWatch(dir).valid();
    QTRY_COMPARE_WITH_TIMEOUT(openDescriptors(), before, 10000);
}

void BrowserTest::patternMatchingEveryNameListsEveryFile() {
    Browser b;
    QCOMPARE(b.listed(), QStringList({"a.jpg", "b.BMP", "c.gif"}));
    b.window->setFilePattern(QStringLiteral("*"));
    QCOMPARE(b.listed().size(), 7);
    b.window->setFilePattern(QStringLiteral("*.avi; *.MPG"));
    QCOMPARE(b.listed(), QStringList({"clip.avi", "movie.MPG"}));
}

void BrowserTest::currentFileJoinsWithOneSlash() {
    QCOMPARE(joinPath(QStringLiteral("/"), QStringLiteral("a.jpg")), QStringLiteral("/a.jpg"));
    QCOMPARE(joinPath(QStringLiteral("/home/anna"), QStringLiteral("a.jpg")),
             QStringLiteral("/home/anna/a.jpg"));
    Browser b;
    b.window->File1->setListIndex(1);
    QCOMPARE(b.window->currentFilePath(), b.dir + QStringLiteral("/b.BMP"));
}

void BrowserTest::everythingFitsA1024By768Screen() {
    Browser b;
    // The window frame and a panel take some of the screen; the rest must hold every control.
    const QSize least = b.window->minimumSizeHint();
    QVERIFY2(least.width() <= 1000 && least.height() <= 700,
             qPrintable(QStringLiteral("%1 x %2").arg(least.width()).arg(least.height())));
    b.window->fitToScreen(QRect(0, 0, 1024, 740));
    QVERIFY(b.window->width() <= 1024 && b.window->height() <= 740);
    b.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(b.window.get()));
    // The viewer area takes what the controls leave.
    QVERIFY(b.window->viewerArea->width() > 600);
    QVERIFY(b.window->viewerArea->height() > 400);
}

void BrowserTest::modeSwitchThroughOk() {
    Browser b;
    MainWindow& w = *b.window;
    w.Label7->setText(QStringLiteral("Current: 2"));
    {
        FileTypeWindow form(w);
        QCOMPARE(form.objectName(), QStringLiteral("Form13"));
        QVERIFY(form.Option1->isChecked());
        form.Option2->setChecked(true);
        form.Command1_Click();
    }
    QCOMPARE(w.Frame1->title(), QStringLiteral("Movie speed"));
    QCOMPARE(
        QStringList({w.Option1->text(), w.Option2->text(), w.Option3->text(), w.Option4->text()}),
        QStringList({".25", ".50", "1.0", "2.0"}));
    QCOMPARE(w.StatusBar1->text(1), QStringLiteral(" Animations "));
    QCOMPARE(w.StatusBar1->toolTip(4), QStringLiteral("Movie speed info"));
    QCOMPARE(w.Label2->text(), QStringLiteral("avi"));
    QCOMPARE(b.listed(), QStringList({"clip.avi", "movie.MPG", "old.viv"}));
    QCOMPARE(w.Label6->text(), QStringLiteral("3 File(s)"));
    QCOMPARE(w.Label7->text(), QStringLiteral("Current: "));

    {
        FileTypeWindow form(w);
        QVERIFY(form.Option2->isChecked()); // opens on the mode the window is in
        form.Option1->setChecked(true);
        form.Command1_Click();
    }
    QCOMPARE(w.Frame1->title(), QStringLiteral("Zoom"));
    QCOMPARE(
        QStringList({w.Option1->text(), w.Option2->text(), w.Option3->text(), w.Option4->text()}),
        QStringList({"1:4", "1:2", "1:1", "2:1"}));
    QCOMPARE(w.StatusBar1->text(1), QStringLiteral(" Pictures "));
    QCOMPARE(w.StatusBar1->toolTip(4), QStringLiteral("Zoom info"));
    QCOMPARE(w.Label2->text(), QStringLiteral("pic"));
    QCOMPARE(w.Label6->text(), QStringLiteral("3 File(s)"));
}

void BrowserTest::defaultsThenOkUsesTheDefaultPictures() {
    Browser b;
    b.settings.write(keys::PicPattern, QStringLiteral("*.gif"));
    b.settings.write(keys::AniPattern, QStringLiteral("*.avi"));
    FileTypeWindow form(*b.window);
    QCOMPARE(form.Option1->text(), QStringLiteral("Picture files (*.gif)"));
    QCOMPARE(form.Option2->text(), QStringLiteral("Animation files (*.avi)"));
    b.dialogs.answerMessage(Answer::Yes);
    form.Command6_Click();
    const MessageBoxSpec ask = b.dialogs.messages().at(0);
    QCOMPARE(ask.title, QStringLiteral("Reload default pattern settings"));
    QCOMPARE(ask.text, QStringLiteral("This will delete the current user selected pattern settings "
                                      "and reload the defaults\n\nDo you wish to continue?"));
    QCOMPARE(ask.buttons, Buttons::YesNo);
    QCOMPARE(ask.icon, Icon::Question);
    QCOMPARE(ask.defaultButton, std::optional<Answer>(Answer::No));
    QCOMPARE(
        form.Option1->text(),
        QStringLiteral("Picture files (*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.emf;*.ico;*.png;*.webp;"
                       "*.tif;*.tiff;*.tga;*.heic;*.heif;*.avif;*.jxl;*.cr2;*.cr3;*.nef;*.nrw;"
                       "*.arw;*.sr2;*.dng;*.raf;*.orf;*.rw2;*.pef;*.srw;*.3fr;*.iiq;*.kdc)"));
    QCOMPARE(form.Option2->text(),
             QStringLiteral(
                 "Animation files (*.avi;*.mpg;*.mpeg;*.mov;*.viv;*.qm;*.mp4;*.mkv;*.webm;*.m4v)"));
    form.Command1_Click();
    QCOMPARE(b.settings.read(keys::PicPattern), QString());
    QCOMPARE(b.settings.read(keys::AniPattern), QString());
    QVERIFY(readFile(b.env.settingsFile()).contains("PicPattern=\n"));
    QCOMPARE(b.window->File1->pattern(), defaults::PicPattern);
    QCOMPARE(b.listed(), QStringList({"a.jpg", "b.BMP", "c.gif"}));

    // No leaves everything as it was.
    b.settings.write(keys::PicPattern, QStringLiteral("*.gif"));
    FileTypeWindow again(*b.window);
    b.dialogs.answerMessage(Answer::No);
    again.Command6_Click();
    QCOMPARE(b.settings.read(keys::PicPattern), QStringLiteral("*.gif"));
    QCOMPARE(again.Option1->text(), QStringLiteral("Picture files (*.gif)"));
}

void BrowserTest::pendingPatternsAreStoredOnlyByOk() {
    Browser b;
    {
        FileTypeWindow form(*b.window);
        b.dialogs.answerInput(QStringLiteral("*.bmp"));
        form.Command5_Click();
        const InputBoxSpec ask = b.dialogs.inputs().at(0);
        QCOMPARE(ask.title, QStringLiteral("Picture pattern change"));
        QCOMPARE(ask.prompt,
                 QStringLiteral("Enter new Picture pattern\n\nExample: *.jpg;*.bmp;*.gif"));
        QCOMPARE(ask.defaultText, defaults::PicPattern);
        QCOMPARE(form.Option1->text(), QStringLiteral("Picture files (*.bmp)"));
        b.dialogs.cancelInput(); // a cancelled SetAni changes nothing
        form.Command4_Click();
        QCOMPARE(form.Label2->text(), QString());
        form.reject(); // closed without OK
    }
    QCOMPARE(b.settings.read(keys::PicPattern), QString());
    QCOMPARE(b.window->File1->pattern(), defaults::PicPattern);

    FileTypeWindow form(*b.window);
    b.dialogs.answerInput(QStringLiteral("*.mpg"));
    form.Command4_Click();
    QCOMPARE(b.dialogs.inputs().back().title, QStringLiteral("Animation pattern change"));
    QCOMPARE(b.dialogs.inputs().back().prompt,
             QStringLiteral("Enter new Animation pattern\n\nExample: *.avi;*.mov;*.mpg"));
    QCOMPARE(b.dialogs.inputs().back().defaultText, defaults::AniPattern);
    form.Option2->setChecked(true);
    form.Command1_Click();
    QCOMPARE(b.settings.read(keys::AniPattern), QStringLiteral("*.mpg"));
    QCOMPARE(b.settings.read(keys::PicPattern), QString());
    QCOMPARE(b.listed(), QStringList({"movie.MPG"}));

    form.Command3_Click();
    QCOMPARE(b.help.requests.back().topic, 5);
}

void BrowserTest::filetypeWindowSwitchesKeepOnTop() {
    Browser b;
    QWidget editor;
    setKeepOnTop(&editor, true);
    editor.show();
    b.window->secondaryWindows().editor = &editor;
    {
        FileTypeWindow form(*b.window);
        QVERIFY(!keepsOnTop(&editor));
        form.reject();
        QVERIFY(keepsOnTop(&editor));
        QVERIFY(editor.isVisible());
    }
    // On again when the window closes, whatever it held before.
    setKeepOnTop(&editor, false);
    {
        FileTypeWindow form(*b.window);
        form.Command1_Click();
    }
    QVERIFY(keepsOnTop(&editor));
}

void BrowserTest::manualPatternChange() {
    Browser b;
    b.window->Label7->setText(QStringLiteral("Current: 1"));
    b.dialogs.answerInput(QStringLiteral("*.txt;*.viv"));
    b.window->mnupattern_Click();
    const InputBoxSpec ask = b.dialogs.inputs().at(0);
    QCOMPARE(ask.title, QStringLiteral("Manual pattern change"));
    QCOMPARE(ask.prompt,
             QStringLiteral("Enter desired pattern\n\nExample: '*.jpg' or '*.jpg;*.bmp;*.gif'"));
    QCOMPARE(ask.defaultText, QString());
    QVERIFY(ask.position.has_value());
    QCOMPARE(b.listed(), QStringList({"notes.txt", "old.viv"}));
    QCOMPARE(b.window->StatusBar1->text(1), QStringLiteral("*.txt;*.viv"));
    QCOMPARE(b.window->Label6->text(), QStringLiteral("2 File(s)"));
    QCOMPARE(b.window->Label7->text(), QStringLiteral("Current: "));
    QCOMPARE(b.settings.read(keys::PicPattern), QString()); // typed patterns are not stored

    b.dialogs.cancelInput();
    b.window->mnupattern_Click();
    QCOMPARE(b.listed(), QStringList({"notes.txt", "old.viv"}));
}

void BrowserTest::refusedManualPatternKeepsThePrevious() {
    Browser b;
    b.dialogs.answerInput(QStringLiteral("pics/*.jpg"));
    b.window->mnupattern_Click();
    QCOMPARE(b.dialogs.beeps(), 1);
    const MessageBoxSpec m = b.dialogs.messages().at(0);
    QCOMPARE(m.title, QStringLiteral("File search pattern ERROR"));
    QCOMPARE(m.text,
             QStringLiteral("Entered pattern is not acceptable enter like this: \n\n'*.jpg' "
                            "or '*.jpg;*.bmp;*.gif'"));
    QCOMPARE(m.icon, Icon::Critical);
    QCOMPARE(b.programLogLines(), QStringList({"\"<d, t> File search pattern ERROR\""}));
    QCOMPARE(b.window->File1->pattern(), defaults::PicPattern);
    QCOMPARE(b.listed(), QStringList({"a.jpg", "b.BMP", "c.gif"}));
}

void BrowserTest::failedReadKeepsThePreviousPattern_data() {
    QTest::addColumn<bool>("manual");
    QTest::newRow("typed by hand") << true;
    QTest::newRow("set and accepted by OK") << false;
}

void BrowserTest::failedReadKeepsThePreviousPattern() {
    QFETCH(bool, manual);
    Browser b;
    const QStringList before = b.listed();
    const QString panel = b.window->StatusBar1->text(1);
    // The directory goes while it is listed: the new pattern cannot be applied to it.
    QVERIFY(QDir(b.dir).removeRecursively());
    if (manual) {
        b.dialogs.answerInput(QStringLiteral("*.txt"));
        b.window->mnupattern_Click();
        QCOMPARE(b.dialogs.beeps(), 1);
        QCOMPARE(b.dialogs.messages().at(0).title, QStringLiteral("File search pattern ERROR"));
        QCOMPARE(b.window->StatusBar1->text(1), panel);
    } else {
        FileTypeWindow form(*b.window);
        b.dialogs.answerInput(QStringLiteral("*.txt"));
        form.Command5_Click();
        form.Command1_Click();
        QVERIFY(b.dialogs.messages().empty());
        // Stored all the same: errors are ignored from there on.
        QCOMPARE(b.settings.read(keys::PicPattern), QStringLiteral("*.txt"));
    }
    QCOMPARE(b.window->File1->pattern(), defaults::PicPattern);
    QCOMPARE(b.listed(), before);
}

void BrowserTest::fileMenuEntriesFollowTheSelection() {
    Browser b;
    MainWindow& w = *b.window;
    w.setFilePattern(QStringLiteral("*"));
    QCOMPARE(w.File1->listIndex(), -1);
    // No selection: the empty name does not end in "viv".
    w.newwindow->setEnabled(false);
    w.File1_MouseDown(Qt::LeftButton, QPoint(1, 1));
    QVERIFY(w.newwindow->isEnabled());
    QVERIFY(w.textfile->isEnabled());

    writeFile(b.dir + QStringLiteral("/LOUD.VIV"), "x");
    writeFile(b.dir + QStringLiteral("/Mixed.vIv"), "x");
    w.File1->refresh();
    for (const char* name : {"old.viv", "LOUD.VIV", "Mixed.vIv"}) {
        w.File1->setListIndex(b.indexOf(QString::fromLatin1(name)));
        w.File1_MouseDown(Qt::LeftButton, QPoint(1, 1));
        QVERIFY2(!w.newwindow->isEnabled(), name);
    }
    w.File1->setListIndex(b.indexOf(QStringLiteral("a.jpg")));
    w.File1_MouseDown(Qt::MiddleButton, QPoint(1, 1));
    QVERIFY(w.newwindow->isEnabled());

    // An open editor with a document type disables "Open text editor".
    QWidget editor;
    w.secondaryWindows().editor = &editor;
    w.secondaryWindows().editorDocumentType = [] { return QStringLiteral("rtf"); };
    w.File1_MouseDown(Qt::LeftButton, QPoint(1, 1));
    QVERIFY(!w.textfile->isEnabled());

    // A right click shows the File menu without changing the selection.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.File1->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    QTRY_VERIFY(w.mnufile->isVisible());
    w.mnufile->close();
    QCOMPARE(w.File1->fileName(), QStringLiteral("a.jpg"));
    QStringList captions;
    for (QAction* a : w.mnufile->actions())
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(captions, QStringList({"&Rename", "&Delete", "-", "&Save As...", "-", "&OLE Edit/Open",
                                    "&Load in separate &window", "-", "Open text &editor", "-",
                                    "&Change search pattern", "-", "Options..."}));
    captions.clear();
    for (QAction* a : w.mnuset->actions())
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(captions, QStringList({"Rename", "-", "&Use as Copy DIR (this session)",
                                    "Set as &Default Copy DIR", "Set as &Startup DIR",
                                    "&Create Sub DIR", "-", "Create Info List", "-", "Help"}));
    w.mnuhelp->trigger();
    QCOMPARE(b.help.requests.back().topic, 14);
}

void BrowserTest::driveWithoutMediumFallsBackSilently() {
    TestEnv env;
    const QString card = env.makeDir(QStringLiteral("card"));
    // A volume whose root the user may not read is no medium either; root reads it.
    const QString locked = env.makeDir(QStringLiteral("locked"));
    const DirMode unreadable(locked, 0);
    Browser b({Volume{QStringLiteral("/"), QStringLiteral("/"), true},
               Volume{card, QStringLiteral("card"), false},
               Volume{env.root() + QStringLiteral("/unplugged"), QStringLiteral("gone"), true},
               Volume{locked, QStringLiteral("locked"), true}});
    MainWindow& w = *b.window;
    QCOMPARE(w.Drive1->drive(), QStringLiteral("/"));
    for (int index : {1, 2, 3}) {
        if (index == 3 && ::geteuid() == 0)
            continue;
        w.Drive1->setCurrentIndex(index);
        QCOMPARE(w.Drive1->drive(), QStringLiteral("/"));
        QCOMPARE(w.Dir1->path(), b.dir);
    }
    QVERIFY(b.dialogs.events().empty());
}

void BrowserTest::driveReopensWhereItWasLeft() {
    TestEnv env;
    const QString stick = env.makeDir(QStringLiteral("stick"));
    QDir().mkpath(stick + QStringLiteral("/photos"));
    touch(stick + QStringLiteral("/photos"), QStringLiteral("p.jpg"));
    Browser b({Volume{QStringLiteral("/"), QStringLiteral("/"), true},
               Volume{stick, QStringLiteral("stick"), true}});
    MainWindow& w = *b.window;
    w.Drive1->setCurrentIndex(1);
    QCOMPARE(w.Dir1->path(), stick);
    QCOMPARE(w.Label7->text(), QStringLiteral("Current: "));
    w.setDirPath(stick + QStringLiteral("/photos"));
    QCOMPARE(w.Label6->text(), QStringLiteral("1 File(s)"));
    w.Drive1->setCurrentIndex(0);
    QCOMPARE(w.Dir1->path(), b.dir);
    w.Drive1->setCurrentIndex(1);
    QCOMPARE(w.Dir1->path(), stick + QStringLiteral("/photos"));
    // Moving onto another volume through the directory list shows that volume in the drive list.
    w.setDirPath(b.dir);
    QCOMPARE(w.Drive1->drive(), QStringLiteral("/"));
}

void BrowserTest::unreadableDirectoryStaysClosed_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("byKey"); // Return rather than a double-click
    QTest::newRow("no permission") << 0 << false;
    QTest::newRow("no permission, Return") << 0 << true;
    QTest::newRow("read, no search") << 0444 << false;
    QTest::newRow("search, no read") << 0111 << false;
}

// A subdirectory the user may not open is listed; opening it leaves the lists where they are,
// without a message.
void BrowserTest::unreadableDirectoryStaysClosed() {
    QFETCH(int, mode);
    QFETCH(bool, byKey);
    if (::geteuid() == 0)
        QSKIP("root opens every directory");
    Browser b;
    const QString sub = b.env.makeDir(QStringLiteral("pics/locked"));
    touch(sub, QStringLiteral("inside.jpg"));
    const DirMode locked(sub, mode_t(mode));
    MainWindow& w = *b.window;
    w.Dir1->refresh();
    const auto open = [&] {
        const auto found =
            w.Dir1->findItems(QStringLiteral("locked"), Qt::MatchExactly | Qt::MatchRecursive);
        QVERIFY(found.size() == 1);
        if (byKey) {
            w.Dir1->setCurrentItem(found[0]);
            QTest::keyClick(w.Dir1, Qt::Key_Return);
        } else {
            emit w.Dir1->itemActivated(found[0], 0);
        }
    };
    open();
    QCOMPARE(w.Dir1->path(), b.dir);
    QCOMPARE(w.File1->path(), b.dir);
    QCOMPARE(b.listed(), QStringList({"a.jpg", "b.BMP", "c.gif"}));
    QCOMPARE(w.Label6->text(), QStringLiteral("3 File(s)"));
    QVERIFY(b.dialogs.events().empty());
    QVERIFY(b.programLogLines().isEmpty());
    // Once readable, the same step opens it.
    ::chmod(locked.path.constData(), 0755);
    open();
    QCOMPARE(w.Dir1->path(), sub);
    QCOMPARE(b.listed(), QStringList{QStringLiteral("inside.jpg")});
}

void BrowserTest::mountTableVolumes_data() {
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QStringList>("shown"); // besides "/", which is always first
    const auto line = [](const char* point, const char* type, const char* source,
                         const char* options = "rw", const char* root = "/",
                         const char* super = "rw") {
        return QByteArray("36 25 8:1 ") + root + ' ' + point + ' ' + options + " shared:1 - " +
               type + ' ' + source + ' ' + super + '\n';
    };
    QTest::newRow("root") << line("/", "ext4", "/dev/sda2") << QStringList();
    QTest::newRow("card under /media")
        << line("/media/anna/CARD", "vfat", "/dev/sdb1") << QStringList{"/media/anna/CARD  [CARD]"};
    QTest::newRow("stick under /run/media/user")
        << line("/run/media/anna/STICK", "exfat", "/dev/sdc1")
        << QStringList{"/run/media/anna/STICK"};
    QTest::newRow("another user's stick")
        << line("/run/media/bob/STICK", "exfat", "/dev/sdc1") << QStringList();
    QTest::newRow("/mnt, read-only disc")
        << line("/mnt/dvd", "iso9660", "/dev/sr0", "ro") << QStringList{"/mnt/dvd"};
    QTest::newRow("/boot and /boot/efi")
        << line("/boot", "ext4", "/dev/sda1") + line("/boot/efi", "vfat", "/dev/sda3")
        << QStringList();
    QTest::newRow("snap") << line("/snap/core22/1122", "squashfs", "/dev/loop3", "ro")
                          << QStringList();
    QTest::newRow("overlay") << line("/var/lib/docker/overlay2/ab/merged", "overlay", "overlay")
                             << QStringList();
    QTest::newRow("container files bound from the disk")
        << line("/etc/hosts", "ext4", "/dev/sda2", "rw", "/var/lib/docker/containers/ab/hosts")
        << QStringList();
    QTest::newRow("container volume store")
        << line("/var/lib/containers/storage", "xfs", "/dev/sdd1") << QStringList();
    QTest::newRow("proc, sys, cgroup")
        << line("/proc", "proc", "proc") + line("/sys", "sysfs", "sysfs") +
               line("/sys/fs/cgroup", "cgroup2", "cgroup2")
        << QStringList();
    QTest::newRow("tmpfs under /media")
        << line("/media/ram", "tmpfs", "tmpfs") << QStringList{"/media/ram"};
    QTest::newRow("empty read-only sandbox under /mnt")
        << line("/mnt/sandbox/tools", "tmpfs", "none", "ro") << QStringList();
    QTest::newRow("tmpfs elsewhere") << line("/tmp", "tmpfs", "tmpfs") << QStringList();
    QTest::newRow("escaped spaces") << line("/media/anna/My\\040Card", "vfat", "/dev/sdb1")
                                    << QStringList{"/media/anna/My Card  [CARD]"};
    QTest::newRow("block devices elsewhere")
        << line("/home", "ext4", "/dev/sda4") + line("/data", "xfs", "/dev/sdd1")
        << QStringList{"/data", "/home"};
    QTest::newRow("elsewhere, but read-only or not writable")
        << line("/srv/archive", "ext4", "/dev/sde1", "ro") +
               line("/opt/locked", "ext4", "/dev/sde2")
        << QStringList();
    QTest::newRow("btrfs subvolume as /home")
        << line("/home", "btrfs", "/dev/sda2", "rw", "/@home", "rw,subvol=/@home")
        << QStringList{"/home"};
    QTest::newRow("mounted over: the last one counts")
        << line("/media/anna/CARD", "vfat", "/dev/sdb1") +
               line("/media/anna/CARD", "squashfs", "/dev/loop1", "ro")
        << QStringList();
    QTest::newRow("torn line") << QByteArray("36 25 8:1 / /data rw - ext4\n") << QStringList();
}

void BrowserTest::mountTableVolumes() {
    QFETCH(QByteArray, table);
    QFETCH(QStringList, shown);
    MountView view;
    view.user = QStringLiteral("anna");
    view.label = [](const QString& device) {
        return device == QLatin1String("/dev/sdb1") ? QStringLiteral("CARD") : QString();
    };
    view.writable = [](const QString& point) { return point != QLatin1String("/opt/locked"); };
    const std::vector<Volume> volumes = volumesOfMountTable(table, view);
    QStringList names;
    for (const Volume& v : volumes)
        names << v.name;
    QCOMPARE(names, QStringList{"/"} + shown);
    for (const Volume& v : volumes)
        QVERIFY(v.name.startsWith(v.rootPath));
}

namespace {

// Points HOME at a directory of the test for as long as it lives.
struct TestHome {
    QByteArray saved = qgetenv("HOME");
    explicit TestHome(const QString& dir) { qputenv("HOME", QFile::encodeName(dir)); }
    ~TestHome() { qputenv("HOME", saved); }
};

} // namespace

void BrowserTest::removedVolumeSendsEverythingHome() {
    TestEnv env;
    const QString card = env.makeDir(QStringLiteral("card"));
    const QString stick = env.makeDir(QStringLiteral("stick"));
    const TestHome home(env.makeDir(QStringLiteral("home")));
    QDir().mkpath(card + QStringLiteral("/photos"));
    touch(card + QStringLiteral("/photos"), QStringLiteral("p.jpg"));
    const Volume root{QStringLiteral("/"), QStringLiteral("/"), true};
    const Volume cardVolume{card, card + QStringLiteral("  [CARD]"), true};
    Browser b({root, cardVolume});
    MainWindow& w = *b.window;
    w.setDirPath(card + QStringLiteral("/photos"));
    w.setCopyDir(card + QStringLiteral("/"));
    b.settings.write(keys::DefaultCopyDir, card + QStringLiteral("/"));
    DirBrowserWindow browser(w);
    QCOMPARE(browser.Dir1->path(), card);

    // A stick comes: both lists show it, and stay on the card.
    w.volumes().update({root, cardVolume, Volume{stick, stick, true}});
    for (DriveList* list : {w.Drive1, browser.Drive1}) {
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->drive(), card);
    }
    QCOMPARE(w.Dir1->path(), card + QStringLiteral("/photos"));

    // The card goes: everything on it moves home, without a message and without storing.
    w.volumes().update({root, Volume{stick, stick, true}});
    const QString homeDir = QDir::homePath();
    for (DriveList* list : {w.Drive1, browser.Drive1}) {
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->itemText(1), stick);
    }
    QCOMPARE(w.Dir1->path(), homeDir);
    QCOMPARE(w.File1->path(), homeDir);
    QCOMPARE(w.Label6->text(), QStringLiteral("0 File(s)"));
    QCOMPARE(w.Text3->text(), homeDir + QStringLiteral("/"));
    QCOMPARE(w.StatusBar1->text(3), QStringLiteral("  ") + homeDir + QStringLiteral("/"));
    QCOMPARE(browser.Dir1->path(), homeDir);
    QCOMPARE(browser.Label1->text(), QStringLiteral("Current copy DIR: ") + homeDir + '/');
    QCOMPARE(b.settings.read(keys::DefaultCopyDir), card + QStringLiteral("/"));
    QVERIFY(b.dialogs.events().empty());

    // Back on the stick, its going leaves a copy directory elsewhere alone.
    w.setDirPath(stick);
    w.volumes().update({root});
    QCOMPARE(w.Dir1->path(), homeDir);
    QCOMPARE(w.Drive1->drive(), QStringLiteral("/"));
    QCOMPARE(w.Text3->text(), homeDir + QStringLiteral("/"));
}

void BrowserTest::mountedCardComesAndGoes() {
    // A real mount: root with the right to mount, which a test run as a user does not have.
    if (::geteuid() != 0)
        QSKIP("mounting needs root");
    TestEnv env;
    const TestHome home(env.makeDir(QStringLiteral("home")));
    const QString point = QStringLiteral("/media/lumorra-test-") + QString::number(::getpid());
    if (!QFileInfo(QStringLiteral("/media")).isDir() || !QDir().mkdir(point))
        QSKIP("no writable /media here");
    struct Cleanup {
        QString point;
        ~Cleanup() {
            ::umount2(QFile::encodeName(point).constData(), MNT_DETACH);
            QDir().rmdir(point);
        }
    } cleanup{point};
    VolumeWatch volumes;
    Browser b;
    MainWindow w(b.services, volumes);
    if (::mount("lumorra-test", QFile::encodeName(point).constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP(qPrintable(QStringLiteral("mounting is not permitted: ") +
                         QString::fromLocal8Bit(std::strerror(errno))));
    QTRY_VERIFY_WITH_TIMEOUT(w.Drive1->findData(point) >= 0, 5000);

    touch(point, QStringLiteral("on the card.jpg"));
    w.setDirPath(point);
    QCOMPARE(w.Drive1->drive(), point);
    QCOMPARE(w.File1->count(), 1);

    QCOMPARE(::umount2(QFile::encodeName(point).constData(), 0), 0);
    QTRY_VERIFY_WITH_TIMEOUT(w.Drive1->findData(point) < 0, 5000);
    QCOMPARE(w.Dir1->path(), QDir::homePath());
    QCOMPARE(w.File1->path(), QDir::homePath());
    QVERIFY(b.dialogs.events().empty());
}

void BrowserTest::startPathOpensDirectoryOrSelectsFile() {
    Browser b;
    const QString other = b.env.makeDir(QStringLiteral("other"));
    touch(other, QStringLiteral("x.jpg"));
    touch(other, QStringLiteral("y.jpg"));
    openStartPath(*b.window, other);
    QCOMPARE(b.window->File1->path(), other);
    QCOMPARE(b.window->File1->listIndex(), -1);

    openStartPath(*b.window, b.dir + QStringLiteral("/c.gif"));
    QCOMPARE(b.window->File1->path(), b.dir);
    QCOMPARE(b.window->File1->fileName(), QStringLiteral("c.gif"));
    QCOMPARE(b.window->Label2->text(), QStringLiteral("pic"));
}

void BrowserTest::startPathSwitchesModeForAnAnimation() {
    Browser b;
    openStartPath(*b.window, b.dir + QStringLiteral("/clip.avi"));
    QCOMPARE(b.window->Label2->text(), QStringLiteral("avi"));
    QCOMPARE(b.window->File1->fileName(), QStringLiteral("clip.avi"));
    QCOMPARE(b.window->Label6->text(), QStringLiteral("3 File(s)"));

    // A file the list leaves out whatever the pattern opens its directory and keeps the mode
    // and its stored pattern.
    touch(b.dir, QStringLiteral(".notes.txt"));
    openStartPath(*b.window, b.dir + QStringLiteral("/.notes.txt"));
    QCOMPARE(b.window->Label2->text(), QStringLiteral("avi"));
    QCOMPARE(b.window->File1->pattern(), defaults::AniPattern);
    QCOMPARE(b.window->File1->listIndex(), -1);
}

void BrowserTest::startPathAddsWhatNeitherPatternLists_data() {
    QTest::addColumn<QStringList>("nameModeAdded");
    QTest::newRow("text") << QStringList{"notes.txt", "pic", "*.txt"};
    QTest::newRow("extension as typed") << QStringList{"scan.PCX", "pic", "*.PCX"};
    QTest::newRow("movie") << QStringList{"Clip.FLV", "avi", "*.FLV"};
    QTest::newRow("no extension") << QStringList{"README", "pic", "README"};
    QTest::newRow("ends in a dot") << QStringList{"odd.", "pic", "odd."};
    QTest::newRow("semicolon") << QStringList{"x.p;g", "pic", "*.p?g"};
    QTest::newRow("space at the end") << QStringList{"y.png ", "pic", "*.png?"};
}

void BrowserTest::startPathAddsWhatNeitherPatternLists() {
    QFETCH(QStringList, nameModeAdded);
    const QString name = nameModeAdded[0], mode = nameModeAdded[1];
    Browser b;
    touch(b.dir, name);
    openStartPath(*b.window, b.dir + QLatin1Char('/') + name);
    QCOMPARE(b.window->Label2->text(), mode);
    const QString stored = mode == "pic" ? defaults::PicPattern : defaults::AniPattern;
    QCOMPARE(b.window->File1->pattern(), stored + QLatin1Char(';') + nameModeAdded[2]);
    QCOMPARE(b.window->File1->fileName(), name);
    QCOMPARE(b.window->Label6->text(), QString::number(b.window->File1->count()) + " File(s)");
    QVERIFY(b.settings.read(keys::PicPattern).isEmpty());
    QVERIFY(b.settings.read(keys::AniPattern).isEmpty());
}

void BrowserTest::startPathThatDoesNotExistChangesNothing() {
    Browser b;
    try {
        openStartPath(*b.window, b.dir + QStringLiteral("/gone/none.jpg"));
        QFAIL("a missing path was opened");
    } catch (const Error& e) {
        QCOMPARE(e.number, 2);
    }
    QCOMPARE(b.window->File1->path(), b.dir);
}

void BrowserTest::helpFileFoundBesideOrInShare() {
    TestEnv env;
    const QString bin = env.makeDir(QStringLiteral("prefix/bin"));
    const ProgramPaths paths = ProgramPaths::forDirectory(bin, QStringLiteral("lumorra"));
    // Neither place has one: the program directory is named, as the help viewer reports it.
    QCOMPARE(paths.helpFile(), bin + QStringLiteral("/lmhelp.hlp"));
    const QString share = env.makeDir(QStringLiteral("prefix/share/lumorra"));
    writeFile(share + QStringLiteral("/lmhelp.hlp"), "@topic 0 Contents\n");
    QCOMPARE(paths.helpFile(), share + QStringLiteral("/lmhelp.hlp"));
    writeFile(bin + QStringLiteral("/lmhelp.hlp"), "@topic 0 Contents\n");
    QCOMPARE(paths.helpFile(), bin + QStringLiteral("/lmhelp.hlp"));
}

QTEST_MAIN(BrowserTest)
#include "browser_tests.moc"
