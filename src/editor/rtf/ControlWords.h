#pragma once

#include <array>
#include <string_view>

// The control words the RTF reader knows: for each, what it means to each part of the reader
// that acts on it, looked up once a word.
namespace lumorra::rtf {

// The parts of the reader that act on control words, in the order the reader asks them.
enum class Part : unsigned char {
    None,
    // Whatever the group's destination (but a skipped one or one kept as it came): a word that
    // opens a destination, or marks what the read drops (DestinationWord).
    Destination,
    // Inside a destination of their own: the font table (FontWord), the colour table
    // (ColourWord), a picture (PictureWord), the list table (ListWord), the list overrides
    // (OverrideWord), an old-style paragraph number (PnWord) and a field's instruction (\u).
    Font,
    Colour,
    Picture,
    List,
    Override,
    Pn,
    Field,
    // In document text: row marks and the paragraph's place in tables (TableWord); row and
    // cell properties (RowWord); paragraph marks and Unicode characters (TextWord); characters
    // words stand for (SymbolWord); the document's settings (DocumentWord); character
    // formatting (CharacterWord); paragraph formatting (ParagraphWord).
    Table,
    Row,
    Text,
    Symbol,
    Document,
    Character,
    Paragraph
};

enum class DestinationWord {
    FontTable,
    ColourTable,
    Picture,
    Kept, // a header or footer, kept as it came at the document's level
    Info, // the document's information, kept as it came at the document's level
    ListTable,
    ListOverrides,
    LevelText,        // in the list table
    Pn,               // in document text
    FieldInstruction, // in document text
    NestedRow,        // \nesttableprops: the row words in it are a nested table's
    Footnote,         // skipped, and dropped
    Comment,          // skipped, and dropped
    Shape,            // dropped; its picture or text, where it has one, is read
    Object,           // dropped; its result is read
    Skipped,          // content that is not document text
    ShapePicture      // \shppict: read although marked optional (\*)
};
enum class FontWord { Number, Charset, Roman, Swiss, Modern, Script, Decor };
enum class ColourWord { Red, Green, Blue };
enum class TableWord { InTable, Depth, Cell, NestedCell, Row, NestedRow, RowStart };
enum class TextWord { Paragraph, Section, Columns, Unicode };
// \line, \tab, \emdash and the like: each the character it stands for.
enum class SymbolWord : char16_t {
    Line = 0x2028,
    Tab = u'\t',
    EmDash = 0x2014,
    EnDash = 0x2013,
    Bullet = 0x2022,
    LeftQuote = 0x2018,
    RightQuote = 0x2019,
    LeftDoubleQuote = 0x201C,
    RightDoubleQuote = 0x201D,
    EmSpace = 0x2003,
    EnSpace = 0x2002,
    QuarterEmSpace = 0x2005,
    ZeroWidthJoiner = 0x200D,
    ZeroWidthNonJoiner = 0x200C,
    LeftToRightMark = 0x200E,
    RightToLeftMark = 0x200F,
    ZeroWidthBreak = 0x200B
};
enum class DocumentWord {
    CodePage,
    DefaultFont,
    UnicodeSkip,
    Layout, // page and section layout, kept as it came where it stands at the document's level
    Ansi,
    Mac,
    Pc,
    Pca
};
enum class CharacterWord {
    Plain,
    Font,
    Size,
    Foreground,
    Background,
    NoUnderline,
    // Switched on, or off with a 0.
    Bold,
    Italic,
    Underline,
    Strike,
    Hidden,
    // The text's position.
    Superscript,
    Subscript,
    NoSuperSub
};
enum class ParagraphWord {
    Defaults,
    Left,
    Centre,
    Right,
    Justify,
    ListLevel,
    // Numbers (twips, or the list's number).
    LeftIndent,
    RightIndent,
    FirstIndent,
    List,
    Before,
    After
};

// A part's meaning of a word: which of the part's words it is.
struct Meaning {
    Part part = Part::None;
    int what = 0;
};

// A word and all it means: one meaning a part at the most.
struct ControlWord {
    std::string_view name;
    std::array<Meaning, 3> meanings;
    // The part's meaning, or null for none.
    const Meaning* find(Part part) const {
        for (const Meaning& m : meanings) {
            if (m.part == part && part != Part::None)
                return &m;
        }
        return nullptr;
    }
    // The meaning in document text (Part::Table and after), or null for none.
    const Meaning* inText() const {
        for (const Meaning& m : meanings) {
            if (m.part >= Part::Table)
                return &m;
        }
        return nullptr;
    }
};

// The word, or null for a word the reader does not know.
const ControlWord* findControlWord(std::string_view word);

} // namespace lumorra::rtf
