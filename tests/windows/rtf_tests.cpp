#include "windows/rtf/Rtf.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <vector>

using namespace lumorra;

namespace {

QByteArray sample(const QString& name) {
    QFile file(QStringLiteral(LUMORRA_RTF_SAMPLES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing sample %s", qPrintable(name));
    return file.readAll();
}

struct Run {
    QString text;
    QTextCharFormat format;
};

// The document's runs of text and pictures, block by block.
std::vector<std::vector<Run>> runs(const QTextDocument& doc) {
    std::vector<std::vector<Run>> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        out.emplace_back();
        for (auto it = b.begin(); !it.atEnd(); ++it)
            out.back().push_back({it.fragment().text(), it.fragment().charFormat()});
    }
    return out;
}

// The run that holds a text, or an empty run.
Run runWith(const QTextDocument& doc, const QString& text) {
    for (const auto& block : runs(doc)) {
        for (const Run& r : block) {
            if (r.text.contains(text))
                return r;
        }
    }
    return {};
}

QStringList blocks(const QTextDocument& doc) {
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        out << b.text();
    return out;
}

std::vector<QTextImageFormat> pictures(const QTextDocument& doc) {
    std::vector<QTextImageFormat> out;
    for (const auto& block : runs(doc)) {
        for (const Run& r : block) {
            if (r.format.isImageFormat())
                out.push_back(r.format.toImageFormat());
        }
    }
    return out;
}

QImage pictureImage(const QTextDocument& doc, const QTextImageFormat& f) {
    return doc.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 95);
    return data;
}

QImage twoColours(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w / 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    return image;
}

// The document after a write and a read.
void roundTrip(const QTextDocument& from, QTextDocument& to) {
    const QByteArray rtf = rtf::write(from);
    rtf::read(rtf, to);
}

bool noControlWords(const QTextDocument& doc) {
    const QString text = doc.toPlainText();
    return !text.contains(QLatin1Char('\\')) && !text.contains(QLatin1Char('{')) &&
           !text.contains(QLatin1Char('}'));
}

} // namespace

class RtfTest : public QObject {
    Q_OBJECT
private slots:
    void writtenDocumentReadsBackWithItsStyles();
    void writtenPicturesReadBackWithTheirBytes();
    void writerEscapesAndStaysSevenBit();
    void wordProcessorFileOpensWithTextAndStyles();
    void otherProgramsFilesOpen();
    void fontCharsetsDecodeTheirCodePage();
    void unicodeFallbacksAreSkipped();
    void brokenInputNeverCrashes();
    void recognisesRtf();
};

