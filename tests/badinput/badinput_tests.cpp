// Damaged pictures of every format, empty files, headers claiming huge pictures and awkward file
// names, each selected in the file list of a main window with its viewer: the program reports
// what it cannot show with its own message, shows what it can, and never crashes. Rich-text
// documents built to hurt the editor's reader open with what can be read.

#include "browser/MainWindow.h"
#include "core/Services.h"
#include "editor/rtf/Rtf.h"
#include "picture/PictureLoader.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "support/Fakes.h"
#include "support/PictureBytes.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "ui/PictureAnimation.h"
#include "ui/PictureArea.h"
#include "viewer/SelectionViewer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QtEndian>

#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

namespace {

const QString PictureMessage = QStringLiteral(
    "Unable to open the selected picture, the file may be corrupted. Please select another file "
    "or try using another program. If you want Lumorra to do this automatic, then check the box "
    "on the file properties window.");

// A main window with its viewer on a private settings file and picture directory.
struct View : WindowTest {
    std::unique_ptr<SelectionViewer> viewer;

    View() : WindowTest(QStringLiteral("pics")) {
        turnOff({keys::AutoZoom, keys::OLE});
        openWindow();
        viewer = std::make_unique<SelectionViewer>(*window, services);
        viewer->showVivo = [](const QString&) {};
    }
    // Qt cannot remove a file whose name is no UTF-8: the test directory goes only when its
    // files are removed here by their bytes.
    ~View() {
        for (const QByteArray& path : written_)
            ::unlink(path.constData());
    }
    // Writes a file under a name given as bytes, as the file system has it.
    QString file(const QByteArray& name, const QByteArray& bytes) {
        const QByteArray path = QFile::encodeName(dir) + '/' + name;
        written_.push_back(path);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            qFatal("cannot create %s", path.constData());
        const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
        ::close(fd);
        if (!written)
            qFatal("cannot write %s", path.constData());
        return QFile::decodeName(path);
    }
    // Lists the directory and selects the file, as a click does.
    bool select(const QByteArray& name) {
        window->setFilePattern(QStringLiteral("*"));
        window->setDirPath(dir);
        const QString shown = QFile::decodeName(name);
        for (int i = 0; i < window->File1->count(); ++i) {
            if (window->File1->item(i) == shown) {
                window->File1->setListIndex(i);
                return true;
            }
        }
        return false;
    }

private:
    std::vector<QByteArray> written_;
};

QImage sample() {
    return twoHalves(QSize(24, 16), QColor(200, 30, 30), QColor(30, 30, 200));
}

QByteArray redBlueWmf() {
    return WmfBuilder(QRect(0, 0, 2880, 1440), 1440)
        .window(QRect(0, 0, 2880, 1440))
        .noPen()
        .solidBrush(Qt::red)
        .rectangle(QRect(0, 0, 1440, 1440))
        .solidBrush(Qt::blue)
        .rectangle(QRect(1440, 0, 1440, 1440))
        .bytes();
}

QByteArray redBlueEmf() {
    return EmfBuilder(QRect(0, 0, 100, 50), QRect(0, 0, 2500, 1250))
        .noPen()
        .solidBrush(Qt::red)
        .rectangle(QRect(0, 0, 50, 50))
        .solidBrush(Qt::blue)
        .rectangle(QRect(50, 0, 50, 50))
        .bytes();
}

// The sample as a HEIC (lossy, so 4:2:0 as cameras write it); empty when heif-enc is missing.
QByteArray heic() {
    return encodedBy(QStringLiteral("heif-enc"), {"-q", "90", "%in", "-o", "%out"},
                     encoded(sample(), "png"), QStringLiteral("in.png"), QStringLiteral("x.heic"));
}

// A sound picture of each format the viewer reads, by its file name. HEIF, AVIF and JPEG XL come
// from their encoders, where those are installed.
std::vector<std::pair<QByteArray, QByteArray>> soundPictures() {
    std::vector<std::pair<QByteArray, QByteArray>> pictures{
        {"photo.jpg", encoded(sample(), "jpeg", 90)},
        {"picture.png", encoded(sample(), "png")},
        {"bitmap.bmp", encoded(sample(), "bmp")},
        {"still.gif", gifFile({sample()})},
        {"icon.ico", iconFile({{16, 32, QColor(10, 200, 10)}, {32, 8, QColor(200, 10, 10)}})},
        {"drawing.wmf", redBlueWmf()},
        {"drawing.emf", redBlueEmf()},
        {"scan.tif", encoded(sample(), "tiff")},
        {"targa.tga", tgaFile(sample())},
        {"web.webp", encoded(sample(), "webp")},
    };
    const QByteArray png = encoded(sample(), "png");
    const auto add = [&](const QByteArray& name, const QByteArray& bytes) {
        if (!bytes.isEmpty())
            pictures.emplace_back(name, bytes);
    };
    add("phone.heic", heic());
    add("still.avif", encodedBy(QStringLiteral("avifenc"), {"%in", "%out"}, png,
                                QStringLiteral("in.png"), QStringLiteral("x.avif")));
    add("lossy.jxl", encodedBy(QStringLiteral("cjxl"), {"%in", "%out", "-d", "1"}, png,
                               QStringLiteral("in.png"), QStringLiteral("x.jxl")));
    add("photo.jxl",
        encodedBy(QStringLiteral("cjxl"), {"%in", "%out"}, encoded(sample(), "jpeg", 90),
                  QStringLiteral("in.jpg"), QStringLiteral("x.jxl")));
    return pictures;
}

// The bytes with every fourth byte after the first `keep` turned over.
QByteArray scrambled(QByteArray bytes, int keep) {
    for (qsizetype i = keep; i < bytes.size(); i += 4)
        bytes[i] = char(~bytes[i]);
    return bytes;
}

// A BMP header (file header and BITMAPINFOHEADER) of a 24-bit picture of the given size, with a
// few bytes of pixels.
QByteArray bmpClaiming(qint32 width, qint32 height) {
    QByteArray b(54, '\0');
    b[0] = 'B';
    b[1] = 'M';
    qToLittleEndian<quint32>(54 + 16, b.data() + 2);
    qToLittleEndian<quint32>(54, b.data() + 10);
    qToLittleEndian<quint32>(40, b.data() + 14);
    qToLittleEndian<qint32>(width, b.data() + 18);
    qToLittleEndian<qint32>(height, b.data() + 22);
    qToLittleEndian<quint16>(1, b.data() + 26);
    qToLittleEndian<quint16>(24, b.data() + 28);
    return b + QByteArray(16, '\x7f');
}

// A GIF header whose logical screen and only image claim the given size (16 bits a side).
QByteArray gifClaiming(quint16 width, quint16 height) {
    QByteArray b("GIF89a");
    char word[2];
    qToLittleEndian(width, word);
    b.append(word, 2);
    qToLittleEndian(height, word);
    b.append(word, 2);
    b.append("\x80\x00\x00", 3); // a global table of two colours
    b.append("\x00\x00\x00\xff\xff\xff", 6);
    b.append(",\0\0\0\0", 5);
    qToLittleEndian(width, word);
    b.append(word, 2);
    qToLittleEndian(height, word);
    b.append(word, 2);
    b.append("\x00\x02\x02\x44\x01\x00;", 7);
    return b;
}

qint64 peakResidentKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The sample as a TIFF whose first page is followed by `pages` - 1 more: a chain of empty
// directories, each pointing to the next. Empty when Qt's TIFF is not little-endian.
QByteArray tiffWithPages(int pages) {
    QByteArray tiff = encoded(sample(), "tiff");
    if (!tiff.startsWith("II*"))
        return {};
    const quint32 first = qFromLittleEndian<quint32>(tiff.constData() + 4);
    const quint16 entries = qFromLittleEndian<quint16>(tiff.constData() + first);
    if (tiff.size() % 2 != 0)
        tiff.append('\0');
    const qsizetype next = first + 2 + qsizetype(entries) * 12;
    qToLittleEndian(quint32(tiff.size()), tiff.data() + next);
    QByteArray chain(qsizetype(pages - 1) * 6, '\0');
    for (int i = 0; i < pages - 1; ++i) {
        const quint32 after = i + 2 < pages ? quint32(tiff.size() + (i + 1) * 6) : 0;
        qToLittleEndian(after, chain.data() + i * 6 + 2);
    }
    return tiff + chain;
}

enum class Outcome { Shown, Refused, ShownOrRefused };

} // namespace

