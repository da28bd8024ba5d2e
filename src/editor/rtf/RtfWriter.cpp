#include "CodePage.h"
#include "Rtf.h"

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QFontInfo>
#include <QImage>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace lumorra::rtf {
namespace {

constexpr double TwipsPerPixel = 15.0; // 1440 twips per inch at 96 pixels per inch
// The width tables are laid out in: a page's text width (6.5 inches).
constexpr int TextWidthTwips = 9360;

int twips(double pixels) {
    return static_cast<int>(std::lround(pixels * TwipsPerPixel));
}

void appendNumber(QByteArray& out, const char* word, long long value) {
    out += '\\';
    out += word;
    out += QByteArray::number(value);
}

// Text as RTF: control characters escaped, everything beyond ASCII as \uN with a code page
// 1252 byte (or "?") for readers that know no Unicode (the document says \uc1).
void appendText(QByteArray& out, QStringView text) {
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        switch (c) {
        case u'\\':
            out += "\\\\";
            continue;
        case u'{':
            out += "\\{";
            continue;
        case u'}':
            out += "\\}";
            continue;
        case u'\t':
            out += "\\tab ";
            continue;
        case 0x2028:
            out += "\\line ";
            continue;
        case 0x00A0:
            out += "\\~";
            continue;
        case 0x00AD:
            out += "\\-";
            continue;
        case 0x2011:
            out += "\\_";
            continue;
        case 0xFFFC:
            continue; // an object without a picture
        default:
            break;
        }
        if (c < 0x20 || c == 0x2029)
            continue;
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        appendNumber(out, "u", static_cast<short>(c));
        const int byte = cp1252Byte(c);
        if (byte >= 0) {
            static const char hex[] = "0123456789abcdef";
            out += "\\'";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += '?';
        }
    }
}

class Writer {
public:
    Writer(picture::DecoderPool& pool, const QTextDocument& doc) : pool_(pool), doc_(doc) {
        defaultFont_ = doc_.defaultFont();
        fontIndex(defaultFont_.family(), QFontInfo(defaultFont_).fixedPitch());
    }

    QByteArray run() {
        numberLists();
        writeFrame(doc_.rootFrame(), 0, TextWidthTwips);
        QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
        for (int i = 0; i < fonts_.size(); ++i) {
            out += "{\\f" + QByteArray::number(i) + (fixed_[i] ? "\\fmodern" : "\\fswiss") +
                   "\\fcharset0 ";
            // A ";" ends the name in the table.
            appendText(out, QString(fonts_[i]).remove(QLatin1Char(';')));
            out += ";}";
        }
        out += "}\n{\\colortbl ;";
        for (const QColor& c : colors_) {
            out += "\\red" + QByteArray::number(c.red()) + "\\green" +
                   QByteArray::number(c.green()) + "\\blue" + QByteArray::number(c.blue()) + ';';
        }
        out += "}\n{\\*\\generator ";
        QString generator = QCoreApplication::applicationName();
        if (!QCoreApplication::applicationVersion().isEmpty())
            generator += QLatin1Char(' ') + QCoreApplication::applicationVersion();
        appendText(out, generator);
        out += ";}\n";
        out += listTables();
        // What the document held that the editor does not show, as it came.
        const QTextFrameFormat kept = doc_.rootFrame()->frameFormat();
        out += kept.property(KeptInfo).toByteArray();
        const QByteArray settings = kept.property(KeptSettings).toByteArray();
        if (!settings.isEmpty())
            out += settings + '\n';
        out += "\\viewkind4\n";
        out += kept.property(KeptHeaders).toByteArray();
        out += body_;
        out += "}\n";
        return out;
    }

private:
    int fontIndex(const QString& family, bool fixed) {
        const QString name = family.isEmpty() ? defaultFont_.family() : family;
        qsizetype i = fonts_.indexOf(name);
        if (i < 0) {
            fonts_.push_back(name);
            fixed_.push_back(fixed);
            i = fonts_.size() - 1;
        }
        return static_cast<int>(i);
    }

    int colorIndex(const QColor& color) {
        const QColor c = color.toRgb();
        for (int i = 0; i < colors_.size(); ++i) {
            if (colors_[i].rgb() == c.rgb())
                return i + 1;
        }
        colors_.push_back(c);
        return static_cast<int>(colors_.size());
    }

