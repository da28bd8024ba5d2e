#include "editor/rtf/ControlWords.h"
#include "editor/rtf/ListBuilder.h"
#include "editor/rtf/Rtf.h"
#include "editor/rtf/TableBuilder.h"
#include "support/Decoders.h"
#include "support/PictureBytes.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <map>
#include <memory>
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

// Whether the pixels are in memory a decoder worker shared: the picture was decoded there.
bool decodedInAWorker(const QImage& image) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (image.isNull() || !maps.open(QIODevice::ReadOnly))
        return false;
    const auto at = quintptr(image.constBits());
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QList<QByteArray> range = line.left(line.indexOf(' ')).split('-');
        if (range.size() == 2 && line.contains("memfd:lumorra-pixels") &&
            range[0].toULongLong(nullptr, 16) <= at && at < range[1].toULongLong(nullptr, 16))
            return true;
    }
    return false;
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
    const QByteArray rtf = rtf::write(test::decoders(), from);
    rtf::read(test::decoders(), rtf, to);
}

bool noControlWords(const QTextDocument& doc) {
    const QString text = doc.toPlainText();
    return !text.contains(QLatin1Char('\\')) && !text.contains(QLatin1Char('{')) &&
           !text.contains(QLatin1Char('}'));
}

// The document's structure, a line a paragraph: where it stands in tables ("t2x3@0,1+1x2:" for
// the first cell of a table of 2 rows and 3 columns, that cell at row 0 and column 1 spanning 1
// row and 2 columns; nested tables after their table), its list ("ul1:" or "ol2:", the level;
// "ola1:" for letters, "olI1:" for roman), and its text with the links' targets as <target>.
QStringList structure(const QTextDocument& doc) {
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString line;
        QTextCursor c(b);
        std::vector<QString> tables;
        for (QTextFrame* f = c.currentFrame(); f; f = f->parentFrame()) {
            if (auto* t = qobject_cast<QTextTable*>(f)) {
                const QTextTableCell cell = t->cellAt(b.position());
                tables.insert(tables.begin(), QStringLiteral("t%1x%2@%3,%4+%5x%6:")
                                                  .arg(t->rows())
                                                  .arg(t->columns())
                                                  .arg(cell.row())
                                                  .arg(cell.column())
                                                  .arg(cell.rowSpan())
                                                  .arg(cell.columnSpan()));
            }
        }
        for (const QString& t : tables)
            line += t;
        if (const QTextList* list = b.textList()) {
            const auto style = list->format().style();
            line += style == QTextListFormat::ListDecimal      ? QStringLiteral("ol")
                    : style == QTextListFormat::ListLowerAlpha ? QStringLiteral("ola")
                    : style == QTextListFormat::ListUpperAlpha ? QStringLiteral("olA")
                    : style == QTextListFormat::ListLowerRoman ? QStringLiteral("oli")
                    : style == QTextListFormat::ListUpperRoman ? QStringLiteral("olI")
                    : style == QTextListFormat::ListCircle     ? QStringLiteral("ulo")
                    : style == QTextListFormat::ListSquare     ? QStringLiteral("uls")
                                                               : QStringLiteral("ul");
            line += QString::number(list->format().indent()) + QLatin1Char(':');
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            line += it.fragment().text();
            if (it.fragment().charFormat().isAnchor())
                line +=
                    QLatin1Char('<') + it.fragment().charFormat().anchorHref() + QLatin1Char('>');
        }
        out << line;
    }
    return out;
}

QByteArray rtfDocument(const QByteArray& body) {
    return "{\\rtf1\\ansi{\\colortbl;\\red255\\green0\\blue0;\\red0\\green128\\blue0;}\n" + body +
           "}";
}

// What a reader of a document sees of it: its words; the words in bold, italic and underline;
// its links' targets; a "ul1" or "ol2" (the level) for each list item; its tables, rows and
// cells (nested ones counted too); its pictures' sizes.
struct Seen {
    QStringList words, bold, italic, underline, links, items;
    int tables = 0, rows = 0, cells = 0;
    QList<QSize> pictures;
};

