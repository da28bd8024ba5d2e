#include "CodePage.h"
#include "Rtf.h"
#include "platform/picture/PictureLoader.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace lumorra::rtf {
namespace {

constexpr double TwipsPerPixel = 15.0;

// Destinations whose content is not document text; they are skipped whole. Unknown
// destinations marked with \* are skipped too.
const std::set<std::string>& skippedDestinations() {
    static const std::set<std::string> words = {"stylesheet",
                                                "filetbl",
                                                "revtbl",
                                                "rsidtbl",
                                                "footnote",
                                                "annotation",
                                                "atnid",
                                                "atnauthor",
                                                "xe",
                                                "tc",
                                                "txe",
                                                "pgdsctbl",
                                                "themedata",
                                                "colorschememapping",
                                                "latentstyles",
                                                "datastore",
                                                "xmlnstbl",
                                                "mmathPr",
                                                "background",
                                                "nonshppict",
                                                "objdata",
                                                "objclass",
                                                "objname",
                                                "author",
                                                "operator",
                                                "title",
                                                "subject",
                                                "keywords",
                                                "comment",
                                                "doccomm",
                                                "creatim",
                                                "revtim",
                                                "printim",
                                                "buptim",
                                                "falt",
                                                "panose",
                                                "bkmkstart",
                                                "bkmkend",
                                                "template",
                                                "docvar",
                                                "pntxta",
                                                "pntxtb",
                                                "shpinst",
                                                "sp",
                                                "sn",
                                                "sv",
                                                "userprops",
                                                "generator",
                                                "upr",
                                                "nonesttables",
                                                "company",
                                                "manager",
                                                "category",
                                                "hlinkbase",
                                                "pgptbl",
                                                "protusertbl",
                                                "fchars",
                                                "lchars",
                                                "wgrffmtfilter",
                                                "ftnsep",
                                                "ftnsepc",
                                                "ftncn",
                                                "aftnsep",
                                                "aftnsepc",
                                                "aftncn",
                                                "private",
                                                "passwordhash",
                                                "blipuid",
                                                "picprop",
                                                "fontemb",
                                                "fontfile",
                                                "levelnumbers",
                                                "listname",
                                                "liststylename",
                                                "mhtmltag",
                                                "htmltag",
                                                "factoidname",
                                                "password",
                                                "docinfo",
                                                "ud",
                                                "formfield",
                                                "datafield",
                                                "listtext",
                                                "pntext",
                                                "pnseclvl",
                                                "listpicture"};
    return words;
}

// Groups kept as they came when they stand at the document's level.
const std::set<std::string>& keptDestinations() {
    static const std::set<std::string> words = {"header",  "headerl", "headerr",
                                                "headerf", "footer",  "footerl",
                                                "footerr", "footerf", "info"};
    return words;
}

// Page and section layout words kept (with their number) when they stand at the document's level.
const std::set<std::string>& keptSettings() {
    static const std::set<std::string> words = {
        "paperw",    "paperh",     "margl",    "margr",    "margt",    "margb",     "gutter",
        "landscape", "margmirror", "facingp",  "titlepg",  "headery",  "footery",   "pgwsxn",
        "pghsxn",    "marglsxn",   "margrsxn", "margtsxn", "margbsxn", "lndscpsxn", "gutterdoc"};
    return words;
}

// What a read may drop, in the order a question names it.
enum Dropped { Footnotes, Comments, Shapes, Fields, Sections, Objects, HeadersAndFooters, Kinds };
const char* const DroppedWords[Kinds] = {
    "footnotes",        "comments",           "shapes", "fields", "section layout",
    "embedded objects", "headers and footers"};

// Tables nested deeper than this are read as tables of this depth.
constexpr int MaxTableDepth = 8;
// A table that grows wider than this takes its further cells into its last column.
constexpr int MaxTableColumns = 64;

enum class Dest {
    Text,
    Skip,
    FontTable,
    ColorTable,
    Picture,
    ListTable,
    LevelText,
    ListOverrides,
    Pn,
    FieldInstruction,
    Kept
};

struct CharState {
    int font = -1; // -1: the document's default font
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int vertical = 0; // 1 superscript, -1 subscript
    int foreground = 0;
    int background = 0;
    QString href; // inside a link's shown text
};

// An old-style paragraph number (\pn): a bullet, or a number of some style at a level.
struct PnState {
    bool on = false;
    bool bullet = false;
    QTextListFormat::Style style = QTextListFormat::ListDecimal;
    int level = 0;
};

struct ParaState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0; // twips
    bool inTable = false;
    int tableDepth = 0; // \itap
    int list = 0;       // \ls, 0 for none
    int listLevel = 0;  // \ilvl
    PnState pn;
};

struct GroupState {
    CharState chars;
    ParaState para;
    Dest dest = Dest::Text;
    int uc = 1;
    bool nestProps = false; // inside \nesttableprops
};

struct FontEntry {
    QString name;
    int charset = 0;
    // The font's family class, which picks a like font where this one is not installed.
    QFont::StyleHint hint = QFont::AnyStyle;
};

struct PictureState {
    QString type; // "png", "jpeg", "wmf", "emf", "dib", "wbitmap", or another kind, skipped
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    int mapMode = 8, bitsPerPixel = 1, widthBytes = 0;
    QByteArray hex;
    QByteArray binary;
};

// One level of a list definition (\listlevel).
struct ListLevel {
    int format = 0; // \levelnfc
    QString text;   // \leveltext
};

struct ListDefinition {
    int id = 0;
    std::vector<ListLevel> levels;
};

// A cell as the row's properties describe it (\clmgf ... \cellx).
struct CellDefinition {
    int right = 0; // twips
    bool mergeFirst = false, merged = false, verticalFirst = false, verticalMerged = false;
    int shading = 0;
    int borderWidth[4] = {-1, -1, -1, -1}; // top, left, bottom, right; twips, -1 for none
    int borderColour[4] = {0, 0, 0, 0};
    int verticalAlignment = 0; // 0 top, 1 centre, 2 bottom
};

struct RowDefinition {
    int gap = 108;
    int left = 0;
    std::vector<CellDefinition> cells;
};

// A table being read, at one depth.
struct OpenTable {
    QTextTable* table = nullptr;
    int row = 0, column = 0;
    enum class Next { Here, Cell, Row } next = Next::Here;
    std::vector<RowDefinition> rows; // each row's properties, as its end gave them
};

QTextListFormat::Style styleOfLevel(const ListLevel& level) {
    switch (level.format) {
    case 1:
        return QTextListFormat::ListUpperRoman;
    case 2:
        return QTextListFormat::ListLowerRoman;
    case 3:
        return QTextListFormat::ListUpperAlpha;
    case 4:
        return QTextListFormat::ListLowerAlpha;
    case 23: {
        // The bullet's character: the last of the level's text (its first is the length).
        const QChar c = level.text.isEmpty() ? QChar(0x2022) : level.text.back();
        const char16_t u = c.unicode();
        if (u == u'o' || u == 0x25E6 || u == 0x25CB || u == 0xF06F)
            return QTextListFormat::ListCircle;
        if (u == 0x25AA || u == 0x25A0 || u == 0xF0A7 || u == 0xA7 || u == 0xF0FC)
            return QTextListFormat::ListSquare;
        return QTextListFormat::ListDisc;
    }
    default:
        return QTextListFormat::ListDecimal;
    }
}

