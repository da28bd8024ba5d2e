#include "ControlWords.h"

#include "RtfReader.h"

#include <algorithm>
#include <iterator>

namespace lumorra::rtf {
namespace {

// The part each enumeration of words belongs to.
template <typename Word> constexpr Part PartOf = Part::None;
template <> constexpr Part PartOf<DestinationWord> = Part::Destination;
template <> constexpr Part PartOf<FontWord> = Part::Font;
template <> constexpr Part PartOf<ColourWord> = Part::Colour;
template <> constexpr Part PartOf<PictureWord> = Part::Picture;
template <> constexpr Part PartOf<ListWord> = Part::List;
template <> constexpr Part PartOf<OverrideWord> = Part::Override;
template <> constexpr Part PartOf<PnWord> = Part::Pn;
template <> constexpr Part PartOf<TableWord> = Part::Table;
template <> constexpr Part PartOf<RowWord> = Part::Row;
template <> constexpr Part PartOf<TextWord> = Part::Text;
template <> constexpr Part PartOf<SymbolWord> = Part::Symbol;
template <> constexpr Part PartOf<DocumentWord> = Part::Document;
template <> constexpr Part PartOf<CharacterWord> = Part::Character;
template <> constexpr Part PartOf<ParagraphWord> = Part::Paragraph;

// A word with one meaning.
template <typename Word> constexpr std::array<Meaning, 3> means(Word word) {
    static_assert(PartOf<Word> != Part::None);
    return {Meaning{PartOf<Word>, static_cast<int>(word)}};
}

// The words that mean something to more than one part.
enum class Shared {
    Font,    // \f: a font's number in the font table, the text's font elsewhere
    ListId,  // \listid: a list's in the list table, the list an override numbers
    List,    // \ls: an override's number, the list a paragraph is in
    Unicode, // \u: a character in a level's text, a field's instruction and document text
};
constexpr std::array<Meaning, 3> means(Shared word) {
    const auto of = [](auto w) { return means(w)[0]; };
    switch (word) {
    case Shared::Font:
        return {of(FontWord::Number), of(CharacterWord::Font)};
    case Shared::ListId:
        return {of(ListWord::ListId), of(OverrideWord::ListId)};
    case Shared::List:
        return {of(OverrideWord::Number), of(ParagraphWord::List)};
    case Shared::Unicode:
        return {of(ListWord::Unicode), Meaning{Part::Field, 0}, of(TextWord::Unicode)};
    }
    return {};
}

using D = DestinationWord;
using F = FontWord;
using C = ColourWord;
using P = PictureWord;
using L = ListWord;
using O = OverrideWord;
using N = PnWord;
using T = TableWord;
using R = RowWord;
using X = TextWord;
using Doc = DocumentWord;
using Ch = CharacterWord;
using Pa = ParagraphWord;
using Sym = SymbolWord;

// The words, in the order of their names. Unknown destinations marked with \* are skipped too.
constexpr ControlWord Words[] = {
    {"aftncn", means(D::Skipped)},
    {"aftnsep", means(D::Skipped)},
    {"aftnsepc", means(D::Skipped)},
    {"annotation", means(D::Comment)},
    {"ansi", means(Doc::Ansi)},
    {"ansicpg", means(Doc::CodePage)},
    {"atnauthor", means(D::Comment)},
    {"atnid", means(D::Comment)},
    {"atrfstart", means(D::Comment)},
    {"author", means(D::Skipped)},
    {"b", means(Ch::Bold)},
    {"background", means(D::Skipped)},
    {"bkmkend", means(D::Skipped)},
    {"bkmkstart", means(D::Skipped)},
    {"blipuid", means(D::Skipped)},
    {"blue", means(C::Blue)},
    {"brdrb", means(R::OtherBorder)},
    {"brdrbar", means(R::OtherBorder)},
    {"brdrbox", means(R::OtherBorder)},
    {"brdrbtw", means(R::OtherBorder)},
    {"brdrcf", means(R::BorderColour)},
    {"brdrl", means(R::OtherBorder)},
    {"brdrnone", means(R::NoBorder)},
    {"brdrr", means(R::OtherBorder)},
    {"brdrt", means(R::OtherBorder)},
    {"brdrw", means(R::BorderWidth)},
    {"bullet", means(Sym::Bullet)},
    {"buptim", means(D::Skipped)},
    {"category", means(D::Skipped)},
    {"cb", means(Ch::Background)},
    {"cell", means(T::Cell)},
    {"cellx", means(R::CellEdge)},
    {"cf", means(Ch::Foreground)},
    {"chcbpat", means(Ch::Background)},
    {"clbrdrb", means(R::BorderBottom)},
    {"clbrdrl", means(R::BorderLeft)},
    {"clbrdrr", means(R::BorderRight)},
    {"clbrdrt", means(R::BorderTop)},
    {"clcbpat", means(R::Shading)},
    {"clmgf", means(R::MergeFirst)},
    {"clmrg", means(R::Merged)},
    {"clvertalb", means(R::AlignBottom)},
    {"clvertalc", means(R::AlignCentre)},
    {"clvertalt", means(R::AlignTop)},
    {"clvmgf", means(R::VerticalFirst)},
    {"clvmrg", means(R::VerticalMerged)},
    {"colorschememapping", means(D::Skipped)},
    {"colortbl", means(D::ColourTable)},
    {"cols", means(X::Columns)},
    {"comment", means(D::Skipped)},
    {"company", means(D::Skipped)},
    {"creatim", means(D::Skipped)},
    {"datafield", means(D::Skipped)},
    {"datastore", means(D::Skipped)},
    {"deff", means(Doc::DefaultFont)},
    {"dibitmap", means(P::Dib)},
    {"do", means(D::Shape)},
    {"doccomm", means(D::Skipped)},
    {"docinfo", means(D::Skipped)},
    {"docvar", means(D::Skipped)},
    {"emdash", means(Sym::EmDash)},
    {"emfblip", means(P::Emf)},
    {"emspace", means(Sym::EmSpace)},
    {"endash", means(Sym::EnDash)},
    {"enspace", means(Sym::EnSpace)},
    {"f", means(Shared::Font)},
    {"facingp", means(Doc::Layout)},
    {"factoidname", means(D::Skipped)},
    {"falt", means(D::Skipped)},
    {"fchars", means(D::Skipped)},
    {"fcharset", means(F::Charset)},
    {"fdecor", means(F::Decor)},
    {"fi", means(Pa::FirstIndent)},
    {"filetbl", means(D::Skipped)},
    {"fldinst", means(D::FieldInstruction)},
    {"fmodern", means(F::Modern)},
    {"fontemb", means(D::Skipped)},
    {"fontfile", means(D::Skipped)},
    {"fonttbl", means(D::FontTable)},
    {"footer", means(D::Kept)},
    {"footerf", means(D::Kept)},
    {"footerl", means(D::Kept)},
    {"footerr", means(D::Kept)},
    {"footery", means(Doc::Layout)},
    {"footnote", means(D::Footnote)},
    {"formfield", means(D::Skipped)},
    {"froman", means(F::Roman)},
    {"fs", means(Ch::Size)},
    {"fscript", means(F::Script)},
    {"fswiss", means(F::Swiss)},
    {"ftncn", means(D::Skipped)},
    {"ftnsep", means(D::Skipped)},
    {"ftnsepc", means(D::Skipped)},
    {"generator", means(D::Skipped)},
    {"green", means(C::Green)},
    {"gutter", means(Doc::Layout)},
    {"gutterdoc", means(Doc::Layout)},
    {"header", means(D::Kept)},
    {"headerf", means(D::Kept)},
    {"headerl", means(D::Kept)},
    {"headerr", means(D::Kept)},
    {"headery", means(Doc::Layout)},
    {"highlight", means(Ch::Background)},
    {"hlinkbase", means(D::Skipped)},
    {"htmltag", means(D::Skipped)},
    {"i", means(Ch::Italic)},
    {"ilvl", means(Pa::ListLevel)},
    {"info", means(D::Info)},
    {"intbl", means(T::InTable)},
    {"itap", means(T::Depth)},
    {"jpegblip", means(P::Jpeg)},
    {"keywords", means(D::Skipped)},
    {"landscape", means(Doc::Layout)},
    {"latentstyles", means(D::Skipped)},
    {"lchars", means(D::Skipped)},
    {"ldblquote", means(Sym::LeftDoubleQuote)},
    {"levelnfc", means(L::LevelFormat)},
    {"levelnfcn", means(L::LevelFormat)},
    {"levelnumbers", means(D::Skipped)},
    {"leveltext", means(D::LevelText)},
    {"li", means(Pa::LeftIndent)},
    {"lin", means(Pa::LeftIndent)},
    {"line", means(Sym::Line)},
    {"list", means(L::List)},
    {"listid", means(Shared::ListId)},
    {"listlevel", means(L::Level)},
    {"listname", means(D::Skipped)},
    {"listoverride", means(O::Override)},
    {"listoverridetable", means(D::ListOverrides)},
    {"listpicture", means(D::Skipped)},
    {"liststylename", means(D::Skipped)},
    {"listtable", means(D::ListTable)},
    {"listtext", means(D::Skipped)},
    {"lndscpsxn", means(Doc::Layout)},
    {"lquote", means(Sym::LeftQuote)},
    {"ls", means(Shared::List)},
    {"ltrmark", means(Sym::LeftToRightMark)},
    {"mac", means(Doc::Mac)},
    {"macpict", means(P::MacPict)},
    {"manager", means(D::Skipped)},
    {"margb", means(Doc::Layout)},
    {"margbsxn", means(Doc::Layout)},
    {"margl", means(Doc::Layout)},
    {"marglsxn", means(Doc::Layout)},
    {"margmirror", means(Doc::Layout)},
    {"margr", means(Doc::Layout)},
    {"margrsxn", means(Doc::Layout)},
    {"margt", means(Doc::Layout)},
    {"margtsxn", means(Doc::Layout)},
    {"mhtmltag", means(D::Skipped)},
    {"mmathPr", means(D::Skipped)},
    {"nestcell", means(T::NestedCell)},
    {"nestrow", means(T::NestedRow)},
    {"nesttableprops", means(D::NestedRow)},
    {"nonesttables", means(D::Skipped)},
    {"nonshppict", means(D::Skipped)},
    {"nosupersub", means(Ch::NoSuperSub)},
    {"objclass", means(D::Skipped)},
    {"objdata", means(D::Skipped)},
    {"object", means(D::Object)},
    {"objname", means(D::Skipped)},
    {"operator", means(D::Skipped)},
    {"panose", means(D::Skipped)},
    {"paperh", means(Doc::Layout)},
    {"paperw", means(Doc::Layout)},
    {"par", means(X::Paragraph)},
    {"pard", means(Pa::Defaults)},
    {"password", means(D::Skipped)},
    {"passwordhash", means(D::Skipped)},
    {"pc", means(Doc::Pc)},
    {"pca", means(Doc::Pca)},
    {"pgdsctbl", means(D::Skipped)},
    {"pghsxn", means(Doc::Layout)},
    {"pgptbl", means(D::Skipped)},
    {"pgwsxn", means(Doc::Layout)},
    {"picbpp", means(P::BitsPerPixel)},
    {"pich", means(P::Height)},
    {"pichgoal", means(P::GoalHeight)},
    {"picprop", means(D::Skipped)},
    {"picscalex", means(P::ScaleX)},
    {"picscaley", means(P::ScaleY)},
    {"pict", means(D::Picture)},
    {"picw", means(P::Width)},
    {"picwgoal", means(P::GoalWidth)},
    {"plain", means(Ch::Plain)},
    {"pmmetafile", means(P::PmMetafile)},
    {"pn", means(D::Pn)},
    {"pncard", means(N::Decimal)},
    {"pndec", means(N::Decimal)},
    {"pngblip", means(P::Png)},
    {"pnlcltr", means(N::LowerAlpha)},
    {"pnlcrm", means(N::LowerRoman)},
    {"pnlvl", means(N::Level)},
    {"pnlvlblt", means(N::Bullet)},
    {"pnlvlbody", means(N::Body)},
    {"pnlvlcont", means(N::Continue)},
    {"pnord", means(N::Decimal)},
    {"pnordt", means(N::Decimal)},
    {"pnseclvl", means(D::Skipped)},
    {"pntext", means(D::Skipped)},
    {"pntxta", means(D::Skipped)},
    {"pntxtb", means(D::Skipped)},
    {"pnucltr", means(N::UpperAlpha)},
    {"pnucrm", means(N::UpperRoman)},
    {"printim", means(D::Skipped)},
    {"private", means(D::Skipped)},
    {"protusertbl", means(D::Skipped)},
    {"qc", means(Pa::Centre)},
    {"qd", means(Pa::Justify)},
    {"qj", means(Pa::Justify)},
    {"ql", means(Pa::Left)},
    {"qmspace", means(Sym::QuarterEmSpace)},
    {"qr", means(Pa::Right)},
    {"rdblquote", means(Sym::RightDoubleQuote)},
    {"red", means(C::Red)},
    {"revtbl", means(D::Skipped)},
    {"revtim", means(D::Skipped)},
    {"ri", means(Pa::RightIndent)},
    {"rin", means(Pa::RightIndent)},
    {"row", means(T::Row)},
    {"rquote", means(Sym::RightQuote)},
    {"rsidtbl", means(D::Skipped)},
    {"rtlmark", means(Sym::RightToLeftMark)},
    {"sa", means(Pa::After)},
    {"sb", means(Pa::Before)},
    {"sect", means(X::Section)},
    {"shp", means(D::Shape)},
    {"shpgrp", means(D::Shape)},
    {"shpinst", means(D::Skipped)},
    {"shppict", means(D::ShapePicture)},
    {"sn", means(D::Skipped)},
    {"sp", means(D::Skipped)},
    {"strike", means(Ch::Strike)},
    {"striked", means(Ch::Strike)},
    {"stylesheet", means(D::Skipped)},
    {"sub", means(Ch::Subscript)},
    {"subject", means(D::Skipped)},
    {"super", means(Ch::Superscript)},
    {"sv", means(D::Skipped)},
    {"tab", means(Sym::Tab)},
    {"tc", means(D::Skipped)},
    {"template", means(D::Skipped)},
    {"themedata", means(D::Skipped)},
    {"title", means(D::Skipped)},
    {"titlepg", means(Doc::Layout)},
    {"trgaph", means(R::Gap)},
    {"trleft", means(R::Left)},
    {"trowd", means(T::RowStart)},
    {"txe", means(D::Skipped)},
    {"u", means(Shared::Unicode)},
    {"uc", means(Doc::UnicodeSkip)},
    {"ud", means(D::Skipped)},
    {"ul", means(Ch::Underline)},
    {"uld", means(Ch::Underline)},
    {"uldash", means(Ch::Underline)},
    {"uldashd", means(Ch::Underline)},
    {"uldashdd", means(Ch::Underline)},
    {"uldb", means(Ch::Underline)},
    {"ulhwave", means(Ch::Underline)},
    {"ulldash", means(Ch::Underline)},
    {"ulnone", means(Ch::NoUnderline)},
    {"ulth", means(Ch::Underline)},
    {"ulthd", means(Ch::Underline)},
    {"ulthdash", means(Ch::Underline)},
    {"ulthdashd", means(Ch::Underline)},
    {"ulthdashdd", means(Ch::Underline)},
    {"ulthldash", means(Ch::Underline)},
    {"ululdbwave", means(Ch::Underline)},
    {"ulw", means(Ch::Underline)},
    {"ulwave", means(Ch::Underline)},
    {"upr", means(D::Skipped)},
    {"userprops", means(D::Skipped)},
    {"v", means(Ch::Hidden)},
    {"wbitmap", means(P::Wbitmap)},
    {"wbmbitspixel", means(P::BitsPerPixel)},
    {"wbmwidthbytes", means(P::WidthBytes)},
    {"wgrffmtfilter", means(D::Skipped)},
    {"wmetafile", means(P::Wmf)},
    {"xe", means(D::Skipped)},
    {"xmlnstbl", means(D::Skipped)},
    {"zwbo", means(Sym::ZeroWidthBreak)},
    {"zwj", means(Sym::ZeroWidthJoiner)},
    {"zwnj", means(Sym::ZeroWidthNonJoiner)},
};

constexpr bool wellFormed() {
    for (size_t i = 0; i < std::size(Words); ++i) {
        if (i > 0 && !(Words[i - 1].name < Words[i].name))
            return false;
        for (size_t a = 0; a < 3; ++a)
            for (size_t b = a + 1; b < 3; ++b)
                if (Words[i].meanings[a].part != Part::None &&
                    Words[i].meanings[a].part == Words[i].meanings[b].part)
                    return false;
    }
    return true;
}
static_assert(wellFormed(), "the words are in the order of their names, one meaning a part");

} // namespace

const ControlWord* findControlWord(std::string_view word) {
    const auto it =
        std::lower_bound(std::begin(Words), std::end(Words), word,
                         [](const ControlWord& w, std::string_view n) { return w.name < n; });
    return it != std::end(Words) && it->name == word ? &*it : nullptr;
}

// The part that acts on the words inside each destination, in the order of Dest (none for
// document text, whose words have parts of their own, and for skipped and kept groups).
constexpr Part Inside[] = {Part::None,    Part::None,  Part::Font, Part::Colour,
                           Part::Picture, Part::List,  Part::List, Part::Override,
                           Part::Pn,      Part::Field, Part::None};
static_assert(std::size(Inside) == static_cast<size_t>(Dest::Kept) + 1);

void Reader::handleWord(std::string_view name, bool hasParam, int p, bool star) {
    const ControlWord* word = findControlWord(name);
    const Meaning* opens = word ? word->find(Part::Destination) : nullptr;
    if (opens && openDestination(static_cast<D>(opens->what), name))
        return;
    if (star && !(opens && static_cast<D>(opens->what) == D::ShapePicture)) {
        // An optional destination this reader does not know.
        flush();
        state().dest = Dest::Skip;
        return;
    }
    const Dest dest = state().dest;
    const Meaning* m = !word                ? nullptr
                       : dest == Dest::Text ? word->inText()
                                            : word->find(Inside[static_cast<size_t>(dest)]);
    if (m)
        (this->*handlerOf(m->part))(m->what, Word{name, hasParam, p});
    else if (dest == Dest::Text && (name.starts_with("trbrdr") || name.starts_with("pgbrdr")))
        tables_.rowWord(R::OtherBorder, p); // a row's or a page's border, of sides of its own
    // Everything else (\s, \lang, \rtlch, \loch, \sl, section and document settings) is layout
    // this editor does not keep.
}

Reader::Handler Reader::handlerOf(Part part) {
    // In the order of Part; destinations are opened before their words are asked for.
    static constexpr Handler Handlers[] = {nullptr,
                                           nullptr,
                                           &Reader::fontWord,
                                           &Reader::colourWord,
                                           &Reader::pictureWord,
                                           &Reader::listWord,
                                           &Reader::overrideWord,
                                           &Reader::pnWord,
                                           &Reader::fieldWord,
                                           &Reader::tableWord,
                                           &Reader::rowWord,
                                           &Reader::textWord,
                                           &Reader::symbolWord,
                                           &Reader::documentWord,
                                           &Reader::characterWord,
                                           &Reader::paragraphWord};
    static_assert(std::size(Handlers) == static_cast<size_t>(Part::Paragraph) + 1);
    return Handlers[static_cast<size_t>(part)];
}

void Reader::pictureWord(int what, const Word& w) {
    picture_.word(static_cast<P>(what), w.p);
}

void Reader::listWord(int what, const Word& w) {
    if (static_cast<L>(what) != L::Unicode) {
        lists_.listWord(static_cast<L>(what), w.p, stack_.size());
    } else if (state().dest == Dest::LevelText) {
        lists_.addLevelText(QChar(codeUnit(w.p)));
        skipFallback_ = state().uc;
    }
}

void Reader::overrideWord(int what, const Word& w) {
    lists_.overrideWord(static_cast<O>(what), w.p);
}

void Reader::pnWord(int what, const Word& w) {
    lists_.pnWord(static_cast<N>(what), w.p);
}

// \u in a field's instruction.
void Reader::fieldWord(int, const Word& w) {
    if (w.hasParam && fieldInstruction_.size() < 4096) {
        fieldInstruction_ += QChar(codeUnit(w.p));
        skipFallback_ = state().uc;
    }
}

void Reader::rowWord(int what, const Word& w) {
    tables_.rowWord(static_cast<R>(what), w.p);
}

void Reader::symbolWord(int what, const Word&) {
    text(static_cast<char16_t>(what));
}

} // namespace lumorra::rtf