QStringList wordsOf(const QString& text) {
    static const QRegularExpression space(QStringLiteral("\\s+"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    QString t = text;
    t.remove(QChar(QChar::ObjectReplacementCharacter));
    return t.split(space, Qt::SkipEmptyParts);
}

// LibreOffice's HTML: tags it writes for these, entities decoded.
Seen seenInHtml(QString html) {
    Seen seen;
    html = html.mid(html.indexOf(QLatin1String("<body")));
    static const QRegularExpression token(QStringLiteral("<(/?)(\\w+)([^>]*)>|([^<]+)"));
    static const QRegularExpression attribute(QStringLiteral("(\\w+)=\"([^\"]*)\""));
    int bold = 0, italic = 0, underline = 0;
    QStringList lists;
    QString text; // words run on across inline tags, not across paragraphs and cells
    for (auto it = token.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (!m.captured(4).isNull()) {
            QString decoded = m.captured(4);
            static const QRegularExpression entity(QStringLiteral("&(#x?)?(\\w+);"));
            static const std::map<QString, QChar> named = {
                {"amp", u'&'}, {"lt", u'<'}, {"gt", u'>'}, {"quot", u'"'}, {"nbsp", u' '}};
            for (auto e = entity.match(decoded); e.hasMatch(); e = entity.match(decoded)) {
                const QString kind = e.captured(1);
                const QChar c =
                    kind.isEmpty()
                        ? named.count(e.captured(2)) ? named.at(e.captured(2)) : QChar(u'?')
                        : QChar(e.captured(2).toUShort(nullptr, kind.size() > 1 ? 16 : 10));
                decoded.replace(e.capturedStart(), e.capturedLength(), c);
            }
            text += decoded;
            if (bold > 0)
                seen.bold += wordsOf(decoded);
            if (italic > 0)
                seen.italic += wordsOf(decoded);
            if (underline > 0)
                seen.underline += wordsOf(decoded);
            continue;
        }
        const bool close = m.captured(1) == QLatin1String("/");
        const QString tag = m.captured(2).toLower();
        const int step = close ? -1 : 1;
        static const QStringList blocks = {"p",   "td", "th", "li", "tr", "table", "br",
                                           "div", "h1", "h2", "h3", "ul", "ol"};
        if (blocks.contains(tag))
            text += QLatin1Char(' ');
        std::map<QString, QString> attrs;
        for (auto a = attribute.globalMatch(m.captured(3)); a.hasNext();) {
            const auto am = a.next();
            attrs[am.captured(1).toLower()] = am.captured(2);
        }
        if (tag == QLatin1String("b") || tag == QLatin1String("strong"))
            bold += step;
        else if (tag == QLatin1String("i") || tag == QLatin1String("em"))
            italic += step;
        else if (tag == QLatin1String("u"))
            underline += step;
        else if ((tag == QLatin1String("ul") || tag == QLatin1String("ol")) && !close)
            lists << tag;
        else if ((tag == QLatin1String("ul") || tag == QLatin1String("ol")) && !lists.isEmpty())
            lists.removeLast();
        else if (tag == QLatin1String("li") && !close && !lists.isEmpty())
            seen.items << lists.last() + QString::number(lists.size());
        else if (tag == QLatin1String("table") && !close)
            ++seen.tables;
        else if (tag == QLatin1String("tr") && !close)
            ++seen.rows;
        else if ((tag == QLatin1String("td") || tag == QLatin1String("th")) && !close)
            ++seen.cells;
        else if (tag == QLatin1String("a") && attrs.count(QStringLiteral("href")))
            seen.links << attrs[QStringLiteral("href")];
        else if (tag == QLatin1String("img"))
            seen.pictures << QSize(attrs[QStringLiteral("width")].toInt(),
                                   attrs[QStringLiteral("height")].toInt());
    }
    seen.words = wordsOf(text);
    return seen;
}

void countTables(QTextFrame* frame, Seen& seen) {
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* t = qobject_cast<QTextTable*>(child)) {
            ++seen.tables;
            seen.rows += t->rows();
            for (int r = 0; r < t->rows(); ++r)
                for (int c = 0; c < t->columns(); ++c)
                    seen.cells += t->cellAt(r, c).row() == r && t->cellAt(r, c).column() == c;
        }
        countTables(child, seen);
    }
}

Seen seenInDocument(const QTextDocument& doc) {
    Seen seen;
    QString link;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        seen.words += wordsOf(b.text());
        if (const QTextList* list = b.textList()) {
            const auto style = list->format().style();
            const bool bullet = style == QTextListFormat::ListDisc ||
                                style == QTextListFormat::ListCircle ||
                                style == QTextListFormat::ListSquare;
            seen.items << (bullet ? QStringLiteral("ul") : QStringLiteral("ol")) +
                              QString::number(list->format().indent());
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat()) {
                const QTextImageFormat image = f.toImageFormat();
                seen.pictures << QSize(qRound(image.width()), qRound(image.height()));
                continue;
            }
            const QStringList words = wordsOf(it.fragment().text());
            if (f.fontWeight() >= QFont::Bold)
                seen.bold += words;
            if (f.fontItalic())
                seen.italic += words;
            if (f.fontUnderline())
                seen.underline += words;
            if (f.isAnchor() && f.anchorHref() != link)
                seen.links << f.anchorHref();
            link = f.isAnchor() ? f.anchorHref() : QString();
        }
    }
    countTables(doc.rootFrame(), seen);
    return seen;
}

void compareSeen(const Seen& actual, const Seen& expected, bool underline) {
    QCOMPARE(actual.words, expected.words);
    QCOMPARE(actual.bold, expected.bold);
    QCOMPARE(actual.italic, expected.italic);
    if (underline)
        QCOMPARE(actual.underline, expected.underline);
    QCOMPARE(actual.links, expected.links);
    QCOMPARE(actual.items, expected.items);
    QCOMPARE(actual.tables, expected.tables);
    QCOMPARE(actual.rows, expected.rows);
    QCOMPARE(actual.cells, expected.cells);
    QCOMPARE(actual.pictures.size(), expected.pictures.size());
    for (qsizetype i = 0; i < actual.pictures.size(); ++i) {
        QVERIFY(qAbs(actual.pictures[i].width() - expected.pictures[i].width()) <= 2);
        QVERIFY(qAbs(actual.pictures[i].height() - expected.pictures[i].height()) <= 2);
    }
}