void RtfTest::writtenDocumentReadsBackWithItsStyles() {
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("Courier New"), 8));
    QTextCursor c(&doc);
    QTextCharFormat plain;
    c.insertText(QStringLiteral("Plain, "), plain);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("bold"), bold);
    QTextCharFormat italicUnderline;
    italicUnderline.setFontItalic(true);
    italicUnderline.setFontUnderline(true);
    c.insertText(QStringLiteral(" italic underlined"), italicUnderline);
    QTextCharFormat coloured;
    coloured.setForeground(QColor(200, 30, 40));
    coloured.setBackground(QColor(255, 255, 0));
    coloured.setFontFamilies({QStringLiteral("DejaVu Sans")});
    coloured.setFontPointSize(14);
    coloured.setFontStrikeOut(true);
    c.insertText(QStringLiteral(" red on yellow"), coloured);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    centred.setLeftMargin(24);
    centred.setTopMargin(6);
    c.insertBlock(centred);
    c.insertText(QStringLiteral("Grüße \\ {braces} \t tab — 日本語 😀 x\u00A0y"), plain);
    c.insertText(QString(QChar::LineSeparator) + QStringLiteral("next line"), plain);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    c.insertBlock(right);
    QTextCharFormat sup;
    sup.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    c.insertText(QStringLiteral("x"), plain);
    c.insertText(QStringLiteral("2"), sup);
    c.insertBlock(QTextBlockFormat());
    c.insertBlock(QTextBlockFormat()); // an empty paragraph, then one more
    c.insertText(QStringLiteral("last"), plain);

    QTextDocument back;
    back.setDefaultFont(doc.defaultFont());
    roundTrip(doc, back);
    QCOMPARE(blocks(back), blocks(doc));

    QVERIFY(runWith(back, QStringLiteral("bold")).format.fontWeight() >= QFont::Bold);
    QVERIFY(runWith(back, QStringLiteral("Plain")).format.fontWeight() < QFont::Bold);
    QVERIFY(runWith(back, QStringLiteral("Plain")).format.font().family() ==
            QStringLiteral("Courier New"));
    QCOMPARE(runWith(back, QStringLiteral("Plain")).format.fontPointSize(), 8.0);
    const Run iu = runWith(back, QStringLiteral("italic"));
    QVERIFY(iu.format.fontItalic());
    QVERIFY(iu.format.fontUnderline());
    QVERIFY(!iu.format.fontStrikeOut());
    const Run red = runWith(back, QStringLiteral("red on"));
    QCOMPARE(red.format.foreground().color(), QColor(200, 30, 40));
    QCOMPARE(red.format.background().color(), QColor(255, 255, 0));
    QCOMPARE(red.format.font().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(red.format.fontPointSize(), 14.0);
    QVERIFY(red.format.fontStrikeOut());
    QVERIFY(
        !runWith(back, QStringLiteral("Plain")).format.hasProperty(QTextFormat::ForegroundBrush));
    QCOMPARE(runWith(back, QStringLiteral("2")).format.verticalAlignment(),
             QTextCharFormat::AlignSuperScript);

    QTextBlock b = back.begin();
    QCOMPARE(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    b = b.next();
    QCOMPARE(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(b.blockFormat().leftMargin(), 24.0);
    QCOMPARE(b.blockFormat().topMargin(), 6.0);
    b = b.next();
    QCOMPARE(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    // A document read back writes the same file again.
    const QByteArray again = rtf::write(back);
    if (again != rtf::write(doc)) {
        qWarning("%s", rtf::write(doc).constData());
        qWarning("%s", again.constData());
    }
    QCOMPARE(again, rtf::write(doc));
}

void RtfTest::writtenPicturesReadBackWithTheirBytes() {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Before "));
    const QImage png = twoColours(40, 30);
    const QByteArray pngBytes = encoded(png, "PNG");
    rtf::insertPicture(c, png, pngBytes, QStringLiteral("png"), QSizeF(80, 60));
    c.insertText(QStringLiteral(" between "));
    const QImage photo = twoColours(64, 48);
    const QByteArray jpegBytes = encoded(photo, "JPEG");
    rtf::insertPicture(c, QImage::fromData(jpegBytes), jpegBytes, QStringLiteral("jpeg"));
    c.insertText(QStringLiteral(" after"));

    const QByteArray rtf = rtf::write(doc);
    QVERIFY(rtf.contains("\\pngblip"));
    QVERIFY(rtf.contains("\\jpegblip"));
    QVERIFY(rtf.contains("\\picwgoal1200\\pichgoal900")); // 80 x 60 pixels in twips

    QTextDocument back;
    rtf::read(rtf, back);
    QCOMPARE(back.toPlainText(), doc.toPlainText());
    const auto pics = pictures(back);
    QCOMPARE(pics.size(), size_t(2));
    QCOMPARE(pics[0].property(rtf::PictureData).toByteArray(), pngBytes);
    QCOMPARE(pics[0].stringProperty(rtf::PictureType), QStringLiteral("png"));
    QCOMPARE(pics[0].width(), 80.0);
    QCOMPARE(pics[0].height(), 60.0);
    QCOMPARE(pictureImage(back, pics[0]).size(), QSize(40, 30));
    QCOMPARE(pictureImage(back, pics[0]).pixel(2, 2), qRgb(255, 0, 0));
    QCOMPARE(pics[1].property(rtf::PictureData).toByteArray(), jpegBytes);
    QCOMPARE(pics[1].stringProperty(rtf::PictureType), QStringLiteral("jpeg"));
    QCOMPARE(pics[1].width(), 64.0);

    // A large picture shown small keeps its bytes, but not all its pixels on screen.
    QTextDocument small;
    QTextCursor sc(&small);
    const QImage big = twoColours(1200, 900);
    const QByteArray bigBytes = encoded(big, "PNG");
    rtf::insertPicture(sc, big, bigBytes, QStringLiteral("png"), QSizeF(120, 90));
    QCOMPARE(pictureImage(small, pictures(small)[0]).size(), QSize(240, 180));
    QTextDocument smallBack;
    rtf::read(rtf::write(small), smallBack);
    QCOMPARE(pictures(smallBack)[0].property(rtf::PictureData).toByteArray(), bigBytes);

    // A picture that came without its bytes (dropped in from elsewhere) is written as PNG.
    QTextDocument other;
    other.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("dropped.bmp")), png);
    QTextCursor oc(&other);
    QTextImageFormat dropped;
    dropped.setName(QStringLiteral("dropped.bmp"));
    oc.insertImage(dropped);
    QTextDocument otherBack;
    rtf::read(rtf::write(other), otherBack);
    QCOMPARE(pictures(otherBack).size(), size_t(1));
    QCOMPARE(pictureImage(otherBack, pictures(otherBack)[0]).size(), QSize(40, 30));
}

void RtfTest::writerEscapesAndStaysSevenBit() {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("a\\b{c}d é € 😀"));
    const QByteArray rtf = rtf::write(doc);
    for (char ch : rtf)
        QVERIFY(static_cast<unsigned char>(ch) < 0x80);
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252"));
    QVERIFY(rtf.contains("\\fonttbl"));
    QVERIFY(rtf.contains("a\\\\b\\{c\\}d"));
    QVERIFY(rtf.contains("\\u233\\'e9"));
    QVERIFY(rtf.contains("\\u8364\\'80"));
    QVERIFY(rtf.contains("\\u-10179?\\u-8704?"));
}

