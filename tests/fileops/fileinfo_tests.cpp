#include "browser/MainWindow.h"
#include "fileops/FileInfoWindow.h"
#include "fileops/FileOperations.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

namespace {

const QString NoFile = QStringLiteral("No file selected");

// The main window on a directory of its own, with the file operations the window uses. The
// current file is set as a selection sets it.
struct Info : WindowTest {
    std::unique_ptr<FileOperations> ops;

    Info() : WindowTest(QStringLiteral("files")) {
        settings.write(keys::DelConfirmation, QStringLiteral("0"));
        openWindow();
        ops = std::make_unique<FileOperations>(*window, services);
        window->setFilePattern(QStringLiteral("*"));
        // The label follows the selection, as the viewer keeps it.
        QObject::connect(window->File1, &FileList::selectionChanged, window.get(),
                         [this] { window->Label1->setText(window->currentFilePath()); });
    }
    ~Info() { ops.reset(); }
    std::unique_ptr<FileInfoWindow> open() {
        auto w = std::make_unique<FileInfoWindow>(*window, services, *ops, window.get());
        w->show();
        return w;
    }
};

QList<QCheckBox*> boxes(FileInfoWindow& w) {
    return {w.Check1, w.Check2, w.Check3, w.Check4};
}

} // namespace

class FileInfoTest : public QObject {
    Q_OBJECT
private slots:
    void withoutAFile();
    void describesTheFile();
    void vanishedFileKeepsTheRest();
    void showsTheCameraDetails();
    void okWritesTheBoxes();
    void okGivesExactlyTheTickedAttributes_data();
    void okGivesExactlyTheTickedAttributes();
    void okOnAnotherUsersFileChangesNothing();
    void renameInTheWindow();
    void deleteInTheWindow();
};

void FileInfoTest::withoutAFile() {
    Info t;
    auto w = t.open();
    QCOMPARE(w->objectName(), QStringLiteral("Form10"));
    QCOMPARE(w->windowTitle(), QStringLiteral("File Information"));
    QVERIFY(w->isModal());
    // 5676 x 3912 twips at 15 twips to the pixel.
    QCOMPARE(w->size(), QSize(378, 261));
    for (QLabel* l : {w->Label5, w->Label6, w->Label7, w->Label8})
        QCOMPARE(l->text(), NoFile);
    QCOMPARE(w->Label1->text(), QStringLiteral("Filename:"));
    QCOMPARE(w->Label9->text(), QStringLiteral("File attributes:"));
    for (QCheckBox* b : boxes(*w))
        QVERIFY(!b->isChecked());
    // "Rename...", "Delete", "OK" from left to right; OK first in the tab order.
    QVERIFY(w->Command1->x() < w->Command2->x() && w->Command2->x() < w->Command3->x());
    QCOMPARE(w->Command3->nextInFocusChain(), w->Command2);
    QCOMPARE(w->Command2->nextInFocusChain(), w->Command1);
    w->Command3_Click();
    QVERIFY(!w->isVisible());
    QVERIFY(t.dialogs.events().empty());

    // Delete and rename fail at the file and say so, without a record.
    w = t.open();
    w->Command2_Click();
    QVERIFY(!w->isVisible());
    w = t.open();
    t.dialogs.answerInput(QStringLiteral("new"));
    w->Command1_Click();
    QVERIFY(!w->isVisible());
    const auto messages = t.dialogs.messages();
    QCOMPARE(messages.size(), size_t(2));
    QCOMPARE(messages[0].title, QStringLiteral("ERROR 2 (No such file or directory)"));
    QCOMPARE(messages[0].text,
             QStringLiteral("An error accured while trying to delete the seleted file, please "
                            "make sure the path and file is not corrupted"));
    QCOMPARE(messages[1].title, QStringLiteral("ERROR 2 (No such file or directory)"));
    QCOMPARE(
        messages[1].text,
        QStringLiteral("Unable to rename the selected file, the file or path may be corrupted"));
    QCOMPARE(t.dialogs.inputs().at(0).defaultText, QString());
    QCOMPARE(t.dialogs.beeps(), 2);
    QVERIFY(t.programLogLines().isEmpty());
}