// Runs LibreOffice on files in one go, its profile in `dir`, what it writes to `dir`/out.
bool convert(const QString& dir, const QStringList& arguments, const QStringList& files) {
    QProcess office;
    office.setProcessChannelMode(QProcess::MergedChannels);
    office.start(QStandardPaths::findExecutable(QStringLiteral("soffice")),
                 QStringList{QStringLiteral("-env:UserInstallation=file://") + dir +
                                 QStringLiteral("/profile"),
                             QStringLiteral("--headless"), QStringLiteral("--norestore")} +
                     arguments +
                     QStringList{QStringLiteral("--outdir"), dir + QStringLiteral("/out")} + files);
    const bool done = office.waitForFinished(240000) && office.exitCode() == 0;
    if (!done)
        qWarning("soffice: %s", office.readAllStandardOutput().constData());
    return done;
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
    void tablesListsAndLinksAreReadAndWritten_data();
    void tablesListsAndLinksAreReadAndWritten();
    void cellFormatsSurvive();
    void metafilePicturesAreDrawnAndKeptAsTheyCame_data();
    void metafilePicturesAreDrawnAndKeptAsTheyCame();
    void oldBitmapsAreRead();
    void controlWordsHaveTheirMeanings_data();
    void controlWordsHaveTheirMeanings();
    void tableBuilderKeepsTablesInBounds();
    void listBuilderMakesAListForEachNumberAndLevel();
    void libreOfficeAgreesWithTheEditor();
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
    const QByteArray again = rtf::write(test::decoders(), back);
    if (again != rtf::write(test::decoders(), doc)) {
        qWarning("%s", rtf::write(test::decoders(), doc).constData());
        qWarning("%s", again.constData());
    }
    QCOMPARE(again, rtf::write(test::decoders(), doc));
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

    const QByteArray rtf = rtf::write(test::decoders(), doc);
    QVERIFY(rtf.contains("\\pngblip"));
    QVERIFY(rtf.contains("\\jpegblip"));
    QVERIFY(rtf.contains("\\picwgoal1200\\pichgoal900")); // 80 x 60 pixels in twips

    QTextDocument back;
    rtf::read(test::decoders(), rtf, back);
    QCOMPARE(back.toPlainText(), doc.toPlainText());
    const auto pics = pictures(back);
    QCOMPARE(pics.size(), size_t(2));
    QCOMPARE(pics[0].property(rtf::PictureData).toByteArray(), pngBytes);
    QCOMPARE(pics[0].stringProperty(rtf::PictureType), QStringLiteral("png"));
    QCOMPARE(pics[0].width(), 80.0);
    QCOMPARE(pics[0].height(), 60.0);
    QCOMPARE(pictureImage(back, pics[0]).size(), QSize(40, 30));
    QCOMPARE(pictureImage(back, pics[0]).pixel(2, 2), qRgb(255, 0, 0));
    QVERIFY(decodedInAWorker(pictureImage(back, pics[0])));
    QVERIFY(decodedInAWorker(pictureImage(back, pics[1])));
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
    rtf::read(test::decoders(), rtf::write(test::decoders(), small), smallBack);
    QCOMPARE(pictures(smallBack)[0].property(rtf::PictureData).toByteArray(), bigBytes);

    // A picture that came without its bytes (dropped in from elsewhere) is written as PNG.
    QTextDocument other;
    other.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("dropped.bmp")), png);
    QTextCursor oc(&other);
    QTextImageFormat dropped;
    dropped.setName(QStringLiteral("dropped.bmp"));
    oc.insertImage(dropped);
    QTextDocument otherBack;
    rtf::read(test::decoders(), rtf::write(test::decoders(), other), otherBack);
    QCOMPARE(pictures(otherBack).size(), size_t(1));
    QCOMPARE(pictureImage(otherBack, pictures(otherBack)[0]).size(), QSize(40, 30));
}

void RtfTest::writerEscapesAndStaysSevenBit() {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("a\\b{c}d é € 😀"));
    const QByteArray rtf = rtf::write(test::decoders(), doc);
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
    rtf::read(test::decoders(), sample(QStringLiteral("word-processor.rtf")), doc);
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
        rtf::read(test::decoders(), sample(QStringLiteral("libreoffice.rtf")), doc);
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
        rtf::read(test::decoders(), sample(QStringLiteral("wordpad.rtf")), doc);
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
        rtf::read(test::decoders(), sample(QStringLiteral("converter.rtf")), doc);
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
        rtf::read(test::decoders(), sample(QStringLiteral("mac-notes.rtf")), doc);
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
    rtf::read(test::decoders(), sample(QStringLiteral("libreoffice.rtf")), doc);
    QCOMPARE(blocks(doc).value(2), QStringLiteral("Привет"));
    QTextDocument page;
    rtf::read(test::decoders(), "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", page);
    QCOMPARE(page.toPlainText(), QStringLiteral("При"));
}

