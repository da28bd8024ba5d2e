// A helper process for the fault tests: it runs one of the program's own writing routines over
// and over (copy, move, editor save, settings write), so that the test can kill it at any
// moment and look at what it leaves behind. It prints "ready" once set up.
//
//   fault_driver hammer <settings file> <prefix> <count> <go file>
//       waits for the go file, then writes <prefix>0 .. <prefix><count-1> through the settings
//       store, some of them two at a time; prints "failed <n>" for every write that failed and
//       "done" at the end.
//   fault_driver settings <settings file>
//       writes Round<n> = n for n = 0, 1, 2, ... until killed.
//   fault_driver copy <dir>
//       copies <dir>/a/big.dat and <dir>/b/big.dat in turn to <dir>/copies with "File Copy",
//       answering yes to the question before replacing.
//   fault_driver move <dir>
//       moves big.dat from <dir>/a to <dir>/copies and back with "File Move".
//   fault_driver save <file>
//       opens the text file in the text editor and saves it again and again, each time with
//       its first line (six digits) counted up.

#include "browser/MainWindow.h"
#include "browser/SecondaryWindows.h"
#include "editor/EditorWindow.h"
#include "fileops/FileOperations.h"
#include "platform/Error.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTextCursor>
#include <QTextEdit>
#include <QThread>

#include <cstdio>
#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

void say(const char* text) {
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int hammer(const QStringList& a) {
    if (a.size() != 4)
        return 2;
    SettingsStore settings(a[0]);
    const QString prefix = a[1];
    const int count = a[2].toInt();
    say("ready");
    // Both writers start at the same moment: when the go file appears.
    while (!QFile::exists(a[3]))
        QThread::usleep(200);
    const auto key = [&](int i) { return prefix + QString::number(i); };
    const auto value = [](int i) { return QString::number(i * 7); };
    for (int i = 0; i < count; ++i) {
        try {
            // Every fourth write stores two keys in one replace, as the start-up does.
            if (i % 4 == 0 && i + 1 < count) {
                settings.write({{key(i), value(i)}, {key(i + 1), value(i + 1)}});
                ++i;
            } else {
                settings.write(key(i), value(i));
            }
        } catch (...) {
            std::printf("failed %d: %s\n", i,
                        qPrintable(Error::fromCurrentException().description));
            std::fflush(stdout);
        }
    }
    say("done");
    return 0;
}

[[noreturn]] void settingsRounds(const QString& file) {
    SettingsStore settings(file);
    say("ready");
    for (int n = 0;; ++n)
        settings.write(QStringLiteral("Round") + QString::number(n), QString::number(n));
}

// The main window on a directory with the file operations wired as the program wires them.
struct Window {
    TestServices t;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<FileOperations> ops;

    Window() {
        settings().write(keys::MoveConfirmation, QStringLiteral("0"));
        window = std::make_unique<MainWindow>(
            t.services,
            std::vector<Volume>{Volume{QStringLiteral("/"), QStringLiteral("/"), true}});
        window->setFilePattern(QStringLiteral("*"));
        ops = std::make_unique<FileOperations>(*window, t.services);
    }
    SettingsStore& settings() { return t.settings; }
    // Shows big.dat of a directory as the current file, with the other directory to copy to.
    void select(const QString& dir, const QString& copyDir) {
        window->setCopyDir(copyDir + QLatin1Char('/'));
        window->setDirPath(dir);
        for (int i = 0; i < window->File1->count(); ++i) {
            if (window->File1->item(i) == QLatin1String("big.dat")) {
                window->File1->setListIndex(i);
                window->Label1->setText(dir + QStringLiteral("/big.dat"));
                return;
            }
        }
        say("no big.dat");
        std::exit(3);
    }
};

[[noreturn]] void copies(const QString& dir) {
    Window w;
    say("ready");
    for (int n = 0;; ++n) {
        w.select(dir + (n % 2 ? QStringLiteral("/b") : QStringLiteral("/a")),
                 dir + QStringLiteral("/copies"));
        w.t.dialogs.answerMessage(Answer::Yes);
        w.ops->Command2_Click();
    }
}

[[noreturn]] void moves(const QString& dir) {
    Window w;
    const QString a = dir + QStringLiteral("/a");
    const QString copies = dir + QStringLiteral("/copies");
    say("ready");
    for (;;) {
        if (QFile::exists(a + QStringLiteral("/big.dat")))
            w.select(a, copies);
        else
            w.select(copies, a);
        w.t.dialogs.answerMessage(Answer::Yes);
        w.ops->Command7_Click();
    }
}

[[noreturn]] void saves(const QString& file) {
    TestServices t;
    QWidget main;
    SecondaryWindows registry;
    EditorWindow* editor = EditorWindow::ensure(t.services, registry, &main);
    editor->loadFile(file, false);
    editor->setDocumentState(file, QString(), QStringLiteral("txt"));
    say("ready");
    for (int n = 1;; ++n) {
        QTextCursor c(editor->RichTextBox1->document());
        c.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 6);
        c.insertText(QStringLiteral("%1").arg(n % 1000000, 6, 10, QLatin1Char('0')));
        editor->mnusave_Click();
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return 2;
    const QString mode = args.takeFirst();
    if (mode == QLatin1String("hammer"))
        return hammer(args);
    if (args.size() != 1)
        return 2;
    if (mode == QLatin1String("settings"))
        settingsRounds(args[0]);
    if (mode == QLatin1String("copy"))
        copies(args[0]);
    if (mode == QLatin1String("move"))
        moves(args[0]);
    if (mode == QLatin1String("save"))
        saves(args[0]);
    return 2;
}