void RtfTest::wordProcessorFileOpensWithTextAndStyles() {
    QTextDocument doc;
    rtf::read(sample(QStringLiteral("word-processor.rtf")), doc);
    const QStringList expected = {
        QStringLiteral("Café notes"),
        QStringLiteral("The price is 5 €, paid in full, with thanks\u00A0and red underline."),
        QStringLiteral("Visit example.org today"),
        QStringLiteral("First item"),
        QStringLiteral("Second item, naïve"),
        QStringLiteral("Right aligned\u2028second line"),
        QString(QChar::ObjectReplacementCharacter) + QStringLiteral(" A picture."),
        QStringLiteral("Cell A"),
        QStringLiteral("Cell B"),
        QStringLiteral("Greek αβ, emoji 😀 end.")};
    QCOMPARE(blocks(doc), expected);
    QVERIFY(noControlWords(doc));
    // The list items are a bulleted list, the row a table, the link keeps its target.
    const QTextBlock item = doc.findBlockByNumber(3);
    QVERIFY(item.textList() && item.textList() == item.next().textList());
    QCOMPARE(item.textList()->format().style(), QTextListFormat::ListDisc);
    QTextTable* table = QTextCursor(doc.findBlockByNumber(7)).currentTable();
    QVERIFY(table && table->rows() == 1 && table->columns() == 2);
    QCOMPARE(runWith(doc, QStringLiteral("example.org")).format.anchorHref(),
             QStringLiteral("https://example.org/"));

    const Run title = runWith(doc, QStringLiteral("Café"));
    QVERIFY(title.format.fontWeight() >= QFont::Bold);
    QCOMPARE(title.format.fontPointSize(), 16.0);
    QCOMPARE(title.format.font().family(), QStringLiteral("Calibri"));
    QCOMPARE(title.format.foreground().color(), QColor(0, 0, 128));
    QCOMPARE(doc.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const Run body = runWith(doc, QStringLiteral("The price"));
    QVERIFY(body.format.fontWeight() < QFont::Bold);
    QCOMPARE(body.format.font().family(), QStringLiteral("Times New Roman"));
    QCOMPARE(body.format.fontPointSize(), 11.0);
    QVERIFY(runWith(doc, QStringLiteral("full")).format.fontWeight() >= QFont::Bold);
    QVERIFY(runWith(doc, QStringLiteral("thanks")).format.fontItalic());
    const Run red = runWith(doc, QStringLiteral("red underline"));
    QVERIFY(red.format.fontUnderline());
    QCOMPARE(red.format.foreground().color(), QColor(255, 0, 0));
    QTextBlock right = doc.begin();
    for (int i = 0; i < 5; ++i)
        right = right.next();
    QCOMPARE(right.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    // The PNG of the picture, not its metafile stand-in, at 1200 x 900 twips.
    const auto pics = pictures(doc);
    QCOMPARE(pics.size(), size_t(1));
    QCOMPARE(pics[0].width(), 80.0);
    QCOMPARE(pics[0].height(), 60.0);
    const QImage image = pictureImage(doc, pics[0]);
    QCOMPARE(image.size(), QSize(8, 6));
    QCOMPARE(image.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(7, 5), qRgb(0, 0, 255));
}

void RtfTest::otherProgramsFilesOpen() {
    {
        QTextDocument doc;
        rtf::read(sample(QStringLiteral("libreoffice.rtf")), doc);
        QStringList got = blocks(doc);
        QCOMPARE(got.size(), 4);
        QCOMPARE(got[0], QStringLiteral("Meeting minutes"));
        QCOMPARE(got[1],
                 QStringLiteral("Present: Anna and Börje. Green text, marked, struck and H2O."));
        QCOMPARE(got[3], QStringLiteral("Justified closing words…"));
        QVERIFY(noControlWords(doc));
        const Run title = runWith(doc, QStringLiteral("Meeting"));
        QVERIFY(title.format.fontWeight() >= QFont::Bold);
        QCOMPARE(title.format.font().family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(title.format.fontPointSize(), 14.0);
        QCOMPARE(doc.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
        QVERIFY(runWith(doc, QStringLiteral("Anna")).format.fontWeight() >= QFont::Bold);
        QVERIFY(runWith(doc, QStringLiteral("Börje")).format.fontItalic());
        QCOMPARE(runWith(doc, QStringLiteral("Green")).format.foreground().color(),
                 QColor(0, 128, 0));
        QCOMPARE(runWith(doc, QStringLiteral("marked")).format.background().color(),
                 QColor(255, 255, 0));
        QVERIFY(runWith(doc, QStringLiteral("struck")).format.fontStrikeOut());
        QCOMPARE(runWith(doc, QStringLiteral("2")).format.verticalAlignment(),
                 QTextCharFormat::AlignSubScript);
        QCOMPARE(doc.lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignJustify);
    }
    {
        QTextDocument doc;
        rtf::read(sample(QStringLiteral("wordpad.rtf")), doc);
        QCOMPARE(blocks(doc), QStringList({"Shopping list", "Bold, italic, underlined and red.",
                                           "indented code { x = 1; }", "centred blue", ""}));
        QVERIFY(runWith(doc, QStringLiteral("Bold")).format.fontWeight() >= QFont::Bold);
        QVERIFY(runWith(doc, QStringLiteral(", ")).format.fontWeight() < QFont::Bold);
        QVERIFY(runWith(doc, QStringLiteral("underlined")).format.fontUnderline());
        QVERIFY(!runWith(doc, QStringLiteral(" and")).format.fontUnderline());
        QCOMPARE(runWith(doc, QStringLiteral("red")).format.foreground().color(),
                 QColor(255, 0, 0));
        QCOMPARE(runWith(doc, QStringLiteral("indented")).format.font().family(),
                 QStringLiteral("Consolas"));
        QCOMPARE(runWith(doc, QStringLiteral("indented")).format.fontPointSize(), 9.0);
        QCOMPARE(doc.begin().next().next().blockFormat().leftMargin(), 48.0);
    }
    {
        QTextDocument doc;
        rtf::read(sample(QStringLiteral("converter.rtf")), doc);
        QCOMPARE(blocks(doc),
                 QStringList({"Release notes",
                              "The new reader keeps styles and code spans. Quotes: “smart” and "
                              "— dashes.",
                              "•\tFirst point", "•\tSecond point with a link", "",
                              "Quoted paragraph."}));
        QCOMPARE(runWith(doc, QStringLiteral("Release")).format.fontPointSize(), 18.0);
        QVERIFY(runWith(doc, QStringLiteral("new")).format.fontWeight() >= QFont::Bold);
        QVERIFY(runWith(doc, QStringLiteral(" reader")).format.fontWeight() < QFont::Bold);
        QCOMPARE(runWith(doc, QStringLiteral("code spans")).format.font().family(),
                 QStringLiteral("Courier"));
        QVERIFY(runWith(doc, QStringLiteral("a link")).format.fontUnderline());
        QCOMPARE(doc.lastBlock().blockFormat().leftMargin(), 48.0);
    }
    {
        QTextDocument doc;
        rtf::read(sample(QStringLiteral("mac-notes.rtf")), doc);
        QCOMPARE(blocks(doc), QStringList({"Notes from the train",
                                           "second line with “quotes” and a backslash \\ here."}));
        QVERIFY(runWith(doc, QStringLiteral("train")).format.fontWeight() >= QFont::Bold);
        QCOMPARE(runWith(doc, QStringLiteral("train")).format.font().family(),
                 QStringLiteral("Helvetica-Bold"));
    }
}

void RtfTest::fontCharsetsDecodeTheirCodePage() {
    if (!QStringDecoder("windows-1251").isValid())
        QSKIP("no code page 1251 decoder on this system");
    QTextDocument doc;
    rtf::read(sample(QStringLiteral("libreoffice.rtf")), doc);
    QCOMPARE(blocks(doc).value(2), QStringLiteral("Привет"));
    QTextDocument page;
    rtf::read("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", page);
    QCOMPARE(page.toPlainText(), QStringLiteral("При"));
}

void RtfTest::unicodeFallbacksAreSkipped() {
    const auto text = [](const QByteArray& rtf) {
        QTextDocument doc;
        rtf::read(rtf, doc);
        return doc.toPlainText();
    };
    QCOMPARE(text("{\\rtf1 a\\u233?b}"), QStringLiteral("aéb"));
    QCOMPARE(text("{\\rtf1\\uc2 a\\u233\\'e9\\'e9b}"), QStringLiteral("aéb"));
    QCOMPARE(text("{\\rtf1\\uc0 a\\u233 b}"), QStringLiteral("aéb"));
    QCOMPARE(text("{\\rtf1 a\\u8364\\'80b}"), QStringLiteral("a€b"));
    QCOMPARE(text("{\\rtf1 {\\uc3 \\u233}xyz}"), QStringLiteral("éxyz")); // a group ends skipping
    QCOMPARE(text("{\\rtf1 \\'e9\\'80\\'85}"), QStringLiteral("é€…"));
    QCOMPARE(text("{\\rtf1 x{\\*\\unknown hidden {nested} text}y\\unknownword3 z{\\v hid}}"),
             QStringLiteral("xyz"));
}

void RtfTest::brokenInputNeverCrashes() {
    const auto text = [](const QByteArray& rtf) {
        QTextDocument doc;
        rtf::read(rtf, doc);
        return doc.toPlainText();
    };
    QCOMPARE(text("{\\rtf1 truncated {\\b bold"), QStringLiteral("truncated bold"));
    QCOMPARE(text("{\\rtf1 extra}}} braces}"), QStringLiteral("extra braces"));
    QCOMPARE(text("{\\rtf1 a\\bin999999 "), QStringLiteral("a"));
    QCOMPARE(text("{\\rtf1 a{\\pict\\pngblip 89504e47zz}b}"), QStringLiteral("ab"));
    QCOMPARE(text("{\\rtf1 a\\u}"), QStringLiteral("a"));
    QCOMPARE(text("{\\rtf1 \\fs99999999999999999999 \\'zz\\'4"), QString());
    QCOMPARE(text("{\\rtf1{\\colortbl;\\red999\\green-5;}\\cf7 \\cf1 c\\highlight-3 d}"),
             QStringLiteral("cd"));
    QByteArray deep = "{\\rtf1 ";
    deep += QByteArray(100000, '{') + "deep" + QByteArray(100000, '}');
    QCOMPARE(text(deep), QStringLiteral("deep"));

    // Random bytes after a header, and random cuts of a real file.
    QRandomGenerator random(20240314);
    const QByteArray word = sample(QStringLiteral("word-processor.rtf"));
    for (int i = 0; i < 200; ++i) {
        QByteArray data = "{\\rtf1 ";
        const int n = random.bounded(400);
        const char alphabet[] = "{}\\*'0123456789abcdefuxbinpicthexpar \r\n-;";
        for (int k = 0; k < n; ++k)
            data += random.bounded(2) ? alphabet[random.bounded(int(sizeof alphabet) - 1)]
                                      : char(random.bounded(256));
        QTextDocument doc;
        rtf::read(data, doc);
        QByteArray cut = word.left(random.bounded(word.size()));
        cut[random.bounded(cut.size() + 1) % std::max<qsizetype>(1, cut.size())] ^= 0x20;
        rtf::read(cut, doc);
    }
}

void RtfTest::recognisesRtf() {
    QVERIFY(rtf::isRtf("{\\rtf1\\ansi x}"));
    QVERIFY(rtf::isRtf("\xEF\xBB\xBF \r\n{\\rtf1}"));
    QVERIFY(!rtf::isRtf("plain {\\rtf1}"));
    QVERIFY(!rtf::isRtf(""));
}

QTEST_MAIN(RtfTest)
#include "rtf_tests.moc"