void RtfTest::unicodeFallbacksAreSkipped() {
    const auto text = [](const QByteArray& rtf) {
        QTextDocument doc;
        rtf::read(test::decoders(), rtf, doc);
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
        rtf::read(test::decoders(), rtf, doc);
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
    // A row mark after the table's paragraphs ended, text pending.
    QCOMPARE(text("{\\rtf1\\trowd\\cellx100\\pard\\intbl a\\cell\\pard b\\row c}"),
             QStringLiteral("\na\nb\nc"));
    // A group kept as it came starts with its word: text read before it is not kept twice.
    QTextDocument kept, keptBack;
    rtf::read(test::decoders(), "{\\rtf1{before\\info{\\title T}}{\\header x\\footer y} after}",
              kept);
    roundTrip(kept, keptBack);
    QCOMPARE(keptBack.toPlainText(), QStringLiteral("before after"));
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
        rtf::read(test::decoders(), data, doc);
        QByteArray cut = word.left(random.bounded(word.size()));
        cut[random.bounded(cut.size() + 1) % std::max<qsizetype>(1, cut.size())] ^= 0x20;
        rtf::read(test::decoders(), cut, doc);
    }
}

void RtfTest::recognisesRtf() {
    QVERIFY(rtf::isRtf("{\\rtf1\\ansi x}"));
    QVERIFY(rtf::isRtf("\xEF\xBB\xBF \r\n{\\rtf1}"));
    QVERIFY(!rtf::isRtf("plain {\\rtf1}"));
    QVERIFY(!rtf::isRtf(""));
}

void RtfTest::tablesListsAndLinksAreReadAndWritten_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("expected");
    const QByteArray row = "\\trowd\\cellx1000\\cellx2000\\cellx3000";
    QTest::newRow("rows") << row + "\\pard\\intbl a\\cell b\\cell c\\cell\\row " + row +
                                 "\\intbl d\\cell\\cell f\\cell\\row\\pard after"
                          << QStringList{"",
                                         "t2x3@0,0+1x1:a",
                                         "t2x3@0,1+1x1:b",
                                         "t2x3@0,2+1x1:c",
                                         "t2x3@1,0+1x1:d",
                                         "t2x3@1,1+1x1:",
                                         "t2x3@1,2+1x1:f",
                                         "after"};
    QTest::newRow("merged")
        << QByteArray("\\trowd\\clmgf\\cellx1000\\clmrg\\cellx2000\\clvmgf\\cellx3000"
                      "\\pard\\intbl wide\\cell\\cell tall\\cell\\row"
                      "\\trowd\\cellx1000\\cellx2000\\clvmrg\\cellx3000"
                      "\\intbl x\\cell y\\cell\\cell\\row")
        << QStringList{
               "", "t2x3@0,0+1x2:wide", "t2x3@0,2+2x1:tall", "t2x3@1,0+1x1:x", "t2x3@1,1+1x1:y",
               ""};
    QTest::newRow("edges differ") << QByteArray(
                                         "\\trowd\\cellx2000\\cellx3000\\pard\\intbl wide\\cell "
                                         "b\\cell\\row\\trowd\\cellx1000\\cellx2000\\cellx3000"
                                         "\\intbl x\\cell y\\cell z\\cell\\row")
                                  << QStringList{"",
                                                 "t2x3@0,0+1x2:wide",
                                                 "t2x3@0,2+1x1:b",
                                                 "t2x3@1,0+1x1:x",
                                                 "t2x3@1,1+1x1:y",
                                                 "t2x3@1,2+1x1:z",
                                                 ""};
    const QByteArray nest = "\\trowd\\cellx500\\cellx1000";
    QTest::newRow("nested three deep")
        << "\\trowd\\cellx4000\\cellx8000\\pard\\intbl out\\par"
           "\\pard\\intbl\\itap2 in\\nestcell "
           "\\pard\\intbl\\itap3 deep\\nestcell\\pard\\intbl\\itap3 er\\nestcell"
           "{\\*\\nesttableprops" +
               nest +
               "\\nestrow}{\\nonesttables\\par}"
               "\\pard\\intbl\\itap2\\nestcell{\\*\\nesttableprops" +
               nest +
               "\\nestrow}{\\nonesttables\\par}"
               "\\pard\\intbl\\cell right\\cell\\row"
        << QStringList{"",
                       "t1x2@0,0+1x1:out",
                       "t1x2@0,0+1x1:t1x2@0,0+1x1:in",
                       "t1x2@0,0+1x1:t1x2@0,1+1x1:",
                       "t1x2@0,0+1x1:t1x2@0,1+1x1:t1x2@0,0+1x1:deep",
                       "t1x2@0,0+1x1:t1x2@0,1+1x1:t1x2@0,1+1x1:er",
                       "t1x2@0,0+1x1:t1x2@0,1+1x1:",
                       "t1x2@0,0+1x1:",
                       "t1x2@0,1+1x1:right",
                       ""};
    QTest::newRow("word lists")
        << QByteArray(
               "{\\*\\listtable{\\list{\\listlevel\\levelnfc0}{\\listlevel\\levelnfc4}"
               "{\\listlevel\\levelnfc1}\\listid5}{\\list{\\listlevel\\levelnfc23"
               "{\\leveltext\\'01o;}}{\\listlevel\\levelnfc23{\\leveltext\\'01\\u9642 ?;}}"
               "\\listid6}}{\\*\\listoverridetable{\\listoverride\\listid5\\ls1}"
               "{\\listoverride\\listid6\\ls2}}"
               "\\pard\\ls1{\\listtext 1.\\tab}one\\par\\pard\\ls1\\ilvl1{\\listtext a.\\tab}"
               "sub\\par\\pard\\ls1\\ilvl2 deep\\par\\pard\\ls1 two\\par\\pard plain\\par"
               "\\pard\\ls2 circle\\par\\pard\\ls2\\ilvl1 square\\par\\pard\\ls9 nowhere")
        << QStringList{"ol1:one", "ola2:sub",    "olI3:deep",   "ol1:two",
                       "plain",   "ulo1:circle", "uls2:square", "nowhere"};
    QTest::newRow("old lists") << QByteArray("{\\pntext\\'b7\\tab}\\pard{\\*\\pn\\pnlvlblt{\\pntxtb"
                                             "\\'b7}}dot\\par{\\pntext 1.\\tab}\\pard{\\*\\pn"
                                             "\\pnlvlbody\\pndec}num\\par\\pard{\\*\\pn\\pnlvl2"
                                             "\\pnlcrm}roman\\par\\pard plain")
                               << QStringList{"ul1:dot", "ol1:num", "oli2:roman", "plain"};
    QTest::newRow("links") << QByteArray(
                                  "See {\\field{\\*\\fldinst{HYPERLINK \"https://a.example/"
                                  "x?y=1\"}}{\\fldrslt{\\ul site}}} and {\\field{\\*\\fldinst"
                                  " HYPERLINK \\\\l \"part\"}{\\fldrslt here}}.")
                           << QStringList{"See site<https://a.example/x?y=1> and here<#part>."};
}