Q_DECLARE_METATYPE(Outcome)

class BadInputTest : public QObject {
    Q_OBJECT
private slots:
    void damagedPictures_data();
    void damagedPictures();
    void hugeHeadersAreRefusedWithoutAllocating_data();
    void hugeHeadersAreRefusedWithoutAllocating();
    void millionPageTiffShowsItsFirstPageFast();
    void awkwardNames_data();
    void awkwardNames();
    void animationsPlayWhatTheyHave_data();
    void animationsPlayWhatTheyHave();
    void damagedDocuments_data();
    void damagedDocuments();
};

void BadInputTest::damagedPictures_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("error");
    for (const auto& [name, bytes] : soundPictures()) {
        QVERIFY2(bytes.size() > 40, name.constData());
        QTest::addRow("%s sound", name.constData()) << name << bytes << Outcome::Shown << 0;
        QTest::addRow("%s empty", name.constData())
            << name << QByteArray() << Outcome::Refused << 481;
        // Every format tells its size in its first bytes: cut there, nothing can be shown.
        QTest::addRow("%s first bytes", name.constData())
            << name << bytes.left(12) << Outcome::Refused << 481;
        // Cut in the middle: a JPEG shows what it has (a half-downloaded photo is worth
        // seeing); the others may or may not, but report what they cannot show.
        QTest::addRow("%s half", name.constData())
            << name << bytes.left(bytes.size() / 2) << Outcome::ShownOrRefused << 481;
        QTest::addRow("%s scrambled", name.constData())
            << name << scrambled(bytes, 8) << Outcome::ShownOrRefused << 481;
        QTest::addRow("%s header scrambled", name.constData())
            << name << scrambled(bytes, 2) << Outcome::ShownOrRefused << 481;
        QTest::addRow("%s tail garbage", name.constData())
            << name << bytes + QByteArray(3000, '\xA5') << Outcome::ShownOrRefused << 481;
    }
    QTest::addRow("zeros named jpg")
        << QByteArray("zeros.jpg") << QByteArray(4096, '\0') << Outcome::Refused << 481;
    QTest::addRow("text named png")
        << QByteArray("notes.png") << QByteArray("just some text\n") << Outcome::Refused << 481;
}