void FileInfoTest::describesTheFile() {
    Info t;
    const QString path = t.file(QStringLiteral("big.jpg"), QByteArray(1200000, 'x'));
    setFileAttributes(path, attr::ReadOnly | attr::Archive);
    t.select(QStringLiteral("big.jpg"));
    auto w = t.open();
    QCOMPARE(w->Label5->text(), QStringLiteral("big.jpg"));
    QCOMPARE(w->Label6->text(), t.dir + QLatin1Char('/'));
    QCOMPARE(w->Label7->text(), numberText(1200000) + QStringLiteral(" bytes"));
    QCOMPARE(w->Label8->text(), generalDateText(QFileInfo(path).lastModified()));
    QVERIFY(w->Check2->isChecked());  // read-only
    QVERIFY(w->Check1->isChecked());  // archive
    QVERIFY(!w->Check3->isChecked()); // hidden
    QVERIFY(!w->Check4->isChecked()); // system

    // An empty file has no digits; each bit ticks its own box.
    const QString empty = t.file(QStringLiteral("empty.gif"), QByteArray());
    t.select(QStringLiteral("empty.gif"));
    setFileAttributes(empty, attr::Hidden | attr::System);
    w = t.open();
    QCOMPARE(w->Label7->text(), QStringLiteral(" bytes"));
    QVERIFY(!w->Check1->isChecked() && !w->Check2->isChecked());
    QVERIFY(w->Check3->isChecked() && w->Check4->isChecked());
}

void FileInfoTest::showsTheCameraDetails() {
    if (QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty())
        QSKIP("exiv2 is missing");
    Info t;
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    for (const char* name : {"plain.jpg", "photo.jpg"})
        QVERIFY(image.save(t.dir + QLatin1Char('/') + QLatin1String(name), "JPEG"));
    QStringList args;
    for (const char* tag :
         {"Exif.Image.Make Tovik", "Exif.Image.Model Tovik K-7", "Exif.Photo.LensModel Zoom 18-55",
          "Exif.Photo.FocalLength 50/1", "Exif.Photo.ExposureTime 1/250",
          "Exif.Photo.FNumber 28/10", "Exif.Photo.ISOSpeedRatings 400",
          "Exif.Photo.DateTimeOriginal 2024:05:01 14:30:00",
          "Exif.GPSInfo.GPSLatitude 48/1 51/1 3013/100", "Exif.GPSInfo.GPSLatitudeRef N",
          "Exif.GPSInfo.GPSLongitude 2/1 17/1 4073/100", "Exif.GPSInfo.GPSLongitudeRef W"})
        args << QStringLiteral("-M") << QStringLiteral("set ") + QLatin1String(tag);
    QCOMPARE(QProcess::execute(QStringLiteral("exiv2"), args << t.dir + "/photo.jpg"), 0);

    // Without EXIF: the window as it always is.
    t.select(QStringLiteral("plain.jpg"));
    auto plain = t.open();
    QVERIFY(plain->Details->isHidden());
    const QSize size = plain->size();
    const QRect ok = plain->Command3->geometry(), changed = plain->Label8->geometry();

    t.select(QStringLiteral("photo.jpg"));
    auto w = t.open();
    QVERIFY(w->Details->isVisible());
    const QString shown[] = {"Tovik K-7",
                             "Zoom 18-55",
                             "50 mm",
                             "1/250 s",
                             "f/2.8",
                             "400",
                             generalDateText(QDateTime(QDate(2024, 5, 1), QTime(14, 30))),
                             QStringLiteral("48.85837\u00B0 N, 2.29465\u00B0 W")};
    for (size_t i = 0; i < 8; ++i) {
        QCOMPARE(w->detailValues[i]->text(), shown[i]);
        QVERIFY(w->detailTitles[i]->isVisible());
    }
    // Below the rest, which stays where it was.
    QCOMPARE(w->Command3->geometry(), ok);
    QCOMPARE(w->Label8->geometry(), changed);
    QCOMPARE(w->width(), size.width());
    QVERIFY(w->height() > size.height());
    QVERIFY(w->Details->geometry().top() > ok.bottom());
    QVERIFY(w->Details->geometry().bottom() < w->height());
}

