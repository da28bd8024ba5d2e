// Words of document text: the formatting of characters and paragraphs, the document's
// settings, and the marks of cells and rows; the formats the text goes into the document with.

#include "RtfReader.h"

#include <QTextBlock>
#include <QTextList>

#include <algorithm>

namespace lumorra::rtf {

void Reader::tableWord(int what, const Word& w) {
    GroupState& s = state();
    switch (static_cast<TableWord>(what)) {
    case TableWord::InTable:
        s.para.inTable = true;
        break;
    case TableWord::Depth:
        s.para.tableDepth = std::max(0, w.p);
        break;
    case TableWord::Cell:
    case TableWord::NestedCell:
        endCell();
        break;
    case TableWord::Row:
        endRow(1);
        break;
    case TableWord::NestedRow:
        endRow(std::max(2, paragraphDepth()));
        break;
    case TableWord::RowStart:
        tables_.startRow(s.nestProps ? std::max(2, paragraphDepth()) : 1);
        break;
    }
}

void Reader::textWord(int what, const Word& w) {
    switch (static_cast<TextWord>(what)) {
    case TextWord::Section:
        dropped_[Sections] = true;
        [[fallthrough]];
    case TextWord::Paragraph:
        paragraph();
        break;
    case TextWord::Columns:
        if (w.p > 1)
            dropped_[Sections] = true;
        break;
    case TextWord::Unicode:
        if (w.hasParam)
            unicode(w.p);
        break;
    }
}

void Reader::documentWord(int what, const Word& w) {
    // The code pages \ansi, \mac, \pc and \pca name.
    static constexpr int CodePages[] = {1252, 10000, 437, 850};
    static_assert(std::size(CodePages) ==
                  static_cast<int>(DocumentWord::Pca) - static_cast<int>(DocumentWord::Ansi) + 1);
    switch (static_cast<DocumentWord>(what)) {
    case DocumentWord::CodePage:
        codePage_ = w.p;
        break;
    case DocumentWord::DefaultFont:
        defaultFont_ = w.p;
        break;
    case DocumentWord::UnicodeSkip:
        state().uc = std::clamp(w.p, 0, 10);
        break;
    case DocumentWord::Layout:
        keepSetting(w);
        break;
    default:
        codePage_ = CodePages[what - static_cast<int>(DocumentWord::Ansi)];
        break;
    }
}

void Reader::characterWord(int what, const Word& w) {
    // What \b, \i, \ul (and the other underlines), \strike and \v switch; where \super, \sub
    // and \nosupersub put the text.
    static constexpr bool CharState::*Switched[] = {&CharState::bold, &CharState::italic,
                                                    &CharState::underline, &CharState::strike,
                                                    &CharState::hidden};
    static constexpr int Positions[] = {1, -1, 0};
    static_assert(std::size(Switched) == static_cast<int>(CharacterWord::Superscript) -
                                             static_cast<int>(CharacterWord::Bold));
    CharState& ch = state().chars;
    // A change of format ends the text gathered in the format before.
    const auto set = [&](auto& field, auto value) {
        if (field != value) {
            flush();
            field = value;
        }
    };
    const auto word = static_cast<CharacterWord>(what);
    switch (word) {
    case CharacterWord::Plain: {
        flush();
        const QString href = ch.href;
        ch = CharState{};
        ch.href = href; // the link's text goes on being the link's
        return;
    }
    case CharacterWord::Font:
        flush();
        ch.font = w.p;
        return;
    case CharacterWord::Size:
        set(ch.halfPoints, w.hasParam && w.p > 0 ? std::min(w.p, 3276) : 24);
        return;
    case CharacterWord::Foreground:
    case CharacterWord::Background:
        set(word == CharacterWord::Foreground ? ch.foreground : ch.background, w.p);
        return;
    case CharacterWord::NoUnderline:
        set(ch.underline, false);
        return;
    default:
        break;
    }
    if (word >= CharacterWord::Superscript)
        set(ch.vertical, Positions[what - static_cast<int>(CharacterWord::Superscript)]);
    else
        set(ch.*Switched[what - static_cast<int>(CharacterWord::Bold)], !w.hasParam || w.p != 0);
}

void Reader::paragraphWord(int what, const Word& w) {
    // The alignments \ql, \qc, \qr and \qj give; the numbers \li, \ri, \fi, \ls, \sb and \sa.
    static constexpr Qt::AlignmentFlag Alignments[] = {Qt::AlignLeft, Qt::AlignHCenter,
                                                       Qt::AlignRight, Qt::AlignJustify};
    static constexpr int ParaState::*Numbers[] = {&ParaState::left,   &ParaState::right,
                                                  &ParaState::first,  &ParaState::list,
                                                  &ParaState::before, &ParaState::after};
    static_assert(std::size(Numbers) == static_cast<int>(ParagraphWord::After) -
                                            static_cast<int>(ParagraphWord::LeftIndent) + 1);
    ParaState& para = state().para;
    const auto word = static_cast<ParagraphWord>(what);
    if (word == ParagraphWord::Defaults)
        para = ParaState{};
    else if (word <= ParagraphWord::Justify)
        para.alignment = Alignments[what - static_cast<int>(ParagraphWord::Left)];
    else if (word == ParagraphWord::ListLevel)
        para.listLevel = std::clamp(w.p, 0, 8);
    else // spacing before and after is never less than none
        para.*Numbers[what - static_cast<int>(ParagraphWord::LeftIndent)] =
            word >= ParagraphWord::Before ? std::max(0, w.p) : w.p;
}

// How deep in tables the current paragraph stands.
int Reader::paragraphDepth() const {
    const ParaState& p = stack_.back().para;
    const int depth = std::max(p.tableDepth, p.inTable ? 1 : 0);
    return std::min(depth, MaxTableDepth);
}

void Reader::endCell() {
    const int depth = paragraphDepth();
    if (depth == 0) {
        text(u'\t'); // a cell mark outside a table
        return;
    }
    flushAt(depth);
    applyParagraph();
    tables_.endCell();
    lastWasParagraphEnd_ = false;
}

void Reader::endRow(int depth) {
    flush(); // which may open or close tables
    depth = std::min(depth, tables_.depth());
    if (depth == 0) {
        paragraph(); // a row mark outside a table
        return;
    }
    tables_.endRow(depth);
    lastWasParagraphEnd_ = false;
}

QTextCharFormat Reader::charFormat(const CharState& ch) const {
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

void Reader::applyParagraph() {
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
        if (QTextList* list = lists_.listFor(p, cursor_); list && !cursor_.currentList())
            list->add(cursor_.block());
    } else {
        lists_.endPnLists();
    }
}

} // namespace lumorra::rtf