void RtfTest::tablesListsAndLinksAreReadAndWritten() {
    QFETCH(QByteArray, body);
    QFETCH(QStringList, expected);
    QTextDocument doc;
    QVERIFY(rtf::read(test::decoders(), rtfDocument(body), doc).dropped.isEmpty());
    QCOMPARE(structure(doc), expected);
    QVERIFY(noControlWords(doc));
    QTextDocument back;
    roundTrip(doc, back);
    QCOMPARE(structure(back), expected);
    // Readers that know no lists see each item's number.
    if (doc.begin().textList())
        QVERIFY(rtf::write(test::decoders(), doc).contains("{\\listtext"));
}

void RtfTest::cellFormatsSurvive() {
    QTextDocument doc;
    rtf::read(
        test::decoders(),
        rtfDocument("\\trowd\\clcbpat2\\clbrdrt\\brdrs\\brdrw30\\brdrcf1\\clvertalc\\cellx2000"
                    "\\clbrdrb\\brdrs\\cellx4000\\pard\\intbl a\\cell b\\cell\\row"),
        doc);
    for (QTextDocument* d : {&doc, new QTextDocument(&doc)}) {
        if (d != &doc)
            roundTrip(doc, *d);
        QTextTable* table = QTextCursor(d->begin().next()).currentTable();
        QVERIFY(table);
        const QTextTableCellFormat a = table->cellAt(0, 0).format().toTableCellFormat();
        QCOMPARE(a.background().color(), QColor(0, 128, 0));
        QCOMPARE(a.topBorder(), 2.0);
        QCOMPARE(a.topBorderBrush().color(), QColor(255, 0, 0));
        QVERIFY(!a.hasProperty(QTextFormat::TableCellBottomBorder));
        QCOMPARE(a.verticalAlignment(), QTextCharFormat::AlignMiddle);
        const QTextTableCellFormat b = table->cellAt(0, 1).format().toTableCellFormat();
        QCOMPARE(b.bottomBorder(), 1.0);
        QVERIFY(!b.hasProperty(QTextFormat::BackgroundBrush));
        QCOMPARE(table->format().columnWidthConstraints().value(1).rawValue(), 2000 / 15.0);
    }
}

void RtfTest::metafilePicturesAreDrawnAndKeptAsTheyCame_data() {
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("size"); // the words that size it
    QTest::addColumn<QSizeF>("shown");
    QTest::addColumn<bool>("drawn");
    const QByteArray wmf = test::WmfBuilder()
                               .window(QRect(0, 0, 400, 200))
                               .noPen()
                               .solidBrush(Qt::red)
                               .rectangle(QRect(0, 0, 200, 200))
                               .solidBrush(Qt::blue)
                               .rectangle(QRect(200, 0, 200, 200))
                               .bytes();
    const QByteArray emf = test::EmfBuilder(QRect(0, 0, 99, 49), QRect(0, 0, 2500, 1250))
                               .noPen()
                               .solidBrush(Qt::red)
                               .rectangle(QRect(0, 0, 50, 50))
                               .solidBrush(Qt::blue)
                               .rectangle(QRect(50, 0, 50, 50))
                               .bytes();
    QTest::newRow("wmf, goal size")
        << QByteArray("\\wmetafile8") << wmf
        << QByteArray("\\picw2000\\pich1000\\picwgoal1800\\pichgoal900") << QSizeF(120, 60) << true;
    QTest::newRow("wmf, scaled") << QByteArray("\\wmetafile8") << wmf
                                 << QByteArray("\\picwgoal1800\\pichgoal900\\picscalex50"
                                               "\\picscaley200")
                                 << QSizeF(60, 120) << true;
    QTest::newRow("emf, extent only")
        << QByteArray("\\emfblip") << emf << QByteArray("\\picw2540\\pich1270") << QSizeF(96, 48)
        << true;
    QTest::newRow("emf, extent past any screen")
        << QByteArray("\\emfblip") << emf << QByteArray("\\picw2000000000\\pich2000000000")
        << QSizeF(96, 96) << true;
    QTest::newRow("corrupt wmf") << QByteArray("\\wmetafile8") << QByteArray(300, '\x07')
                                 << QByteArray("\\picwgoal1500\\pichgoal750") << QSizeF(100, 50)
                                 << false;
}