    // The character properties of a format, each written (nothing is left to the reader's
    // defaults except the colours' "automatic").
    QByteArray characterProperties(const QTextCharFormat& format) {
        const QFont font = format.font().resolve(defaultFont_);
        QByteArray out;
        appendNumber(out, "f", fontIndex(font.family(), QFontInfo(font).fixedPitch()));
        double points = font.pointSizeF();
        if (points <= 0 && font.pixelSize() > 0)
            points = font.pixelSize() * 72.0 / 96.0;
        if (points <= 0)
            points = 12;
        appendNumber(out, "fs", std::lround(points * 2));
        if (font.bold())
            out += "\\b";
        if (font.italic())
            out += "\\i";
        if (font.underline())
            out += "\\ul";
        if (font.strikeOut())
            out += "\\strike";
        if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            out += "\\super";
        else if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
            out += "\\sub";
        if (format.hasProperty(QTextFormat::ForegroundBrush) &&
            format.foreground().style() != Qt::NoBrush)
            appendNumber(out, "cf", colorIndex(format.foreground().color()));
        if (format.hasProperty(QTextFormat::BackgroundBrush) &&
            format.background().style() != Qt::NoBrush)
            appendNumber(out, "highlight", colorIndex(format.background().color()));
        return out;
    }

    QByteArray paragraphProperties(const QTextBlock& block, int depth) {
        const QTextBlockFormat format = block.blockFormat();
        QByteArray out = "\\pard\\plain";
        if (depth > 0)
            out += "\\intbl";
        if (depth > 1)
            appendNumber(out, "itap", depth);
        const Qt::Alignment align = format.alignment() & Qt::AlignHorizontal_Mask;
        if (align & Qt::AlignJustify)
            out += "\\qj";
        else if (align & Qt::AlignHCenter)
            out += "\\qc";
        else if (align & Qt::AlignRight)
            out += "\\qr";
        else
            out += "\\ql";
        double left = format.leftMargin() + format.indent() * doc_.indentWidth();
        double first = format.textIndent();
        if (const QTextList* list = block.textList()) {
            // The list's indent places the item; its number hangs before the text.
            const int level = listLevel(list);
            appendNumber(out, "ls", lists_.at(list));
            appendNumber(out, "ilvl", level);
            left += (level + 1) * doc_.indentWidth();
            first = -24;
        }
        if (left != 0)
            appendNumber(out, "li", twips(left));
        if (format.rightMargin() != 0)
            appendNumber(out, "ri", twips(format.rightMargin()));
        if (first != 0)
            appendNumber(out, "fi", twips(first));
        if (format.topMargin() != 0)
            appendNumber(out, "sb", twips(format.topMargin()));
        if (format.bottomMargin() != 0)
            appendNumber(out, "sa", twips(format.bottomMargin()));
        return out;
    }

    // --- lists ---------------------------------------------------------------------------------

    static int listLevel(const QTextList* list) {
        return std::clamp(list->format().indent() - 1, 0, 8);
    }

    // Numbers the document's lists (\lsN, from 1) in the order they first appear.
    void numberLists() {
        for (QTextBlock b = doc_.begin(); b.isValid(); b = b.next()) {
            if (QTextList* list = b.textList(); list && !lists_.count(list)) {
                const int number = static_cast<int>(lists_.size()) + 1;
                lists_[list] = number;
                listOrder_.push_back(list);
            }
        }
    }

    static int levelFormat(QTextListFormat::Style style) {
        switch (style) {
        case QTextListFormat::ListDecimal:
            return 0;
        case QTextListFormat::ListUpperRoman:
            return 1;
        case QTextListFormat::ListLowerRoman:
            return 2;
        case QTextListFormat::ListUpperAlpha:
            return 3;
        case QTextListFormat::ListLowerAlpha:
            return 4;
        default:
            return 23; // a bullet
        }
    }

    static char16_t bulletOf(QTextListFormat::Style style) {
        switch (style) {
        case QTextListFormat::ListCircle:
            return 0x25E6;
        case QTextListFormat::ListSquare:
            return 0x25AA;
        default:
            return 0x2022;
        }
    }

