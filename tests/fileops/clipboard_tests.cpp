#include "browser/MainWindow.h"
#include "fileops/ClipboardCommands.h"
#include "fileops/FileOperations.h"
#include "movie/MovieControl.h"
#include "platform/Clipboard.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "support/WindowTest.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"
#include "viewer/SelectionViewer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace lumorra;
using namespace lumorra::test;

namespace {

const QString CopyMessage =
    QStringLiteral("Unable to copy the picture to the clipboard. The clipboard may be 'defect'.");
const QString PasteMessage =
    QStringLiteral("Unable to paste picture from the clipboard. The data may be corrupted");

// A main window with its viewer and the two clipboard buttons, on a picture directory.
struct Board : WindowTest {
    std::unique_ptr<SelectionViewer> viewer;
    std::unique_ptr<ClipboardCommands> commands;

    Board() : WindowTest(QStringLiteral("pics")) {
        settings.write(keys::AutoZoom, QStringLiteral("0"));
        openWindow();
        viewer = std::make_unique<SelectionViewer>(*window, services);
        commands = std::make_unique<ClipboardCommands>(*window, services);
        QGuiApplication::clipboard()->setText(QStringLiteral("the user's text"));
    }
    ~Board() {
        commands.reset();
        viewer.reset();
        window.reset();
    }
    QString picture(const QString& name, QSize size, QColor colour) {
        return savePicture(name, size, colour, "PNG");
    }
    void select(const QString& name) { WindowTest::select(name, QStringLiteral("*.png")); }
    void expectFailure(const QString& record, const QString& message) {
        QCOMPARE(dialogs.beeps(), 1);
        QCOMPARE(programLogLines(), QStringList{QStringLiteral("\"<d, t> ") + record + u'"'});
        QCOMPARE(dialogs.messages().size(), std::size_t(1));
        const MessageBoxSpec box = dialogs.messages().front();
        QCOMPARE(box.text, message);
        QCOMPARE(box.title, record);
        QCOMPARE(box.icon, Icon::Critical);
        QCOMPARE(box.buttons, Buttons::Ok);
    }
};

QColor colourAt(const PictureArea* area) {
    return QColor(area->picture().pixel(1, 1));
}

} // namespace

class ClipboardTest : public QObject {
    Q_OBJECT
private slots:
    void copyThenPasteShowsThePictureAtNaturalSize();
    void copyIsDoneUntilTheNextSelection();
    void pasteWithoutAPictureFails();
    void copyWithoutAPictureFailsAndKeepsTheClipboard();
    void pasteInAnimationModeRunsTheOneToOneOption();
    void qtClipboardRoundTrip();
    void exchangeWithOtherPrograms();
};