void BadInputTest::damagedPictures() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, bytes);
    QFETCH(Outcome, outcome);
    QFETCH(int, error);
    View v;
    const QString path = v.file(name, bytes);
    QVERIFY(v.select(name));
    QCOMPARE(v.window->Label1->text(), path);
    QCOMPARE(v.window->windowTitle(), QStringLiteral("Lumorra"));
    const auto messages = v.dialogs.messages();
    const bool shown = messages.empty();
    if (outcome == Outcome::Shown)
        QVERIFY2(shown, qPrintable(messages.empty() ? QString() : messages[0].title));
    if (outcome == Outcome::Refused)
        QVERIFY(!shown);
    if (shown) {
        QVERIFY(v.window->Image1->hasPicture());
        QVERIFY(v.dialogs.events().empty());
        return;
    }
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text, PictureMessage);
    QCOMPARE(messages[0].icon, Icon::Critical);
    QCOMPARE(messages[0].title.section(QLatin1Char('('), 0, 0),
             QStringLiteral("Picture load ERROR %1 ").arg(error));
    QCOMPARE(v.dialogs.beeps(), 1);
    QCOMPARE(v.programLogLines(),
             QStringList({QStringLiteral("\"<d, t> ") + messages[0].title + '"'}));
}

void BadInputTest::hugeHeadersAreRefusedWithoutAllocating_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addRow("png") << QByteArray("huge.png") << pngClaiming(QSize(100000, 100000));
    QTest::addRow("bmp") << QByteArray("huge.bmp") << bmpClaiming(100000, 100000);
    QTest::addRow("bmp top-down") << QByteArray("huge-down.bmp") << bmpClaiming(100000, -100000);
    QTest::addRow("gif") << QByteArray("huge.gif") << gifClaiming(65535, 65535);
    QTest::addRow("jpeg") << QByteArray("huge.jpg")
                          << jpegClaiming(encoded(sample(), "jpeg", 90), QSize(65535, 65535));
    QTest::addRow("jxl") << QByteArray("huge.jxl") << jxlClaiming(QSize(60000, 60000));
    if (const QByteArray sound = heic(); !sound.isEmpty())
        QTest::addRow("heif") << QByteArray("huge.heic")
                              << heifClaiming(sound, QSize(60000, 60000));
}

void BadInputTest::hugeHeadersAreRefusedWithoutAllocating() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, bytes);
    QVERIFY(!bytes.isEmpty());
    View v;
    v.file(name, bytes);
    const qint64 before = peakResidentKiB();
    QVERIFY(v.select(name));
    // Told from the header before any pixel is decoded: out of memory, or an invalid picture
    // where the format's reader refuses such a header itself.
    const auto messages = v.dialogs.messages();
    QCOMPARE(messages.size(), size_t(1));
    QVERIFY2(messages[0].title == QStringLiteral("Picture load ERROR 7 (Out of memory)") ||
                 messages[0].title == QStringLiteral("Picture load ERROR 481 (Invalid picture)"),
             qPrintable(messages[0].title));
    QCOMPARE(messages[0].text, PictureMessage);
    QVERIFY2(peakResidentKiB() - before < 256 * 1024,
             qPrintable(QStringLiteral("%1 KiB more").arg(peakResidentKiB() - before)));
    QCOMPARE(v.window->windowTitle(), QStringLiteral("Lumorra"));
}