    // A list table with a list of nine like levels for each list of the document, and its
    // override table.
    QByteArray listTables() {
        if (listOrder_.empty())
            return {};
        QByteArray out = "{\\*\\listtable\n";
        for (size_t i = 0; i < listOrder_.size(); ++i) {
            const QTextListFormat::Style style = listOrder_[i]->format().style();
            const int nfc = levelFormat(style);
            out +=
                "{\\list\\listtemplateid" + QByteArray::number(qulonglong(i + 1)) + "\\listsimple0";
            for (int level = 0; level < 9; ++level) {
                out += "{\\listlevel";
                appendNumber(out, "levelnfc", nfc);
                appendNumber(out, "levelnfcn", nfc);
                out += "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat1{\\leveltext";
                if (nfc == 23) {
                    // The bullet with a fallback of its own: readers take a code page byte
                    // after it for a second bullet.
                    out += "\\'01";
                    appendNumber(out, "u", static_cast<short>(bulletOf(style)));
                    out += " ?;}{\\levelnumbers;}";
                } else {
                    out += "\\'02\\'0" + QByteArray::number(level) + ".;}{\\levelnumbers\\'01;}";
                }
                appendNumber(out, "fi", -360);
                appendNumber(out, "li", twips((level + 1) * doc_.indentWidth()));
                out += "}";
            }
            out += "{\\listname ;}\\listid" + QByteArray::number(qulonglong(i + 1)) + "}\n";
        }
        out += "}\n{\\*\\listoverridetable";
        for (size_t i = 0; i < listOrder_.size(); ++i)
            out += "{\\listoverride\\listid" + QByteArray::number(qulonglong(i + 1)) +
                   "\\listoverridecount0\\ls" + QByteArray::number(qulonglong(i + 1)) + "}";
        out += "}\n";
        return out;
    }

    // --- frames and tables ---------------------------------------------------------------------

    void writeFrame(QTextFrame* frame, int depth, int width) {
        for (auto it = frame->begin(); !it.atEnd(); ++it) {
            if (QTextFrame* child = it.currentFrame()) {
                if (auto* table = qobject_cast<QTextTable*>(child))
                    writeTable(table, depth + 1, width);
                else
                    writeFrame(child, depth, width);
            } else if (it.currentBlock().isValid()) {
                writeBlock(it.currentBlock(), depth, "\\par\n");
            }
        }
    }

    // The right edges of the table's columns, in twips from its left edge.
    std::vector<int> columnEdges(const QTextTable* table, int width) const {
        const int columns = table->columns();
        const QList<QTextLength> lengths = table->format().columnWidthConstraints();
        std::vector<double> widths(columns, 0);
        double fixed = 0;
        int variable = 0;
        for (int c = 0; c < columns; ++c) {
            const QTextLength l =
                c < lengths.size() ? lengths[c] : QTextLength(QTextLength::VariableLength, 0);
            if (l.type() == QTextLength::FixedLength)
                widths[c] = l.rawValue() * TwipsPerPixel;
            else if (l.type() == QTextLength::PercentageLength)
                widths[c] = width * l.rawValue() / 100.0;
            else
                ++variable;
            fixed += widths[c];
        }
        const double share = variable ? std::max(360.0, (width - fixed) / variable) : 0;
        std::vector<int> edges;
        double edge = 0;
        for (int c = 0; c < columns; ++c) {
            edge += widths[c] > 0 ? widths[c] : share;
            edges.push_back(static_cast<int>(std::lround(edge)));
        }
        return edges;
    }

    // A row's properties: \trowd, then each cell's merges, borders, shading and right edge.
    QByteArray rowProperties(const QTextTable* table, int row, const std::vector<int>& edges) {
        const QTextTableFormat tf = table->format();
        QByteArray out = "\\trowd";
        appendNumber(out, "trgaph", twips(std::max(0.0, tf.cellPadding())));
        out += "\\trleft0";
        for (int c = 0; c < table->columns(); ++c) {
            const QTextTableCell cell = table->cellAt(row, c);
            const QTextTableCellFormat f = cell.format().toTableCellFormat();
            if (cell.rowSpan() > 1)
                out += cell.row() == row ? "\\clvmgf" : "\\clvmrg";
            if (cell.columnSpan() > 1)
                out += cell.column() == c ? "\\clmgf" : "\\clmrg";
            if (f.verticalAlignment() == QTextCharFormat::AlignMiddle)
                out += "\\clvertalc";
            else if (f.verticalAlignment() == QTextCharFormat::AlignBottom)
                out += "\\clvertalb";
            static const char* const sides[] = {"clbrdrt", "clbrdrl", "clbrdrb", "clbrdrr"};
            const QTextFormat::Property widthOf[] = {
                QTextFormat::TableCellTopBorder, QTextFormat::TableCellLeftBorder,
                QTextFormat::TableCellBottomBorder, QTextFormat::TableCellRightBorder};
            const QTextFormat::Property brushOf[] = {
                QTextFormat::TableCellTopBorderBrush, QTextFormat::TableCellLeftBorderBrush,
                QTextFormat::TableCellBottomBorderBrush, QTextFormat::TableCellRightBorderBrush};
            for (int side = 0; side < 4; ++side) {
                const double width =
                    f.hasProperty(widthOf[side]) ? f.doubleProperty(widthOf[side]) : tf.border();
                if (width <= 0)
                    continue;
                QBrush brush = f.hasProperty(brushOf[side]) ? f.brushProperty(brushOf[side])
                                                            : tf.borderBrush();
                out += '\\';
                out += sides[side];
                out += "\\brdrs";
                appendNumber(out, "brdrw", std::clamp(twips(width), 1, 75));
                if (brush.style() != Qt::NoBrush)
                    appendNumber(out, "brdrcf", colorIndex(brush.color()));
            }
            if (f.hasProperty(QTextFormat::BackgroundBrush) &&
                f.background().style() != Qt::NoBrush)
                appendNumber(out, "clcbpat", colorIndex(f.background().color()));
            appendNumber(out, "cellx", edges[c]);
        }
        return out;
    }