void FileInfoTest::vanishedFileKeepsTheRest() {
    Info t;
    const QString path = t.file(QStringLiteral("gone.jpg"));
    t.select(QStringLiteral("gone.jpg"));
    QFile::remove(path);
    auto w = t.open();
    QCOMPARE(w->Label5->text(), QStringLiteral("gone.jpg"));
    QCOMPARE(w->Label6->text(), t.dir + QLatin1Char('/'));
    QCOMPARE(w->Label7->text(), NoFile);
    QCOMPARE(w->Label8->text(), NoFile);
    QVERIFY(t.dialogs.events().empty());
}

void FileInfoTest::okWritesTheBoxes() {
    Info t;
    const QString path = t.file(QStringLiteral("a.jpg"));
    setFileAttributes(path, attr::ReadOnly | attr::Archive);
    t.select(QStringLiteral("a.jpg"));
    auto w = t.open();
    // Ticking alone changes nothing.
    w->Check2->setChecked(false);
    QCOMPARE(fileAttributes(path), attr::ReadOnly | attr::Archive);
    w->Check1->setChecked(false);
    w->Command3_Click();
    QVERIFY(!w->isVisible());
    QCOMPARE(fileAttributes(path), 0);

    w = t.open();
    w->Check2->setChecked(true);
    w->Check4->setChecked(true);
    w->Command3_Click();
    QCOMPARE(fileAttributes(path), attr::ReadOnly | attr::System);
    QVERIFY(t.dialogs.events().empty());
}

void FileInfoTest::okGivesExactlyTheTickedAttributes_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("ticked");
    using namespace attr;
    QTest::newRow("read-only and hidden") << Archive << (ReadOnly | Hidden);
    QTest::newRow("hidden to a read-only file")
        << (ReadOnly | Archive) << (ReadOnly | Hidden | Archive);
    QTest::newRow("read-only off, hidden on") << (ReadOnly | Archive) << Hidden;
    QTest::newRow("all four") << 0 << (ReadOnly | Hidden | System | Archive);
    QTest::newRow("read-only to a system file") << (System | Archive) << (ReadOnly | System);
    QTest::newRow("none of all four") << (ReadOnly | Hidden | System | Archive) << 0;
}

void FileInfoTest::okGivesExactlyTheTickedAttributes() {
    QFETCH(int, before);
    QFETCH(int, ticked);
    Info t;
    const QString path = t.file(QStringLiteral("a.jpg"));
    setFileAttributes(path, before);
    // The file is current whether the list shows it or not.
    t.window->setDirPath(t.dir);
    t.window->Label1->setText(path);
    auto w = t.open();
    QCOMPARE(fileAttributes(path), before);
    w->Check2->setChecked(ticked & attr::ReadOnly);
    w->Check3->setChecked(ticked & attr::Hidden);
    w->Check4->setChecked(ticked & attr::System);
    w->Check1->setChecked(ticked & attr::Archive);
    w->Command3_Click();
    QCOMPARE(fileAttributes(path), ticked);
    // Opened again, the window ticks what was given.
    w = t.open();
    QCOMPARE(w->Check2->isChecked(), bool(ticked & attr::ReadOnly));
    QCOMPARE(w->Check3->isChecked(), bool(ticked & attr::Hidden));
    QCOMPARE(w->Check4->isChecked(), bool(ticked & attr::System));
    QCOMPARE(w->Check1->isChecked(), bool(ticked & attr::Archive));
    QVERIFY(t.dialogs.events().empty());
}

