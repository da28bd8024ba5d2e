#pragma once

#include "ReaderState.h"

#include <QPointer>
#include <QString>
#include <QTextList>

#include <map>
#include <utility>
#include <vector>

class QTextCursor;

namespace lumorra::rtf {

// The words of the list table (\listtable) and of its level texts.
enum class ListWord {
    List,        // \list: a list's definition, which ends with its group
    Level,       // \listlevel
    LevelFormat, // \levelnfc, \levelnfcn
    ListId,      // \listid
    Unicode      // \u, in a level's text
};
// The words of the list overrides (\listoverridetable), which number the lists.
enum class OverrideWord {
    Override, // \listoverride
    ListId,   // \listid: the list it numbers
    Number    // \ls: the number paragraphs give it
};
// The words of an old-style paragraph number (\pn).
enum class PnWord {
    Bullet,   // \pnlvlblt
    Body,     // \pnlvlbody
    Level,    // \pnlvlN
    Continue, // \pnlvlcont: no number of its own
    Decimal,  // \pndec, \pncard, \pnord, \pnordt
    UpperAlpha,
    LowerAlpha,
    UpperRoman,
    LowerRoman
};

// A document's lists: the definitions its list table gives, the numbers its overrides give them,
// old-style paragraph numbers, and the lists made of them as paragraphs join them.
class ListBuilder {
public:
    // A word of the list table; group is how deep its group stands (a list's definition ends
    // with the group of its \list).
    void listWord(ListWord word, int p, size_t group);
    void beginLevelText() { levelText_.clear(); }
    void addLevelText(QChar c) { levelText_ += c; }
    // The level text's group ended: the text is the last level's.
    void endLevelText();
    // A group ended, as deep as it stood.
    void endGroup(size_t group);
    void overrideWord(OverrideWord word, int p);

    // \pn: the words that follow describe a paragraph number.
    void beginPn();
    void pnWord(PnWord word, int p);
    const PnState& pn() const { return pn_; }

    // The list a paragraph with these properties joins, made at the cursor for the first
    // paragraph of its kind; none for a paragraph without a list, a number for which no list is
    // defined and a level without a number.
    QTextList* listFor(const ParaState& p, QTextCursor& cursor);
    // A paragraph without an old-style number: numbered paragraphs after it start new lists.
    void endPnLists() { pnLists_.clear(); }

private:
    // One level of a list definition (\listlevel).
    struct Level {
        int format = 0; // \levelnfc
        QString text;   // \leveltext
    };
    struct Definition {
        int id = 0;
        std::vector<Level> levels;
    };
    static QTextListFormat::Style styleOf(const Level& level);
    static QTextList* made(QPointer<QTextList>& list, QTextListFormat::Style style, int level,
                           QTextCursor& cursor);

    std::map<int, Definition> lists_; // by \listid
    std::map<int, int> overrides_;    // \ls to \listid
    Definition list_;
    size_t listGroup_ = 0;
    QString levelText_;
    int overrideList_ = -1, overrideNumber_ = -1;
    // The lists made so far: a table's end may move its cells' lists, which then go.
    std::map<std::pair<int, int>, QPointer<QTextList>> wordLists_;
    std::map<std::pair<int, int>, QPointer<QTextList>> pnLists_;
    PnState pn_;
};

} // namespace lumorra::rtf