    void writeTable(QTextTable* table, int depth, int width) {
        const std::vector<int> edges = columnEdges(table, width);
        const char* cellEnd = depth > 1 ? "\\nestcell\n" : "\\cell\n";
        for (int r = 0; r < table->rows(); ++r) {
            const QByteArray properties = rowProperties(table, r, edges);
            if (depth == 1)
                body_ += properties + '\n';
            for (int c = 0; c < table->columns(); ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                const int cellWidth = edges[c] - (c > 0 ? edges[c - 1] : 0);
                if (cell.row() != r || cell.column() != c) {
                    // A cell that a merged cell covers: empty, for the row's count.
                    body_ += "\\pard\\plain\\intbl";
                    if (depth > 1)
                        appendNumber(body_, "itap", depth);
                    body_ += ' ';
                    body_ += cellEnd;
                    continue;
                }
                writeCell(cell, depth, std::max(cellWidth, 360), cellEnd);
            }
            if (depth == 1)
                body_ += properties + "\\row\n";
            else
                body_ += "{\\*\\nesttableprops" + properties + "\\nestrow}{\\nonesttables\\par}\n";
        }
    }

    void writeCell(const QTextTableCell& cell, int depth, int width, const char* cellEnd) {
        std::vector<QTextFrame::iterator> items;
        for (auto it = cell.begin(); !it.atEnd(); ++it)
            items.push_back(it);
        for (size_t i = 0; i < items.size(); ++i) {
            const bool last = i + 1 == items.size();
            if (QTextFrame* child = items[i].currentFrame()) {
                if (auto* table = qobject_cast<QTextTable*>(child))
                    writeTable(table, depth + 1, width);
                else
                    writeFrame(child, depth, width);
                if (last) {
                    body_ += "\\pard\\plain\\intbl";
                    if (depth > 1)
                        appendNumber(body_, "itap", depth);
                    body_ += ' ';
                    body_ += cellEnd;
                }
            } else if (items[i].currentBlock().isValid()) {
                writeBlock(items[i].currentBlock(), depth, last ? cellEnd : "\\par\n");
            }
        }
        if (items.empty())
            body_ += QByteArray("\\pard\\plain\\intbl ") + cellEnd;
    }

    // --- paragraphs ----------------------------------------------------------------------------

