#include "ListBuilder.h"

#include <QTextCursor>

#include <algorithm>

namespace lumorra::rtf {

void ListBuilder::listWord(ListWord word, int p, size_t group) {
    switch (word) {
    case ListWord::List:
        list_ = Definition{};
        listGroup_ = group;
        break;
    case ListWord::Level:
        if (list_.levels.size() < 9)
            list_.levels.emplace_back();
        break;
    case ListWord::LevelFormat:
        if (!list_.levels.empty())
            list_.levels.back().format = p;
        break;
    case ListWord::ListId:
        list_.id = p;
        break;
    case ListWord::Unicode:
        break; // a character of the level's text, which the reader adds
    }
}

void ListBuilder::endLevelText() {
    if (!list_.levels.empty())
        list_.levels.back().text = levelText_;
}

void ListBuilder::endGroup(size_t group) {
    if (listGroup_ == group) {
        lists_[list_.id] = list_;
        listGroup_ = 0;
    }
}

void ListBuilder::overrideWord(OverrideWord word, int p) {
    if (word == OverrideWord::Override) {
        overrideList_ = overrideNumber_ = -1;
        return;
    }
    (word == OverrideWord::Number ? overrideNumber_ : overrideList_) = p;
    if (overrideList_ >= 0 && overrideNumber_ >= 0)
        overrides_[overrideNumber_] = overrideList_;
}

void ListBuilder::beginPn() {
    pn_ = PnState{};
    pn_.on = true;
}

void ListBuilder::pnWord(PnWord word, int p) {
    // The number styles \pndec to \pnlcrm name.
    static constexpr QTextListFormat::Style Styles[] = {
        QTextListFormat::ListDecimal, QTextListFormat::ListUpperAlpha,
        QTextListFormat::ListLowerAlpha, QTextListFormat::ListUpperRoman,
        QTextListFormat::ListLowerRoman};
    static_assert(std::size(Styles) ==
                  static_cast<int>(PnWord::LowerRoman) - static_cast<int>(PnWord::Decimal) + 1);
    if (word >= PnWord::Decimal) {
        pn_.style = Styles[static_cast<int>(word) - static_cast<int>(PnWord::Decimal)];
    } else if (word == PnWord::Level) {
        pn_.level = std::clamp(p - 1, 0, 8);
    } else if (word == PnWord::Continue) {
        pn_.on = false;
    } else { // a bullet, or a number, at the first level
        pn_.bullet = word == PnWord::Bullet;
        pn_.level = 0;
    }
}

QTextListFormat::Style ListBuilder::styleOf(const Level& level) {
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

// The list, made at the cursor when there is none yet.
QTextList* ListBuilder::made(QPointer<QTextList>& list, QTextListFormat::Style style, int level,
                             QTextCursor& cursor) {
    if (!list) {
        QTextListFormat f;
        f.setStyle(style);
        f.setIndent(level + 1);
        list = cursor.createList(f);
    }
    return list;
}

QTextList* ListBuilder::listFor(const ParaState& p, QTextCursor& cursor) {
    if (p.list > 0) {
        const auto over = overrides_.find(p.list);
        if (over == overrides_.end())
            return nullptr; // an override without a list
        const auto def = lists_.find(over->second);
        Level level;
        if (def != lists_.end() && !def->second.levels.empty())
            level =
                def->second.levels[std::min<size_t>(p.listLevel, def->second.levels.size() - 1)];
        if (level.format == 255)
            return nullptr; // a level without a number
        return made(wordLists_[{p.list, p.listLevel}], styleOf(level), p.listLevel, cursor);
    }
    if (!p.pn.on) {
        pnLists_.clear();
        return nullptr;
    }
    const QTextListFormat::Style style = p.pn.bullet ? QTextListFormat::ListDisc : p.pn.style;
    return made(pnLists_[{static_cast<int>(style), p.pn.level}], style, p.pn.level, cursor);
}

} // namespace lumorra::rtf