void BadInputTest::millionPageTiffShowsItsFirstPageFast() {
    const QByteArray bytes = tiffWithPages(1000000);
    QVERIFY(!bytes.isEmpty());
    View v;
    const QString path = v.file("pages.tif", bytes);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(v.select("pages.tif"));
    // Only the first page is read: shown in the time of one small picture, not one per page.
    const auto messages = v.dialogs.messages();
    QVERIFY2(messages.empty(), qPrintable(messages.empty() ? QString() : messages[0].title));
    QVERIFY(v.window->Image1->hasPicture());
    QCOMPARE(pictureSize(decoders(), path), QSize(24, 16));
    // File Information's details: none, and no wait for them.
    QVERIFY(pictureDetails(decoders(), path).isEmpty());
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

void BadInputTest::awkwardNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addRow("spaces") << QByteArray("  two  spaces .jpg");
    QTest::addRow("quotes") << QByteArray("it's \"quoted\".jpg");
    QTest::addRow("leading dash") << QByteArray("-rf.jpg");
    QTest::addRow("dashes only") << QByteArray("--.jpg");
    QTest::addRow("newline") << QByteArray("first\nsecond.jpg");
    QTest::addRow("shell characters") << QByteArray("$(x);`y`|&*?.jpg");
    QTest::addRow("non-ASCII") << QByteArray("Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac.jpg");
    QTest::addRow("255 bytes") << QByteArray(251, 'n') + ".jpg";
    QTest::addRow("invalid UTF-8") << QByteArray("bad \xff\xfe name.jpg");
}

void BadInputTest::awkwardNames() {
    QFETCH(QByteArray, name);
    View v;
    const QString path = v.file(name, encoded(sample(), "jpeg", 90));
    QVERIFY(v.select(name));
    QCOMPARE(v.window->windowTitle(), QStringLiteral("Lumorra"));
    const auto messages = v.dialogs.messages();
    if (QFile::encodeName(QFile::decodeName(name)) == name) {
        QVERIFY2(messages.empty(), qPrintable(messages.empty() ? QString() : messages[0].title));
        QCOMPARE(v.window->Label1->text(), path);
        QVERIFY(v.window->Image1->hasPicture());
        QCOMPARE(v.window->Label5->text(), QStringLiteral("24 x 16"));
        return;
    }
    // A name that is no UTF-8 is listed, but Qt cannot spell it back to open it: the program's
    // own message, nothing else.
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text, PictureMessage);
    QCOMPARE(messages[0].title, QStringLiteral("Picture load ERROR 2 (No such file or directory)"));
    QCOMPARE(v.dialogs.beeps(), 1);
}

void BadInputTest::animationsPlayWhatTheyHave_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("finishes");
    QTest::addColumn<QColor>("last"); // the frame it ends on
    std::vector<QImage> frames;
    for (int i = 0; i < 10000; ++i)
        frames.push_back(twoHalves(QSize(4, 4), i % 2 ? Qt::blue : Qt::red, Qt::white));
    QTest::addRow("10,000 frames") << gifFile(frames) << false << QColor();
    const QByteArray three = gifFile({twoHalves(QSize(8, 8), Qt::red, Qt::white),
                                      twoHalves(QSize(8, 8), Qt::green, Qt::white),
                                      twoHalves(QSize(8, 8), Qt::blue, Qt::white)});
    // Each frame starts with its delay; cut a few bytes before the next one, in its pixels.
    // Qt's reader gives a cut frame's rows up to the cut: the animation ends on that frame.
    const qsizetype first = three.indexOf("\x21\xF9\x04");
    const qsizetype second = three.indexOf("\x21\xF9\x04", first + 1);
    const qsizetype third = three.indexOf("\x21\xF9\x04", second + 1);
    QVERIFY(first > 0 && second > first && third > second);
    QTest::addRow("cut in the second frame's colours")
        << three.left(second + 100) << true << QColor(Qt::red);
    QTest::addRow("cut in the second frame") << three.left(third - 10) << true << QColor(Qt::green);
    QTest::addRow("cut in the last frame")
        << three.left(three.size() - 10) << true << QColor(Qt::blue);
}