// The link target of a field instruction, or empty when it is no link.
QString hyperlinkTarget(const QString& instruction) {
    QString rest = instruction.trimmed();
    if (!rest.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
        return QString();
    rest = rest.mid(9).trimmed();
    QString target, anchor;
    const auto argument = [&]() {
        QString value;
        if (rest.startsWith(QLatin1Char('"'))) {
            const qsizetype end = rest.indexOf(QLatin1Char('"'), 1);
            value = rest.mid(1, end < 0 ? -1 : end - 1);
            rest = end < 0 ? QString() : rest.mid(end + 1).trimmed();
        } else {
            const qsizetype end = rest.indexOf(QLatin1Char(' '));
            value = rest.left(end);
            rest = end < 0 ? QString() : rest.mid(end + 1).trimmed();
        }
        return value;
    };
    while (!rest.isEmpty()) {
        if (rest.startsWith(QLatin1Char('\\'))) {
            const QChar option = rest.size() > 1 ? rest[1].toLower() : QChar();
            rest = rest.mid(2).trimmed();
            if (option == QLatin1Char('l'))
                anchor = argument();
            else if (option == QLatin1Char('o') || option == QLatin1Char('t'))
                argument();
        } else if (target.isEmpty()) {
            target = argument();
        } else {
            argument();
        }
    }
    if (!anchor.isEmpty())
        target += QLatin1Char('#') + anchor;
    return target;
}

// A device-independent bitmap (a BITMAPINFO and its bits, as \dibitmap holds it) as an image.
QImage dibImage(const QByteArray& dib) {
    if (dib.size() < 16)
        return {};
    const auto u32 = [&](int at) {
        quint32 v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(dib[at + i]);
        return v;
    };
    const quint32 headerSize = u32(0);
    if (headerSize < 12 || headerSize > static_cast<quint32>(dib.size()))
        return {};
    quint32 colours = 0, bits = 0, compression = 0;
    if (headerSize == 12) {
        bits = static_cast<unsigned char>(dib[10]) | (static_cast<unsigned char>(dib[11]) << 8);
        if (bits <= 8)
            colours = 1u << bits;
        colours *= 3;
    } else {
        if (dib.size() < 40)
            return {};
        bits = static_cast<unsigned char>(dib[14]) | (static_cast<unsigned char>(dib[15]) << 8);
        compression = u32(16);
        colours = u32(32);
        if (colours == 0 && bits <= 8)
            colours = 1u << bits;
        colours = std::min<quint32>(colours, 256) * 4;
        if (headerSize == 40 && (compression == 3 || compression == 6))
            colours += compression == 3 ? 12 : 16;
    }
    // A BMP file is the bitmap behind a file header that says where its bits start.
    QByteArray file("BM");
    const quint32 size = 14 + dib.size();
    const quint32 offset = 14 + headerSize + colours;
    for (quint32 v : {size, quint32(0), offset})
        for (int i = 0; i < 4; ++i)
            file += static_cast<char>((v >> (8 * i)) & 0xFF);
    file += dib;
    return QImage::fromData(file, "BMP");
}

// A device-dependent bitmap (\wbitmap): rows of bits, monochrome or 24 or 32 bits a pixel.
QImage wbitmapImage(const QByteArray& bits, int width, int height, int bitsPerPixel,
                    int widthBytes) {
    if (width <= 0 || height <= 0 || width > 20000 || height > 20000)
        return {};
    const qint64 least = (qint64(width) * bitsPerPixel + 15) / 16 * 2;
    const qint64 stride = widthBytes > 0 ? widthBytes : least;
    if (stride < (qint64(width) * bitsPerPixel + 7) / 8 || stride * height > bits.size())
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(bits.constData() + stride * y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            switch (bitsPerPixel) {
            case 1:
                out[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
                break;
            case 24:
                out[x] = qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
                break;
            case 32:
                out[x] = qRgb(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
                break;
            default:
                return {};
            }
        }
    }
    return image;
}

// An empty frame, shown where a picture cannot be drawn.
QImage emptyFrame(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    return image;
}

class Reader {
public:
    Reader(const QByteArray& data, QTextDocument& doc) : data_(data), doc_(doc), cursor_(&doc) {}

    ReadReport run() {
        doc_.clear();
        cursor_ = QTextCursor(&doc_);
        stack_.push_back(GroupState{});
        groupStart_.push_back(0);
        while (pos_ < data_.size()) {
            const char c = data_[pos_++];
            switch (c) {
            case '{':
                openGroup();
                break;
            case '}':
                closeGroup();
                break;
            case '\\':
                controlWord();
                break;
            case '\r':
            case '\n':
                break;
            default:
                character(c);
                break;
            }
        }
        flush();
        // A last paragraph without its mark, unless a cell or row mark ended it.
        if (tables_.empty() || tables_.back().next == OpenTable::Next::Here)
            applyParagraph();
        while (!tables_.empty())
            closeTable();
        // A final paragraph mark ends the last paragraph; it does not start an empty one.
        const QTextBlock previous = cursor_.block().previous();
        if (lastWasParagraphEnd_ && cursor_.block().length() <= 1 && previous.isValid() &&
            !QTextCursor(previous).currentTable() && !cursor_.currentTable()) {
            cursor_.deletePreviousChar();
        }
        keep();
        ReadReport report;
        for (int i = 0; i < Kinds; ++i) {
            if (dropped_[i])
                report.dropped << QString::fromLatin1(DroppedWords[i]);
        }
        return report;
    }

private:
    GroupState& state() { return stack_.back(); }

    void openGroup() {
        flush();
        skipFallback_ = 0;
        // A document nested deeper than this is broken; its inner groups count as one.
        if (stack_.size() < 4000) {
            stack_.push_back(stack_.back());
            groupStart_.push_back(pos_ - 1);
        } else {
            ++excessDepth_;
        }
        starPending_ = false;
    }

    void closeGroup() {
        flush();
        skipFallback_ = 0;
        starPending_ = false;
        if (excessDepth_ > 0) {
            --excessDepth_;
            return;
        }
        if (stack_.size() <= 1)
            return; // a stray closing brace
        const Dest dest = state().dest;
        const qsizetype start = groupStart_.back();
        const bool listGroup = listGroupDepth_ == stack_.size();
        if (stack_.size() == 2) {
            // The document's group: its last paragraph, which may have no mark, keeps its
            // properties.
            stack_[0].para = stack_[1].para;
            stack_[0].chars = stack_[1].chars;
        }
        stack_.pop_back();
        groupStart_.pop_back();
        if (dest == Dest::FontTable)
            commitFont();
        if (dest == Dest::Picture && state().dest != Dest::Picture)
            finishPicture();
        if (dest == Dest::Kept && state().dest != Dest::Kept) {
            QByteArray& into = keptIsInfo_ ? keptInfo_ : keptHeaders_;
            into += data_.mid(start, pos_ - start);
            into += '\n';
        }
        if (dest == Dest::LevelText && state().dest != Dest::LevelText && !list_.levels.empty())
            list_.levels.back().text = levelText_;
        if (listGroup) {
            lists_[list_.id] = list_;
            listGroupDepth_ = 0;
        }
        if (dest == Dest::Pn && state().dest != Dest::Pn)
            state().para.pn = pn_;
        if (dest == Dest::FieldInstruction && state().dest != Dest::FieldInstruction) {
            const QString target = hyperlinkTarget(fieldInstruction_);
            if (!target.isEmpty())
                state().chars.href = target;
            else if (!fieldInstruction_.trimmed().isEmpty())
                dropped_[Fields] = true;
            fieldInstruction_.clear();
        }
    }

    void character(char c) {
        if (skipFallback_ > 0) {
            --skipFallback_;
            return;
        }
        switch (state().dest) {
        case Dest::Text:
            if (!state().chars.hidden)
                bytes_ += c;
            break;
        case Dest::FontTable:
            if (c == ';')
                commitFont();
            else
                fontName_ += c;
            break;
        case Dest::ColorTable:
            if (c == ';') {
                colors_.push_back(colorSet_ ? color_ : QColor());
                color_ = QColor(0, 0, 0);
                colorSet_ = false;
            }
            break;
        case Dest::Picture:
            if (std::isxdigit(static_cast<unsigned char>(c)))
                picture_.hex += c;
            break;
        case Dest::LevelText:
            if (c != ';')
                levelText_ += QChar(cp1252Char(static_cast<unsigned char>(c)));
            break;
        case Dest::FieldInstruction:
            if (fieldInstruction_.size() < 4096)
                fieldInstruction_ += QChar(cp1252Char(static_cast<unsigned char>(c)));
            break;
        default:
            break;
        }
    }

    void controlWord() {
        if (pos_ >= data_.size())
            return;
        const char first = data_[pos_];
        if (!std::isalpha(static_cast<unsigned char>(first))) {
            ++pos_;
            controlSymbol(first);
            return;
        }
        std::string word;
        while (pos_ < data_.size() && std::isalpha(static_cast<unsigned char>(data_[pos_])) &&
               word.size() < 32)
            word += data_[pos_++];
        bool hasParam = false;
        bool negative = false;
        long long param = 0;
        if (pos_ < data_.size() && data_[pos_] == '-' && pos_ + 1 < data_.size() &&
            std::isdigit(static_cast<unsigned char>(data_[pos_ + 1]))) {
            negative = true;
            ++pos_;
        }
        int digits = 0;
        while (pos_ < data_.size() && std::isdigit(static_cast<unsigned char>(data_[pos_]))) {
            if (digits++ < 10)
                param = param * 10 + (data_[pos_] - '0');
            ++pos_;
            hasParam = true;
        }
        if (negative)
            param = -param;
        param = std::clamp(param, -2147483647LL, 2147483647LL);
        if (pos_ < data_.size() && data_[pos_] == ' ')
            ++pos_;
        const bool star = starPending_;
        starPending_ = false;

        if (word == "bin") {
            binary(hasParam ? param : 0);
            return;
        }
        if (skipFallback_ > 0) {
            --skipFallback_;
            return;
        }
        if (state().dest == Dest::Skip || state().dest == Dest::Kept)
            return;
        handleWord(word, hasParam, static_cast<int>(param), star);
    }

    void controlSymbol(char c) {
        if (c == '*') {
            starPending_ = true;
            return;
        }
        if (c == '\'') {
            // Two hex digits; a broken escape takes its two characters with it.
            bool ok = false;
            int byte = data_.mid(pos_, 2).toInt(&ok, 16);
            if (!ok || data_.mid(pos_, 2).size() != 2 || data_[pos_] == '-' || data_[pos_] == '+')
                byte = -1;
            pos_ = std::min(pos_ + 2, data_.size());
            if (skipFallback_ > 0) {
                --skipFallback_;
                return;
            }
            if (byte < 0)
                return;
            if (state().dest == Dest::Text && !state().chars.hidden)
                bytes_ += static_cast<char>(byte);
            else if (state().dest == Dest::FontTable)
                fontName_ += static_cast<char>(byte);
            else if (state().dest == Dest::LevelText || state().dest == Dest::FieldInstruction)
                character(static_cast<char>(byte));
            return;
        }
        if (skipFallback_ > 0) {
            --skipFallback_;
            return;
        }
        if (state().dest == Dest::Skip || state().dest == Dest::Kept)
            return;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            character(c);
            return;
        case '~':
            text(u'\u00A0');
            return;
        case '-':
            text(u'\u00AD');
            return;
        case '_':
            text(u'\u2011');
            return;
        case '\r':
        case '\n':
            paragraph();
            return;
        case '\t':
            text(u'\t');
            return;
        default:
            return; // \: \| and the rest carry no text
        }
    }

    // Whether the word is the first thing in its group ("{\\word" or "{\\*\\word"): a group is
    // kept whole only when nothing of it was read as text before.
    bool opensGroup(const std::string& w) const {
        QByteArray head = data_.mid(groupStart_.back() + 1, static_cast<qsizetype>(w.size()) + 8);
        head = head.trimmed();
        if (head.startsWith("\\*"))
            head = head.mid(2).trimmed();
        const qsizetype after = static_cast<qsizetype>(w.size()) + 1;
        return head.startsWith('\\' + QByteArray(w.c_str())) &&
               (head.size() == after || !std::isalpha(static_cast<unsigned char>(head.at(after))));
    }

    void skip(GroupState& s, Dropped what) {
        flush();
        s.dest = Dest::Skip;
        dropped_[what] = true;
    }

    void handleWord(const std::string& w, bool hasParam, int p, bool star) {
        GroupState& s = state();
        // A group right inside the document's, or a word standing there.
        const bool documentLevel = stack_.size() == 3 && stack_[1].dest == Dest::Text;
        const bool documentWord = stack_.size() == 2;
        // Destinations.
        if (w == "fonttbl") {
            flush();
            s.dest = Dest::FontTable;
            return;
        }
        if (w == "colortbl") {
            s.dest = Dest::ColorTable;
            colorSet_ = false;
            color_ = QColor(0, 0, 0);
            return;
        }
        if (w == "pict") {
            flush();
            s.dest = Dest::Picture;
            picture_ = PictureState{};
            return;
        }
        if (keptDestinations().count(w)) {
            flush();
            if (documentLevel && opensGroup(w)) {
                s.dest = Dest::Kept;
                keptIsInfo_ = w == "info";
            } else {
                s.dest = Dest::Skip;
                if (w != "info")
                    dropped_[HeadersAndFooters] = true;
            }
            return;
        }
        if (w == "listtable") {
            s.dest = Dest::ListTable;
            return;
        }
        if (w == "listoverridetable") {
            s.dest = Dest::ListOverrides;
            return;
        }
        if (w == "leveltext" && s.dest == Dest::ListTable) {
            s.dest = Dest::LevelText;
            levelText_.clear();
            return;
        }
        if (w == "pn" && s.dest == Dest::Text) {
            flush();
            s.dest = Dest::Pn;
            pn_ = PnState{};
            pn_.on = true;
            return;
        }
        if (w == "fldinst" && s.dest == Dest::Text) {
            flush();
            s.dest = Dest::FieldInstruction;
            fieldInstruction_.clear();
            return;
        }
        if (w == "nesttableprops") {
            s.nestProps = true;
            return;
        }
        if (w == "footnote")
            return skip(s, Footnotes);
        if (w == "annotation" || w == "atnid" || w == "atnauthor" || w == "atrfstart")
            return skip(s, Comments);
        if (w == "shp" || w == "shpgrp" || w == "do")
            dropped_[Shapes] = true; // the shape's picture or text, where it has one, is read
        if (w == "object")
            dropped_[Objects] = true; // its \result is read
        if (skippedDestinations().count(w)) {
            flush();
            s.dest = Dest::Skip;
            return;
        }
        if (star && w != "shppict") {
            // An optional destination this reader does not know.
            flush();
            s.dest = Dest::Skip;
            return;
        }

        switch (s.dest) {
        case Dest::FontTable:
            fontWord(w, p);
            return;
        case Dest::ColorTable:
            if (w == "red" || w == "green" || w == "blue") {
                const int v = std::clamp(p, 0, 255);
                colorSet_ = true;
                if (w == "red")
                    color_.setRed(v);
                else if (w == "green")
                    color_.setGreen(v);
                else
                    color_.setBlue(v);
            }
            return;
        case Dest::Picture:
            pictureWord(w, p);
            return;
        case Dest::ListTable:
        case Dest::LevelText:
            listWord(w, p);
            return;
        case Dest::ListOverrides:
            if (w == "listoverride") {
                overrideList_ = overrideNumber_ = -1;
            } else if (w == "listid" || w == "ls") {
                (w == "ls" ? overrideNumber_ : overrideList_) = p;
                if (overrideList_ >= 0 && overrideNumber_ >= 0)
                    overrides_[overrideNumber_] = overrideList_;
            }
            return;
        case Dest::Pn:
            pnWord(w, p);
            return;
        case Dest::FieldInstruction:
            if (w == "u" && hasParam && fieldInstruction_.size() < 4096) {
                fieldInstruction_ += QChar(static_cast<char16_t>(p < 0 ? p + 65536 : p));
                skipFallback_ = s.uc;
            }
            return;
        default:
            break;
        }

        if (documentWord && keptSettings().count(w) && !settingsSeen_.count(w)) {
            settingsSeen_.insert(w);
            keptSettings_ += '\\';
            keptSettings_ += w.c_str();
            if (hasParam)
                keptSettings_ += QByteArray::number(p);
            return;
        }
        if (tableWord(w, p))
            return;

        // Document text: special characters.
        if (w == "par") {
            paragraph();
            return;
        }
        if (w == "sect") {
            dropped_[Sections] = true;
            paragraph();
            return;
        }
        if (w == "cols" && p > 1) {
            dropped_[Sections] = true;
            return;
        }
        if (w == "line") {
            text(u'\u2028');
            return;
        }
        if (w == "tab") {
            text(u'\t');
            return;
        }
        if (w == "u") {
            if (hasParam)
                unicode(p);
            return;
        }
        static const std::map<std::string, char16_t> symbols = {
            {"emdash", 0x2014},  {"endash", 0x2013},    {"bullet", 0x2022},    {"lquote", 0x2018},
            {"rquote", 0x2019},  {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", 0x2003},
            {"enspace", 0x2002}, {"qmspace", 0x2005},   {"zwj", 0x200D},       {"zwnj", 0x200C},
            {"ltrmark", 0x200E}, {"rtlmark", 0x200F},   {"zwbo", 0x200B}};
        if (auto it = symbols.find(w); it != symbols.end()) {
            text(it->second);
            return;
        }

        // Document-wide settings.
        if (w == "ansicpg") {
            codePage_ = p;
            return;
        }
        if (w == "ansi") {
            codePage_ = 1252;
            return;
        }
        if (w == "mac") {
            codePage_ = 10000;
            return;
        }
        if (w == "pc") {
            codePage_ = 437;
            return;
        }
        if (w == "pca") {
            codePage_ = 850;
            return;
        }
        if (w == "deff") {
            defaultFont_ = p;
            return;
        }
        if (w == "uc") {
            s.uc = std::clamp(p, 0, 10);
            return;
        }

        // Character formatting.
        CharState& ch = s.chars;
        const bool on = !hasParam || p != 0;
        const auto set = [&](auto& field, auto value) {
            if (field != value) {
                flush();
                field = value;
            }
        };
        if (w == "plain") {
            flush();
            const QString href = ch.href;
            ch = CharState{};
            ch.href = href; // the link's text goes on being the link's
        } else if (w == "b") {
            set(ch.bold, on);
        } else if (w == "i") {
            set(ch.italic, on);
        } else if (w == "ul" || w == "uld" || w == "uldash" || w == "uldashd" || w == "uldashdd" ||
                   w == "uldb" || w == "ulth" || w == "ulw" || w == "ulwave" || w == "ulhwave" ||
                   w == "ululdbwave" || w == "ulthd" || w == "ulthdash" || w == "ulldash" ||
                   w == "ulthldash" || w == "ulthdashd" || w == "ulthdashdd") {
            set(ch.underline, on);
        } else if (w == "ulnone") {
            set(ch.underline, false);
        } else if (w == "strike" || w == "striked") {
            set(ch.strike, on);
        } else if (w == "v") {
            set(ch.hidden, on);
        } else if (w == "super") {
            set(ch.vertical, 1);
        } else if (w == "sub") {
            set(ch.vertical, -1);
        } else if (w == "nosupersub") {
            set(ch.vertical, 0);
        } else if (w == "f") {
            flush();
            ch.font = p;
        } else if (w == "fs") {
            set(ch.halfPoints, hasParam && p > 0 ? std::min(p, 3276) : 24);
        } else if (w == "cf") {
            set(ch.foreground, p);
        } else if (w == "cb" || w == "highlight" || w == "chcbpat") {
            set(ch.background, p);
        }
        // Paragraph formatting.
        else if (w == "pard") {
            s.para = ParaState{};
        } else if (w == "ql") {
            s.para.alignment = Qt::AlignLeft;
        } else if (w == "qc") {
            s.para.alignment = Qt::AlignHCenter;
        } else if (w == "qr") {
            s.para.alignment = Qt::AlignRight;
        } else if (w == "qj" || w == "qd") {
            s.para.alignment = Qt::AlignJustify;
        } else if (w == "li" || w == "lin") {
            s.para.left = p;
        } else if (w == "ri" || w == "rin") {
            s.para.right = p;
        } else if (w == "fi") {
            s.para.first = p;
        } else if (w == "sb") {
            s.para.before = std::max(0, p);
        } else if (w == "sa") {
            s.para.after = std::max(0, p);
        } else if (w == "ls") {
            s.para.list = p;
        } else if (w == "ilvl") {
            s.para.listLevel = std::clamp(p, 0, 8);
        }
        // Everything else (\s, \lang, \rtlch, \loch, \sl, section and document settings) is
        // layout this editor does not keep.
    }

    void fontWord(const std::string& w, int p) {
        if (w == "f")
            font_ = p;
        else if (w == "fcharset")
            fonts_[font_].charset = p;
        else if (w == "froman")
            fonts_[font_].hint = QFont::Serif;
        else if (w == "fswiss")
            fonts_[font_].hint = QFont::SansSerif;
        else if (w == "fmodern")
            fonts_[font_].hint = QFont::TypeWriter;
        else if (w == "fscript")
            fonts_[font_].hint = QFont::Cursive;
        else if (w == "fdecor")
            fonts_[font_].hint = QFont::Decorative;
    }

    void listWord(const std::string& w, int p) {
        if (w == "list") {
            list_ = ListDefinition{};
            listGroupDepth_ = stack_.size();
        } else if (w == "listlevel") {
            if (list_.levels.size() < 9)
                list_.levels.emplace_back();
        } else if ((w == "levelnfc" || w == "levelnfcn") && !list_.levels.empty()) {
            list_.levels.back().format = p;
        } else if (w == "listid") {
            list_.id = p;
        } else if (w == "u" && state().dest == Dest::LevelText) {
            levelText_ += QChar(static_cast<char16_t>(p < 0 ? p + 65536 : p));
            skipFallback_ = state().uc;
        }
    }

    void pnWord(const std::string& w, int p) {
        static const std::map<std::string, QTextListFormat::Style> styles = {
            {"pndec", QTextListFormat::ListDecimal},
            {"pnucltr", QTextListFormat::ListUpperAlpha},
            {"pnlcltr", QTextListFormat::ListLowerAlpha},
            {"pnucrm", QTextListFormat::ListUpperRoman},
            {"pnlcrm", QTextListFormat::ListLowerRoman},
            {"pncard", QTextListFormat::ListDecimal},
            {"pnord", QTextListFormat::ListDecimal},
            {"pnordt", QTextListFormat::ListDecimal}};
        if (w == "pnlvlblt") {
            pn_.bullet = true;
            pn_.level = 0;
        } else if (w == "pnlvlbody") {
            pn_.bullet = false;
            pn_.level = 0;
        } else if (w == "pnlvl") {
            pn_.level = std::clamp(p - 1, 0, 8);
        } else if (w == "pnlvlcont") {
            pn_.on = false;
        } else if (auto it = styles.find(w); it != styles.end()) {
            pn_.style = it->second;
        }
    }

    // Row and cell properties and the marks that end cells and rows; true for such a word.
    bool tableWord(const std::string& w, int p) {
        GroupState& s = state();
        if (w == "intbl") {
            s.para.inTable = true;
            return true;
        }
        if (w == "itap") {
            s.para.tableDepth = std::max(0, p);
            return true;
        }
        if (w == "cell" || w == "nestcell") {
            endCell();
            return true;
        }
        if (w == "row" || w == "nestrow") {
            endRow(w == "row" ? 1 : std::max(2, paragraphDepth()));
            return true;
        }
        if (w == "trowd") {
            rowTarget_ = s.nestProps ? std::max(2, paragraphDepth()) : 1;
            rows_[rowTarget_] = RowDefinition{};
            cell_ = CellDefinition{};
            borderSide_ = -1;
            return true;
        }
        RowDefinition& row = rows_[rowTarget_];
        if (w == "trgaph") {
            row.gap = std::clamp(p, 0, 2000);
        } else if (w == "trleft") {
            row.left = p;
        } else if (w == "cellx") {
            if (row.cells.size() < MaxTableColumns) {
                cell_.right = p;
                row.cells.push_back(cell_);
            }
            cell_ = CellDefinition{};
            borderSide_ = -1;
        } else if (w == "clmgf") {
            cell_.mergeFirst = true;
        } else if (w == "clmrg") {
            cell_.merged = true;
        } else if (w == "clvmgf") {
            cell_.verticalFirst = true;
        } else if (w == "clvmrg") {
            cell_.verticalMerged = true;
        } else if (w == "clcbpat") {
            cell_.shading = p;
        } else if (w == "clvertalt") {
            cell_.verticalAlignment = 0;
        } else if (w == "clvertalc") {
            cell_.verticalAlignment = 1;
        } else if (w == "clvertalb") {
            cell_.verticalAlignment = 2;
        } else if (w == "clbrdrt" || w == "clbrdrl" || w == "clbrdrb" || w == "clbrdrr") {
            borderSide_ = w == "clbrdrt" ? 0 : w == "clbrdrl" ? 1 : w == "clbrdrb" ? 2 : 3;
            cell_.borderWidth[borderSide_] = 15;
        } else if (w.rfind("brdr", 0) == 0 && w.size() > 4) {
            // Paragraph and row borders (\brdrt, \trbrdrl, ...) have sides of their own.
            if (w == "brdrt" || w == "brdrl" || w == "brdrb" || w == "brdrr" || w == "brdrbox" ||
                w == "brdrbtw" || w == "brdrbar")
                borderSide_ = -1;
            else if (borderSide_ >= 0 && w == "brdrw")
                cell_.borderWidth[borderSide_] = std::clamp(p, 1, 255);
            else if (borderSide_ >= 0 && w == "brdrcf")
                cell_.borderColour[borderSide_] = p;
            else if (borderSide_ >= 0 && w == "brdrnone")
                cell_.borderWidth[borderSide_] = -1;
        } else if (w.rfind("trbrdr", 0) == 0 || w.rfind("pgbrdr", 0) == 0) {
            borderSide_ = -1;
        } else {
            return false;
        }
        return true;
    }

    int paragraphDepth() const {
        const ParaState& p = stack_.back().para;
        const int depth = std::max(p.tableDepth, p.inTable ? 1 : 0);
        return std::min(depth, MaxTableDepth);
    }

    // Puts the cursor where text of the current paragraph goes: into the cell of a table of its
    // depth, tables opened or closed as the depth says.
    void enterDepth(int depth) {
        while (static_cast<int>(tables_.size()) > depth)
            closeTable();
        if (!tables_.empty() && static_cast<int>(tables_.size()) <= depth) {
            OpenTable& t = tables_.back();
            if (t.next == OpenTable::Next::Row) {
                // Rows come in stock: a table's layout is worked out afresh each time it grows,
                // so a row at a time would take time growing as the square of the rows.
                if (t.row + 1 >= t.table->rows())
                    t.table->appendRows(std::clamp(t.table->rows(), 1, 1024));
                ++t.row;
                t.column = 0;
            } else if (t.next == OpenTable::Next::Cell) {
                ++t.column;
                if (t.column >= t.table->columns()) {
                    if (t.table->columns() < MaxTableColumns)
                        t.table->appendColumns(1);
                    t.column = t.table->columns() - 1;
                }
            }
            if (t.next != OpenTable::Next::Here) {
                t.next = OpenTable::Next::Here;
                cursor_ = t.table->cellAt(t.row, t.column).lastCursorPosition();
            }
        }
        while (static_cast<int>(tables_.size()) < depth) {
            QTextTableFormat format;
            format.setBorder(0);
            format.setCellSpacing(0);
            format.setCellPadding(4);
            format.setBorderCollapse(true);
            // The table follows the paragraph before it, not an empty one of its own.
            const QTextBlock previous = cursor_.block().previous();
            if (cursor_.block().length() <= 1 && previous.isValid() &&
                QTextCursor(previous).currentFrame() == cursor_.currentFrame())
                cursor_.deletePreviousChar();
            OpenTable t;
            t.table = cursor_.insertTable(1, 1, format);
            tables_.push_back(t);
            cursor_ = t.table->cellAt(0, 0).firstCursorPosition();
        }
    }

    void closeTable() {
        finishTable(tables_.back());
        QTextCursor after = tables_.back().table->lastCursorPosition();
        after.movePosition(QTextCursor::NextBlock);
        cursor_ = after;
        tables_.pop_back();
    }

    void endCell() {
        const int depth = paragraphDepth();
        if (depth == 0) {
            text(u'\t'); // a cell mark outside a table
            return;
        }
        flushAt(depth);
        applyParagraph();
        tables_.back().next = OpenTable::Next::Cell;
        lastWasParagraphEnd_ = false;
    }

    void endRow(int depth) {
        flush(); // which may open or close tables
        depth = std::min(depth, static_cast<int>(tables_.size()));
        if (depth == 0) {
            paragraph(); // a row mark outside a table
            return;
        }
        while (static_cast<int>(tables_.size()) > depth)
            closeTable();
        OpenTable& t = tables_.back();
        applyRow(t, rows_[depth]);
        t.next = OpenTable::Next::Row;
        lastWasParagraphEnd_ = false;
    }

    // The row's cell formats; its merges and the table's column widths wait for the table's end.
    void applyRow(OpenTable& t, const RowDefinition& def) {
        QTextTable* table = t.table;
        if (static_cast<int>(t.rows.size()) <= t.row)
            t.rows.resize(t.row + 1);
        t.rows[t.row] = def;
        const int cells = std::min(static_cast<int>(def.cells.size()), table->columns());
        for (int i = 0; i < cells; ++i) {
            QTextTableCell cell = table->cellAt(t.row, i);
            if (cell.row() == t.row && cell.column() == i)
                cell.setFormat(cellFormat(def.cells[i], cell.format().toTableCellFormat()));
        }
    }

    QTextTableCellFormat cellFormat(const CellDefinition& c, QTextTableCellFormat f) const {
        if (c.shading > 0 && c.shading < static_cast<int>(colors_.size()) &&
            colors_[c.shading].isValid())
            f.setBackground(colors_[c.shading]);
        for (int side = 0; side < 4; ++side) {
            if (c.borderWidth[side] < 0)
                continue;
            const double width = std::max(1.0, c.borderWidth[side] / TwipsPerPixel);
            QColor colour(Qt::black);
            if (c.borderColour[side] > 0 &&
                c.borderColour[side] < static_cast<int>(colors_.size()) &&
                colors_[c.borderColour[side]].isValid())
                colour = colors_[c.borderColour[side]];
            switch (side) {
            case 0:
                f.setTopBorder(width);
                f.setTopBorderBrush(colour);
                f.setTopBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                break;
            case 1:
                f.setLeftBorder(width);
                f.setLeftBorderBrush(colour);
                f.setLeftBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                break;
            case 2:
                f.setBottomBorder(width);
                f.setBottomBorderBrush(colour);
                f.setBottomBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                break;
            default:
                f.setRightBorder(width);
                f.setRightBorderBrush(colour);
                f.setRightBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                break;
            }
        }
        if (c.verticalAlignment == 1)
            f.setVerticalAlignment(QTextCharFormat::AlignMiddle);
        else if (c.verticalAlignment == 2)
            f.setVerticalAlignment(QTextCharFormat::AlignBottom);
        return f;
    }

    // Where each row's cells stand among the table's columns: the columns end at the right
    // edges any row gives its cells. Empty when a row gives no edges or edges that go back.
    struct Placement {
        std::vector<int> edges;
        std::vector<std::vector<std::pair<int, int>>> cells; // per row: first and last column
    };
    static Placement placement(const OpenTable& t) {
        Placement p;
        const int rows = t.table->rows();
        if (static_cast<int>(t.rows.size()) < rows)
            return {};
        std::set<int> edges;
        for (int r = 0; r < rows; ++r) {
            const RowDefinition& def = t.rows[r];
            if (def.cells.empty())
                return {};
            int left = def.left;
            for (const CellDefinition& c : def.cells) {
                if (c.right <= left)
                    return {};
                left = c.right;
                edges.insert(c.right);
            }
        }
        if (edges.size() > MaxTableColumns)
            return {};
        p.edges.assign(edges.begin(), edges.end());
        for (int r = 0; r < rows; ++r) {
            p.cells.emplace_back();
            int left = t.rows[r].left;
            for (const CellDefinition& c : t.rows[r].cells) {
                const auto first = std::upper_bound(p.edges.begin(), p.edges.end(), left);
                const auto last = std::lower_bound(p.edges.begin(), p.edges.end(), c.right);
                p.cells.back().emplace_back(static_cast<int>(first - p.edges.begin()),
                                            static_cast<int>(last - p.edges.begin()));
                left = c.right;
            }
        }
        return p;
    }

    // The table's end: its columns laid out by the cells' edges, its merged cells merged.
    void finishTable(OpenTable& t) {
        if (t.table->rows() > t.row + 1)
            t.table->removeRows(t.row + 1, t.table->rows() - t.row - 1);
        const Placement p = placement(t);
        bool inPlace = !p.edges.empty();
        for (size_t r = 0; inPlace && r < p.cells.size(); ++r) {
            inPlace = static_cast<int>(p.cells[r].size()) == t.table->columns();
            for (size_t i = 0; inPlace && i < p.cells[r].size(); ++i)
                inPlace =
                    p.cells[r][i] == std::pair<int, int>(static_cast<int>(i), static_cast<int>(i));
        }
        if (!p.edges.empty() && !inPlace)
            rebuild(t, p);
        QTextTable* table = t.table;
        const int rows = std::min(table->rows(), static_cast<int>(t.rows.size()));
        if (!p.edges.empty()) {
            QTextTableFormat format = table->format();
            QList<QTextLength> widths;
            int left = t.rows.front().left;
            for (int edge : p.edges) {
                widths << QTextLength(QTextLength::FixedLength,
                                      std::clamp((edge - left) / TwipsPerPixel, 8.0, 4000.0));
                left = edge;
            }
            format.setColumnWidthConstraints(widths);
            format.setCellPadding(std::min(t.rows.front().gap / TwipsPerPixel, 40.0));
            table->setFormat(format);
        }
        // Merged cells: across (first cell and the ones it takes, or one cell over several
        // columns), then down into the cell above.
        const auto columnOf = [&](int r, int i) {
            return p.edges.empty() ? std::pair<int, int>(i, i) : p.cells[r][i];
        };
        for (int r = 0; r < rows; ++r) {
            const auto& cells = t.rows[r].cells;
            const int n = std::min(static_cast<int>(cells.size()), table->columns());
            for (int i = 0; i < n; ++i) {
                const auto [first, last] = columnOf(r, i);
                int end = last;
                if (cells[i].mergeFirst) {
                    for (int j = i + 1; j < n && cells[j].merged; ++j)
                        end = columnOf(r, j).second;
                }
                if (end > first && end < table->columns())
                    table->mergeCells(r, first, 1, end - first + 1);
            }
        }
        std::vector<int> start(table->columns(), -1);
        for (int r = 0; r < rows; ++r) {
            const auto& cells = t.rows[r].cells;
            const int n = std::min(static_cast<int>(cells.size()), table->columns());
            for (int i = 0; i < n; ++i) {
                const int column = columnOf(r, i).first;
                if (column >= table->columns())
                    continue;
                if (cells[i].verticalFirst) {
                    start[column] = r;
                } else if (cells[i].verticalMerged && start[column] >= 0 && !cells[i].merged) {
                    const QTextTableCell top = table->cellAt(start[column], column);
                    if (top.row() == start[column] && top.column() == column)
                        table->mergeCells(start[column], column, r - start[column] + 1,
                                          top.columnSpan());
                } else {
                    start[column] = -1;
                }
            }
        }
    }

    // Moves the cells of a table whose rows have cells of differing edges into a table of a
    // column for each edge, which takes the old table's place.
    void rebuild(OpenTable& t, const Placement& p) {
        QTextTable* old = t.table;
        QTextCursor after = old->lastCursorPosition();
        after.movePosition(QTextCursor::NextBlock);
        QTextTable* table =
            after.insertTable(old->rows(), static_cast<int>(p.edges.size()), old->format());
        for (int r = 0; r < old->rows(); ++r) {
            const int n = std::min<int>(old->columns(), p.cells[r].size());
            for (int i = 0; i < n; ++i) {
                const QTextTableCell from = old->cellAt(r, i);
                if (from.row() != r || from.column() != i)
                    continue;
                QTextTableCell to = table->cellAt(r, p.cells[r][i].first);
                to.setFormat(from.format());
                QTextCursor source = from.firstCursorPosition();
                source.setPosition(from.lastPosition(), QTextCursor::KeepAnchor);
                QTextCursor target = to.firstCursorPosition();
                target.insertFragment(source.selection());
                // The fragment comes after the new cell's empty paragraph, which goes.
                const QTextBlock empty = to.firstCursorPosition().block();
                const QTextBlock moved = empty.next();
                if (empty.length() <= 1 && moved.isValid() &&
                    moved.position() <= to.lastPosition() &&
                    QTextCursor(moved).currentFrame() == QTextCursor(empty).currentFrame()) {
                    const QPointer<QTextList> list = moved.textList();
                    QTextCursor merge(empty);
                    merge.setBlockFormat(moved.blockFormat());
                    merge.setPosition(moved.position(), QTextCursor::KeepAnchor);
                    merge.removeSelectedText();
                    if (list && !merge.block().textList())
                        list->add(merge.block());
                }
            }
        }
        // The old table goes, and with it the empty paragraph between the two.
        QTextCursor gone(&doc_);
        gone.setPosition(old->firstPosition() - 1);
        gone.setPosition(table->firstPosition() - 1, QTextCursor::KeepAnchor);
        gone.removeSelectedText();
        t.table = table;
    }

    void pictureWord(const std::string& w, int p) {
        if (w == "pngblip")
            picture_.type = QStringLiteral("png");
        else if (w == "jpegblip")
            picture_.type = QStringLiteral("jpeg");
        else if (w == "emfblip")
            picture_.type = QStringLiteral("emf");
        else if (w == "wmetafile") {
            picture_.type = QStringLiteral("wmf");
            picture_.mapMode = p;
        } else if (w == "dibitmap")
            picture_.type = QStringLiteral("dib");
        else if (w == "wbitmap")
            picture_.type = QStringLiteral("wbitmap");
        else if (w == "macpict" || w == "pmmetafile")
            picture_.type = QString::fromStdString(w);
        else if (w == "picw")
            picture_.picw = p;
        else if (w == "pich")
            picture_.pich = p;
        else if (w == "picwgoal")
            picture_.goalw = p;
        else if (w == "pichgoal")
            picture_.goalh = p;
        else if (w == "picscalex")
            picture_.scalex = p;
        else if (w == "picscaley")
            picture_.scaley = p;
        else if (w == "wbmbitspixel" || w == "picbpp")
            picture_.bitsPerPixel = p;
        else if (w == "wbmwidthbytes")
            picture_.widthBytes = p;
    }

    void binary(long long count) {
        count = std::clamp<long long>(count, 0, data_.size() - pos_);
        if (state().dest == Dest::Picture)
            picture_.binary += data_.mid(pos_, count);
        pos_ += count;
    }

    // The size a picture is shown at: its goal size (twips) scaled, else `natural`.
    QSizeF shownSize(QSizeF natural) const {
        QSizeF shown = natural;
        if (picture_.goalw > 0 && picture_.goalh > 0)
            shown = QSizeF(picture_.goalw / TwipsPerPixel, picture_.goalh / TwipsPerPixel);
        if (picture_.scalex > 0 && picture_.scaley > 0)
            shown = QSizeF(shown.width() * picture_.scalex / 100.0,
                           shown.height() * picture_.scaley / 100.0);
        if (shown.width() < 1 || shown.height() < 1 || shown.width() > 20000 ||
            shown.height() > 20000)
            shown = natural;
        return shown;
    }

    void finishPicture() {
        const QString& type = picture_.type;
        const QByteArray data =
            picture_.binary.isEmpty() ? QByteArray::fromHex(picture_.hex) : picture_.binary;
        if (type == QLatin1String("wmf") || type == QLatin1String("emf")) {
            finishMetafile(data);
            return;
        }
        QImage image;
        QByteArray kept = data;
        QString keptType = type;
        if (type == QLatin1String("png") || type == QLatin1String("jpeg")) {
            image = QImage::fromData(data, type == QLatin1String("png") ? "PNG" : "JPEG");
        } else if (type == QLatin1String("dib")) {
            image = dibImage(data);
            kept.clear(); // saved as PNG
        } else if (type == QLatin1String("wbitmap")) {
            image = wbitmapImage(data, picture_.picw, picture_.pich, picture_.bitsPerPixel,
                                 picture_.widthBytes);
            kept.clear();
        }
        if (image.isNull())
            return; // pictures of other kinds, and broken ones, are skipped
        if (kept.isEmpty())
            keptType = QStringLiteral("png");
        const QSizeF shown = shownSize(image.size());
        placePicture(image, kept, keptType, shown);
    }

    void finishMetafile(const QByteArray& data) {
        // Without a goal size the extent tells it, in hundredths of a millimetre.
        QSizeF natural(picture_.picw * 96 / 2540.0, picture_.pich * 96 / 2540.0);
        if (natural.width() < 1 || natural.height() < 1 || natural.width() > 20000 ||
            natural.height() > 20000)
            natural = QSizeF(96, 96);
        const QSizeF shown = shownSize(natural);
        const QSize raster = shown.toSize().boundedTo(QSize(4096, 4096)).expandedTo(QSize(1, 1));
        QImage image;
        try {
            image = drawMetafile(data, picture_.type, raster);
        } catch (...) {
            image = QImage();
        }
        if (image.isNull())
            image = emptyFrame(raster);
        flushAt(paragraphDepth());
        const int number = doc_.property("lumorraPictures").toInt() + 1;
        doc_.setProperty("lumorraPictures", number);
        const QString name = QStringLiteral("lumorra-picture:%1").arg(number);
        doc_.addResource(QTextDocument::ImageResource, QUrl(name), image);
        QTextImageFormat format;
        format.setName(name);
        format.setWidth(shown.width());
        format.setHeight(shown.height());
        format.setProperty(PictureData, data);
        format.setProperty(PictureType, picture_.type);
        format.setProperty(PictureExtent, QSize(picture_.picw, picture_.pich));
        format.setProperty(PictureMapMode, picture_.mapMode);
        cursor_.insertImage(format);
        lastWasParagraphEnd_ = false;
    }

    void placePicture(const QImage& image, const QByteArray& data, const QString& type,
                      QSizeF shown) {
        flushAt(paragraphDepth());
        insertPicture(cursor_, image, data, type, shown);
        lastWasParagraphEnd_ = false;
    }

    void unicode(int value) {
        decodeBytes();
        const char16_t c = static_cast<char16_t>(value < 0 ? value + 65536 : value);
        if (c != 0 && state().dest == Dest::Text && !state().chars.hidden)
            pending_ += QChar(c);
        skipFallback_ = state().uc;
    }

    void text(char16_t c) {
        if (state().dest != Dest::Text || state().chars.hidden)
            return;
        decodeBytes();
        pending_ += QChar(c);
    }

    int codePageOf(int font) const {
        auto it = fonts_.find(font < 0 ? defaultFont_ : font);
        if (it != fonts_.end()) {
            if (const int cp = charsetCodePage(it->second.charset))
                return cp;
        }
        return codePage_;
    }

    void decodeBytes() {
        if (bytes_.isEmpty())
            return;
        pending_ += decodeCodePage(bytes_, codePageOf(state().chars.font));
        bytes_.clear();
    }

    QTextCharFormat charFormat(const CharState& ch) const {
        QTextCharFormat f;
        auto it = fonts_.find(ch.font < 0 ? defaultFont_ : ch.font);
        if (it == fonts_.end())
            it = fonts_.find(defaultFont_);
        if (it != fonts_.end() && !it->second.name.isEmpty()) {
            f.setFontFamilies({it->second.name});
            f.setFontStyleHint(it->second.hint);
        }
        f.setFontPointSize(ch.halfPoints / 2.0);
        f.setFontWeight(ch.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(ch.italic);
        f.setFontUnderline(ch.underline);
        f.setFontStrikeOut(ch.strike);
        if (ch.vertical > 0)
            f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (ch.vertical < 0)
            f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        if (ch.foreground > 0 && ch.foreground < static_cast<int>(colors_.size()) &&
            colors_[ch.foreground].isValid())
            f.setForeground(colors_[ch.foreground]);
        if (ch.background > 0 && ch.background < static_cast<int>(colors_.size()) &&
            colors_[ch.background].isValid())
            f.setBackground(colors_[ch.background]);
        if (!ch.href.isEmpty()) {
            // Shown as a link: underlined, and blue unless the document colours it.
            f.setAnchor(true);
            f.setAnchorHref(ch.href);
            f.setFontUnderline(true);
            if (!f.hasProperty(QTextFormat::ForegroundBrush))
                f.setForeground(QColor(0, 0, 255));
        }
        return f;
    }

    // Inserts the text gathered under the current character state.
    void flush() {
        decodeBytes();
        if (pending_.isEmpty())
            return;
        flushAt(paragraphDepth());
    }

    void flushAt(int depth) {
        decodeBytes();
        enterDepth(depth);
        if (pending_.isEmpty())
            return;
        cursor_.insertText(pending_, charFormat(state().chars));
        pending_.clear();
        lastWasParagraphEnd_ = false;
    }

    QTextList* listFor(const ParaState& p) {
        if (p.list > 0) {
            const auto over = overrides_.find(p.list);
            if (over == overrides_.end())
                return nullptr; // an override without a list
            const auto def = lists_.find(over->second);
            ListLevel level;
            if (def != lists_.end() && !def->second.levels.empty())
                level = def->second
                            .levels[std::min<size_t>(p.listLevel, def->second.levels.size() - 1)];
            if (level.format == 255)
                return nullptr; // a level without a number
            QPointer<QTextList>& list = wordLists_[{p.list, p.listLevel}];
            if (!list) {
                QTextListFormat f;
                f.setStyle(styleOfLevel(level));
                f.setIndent(p.listLevel + 1);
                list = cursor_.createList(f);
            }
            return list;
        }
        if (!p.pn.on) {
            pnLists_.clear();
            return nullptr;
        }
        const QTextListFormat::Style style = p.pn.bullet ? QTextListFormat::ListDisc : p.pn.style;
        QPointer<QTextList>& list = pnLists_[{static_cast<int>(style), p.pn.level}];
        if (!list) {
            QTextListFormat f;
            f.setStyle(style);
            f.setIndent(p.pn.level + 1);
            list = cursor_.createList(f);
        }
        return list;
    }

    void applyParagraph() {
        const ParaState& p = state().para;
        QTextBlockFormat f;
        f.setAlignment(p.alignment);
        f.setRightMargin(p.right / TwipsPerPixel);
        f.setTopMargin(p.before / TwipsPerPixel);
        f.setBottomMargin(p.after / TwipsPerPixel);
        const bool listed = p.list > 0 || p.pn.on;
        if (!listed) {
            // A list's own indent places its items.
            f.setLeftMargin(p.left / TwipsPerPixel);
            f.setTextIndent(p.first / TwipsPerPixel);
        }
        cursor_.setBlockFormat(f);
        cursor_.setBlockCharFormat(charFormat(state().chars));
        if (listed) {
            if (QTextList* list = listFor(p); list && !cursor_.currentList())
                list->add(cursor_.block());
        } else {
            pnLists_.clear();
        }
    }

    void paragraph() {
        if (state().dest != Dest::Text)
            return;
        flushAt(paragraphDepth());
        applyParagraph();
        cursor_.insertBlock();
        lastWasParagraphEnd_ = true;
    }

    void commitFont() {
        const QString name = decodeCodePage(fontName_, 1252).trimmed();
        fontName_.clear();
        if (!name.isEmpty() && fonts_[font_].name.isEmpty())
            fonts_[font_].name = name;
    }

    // What the document held that the editor does not show, on the root frame for the writer.
    void keep() {
        if (keptSettings_.isEmpty() && keptInfo_.isEmpty() && keptHeaders_.isEmpty())
            return;
        QTextFrameFormat f = doc_.rootFrame()->frameFormat();
        if (!keptSettings_.isEmpty())
            f.setProperty(KeptSettings, keptSettings_);
        if (!keptInfo_.isEmpty())
            f.setProperty(KeptInfo, keptInfo_);
        if (!keptHeaders_.isEmpty())
            f.setProperty(KeptHeaders, keptHeaders_);
        doc_.rootFrame()->setFrameFormat(f);
    }

    const QByteArray& data_;
    QTextDocument& doc_;
    QTextCursor cursor_;
    qsizetype pos_ = 0;
    std::vector<GroupState> stack_;
    std::vector<qsizetype> groupStart_;
    int excessDepth_ = 0;
    bool starPending_ = false;
    int skipFallback_ = 0;
    int codePage_ = 1252;
    int defaultFont_ = 0;
    std::map<int, FontEntry> fonts_;
    int font_ = 0;
    QByteArray fontName_;
    std::vector<QColor> colors_;
    QColor color_{0, 0, 0};
    bool colorSet_ = false;
    PictureState picture_;
    QByteArray bytes_;
    QString pending_;
    bool lastWasParagraphEnd_ = false;
    // Tables.
    std::vector<OpenTable> tables_;
    std::map<int, RowDefinition> rows_; // the row properties last given for each depth
    int rowTarget_ = 1;
    CellDefinition cell_;
    int borderSide_ = -1;
    // Lists.
    std::map<int, ListDefinition> lists_; // by \listid
    std::map<int, int> overrides_;        // \ls to \listid
    ListDefinition list_;
    size_t listGroupDepth_ = 0;
    QString levelText_;
    int overrideList_ = -1, overrideNumber_ = -1;
    // The lists made so far: a table's end may move its cells' lists, which then go.
    std::map<std::pair<int, int>, QPointer<QTextList>> wordLists_;
    std::map<std::pair<int, int>, QPointer<QTextList>> pnLists_;
    PnState pn_;
    QString fieldInstruction_;
    // Kept as they came.
    QByteArray keptSettings_, keptInfo_, keptHeaders_;
    std::set<std::string> settingsSeen_;
    bool keptIsInfo_ = false;
    bool dropped_[Kinds] = {};
};

} // namespace

ReadReport read(const QByteArray& data, QTextDocument& document) {
    return Reader(data, document).run();
}

bool isRtf(const QByteArray& data) {
    qsizetype i = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < data.size() && std::isspace(static_cast<unsigned char>(data[i])))
        ++i;
    return data.mid(i, 5) == "{\\rtf";
}

void insertPicture(QTextCursor& cursor, const QImage& image, const QByteArray& encoded,
                   const QString& type, QSizeF displaySize) {
    QTextDocument* doc = cursor.document();
    if (!doc || image.isNull())
        return;
    // A name of its own in this document: the pictures are the document's resources.
    const int number = doc->property("lumorraPictures").toInt() + 1;
    doc->setProperty("lumorraPictures", number);
    const QString name = QStringLiteral("lumorra-picture:%1").arg(number);
    if (displaySize.isEmpty())
        displaySize = image.size();
    // What is shown needs no more pixels than twice the shown size (for high-density
    // screens); the encoded bytes keep the whole picture for saving.
    QImage shown = image;
    const QSize most = (displaySize * 2).toSize().expandedTo(QSize(1, 1));
    if (image.width() > most.width() || image.height() > most.height())
        shown = image.scaled(most, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    doc->addResource(QTextDocument::ImageResource, QUrl(name), shown);
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(displaySize.width());
    format.setHeight(displaySize.height());
    format.setProperty(PictureData, encoded);
    format.setProperty(PictureType, type);
    cursor.insertImage(format);
}

} // namespace lumorra::rtf