void RtfTest::metafilePicturesAreDrawnAndKeptAsTheyCame() {
    QFETCH(QByteArray, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, size);
    QFETCH(QSizeF, shown);
    QFETCH(bool, drawn);
    QTextDocument doc;
    rtf::read(test::decoders(), rtfDocument("A{\\pict" + kind + size + "\n" + bytes.toHex() + "}B"),
              doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("A\uFFFCB"));
    for (QTextDocument* d : {&doc, new QTextDocument(&doc)}) {
        if (d != &doc)
            roundTrip(doc, *d);
        const auto pics = pictures(*d);
        QCOMPARE(pics.size(), size_t(1));
        QCOMPARE(QSizeF(pics[0].width(), pics[0].height()), shown);
        QCOMPARE(pics[0].property(rtf::PictureData).toByteArray(), bytes);
        const QImage image = pictureImage(*d, pics[0]);
        QCOMPARE(QSizeF(image.size()), shown);
        const QRgb left = image.pixel(image.width() / 4, image.height() / 2);
        const QRgb right = image.pixel(image.width() * 3 / 4, image.height() / 2);
        QCOMPARE(left, drawn ? qRgb(255, 0, 0) : qRgb(255, 255, 255)); // an empty frame
        QCOMPARE(right, drawn ? qRgb(0, 0, 255) : qRgb(255, 255, 255));
    }
    const QByteArray written = rtf::write(test::decoders(), doc);
    QVERIFY(written.contains(kind));
    QVERIFY(QByteArray(written).replace('\n', "").contains(bytes.toHex()));
}

