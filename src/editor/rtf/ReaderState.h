#pragma once

#include <QFont>
#include <QString>
#include <QTextListFormat>

// The state the RTF reader keeps for each group, and what its parts share.
namespace lumorra::rtf {

// Twips in a pixel at 96 pixels an inch.
inline constexpr double TwipsPerPixel = 15.0;

// The UTF-16 code unit of \uN: N, negative for units past 32767.
inline char16_t codeUnit(int n) {
    return static_cast<char16_t>(n < 0 ? n + 65536 : n);
}

// What a read may drop, in the order a question names it.
enum Dropped { Footnotes, Comments, Shapes, Fields, Sections, Objects, HeadersAndFooters, Kinds };

// Where the text and the words of a group go.
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

} // namespace lumorra::rtf