void FileInfoTest::okOnAnotherUsersFileChangesNothing() {
    // A file of root's that everyone may read and only root may write.
    const QString path = QStringLiteral("/etc/passwd");
    struct stat st {};
    if (::geteuid() == 0)
        QSKIP("root may change any file's attributes");
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || st.st_uid == ::geteuid())
        QSKIP("no file of another user here");
    Info t;
    const int before = fileAttributes(path);
    t.window->Label1->setText(path);
    auto w = t.open();
    QCOMPARE(w->Label5->text(), QStringLiteral("passwd"));
    w->Check2->setChecked(true);
    w->Check3->setChecked(true);
    w->Command3_Click();
    QVERIFY(!w->isVisible());
    QCOMPARE(fileAttributes(path), before);
    QVERIFY(t.dialogs.events().empty());
}

void FileInfoTest::renameInTheWindow() {
    Info t;
    const QString cat = t.file(QStringLiteral("cat.jpg"), "cat");
    const QString dog = t.file(QStringLiteral("dog.jpg"), "dog");
    setFileAttributes(cat, attr::ReadOnly | attr::Archive);
    t.select(QStringLiteral("cat.jpg"));
    auto w = t.open();
    t.dialogs.answerInput(QStringLiteral("dog"));
    w->Command1_Click();
    QVERIFY(!w->isVisible());
    QCOMPARE(t.dialogs.beeps(), 1);
    QCOMPARE(t.dialogs.messages().at(0).title, QStringLiteral("ERROR 17 (File exists)"));
    QCOMPARE(readFile(cat), QByteArray("cat"));
    QCOMPARE(readFile(dog), QByteArray("dog"));
    QCOMPARE(fileAttributes(cat), attr::Archive);
    QVERIFY(t.programLogLines().isEmpty());
    const InputBoxSpec prompt = t.dialogs.inputs().at(0);
    QCOMPARE(prompt.prompt, QStringLiteral("Rename: cat.jpg\n\nEnter new name"));
    QCOMPARE(prompt.title, QStringLiteral("Rename file"));
    QCOMPARE(prompt.helpTopic, 9);

    w = t.open();
    t.dialogs.answerInput(QStringLiteral("mouse.png"));
    w->Command1_Click();
    QVERIFY(!w->isVisible());
    QCOMPARE(readFile(t.dir + QStringLiteral("/mouse.png")), QByteArray("cat"));
    QVERIFY(!QFileInfo::exists(cat));
    QCOMPARE(t.window->File1->count(), 2);
}

void FileInfoTest::deleteInTheWindow() {
    Info t;
    for (int i = 1; i <= 5; ++i)
        t.file(QStringLiteral("f%1.jpg").arg(i));
    t.select(QStringLiteral("f3.jpg"));
    auto w = t.open();
    w->Command2_Click();
    QVERIFY(!w->isVisible());
    QVERIFY(!QFileInfo::exists(t.dir + QStringLiteral("/f3.jpg")));
    QCOMPARE(t.window->File1->fileName(), QStringLiteral("f4.jpg"));
    QCOMPARE(t.window->Label6->text(), QStringLiteral("4 File(s)"));
    QCOMPARE(t.window->Label7->text(), QStringLiteral("Current: "));

    // "No" to the question closes the window and keeps the file.
    t.settings.write(keys::DelConfirmation, QStringLiteral("1"));
    w = t.open();
    t.dialogs.answerMessage(Answer::No);
    w->Command2_Click();
    QVERIFY(!w->isVisible());
    QVERIFY(QFileInfo::exists(t.dir + QStringLiteral("/f4.jpg")));
    QCOMPARE(t.dialogs.messages().at(0).title, QStringLiteral("Delete file?"));

    // The last entry leaves no selection.
    t.settings.write(keys::DelConfirmation, QStringLiteral("0"));
    t.select(QStringLiteral("f5.jpg"));
    w = t.open();
    w->Command2_Click();
    QCOMPARE(t.window->File1->listIndex(), -1);
    QCOMPARE(t.window->File1->count(), 3);
    QVERIFY(t.programLogLines().isEmpty());
}

QTEST_MAIN(FileInfoTest)
#include "fileinfo_tests.moc"
