#include "CodePage.h"
#include "Rtf.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
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
                                                "info",
                                                "filetbl",
                                                "listtable",
                                                "listoverridetable",
                                                "revtbl",
                                                "rsidtbl",
                                                "header",
                                                "headerl",
                                                "headerr",
                                                "headerf",
                                                "footer",
                                                "footerl",
                                                "footerr",
                                                "footerf",
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
                                                "fldinst",
                                                "pntxta",
                                                "pntxtb",
                                                "pn",
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
                                                "leveltext",
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
                                                "datafield"};
    return words;
}

enum class Dest { Text, Skip, FontTable, ColorTable, Picture };

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
};

struct ParaState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0; // twips
};

struct GroupState {
    CharState chars;
    ParaState para;
    Dest dest = Dest::Text;
    int uc = 1;
};

struct FontEntry {
    QString name;
    int charset = 0;
    // The font's family class, which picks a like font where this one is not installed.
    QFont::StyleHint hint = QFont::AnyStyle;
};

struct PictureState {
    QString type; // "png", "jpeg" or another kind that is skipped
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    QByteArray hex;
    QByteArray binary;
};

class Reader {
public:
    Reader(const QByteArray& data, QTextDocument& doc) : data_(data), doc_(doc), cursor_(&doc) {}

    void run() {
        doc_.clear();
        cursor_ = QTextCursor(&doc_);
        stack_.push_back(GroupState{});
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
        applyParagraph();
        // A final paragraph mark ends the last paragraph; it does not start an empty one.
        if (lastWasParagraphEnd_ && cursor_.block().length() <= 1 &&
            cursor_.block().previous().isValid()) {
            cursor_.deletePreviousChar();
        }
    }

private:
    GroupState& state() { return stack_.back(); }

    void openGroup() {
        flush();
        skipFallback_ = 0;
        // A document nested deeper than this is broken; its inner groups count as one.
        if (stack_.size() < 4000)
            stack_.push_back(stack_.back());
        else
            ++excessDepth_;
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
        stack_.pop_back();
        if (dest == Dest::FontTable)
            commitFont();
        if (dest == Dest::Picture && state().dest != Dest::Picture)
            finishPicture();
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
        case Dest::Skip:
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
        if (state().dest == Dest::Skip)
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
            return;
        }
        if (skipFallback_ > 0) {
            --skipFallback_;
            return;
        }
        if (state().dest == Dest::Skip)
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

    void handleWord(const std::string& w, bool hasParam, int p, bool star) {
        GroupState& s = state();
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

        if (s.dest == Dest::FontTable) {
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
            return;
        }
        if (s.dest == Dest::ColorTable) {
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
        }
        if (s.dest == Dest::Picture) {
            pictureWord(w, p);
            return;
        }

        // Document text: special characters.
        if (w == "par" || w == "sect" || w == "row" || w == "nestrow") {
            paragraph();
            return;
        }
        if (w == "line") {
            text(u'\u2028');
            return;
        }
        if (w == "tab" || w == "cell" || w == "nestcell") {
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
            ch = CharState{};
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
        }
        // Everything else (\s, \lang, \rtlch, \loch, \sl, section and document settings) is
        // layout this editor does not keep.
    }

    void pictureWord(const std::string& w, int p) {
        if (w == "pngblip")
            picture_.type = QStringLiteral("png");
        else if (w == "jpegblip")
            picture_.type = QStringLiteral("jpeg");
        else if (w == "emfblip" || w == "wmetafile" || w == "macpict" || w == "dibitmap" ||
                 w == "wbitmap" || w == "pmmetafile")
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
    }

    void binary(long long count) {
        count = std::clamp<long long>(count, 0, data_.size() - pos_);
        if (state().dest == Dest::Picture)
            picture_.binary += data_.mid(pos_, count);
        pos_ += count;
    }

    void finishPicture() {
        if (picture_.type != QLatin1String("png") && picture_.type != QLatin1String("jpeg"))
            return; // metafiles and bitmaps of other kinds are skipped
        const QByteArray data =
            picture_.binary.isEmpty() ? QByteArray::fromHex(picture_.hex) : picture_.binary;
        const QImage image =
            QImage::fromData(data, picture_.type == QLatin1String("png") ? "PNG" : "JPEG");
        if (image.isNull())
            return;
        QSizeF shown = image.size();
        if (picture_.goalw > 0 && picture_.goalh > 0)
            shown = QSizeF(picture_.goalw / TwipsPerPixel, picture_.goalh / TwipsPerPixel);
        if (picture_.scalex > 0 && picture_.scaley > 0)
            shown = QSizeF(shown.width() * picture_.scalex / 100.0,
                           shown.height() * picture_.scaley / 100.0);
        if (shown.width() < 1 || shown.height() < 1 || shown.width() > 20000 ||
            shown.height() > 20000)
            shown = image.size();
        flush();
        insertPicture(cursor_, image, data, picture_.type, shown);
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
        return f;
    }

    // Inserts the text gathered under the current character state.
    void flush() {
        decodeBytes();
        if (pending_.isEmpty())
            return;
        cursor_.insertText(pending_, charFormat(state().chars));
        pending_.clear();
        lastWasParagraphEnd_ = false;
    }

    void applyParagraph() {
        const ParaState& p = state().para;
        QTextBlockFormat f;
        f.setAlignment(p.alignment);
        f.setLeftMargin(p.left / TwipsPerPixel);
        f.setRightMargin(p.right / TwipsPerPixel);
        f.setTextIndent(p.first / TwipsPerPixel);
        f.setTopMargin(p.before / TwipsPerPixel);
        f.setBottomMargin(p.after / TwipsPerPixel);
        cursor_.setBlockFormat(f);
        cursor_.setBlockCharFormat(charFormat(state().chars));
    }

    void paragraph() {
        if (state().dest != Dest::Text)
            return;
        flush();
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

    const QByteArray& data_;
    QTextDocument& doc_;
    QTextCursor cursor_;
    qsizetype pos_ = 0;
    std::vector<GroupState> stack_;
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
};

} // namespace

void read(const QByteArray& data, QTextDocument& document) {
    Reader(data, document).run();
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