void ClipboardTest::copyThenPasteShowsThePictureAtNaturalSize() {
    Board b;
    const QString blue = b.picture(QStringLiteral("a.png"), QSize(200, 100), Qt::blue);
    b.picture(QStringLiteral("b.png"), QSize(30, 20), Qt::red);
    b.select(QStringLiteral("a.png"));
    b.viewer->Option_Click(2); // shown at half size when copied
    QCOMPARE(b.window->Image1->size(), QSize(100, 50));
    QTest::mouseClick(b.window->Command6, Qt::LeftButton);
    QCOMPARE(b.services.clipboard.picture().size(), QSize(200, 100));

    // Another file, zoomed; the paste brings back the copied picture at its own size.
    b.select(QStringLiteral("b.png"));
    const QString current = b.window->Label1->text();
    const QString sizeLabel = b.window->Label5->text();
    b.viewer->Option_Click(4);
    b.window->Image1->renderer = [](QSize) { return QImage(); }; // as a metafile would leave it
    b.dialogs.clear();
    QTest::mouseClick(b.window->Command3, Qt::LeftButton);
    QVERIFY(b.dialogs.events().empty());
    QCOMPARE(b.window->Image1->size(), QSize(200, 100));
    QCOMPARE(b.window->Image1->naturalSize(), QSize(200, 100));
    QVERIFY(!b.window->Image1->stretch());
    QVERIFY(!b.window->Image1->isHidden());
    QVERIFY(!b.window->Image1->renderer);
    QCOMPARE(colourAt(b.window->Image1), QColor(Qt::blue));
    QVERIFY(b.window->Option3->isChecked());
    QCOMPARE(b.window->StatusBar1->text(4), QStringLiteral("1:1"));
    // The current file and what describes it stay; the holder keeps the file's picture.
    QCOMPARE(b.window->Label1->text(), current);
    QCOMPARE(b.window->Label5->text(), sizeLabel);
    QCOMPARE(colourAt(b.window->Picture1), QColor(Qt::red));
    // Save As writes the file's picture, not the one pasted over it.
    FileOperations ops(*b.window, b.services);
    const QString bmp = b.env.makeDir(QStringLiteral("out")) + QStringLiteral("/shot.bmp");
    b.dialogs.answerFile(bmp, 2);
    ops.saveas_Click();
    QCOMPARE(QImage(bmp).size(), QSize(30, 20));
    QCOMPARE(QImage(bmp).pixelColor(1, 1), QColor(Qt::red));
    Q_UNUSED(blue);
}

void ClipboardTest::copyIsDoneUntilTheNextSelection() {
    Board b;
    b.picture(QStringLiteral("a.png"), QSize(20, 10), Qt::green);
    b.select(QStringLiteral("a.png"));
    QCOMPARE(b.window->Command6->text(), QStringLiteral("&Copy"));
    b.commands->Command6_Click();
    QCOMPARE(b.window->Command6->text(), QStringLiteral("Copy done"));
    QVERIFY(!b.window->Command6->isEnabled());
    QVERIFY(b.dialogs.events().empty());
    b.select(QStringLiteral("a.png"));
    b.viewer->File1_Click();
    QCOMPARE(b.window->Command6->text(), QStringLiteral("&Copy"));
    QVERIFY(b.window->Command6->isEnabled());
}

void ClipboardTest::pasteWithoutAPictureFails() {
    Board b;
    b.picture(QStringLiteral("a.png"), QSize(20, 10), Qt::green);
    b.select(QStringLiteral("a.png"));
    b.viewer->Option_Click(4);
    b.dialogs.clear();
    b.commands->Command3_Click(); // the clipboard holds text
    b.expectFailure(QStringLiteral("Image paste ERROR"), PasteMessage);
    // Nothing changed: the picture of the file, at the zoom it had.
    QCOMPARE(b.window->Image1->size(), QSize(40, 20));
    QVERIFY(!b.window->Image1->isHidden());
    QCOMPARE(b.window->StatusBar1->text(4), QStringLiteral("2:1"));
    // An empty clipboard the same.
    QGuiApplication::clipboard()->clear();
    b.dialogs.clear();
    b.commands->Command3_Click();
    QCOMPARE(b.dialogs.messages().size(), std::size_t(1));
    QCOMPARE(b.dialogs.messages().front().text, PasteMessage);
}

void ClipboardTest::copyWithoutAPictureFailsAndKeepsTheClipboard() {
    Board b;
    b.commands->Command6_Click(); // nothing shown yet
    b.expectFailure(QStringLiteral("Clipboard copy ERROR"), CopyMessage);
    QCOMPARE(b.window->Command6->text(), QStringLiteral("&Copy"));
    QVERIFY(b.window->Command6->isEnabled());
    // What the user had on the clipboard is still there.
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("the user's text"));
}