    void writeBlock(const QTextBlock& block, int depth, const char* end) {
        body_ += paragraphProperties(block, depth);
        // The paragraph mark's own font, which sizes an empty paragraph.
        body_ += characterProperties(block.charFormat());
        body_ += ' ';
        if (const QTextList* list = block.textList()) {
            // The item's number or bullet, for readers that know no lists.
            QString label = list->itemText(block);
            if (levelFormat(list->format().style()) == 23 || label.isEmpty())
                label = QString(QChar(bulletOf(list->format().style())));
            body_ += "{\\listtext\\pard\\plain" + characterProperties(block.charFormat()) + ' ';
            appendText(body_, label);
            body_ += "\\tab}";
        }
        QString link; // the target of the link being written
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            const QString href = format.isAnchor() ? format.anchorHref() : QString();
            if (href != link) {
                if (!link.isEmpty())
                    body_ += "}}}";
                if (!href.isEmpty()) {
                    body_ += "{\\field{\\*\\fldinst{HYPERLINK \"";
                    appendText(body_,
                               QString(href).replace(QLatin1Char('"'), QStringLiteral("%22")));
                    body_ += "\"}}{\\fldrslt{";
                }
                link = href;
            }
            if (format.isImageFormat()) {
                // One fragment may hold several pictures in a row.
                for (int i = 0; i < fragment.length(); ++i)
                    writePicture(format.toImageFormat());
                continue;
            }
            body_ += "{\\plain" + characterProperties(format) + ' ';
            appendText(body_, fragment.text());
            body_ += '}';
        }
        if (!link.isEmpty())
            body_ += "}}}";
        body_ += end;
    }

    // The picture's own bytes when it came as PNG or JPEG, else the shown image as PNG.
    void writePicture(const QTextImageFormat& format) {
        QByteArray data = format.property(PictureData).toByteArray();
        QString type = format.stringProperty(PictureType);
        if (!data.isEmpty() && (type == QLatin1String("wmf") || type == QLatin1String("emf"))) {
            writeMetafile(format, data, type);
            return;
        }
        QImage image;
        if (data.isEmpty() || (type != QLatin1String("png") && type != QLatin1String("jpeg"))) {
            const QVariant resource =
                doc_.resource(QTextDocument::ImageResource, QUrl(format.name()));
            if (resource.userType() == QMetaType::QImage)
                image = resource.value<QImage>();
            else if (resource.userType() == QMetaType::QPixmap)
                image = resource.value<QPixmap>().toImage();
            else if (resource.userType() == QMetaType::QByteArray)
                image = decodedPicture(pool_, resource.toByteArray());
            if (image.isNull())
                return;
            data.clear();
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            if (!image.save(&buffer, "PNG"))
                return;
            type = QStringLiteral("png");
        } else {
            image = decodedPicture(pool_, data);
        }
        QSizeF shown(format.width(), format.height());
        if (shown.width() <= 0 || shown.height() <= 0)
            shown = image.size();
        body_ += "{\\pict";
        body_ += type == QLatin1String("png") ? "\\pngblip" : "\\jpegblip";
        appendNumber(body_, "picw", image.width());
        appendNumber(body_, "pich", image.height());
        appendNumber(body_, "picwgoal", twips(shown.width()));
        appendNumber(body_, "pichgoal", twips(shown.height()));
        appendPictureData(data);
    }

    // A picture's bytes in hexadecimal, 128 digits a line, and the end of its group.
    void appendPictureData(const QByteArray& data) {
        body_ += '\n';
        const QByteArray hex = data.toHex();
        for (qsizetype i = 0; i < hex.size(); i += 128) {
            body_ += hex.mid(i, 128);
            body_ += '\n';
        }
        body_ += '}';
    }

    // A metafile as it came, with the extent and mapping mode it came with.
    void writeMetafile(const QTextImageFormat& format, const QByteArray& data,
                       const QString& type) {
        const QSizeF shown(format.width(), format.height());
        QSize extent = format.property(PictureExtent).toSize();
        if (extent.width() <= 0 || extent.height() <= 0) // hundredths of a millimetre
            extent = QSize(qRound(shown.width() * 2540 / 96), qRound(shown.height() * 2540 / 96));
        body_ += "{\\pict";
        if (type == QLatin1String("emf")) {
            body_ += "\\emfblip";
        } else {
            const QVariant mode = format.property(PictureMapMode);
            appendNumber(body_, "wmetafile", mode.isValid() ? mode.toInt() : 8);
        }
        appendNumber(body_, "picw", extent.width());
        appendNumber(body_, "pich", extent.height());
        if (shown.width() > 0 && shown.height() > 0) {
            appendNumber(body_, "picwgoal", twips(shown.width()));
            appendNumber(body_, "pichgoal", twips(shown.height()));
        }
        appendPictureData(data);
    }

    picture::DecoderPool& pool_;
    const QTextDocument& doc_;
    QFont defaultFont_;
    QStringList fonts_;
    QList<bool> fixed_;
    QList<QColor> colors_;
    QByteArray body_;
    std::map<const QTextList*, int> lists_;
    std::vector<const QTextList*> listOrder_;
};

} // namespace

QByteArray write(picture::DecoderPool& pool, const QTextDocument& document) {
    return Writer(pool, document).run();
}

} // namespace lumorra::rtf
