#pragma once

#include "ControlWords.h"
#include "ListBuilder.h"
#include "PictureReader.h"
#include "ReaderState.h"
#include "Rtf.h"
#include "TableBuilder.h"

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class QTextDocument;

namespace lumorra::rtf {

// Reads RTF into a document: the groups and their state, and the text that goes from them into
// the document. The control words go through their table (ControlWords.cpp) to the parts that
// act on them: the destinations (Destinations.cpp), the formatting of characters and
// paragraphs (Formatting.cpp), and the builders of tables, lists and pictures.
class Reader {
public:
    Reader(picture::DecoderPool& pool, const QByteArray& data, QTextDocument& doc)
        : data_(data), doc_(doc), cursor_(&doc), tables_(cursor_, colors_), picture_(pool) {}

    ReadReport run();

private:
    // A control word as it came: its name, and its number (0 when it had none).
    struct Word {
        std::string_view name;
        bool hasParam = false;
        int p = 0;
    };
    // What a part does with a word it knows; what is which of the part's words it is.
    using Handler = void (Reader::*)(int what, const Word& word);

    GroupState& state() { return stack_.back(); }

    // Groups, characters and control words as they come (RtfReader.cpp).
    void openGroup();
    void closeGroup();
    void character(char c);
    void controlWord();
    void controlSymbol(char c);
    bool fallback();
    bool ignoresWords() { return state().dest == Dest::Skip || state().dest == Dest::Kept; }
    void binary(long long count);

    // What a word does, by its meanings (ControlWords.cpp).
    void handleWord(std::string_view name, bool hasParam, int p, bool star);
    static Handler handlerOf(Part part);
    void pictureWord(int what, const Word& w);
    void listWord(int what, const Word& w);
    void overrideWord(int what, const Word& w);
    void pnWord(int what, const Word& w);
    void fieldWord(int what, const Word& w);
    void rowWord(int what, const Word& w);
    void symbolWord(int what, const Word& w);

    // Destinations (Destinations.cpp).
    bool openDestination(DestinationWord word, std::string_view w);
    void openKept(bool info, std::string_view w);
    bool opensGroup(std::string_view w) const;
    void skip(Dropped what);
    void closeDestination(Dest dest, qsizetype start, size_t depth);
    void destinationText(char c);
    void fontWord(int what, const Word& w);
    void colourWord(int what, const Word& w);
    void commitFont();
    void keepSetting(const Word& w);
    void keep();

    // Words of document text (Formatting.cpp).
    void tableWord(int what, const Word& w);
    void textWord(int what, const Word& w);
    void documentWord(int what, const Word& w);
    void characterWord(int what, const Word& w);
    void paragraphWord(int what, const Word& w);
    int paragraphDepth() const;
    void endCell();
    void endRow(int depth);
    QTextCharFormat charFormat(const CharState& ch) const;
    void applyParagraph();

    // Text into the document (RtfReader.cpp).
    void unicode(int value);
    void text(char16_t c);
    int codePageOf(int font) const;
    void decodeBytes();
    void flush();
    void flushAt(int depth);
    void paragraph();
    void finishPicture();

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
    QByteArray bytes_;
    QString pending_;
    bool lastWasParagraphEnd_ = false;
    TableBuilder tables_;
    ListBuilder lists_;
    PictureReader picture_;
    QString fieldInstruction_;
    // Kept as they came.
    QByteArray keptSettings_, keptInfo_, keptHeaders_;
    std::set<std::string, std::less<>> settingsSeen_;
    bool keptIsInfo_ = false;
    bool dropped_[Kinds] = {};
};

} // namespace lumorra::rtf