void RtfTest::oldBitmapsAreRead() {
    const QByteArray bmp = encoded(twoColours(6, 4), "BMP");
    // A device-dependent bitmap: 16 x 2 monochrome, left half black, right half white.
    const QByteArray body = "{\\pict\\dibitmap0\\picwgoal180\\pichgoal120 " + bmp.mid(14).toHex() +
                            "}{\\pict\\wbitmap0\\picw16\\pich2\\wbmbitspixel1\\wbmplanes1"
                            "\\wbmwidthbytes2 00ff00ff}";
    QTextDocument doc;
    rtf::read(test::decoders(), rtfDocument(body), doc);
    const auto pics = pictures(doc);
    QCOMPARE(pics.size(), size_t(2));
    QCOMPARE(QSizeF(pics[0].width(), pics[0].height()), QSizeF(12, 8));
    const QImage dib = pictureImage(doc, pics[0]);
    QCOMPARE(dib.size(), QSize(6, 4));
    QCOMPARE(dib.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(dib.pixel(5, 3), qRgb(0, 0, 255));
    QVERIFY(decodedInAWorker(dib));
    const QImage mono = pictureImage(doc, pics[1]);
    QCOMPARE(mono.size(), QSize(16, 2));
    QCOMPARE(mono.pixel(0, 1), qRgb(0, 0, 0));
    QCOMPARE(mono.pixel(15, 0), qRgb(255, 255, 255));
    QTextDocument back;
    roundTrip(doc, back);
    QCOMPARE(pictureImage(back, pictures(back)[1]).pixel(15, 0), qRgb(255, 255, 255));
}

void RtfTest::controlWordsHaveTheirMeanings_data() {
    QTest::addColumn<int>("part");
    QTest::addColumn<QByteArray>("words");
    const auto row = [](const char* name, rtf::Part part, const QByteArray& words) {
        QTest::newRow(name) << static_cast<int>(part) << words;
    };
    using P = rtf::Part;
    row("destinations", P::Destination,
        "fonttbl colortbl pict header headerl headerr headerf footer footerl footerr footerf info "
        "listtable listoverridetable leveltext pn fldinst nesttableprops footnote annotation atnid "
        "atnauthor atrfstart shp shpgrp do object shppict stylesheet filetbl revtbl rsidtbl xe tc "
        "txe pgdsctbl themedata colorschememapping latentstyles datastore xmlnstbl mmathPr "
        "background nonshppict objdata objclass objname author operator title subject keywords "
        "comment doccomm creatim revtim printim buptim falt panose bkmkstart bkmkend template "
        "docvar pntxta pntxtb shpinst sp sn sv userprops generator upr nonesttables company "
        "manager category hlinkbase pgptbl protusertbl fchars lchars wgrffmtfilter ftnsep ftnsepc "
        "ftncn aftnsep aftnsepc aftncn private passwordhash blipuid picprop fontemb fontfile "
        "levelnumbers listname liststylename mhtmltag htmltag factoidname password docinfo ud "
        "formfield datafield listtext pntext pnseclvl listpicture");
    row("font table", P::Font, "f fcharset froman fswiss fmodern fscript fdecor");
    row("colour table", P::Colour, "red green blue");
    row("picture", P::Picture,
        "pngblip jpegblip emfblip wmetafile dibitmap wbitmap macpict pmmetafile picw pich "
        "picwgoal pichgoal picscalex picscaley wbmbitspixel picbpp wbmwidthbytes");
    row("list table", P::List, "list listlevel levelnfc levelnfcn listid u");
    row("list overrides", P::Override, "listoverride listid ls");
    row("paragraph numbers", P::Pn,
        "pnlvlblt pnlvlbody pnlvl pnlvlcont pndec pncard pnord pnordt pnucltr pnlcltr pnucrm "
        "pnlcrm");
    row("field instruction", P::Field, "u");
    row("kept settings", P::Document,
        "paperw paperh margl margr margt margb gutter landscape margmirror facingp titlepg headery "
        "footery pgwsxn pghsxn marglsxn margrsxn margtsxn margbsxn lndscpsxn gutterdoc");
    row("table marks", P::Table, "intbl itap cell nestcell row nestrow trowd");
    row("rows and cells", P::Row,
        "trgaph trleft cellx clmgf clmrg clvmgf clvmrg clcbpat clvertalt clvertalc clvertalb "
        "clbrdrt clbrdrl clbrdrb clbrdrr brdrt brdrl brdrb brdrr brdrbox brdrbtw brdrbar brdrw "
        "brdrcf brdrnone");
    row("text", P::Text, "par sect cols u");
    row("symbols", P::Symbol,
        "line tab emdash endash bullet lquote rquote ldblquote rdblquote emspace enspace qmspace "
        "zwj zwnj ltrmark rtlmark zwbo");
    row("document", P::Document, "ansicpg ansi mac pc pca deff uc");
    row("characters", P::Character,
        "plain b i ul uld uldash uldashd uldashdd uldb ulth ulw ulwave ulhwave ululdbwave ulthd "
        "ulthdash ulldash ulthldash ulthdashd ulthdashdd ulnone strike striked v super sub "
        "nosupersub f fs cf cb highlight chcbpat");
    row("paragraphs", P::Paragraph, "pard ql qc qr qj qd li lin ri rin fi sb sa ls ilvl");
}

void RtfTest::controlWordsHaveTheirMeanings() {
    QFETCH(int, part);
    QFETCH(QByteArray, words);
    for (const QByteArray& word : words.split(' ')) {
        const rtf::ControlWord* known = rtf::findControlWord(word.toStdString());
        QVERIFY2(known && known->find(static_cast<rtf::Part>(part)), word.constData());
    }
    QVERIFY(!rtf::findControlWord("lang"));
}

// The table builder fed a row as the reader feeds it: a table takes no more columns than it
// can lay out, and a border of a colour the colour table lacks is black.
void RtfTest::tableBuilderKeepsTablesInBounds() {
    QTextDocument doc;
    QTextCursor cursor(&doc);
    const std::vector<QColor> colours = {QColor(), QColor(0, 128, 0)};
    rtf::TableBuilder tables(cursor, colours);
    tables.startRow(1);
    tables.rowWord(rtf::RowWord::Shading, 1);
    tables.rowWord(rtf::RowWord::BorderTop, 0);
    tables.rowWord(rtf::RowWord::BorderColour, 9);
    for (int i = 1; i <= 70; ++i)
        tables.rowWord(rtf::RowWord::CellEdge, i * 100);
    for (int i = 0; i < 70; ++i) {
        tables.enter(1);
        cursor.insertText(QString::number(i));
        tables.endCell();
    }
    tables.endRow(1);
    tables.closeAll();
    QTextTable* table = QTextCursor(doc.begin().next()).currentTable();
    QVERIFY(table);
    QCOMPARE(table->columns(), 64);
    QCOMPARE(table->cellAt(0, 63).firstCursorPosition().block().text(),
             QStringLiteral("63646566676869"));
    const QTextTableCellFormat first = table->cellAt(0, 0).format().toTableCellFormat();
    QCOMPARE(first.background().color(), QColor(0, 128, 0));
    QCOMPARE(first.topBorder(), 1.0);
    QCOMPARE(first.topBorderBrush().color(), QColor(Qt::black));
    QCOMPARE(table->format().columnWidthConstraints().size(), 64);
}

// The list builder fed a list table, its overrides and paragraphs.
void RtfTest::listBuilderMakesAListForEachNumberAndLevel() {
    QTextDocument doc;
    QTextCursor cursor(&doc);
    rtf::ListBuilder lists;
    lists.listWord(rtf::ListWord::List, 0, 3);
    for (int format : {4, 255}) {
        lists.listWord(rtf::ListWord::Level, 0, 3);
        lists.listWord(rtf::ListWord::LevelFormat, format, 3);
    }
    lists.listWord(rtf::ListWord::ListId, 7, 3);
    lists.endGroup(3);
    lists.overrideWord(rtf::OverrideWord::Override, 0);
    lists.overrideWord(rtf::OverrideWord::ListId, 7);
    lists.overrideWord(rtf::OverrideWord::Number, 2);
    const auto listFor = [&](int number, int level, rtf::PnState pn = {}) {
        rtf::ParaState p;
        p.list = number;
        p.listLevel = level;
        p.pn = pn;
        cursor.insertBlock();
        return lists.listFor(p, cursor);
    };
    QTextList* letters = listFor(2, 0);
    QVERIFY(letters);
    QCOMPARE(letters->format().style(), QTextListFormat::ListLowerAlpha);
    QCOMPARE(listFor(2, 0), letters); // made once
    QVERIFY(!listFor(2, 1));          // a level without a number
    QVERIFY(!listFor(2, 4));          // levels past the last are the last
    QVERIFY(!listFor(3, 0));          // a number no override gives
    lists.beginPn();
    lists.pnWord(rtf::PnWord::Bullet, 0);
    QTextList* bullets = listFor(0, 0, lists.pn());
    QVERIFY(bullets);
    QCOMPARE(bullets->format().style(), QTextListFormat::ListDisc);
    QCOMPARE(listFor(0, 0, lists.pn()), bullets);
    lists.endPnLists(); // a paragraph without a number between
    QVERIFY(listFor(0, 0, lists.pn()) != bullets);
}

void RtfTest::libreOfficeAgreesWithTheEditor() {
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    QTemporaryDir dir;
    const QString d = dir.path();
    const QByteArray png = encoded(twoColours(40, 20), "PNG");
    // Documents as people write them, made into RTF by LibreOffice.
    const QList<QByteArray> sources = {
        "<p>Plain <b>bold words</b>, <i>italic</i> and <u>underlined</u>: caf\xc3\xa9 "
        "\xce\xb1\xce\xb2 \xe2\x82\xac</p><table border=\"1\"><tr><td>a1</td><td>b1</td>"
        "<td>c1</td></tr><tr><td>a2</td><td><b>b2</b></td><td>c2</td></tr></table>"
        "<ul><li>one</li><li>two<ul><li>two and a half</li></ul></li></ul>"
        "<ol><li>first</li><li>second</li></ol><p>See <a href=\"https://example.org/page\">"
        "the page</a>.</p>",
        "<p>A picture <img src=\"data:image/png;base64," + png.toBase64() +
            "\" width=\"80\" height=\"40\"> in text.</p><table border=\"1\"><tr><td colspan=\"2\">"
            "wide</td><td rowspan=\"2\">tall</td></tr><tr><td>x</td><td>y</td></tr></table>"
            "<ol type=\"a\"><li>alpha</li></ol><ol type=\"I\"><li>roman</li></ol>"};
    QStringList html;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        html << d + QStringLiteral("/source%1.html").arg(i);
        QFile f(html.last());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<html><head><meta charset=\"utf-8\"></head><body>" + sources[i] +
                "</body></html>");
    }
    QVERIFY(convert(d,
                    {QStringLiteral("--infilter=HTML (StarWriter)"), QStringLiteral("--convert-to"),
                     QStringLiteral("rtf")},
                    html));

    // The editor reads what LibreOffice wrote as the source says; it writes its documents
    // and one of its own, with nested tables, merged cells and a metafile picture.
    std::vector<std::unique_ptr<QTextDocument>> docs;
    QStringList written;
    for (qsizetype i = 0; i <= sources.size(); ++i) {
        docs.push_back(std::make_unique<QTextDocument>());
        if (i < sources.size()) {
            QFile f(d + QStringLiteral("/out/source%1.rtf").arg(i));
            QVERIFY(f.open(QIODevice::ReadOnly));
            rtf::read(test::decoders(), f.readAll(), *docs.back());
            QFile source(html[i]);
            QVERIFY(source.open(QIODevice::ReadOnly));
            compareSeen(seenInDocument(*docs.back()),
                        seenInHtml(QString::fromUtf8(source.readAll())), false);
        } else {
            const QByteArray wmf = test::WmfBuilder()
                                       .window(QRect(0, 0, 400, 200))
                                       .noPen()
                                       .solidBrush(Qt::red)
                                       .rectangle(QRect(0, 0, 400, 200))
                                       .bytes();
            rtf::read(test::decoders(),
                      rtfDocument("\\trowd\\clmgf\\cellx2000\\clmrg\\cellx4000\\cellx6000\\pard"
                                  "\\intbl {\\b wide}\\cell\\cell{\\i right}\\cell\\row"
                                  "\\trowd\\cellx2000\\cellx4000\\cellx6000\\intbl a\\cell"
                                  "\\pard\\intbl\\itap2 in\\nestcell\\pard\\intbl\\itap2 "
                                  "side\\nestcell{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000"
                                  "\\nestrow}{\\nonesttables\\par}\\pard\\intbl\\cell c\\cell\\row"
                                  "\\pard Drawn {\\pict\\wmetafile8\\picwgoal1500\\pichgoal750 " +
                                  wmf.toHex() + "} here."),
                      *docs.back());
        }
        written << d + QStringLiteral("/edited%1.rtf").arg(i);
        QFile out(written.last());
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(rtf::write(test::decoders(), *docs.back()));
    }
    QVERIFY(convert(d, {QStringLiteral("--convert-to"), QStringLiteral("html:HTML (StarWriter)")},
                    written));
    for (qsizetype i = 0; i < written.size(); ++i) {
        QFile f(d + QStringLiteral("/out/edited%1.html").arg(i));
        QVERIFY(f.open(QIODevice::ReadOnly));
        compareSeen(seenInHtml(QString::fromUtf8(f.readAll())), seenInDocument(*docs[i]), true);
    }
}

QTEST_MAIN(RtfTest)
#include "rtf_tests.moc"