void ClipboardTest::pasteInAnimationModeRunsTheOneToOneOption() {
    Board b;
    b.picture(QStringLiteral("a.png"), QSize(20, 10), Qt::green);
    b.select(QStringLiteral("a.png"));
    b.commands->Command6_Click();
    b.window->setAnimationMode();
    b.viewer->Option_Click(1);
    b.window->Option1->setChecked(true);
    b.commands->Command3_Click();
    // The 1:1 option's own action sets the normal speed; the panel then reads "1:1".
    QVERIFY(b.window->Option3->isChecked());
    QCOMPARE(b.window->AM1->rate(), 1.0);
    QCOMPARE(b.window->StatusBar1->text(4), QStringLiteral("1:1"));
    QVERIFY(!b.window->Image1->isHidden());
    QCOMPARE(b.window->Image1->size(), QSize(20, 10));
}

void ClipboardTest::qtClipboardRoundTrip() {
    QtClipboard clipboard;
    QImage image(7, 5, QImage::Format_ARGB32);
    image.fill(QColor(1, 2, 3));
    clipboard.setPicture(image);
    QCOMPARE(clipboard.picture().size(), QSize(7, 5));
    QCOMPARE(QColor(clipboard.picture().pixel(0, 0)), QColor(1, 2, 3));
    clipboard.clear();
    try {
        clipboard.picture();
        QFAIL("an empty clipboard has no picture");
    } catch (const Error& e) {
        QCOMPARE(e.number, errc::InvalidPicture);
    }
    try {
        clipboard.setPicture(QImage());
        QFAIL("a null picture is no picture");
    } catch (const Error& e) {
        QCOMPARE(e.number, errc::InvalidPicture);
    }
}

void ClipboardTest::exchangeWithOtherPrograms() {
    // Needs an X server and xclip: clipboard_x11_test.sh runs this under Xvfb.
    if (QGuiApplication::platformName() != QLatin1String("xcb") ||
        QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        QSKIP("no X server with xclip");
    Board b;
    const QString red = b.picture(QStringLiteral("red.png"), QSize(50, 30), Qt::red);
    b.select(QStringLiteral("red.png"));
    b.commands->Command6_Click();
    QVERIFY(b.dialogs.events().empty());

    // Another program reads the copied picture as PNG.
    QProcess out;
    out.start(QStringLiteral("xclip"),
              {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
               QStringLiteral("image/png"), QStringLiteral("-o")});
    // The event loop must run meanwhile: this program answers xclip's request.
    QTRY_VERIFY_WITH_TIMEOUT(out.state() == QProcess::NotRunning, 20000);
    QCOMPARE(out.exitCode(), 0);
    const QImage read = QImage::fromData(out.readAllStandardOutput(), "PNG");
    QCOMPARE(read.size(), QSize(50, 30));
    QCOMPARE(QColor(read.pixel(3, 3)), QColor(Qt::red));

    // A PNG another program put there pastes at its natural size.
    QImage green(70, 40, QImage::Format_RGB32);
    green.fill(Qt::green);
    const QString file = b.dir + QStringLiteral("/other.png");
    QVERIFY(green.save(file, "PNG"));
    QProcess in;
    in.start(QStringLiteral("xclip"),
             {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
              QStringLiteral("image/png"), QStringLiteral("-i"), file});
    QTRY_VERIFY_WITH_TIMEOUT(in.state() == QProcess::NotRunning, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::clipboard()->mimeData() &&
                                 QGuiApplication::clipboard()->mimeData()->hasImage() &&
                                 QGuiApplication::clipboard()->image().size() == QSize(70, 40),
                             20000);
    b.dialogs.clear();
    b.commands->Command3_Click();
    QVERIFY(b.dialogs.events().empty());
    QCOMPARE(b.window->Image1->size(), QSize(70, 40));
    QCOMPARE(colourAt(b.window->Image1), QColor(Qt::green));
    QCOMPARE(b.window->StatusBar1->text(4), QStringLiteral("1:1"));
    Q_UNUSED(red);
    // Taking the clipboard back lets xclip end.
    QGuiApplication::clipboard()->clear();
}

QTEST_MAIN(ClipboardTest)
#include "clipboard_tests.moc"