void BadInputTest::animationsPlayWhatTheyHave() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, finishes);
    QFETCH(QColor, last);
    View v;
    v.file("anim.gif", bytes);
    v.window->show();
    QVERIFY(v.select("anim.gif"));
    QVERIFY(v.dialogs.events().empty());
    PictureArea* area = v.window->Image1;
    QCOMPARE(QColor(area->shownImage().pixel(1, 1)), QColor(Qt::red));
    const PictureAnimation* animation = area->animation();
    if (!animation) {
        QVERIFY(finishes); // too short to play: shown as a still
        return;
    }
    int shown = 0;
    int mostHeld = animation->heldFrames();
    connect(area, &PictureArea::frameShown, [&] {
        ++shown;
        mostHeld = qMax(mostHeld, animation->heldFrames());
    });
    if (finishes) {
        QTRY_VERIFY(animation->isFinished());
        QCOMPARE(QColor(area->shownImage().pixel(1, 1)), last);
    } else {
        QTRY_VERIFY(shown >= 3);
    }
    QVERIFY(mostHeld <= 2);
    QVERIFY(v.dialogs.events().empty());
}

void BadInputTest::damagedDocuments_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");   // what the document shows, paragraphs joined by "|"
    QTest::addColumn<int>("depth");      // how deep its tables nest
    QTest::addColumn<QSize>("pictures"); // the size every picture is shown at
    QByteArray rows;
    for (int i = 0; i < 10000; ++i)
        rows += "\\trowd\\cellx1000\\cellx2000\\pard\\intbl a\\cell " + QByteArray::number(i) +
                "\\cell\\row\n";
    QTest::newRow("ten thousand rows") << rows + "\\pard end" << QString() << 1 << QSize();
    QByteArray nested = "\\pard\\intbl one\\cell ";
    for (int level = 2; level <= 1000; ++level)
        nested += "\\pard\\intbl\\itap" + QByteArray::number(level) + " x\\nestcell ";
    for (int level = 1000; level >= 2; --level)
        nested += "{\\*\\nesttableprops\\trowd\\cellx100\\nestrow}{\\nonesttables\\par}";
    QTest::newRow("tables nested 1000 deep")
        << nested + "\\cell\\row\\pard end" << QString() << 8 << QSize();
    QTest::newRow("list override pointing nowhere")
        << QByteArray("{\\*\\listoverridetable{\\listoverride\\listid9\\ls1}}"
                      "\\pard\\ls1\\ilvl3 one\\par\\pard\\ls7\\ilvl99 two")
        << QStringLiteral("one|two") << 0 << QSize();
    QTest::newRow("cell edges going backwards")
        << QByteArray("\\trowd\\cellx3000\\cellx1000\\cellx-5\\cellx2000\\pard\\intbl a\\cell "
                      "b\\cell c\\cell d\\cell\\row\\pard end")
        << QStringLiteral("|a|b|c|d|end") << 1 << QSize();
    QTest::newRow("corrupt metafiles")
        << QByteArray("{\\pict\\wmetafile8\\picwgoal1500\\pichgoal750 0100090000030000ffff0000}"
                      "{\\pict\\emfblip\\picwgoal1500\\pichgoal750 01000000ffffffff20454d46}")
        << QStringLiteral("\\uFFFC\\uFFFC") << 0 << QSize(100, 50);
}

void BadInputTest::damagedDocuments() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(int, depth);
    QFETCH(QSize, pictures);
    QTextDocument doc;
    rtf::read(decoders(), "{\\rtf1\\ansi " + rtf + "}", doc);
    QStringList paragraphs;
    int deepest = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        paragraphs << b.text();
        int d = 0;
        for (QTextFrame* f = QTextCursor(b).currentFrame(); f; f = f->parentFrame())
            d += qobject_cast<QTextTable*>(f) ? 1 : 0;
        deepest = std::max(deepest, d);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat()) {
                const QTextImageFormat image = f.toImageFormat();
                QCOMPARE(QSize(qRound(image.width()), qRound(image.height())), pictures);
                QVERIFY(!doc.resource(QTextDocument::ImageResource, QUrl(image.name()))
                             .value<QImage>()
                             .isNull());
            }
        }
    }
    QCOMPARE(deepest, depth);
    if (!text.isEmpty())
        QCOMPARE(paragraphs.join(QLatin1Char('|')),
                 QString(text).replace(QStringLiteral("\\uFFFC"), QChar(0xFFFC)));
    else
        QVERIFY(paragraphs.last() == QStringLiteral("end"));
    // What the reader made, the writer writes and the reader reads again alike.
    QTextDocument again;
    rtf::read(decoders(), rtf::write(decoders(), doc), again);
    QCOMPARE(again.toPlainText(), doc.toPlainText());
}

QTEST_MAIN(BadInputTest)
#include "badinput_tests.moc"
