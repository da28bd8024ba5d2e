#include "RtfReader.h"

#include "CodePage.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cctype>

namespace lumorra::rtf {
namespace {

const char* const DroppedWords[Kinds] = {
    "footnotes",        "comments",           "shapes", "fields", "section layout",
    "embedded objects", "headers and footers"};

} // namespace

ReadReport Reader::run() {
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
    if (!tables_.betweenCells())
        applyParagraph();
    tables_.closeAll();
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

void Reader::openGroup() {
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

void Reader::closeGroup() {
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
    const size_t depth = stack_.size();
    if (depth == 2) {
        // The document's group: its last paragraph, which may have no mark, keeps its
        // properties.
        stack_[0].para = stack_[1].para;
        stack_[0].chars = stack_[1].chars;
    }
    stack_.pop_back();
    groupStart_.pop_back();
    closeDestination(dest, start, depth);
}

// Whether what comes now is the fallback of a Unicode character (\uN), which is skipped.
bool Reader::fallback() {
    if (skipFallback_ <= 0)
        return false;
    --skipFallback_;
    return true;
}

void Reader::character(char c) {
    if (fallback())
        return;
    if (state().dest != Dest::Text)
        destinationText(c);
    else if (!state().chars.hidden)
        bytes_ += c;
}

void Reader::controlWord() {
    if (pos_ >= data_.size())
        return;
    const char first = data_[pos_];
    if (!std::isalpha(static_cast<unsigned char>(first))) {
        ++pos_;
        controlSymbol(first);
        return;
    }
    const qsizetype start = pos_;
    while (pos_ < data_.size() && std::isalpha(static_cast<unsigned char>(data_[pos_])) &&
           pos_ - start < 32)
        ++pos_;
    const std::string_view word(data_.constData() + start, static_cast<size_t>(pos_ - start));
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
    if (fallback() || ignoresWords())
        return;
    handleWord(word, hasParam, static_cast<int>(param), star);
}

void Reader::controlSymbol(char c) {
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
        if (fallback() || byte < 0)
            return;
        if (state().dest == Dest::Text && !state().chars.hidden)
            bytes_ += static_cast<char>(byte);
        else if (state().dest == Dest::FontTable)
            fontName_ += static_cast<char>(byte);
        else if (state().dest == Dest::LevelText || state().dest == Dest::FieldInstruction)
            character(static_cast<char>(byte));
        return;
    }
    if (fallback() || ignoresWords())
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

void Reader::binary(long long count) {
    count = std::clamp<long long>(count, 0, data_.size() - pos_);
    if (state().dest == Dest::Picture)
        picture_.binary(data_.mid(pos_, count));
    pos_ += count;
}

void Reader::unicode(int value) {
    decodeBytes();
    const char16_t c = codeUnit(value);
    if (c != 0 && state().dest == Dest::Text && !state().chars.hidden)
        pending_ += QChar(c);
    skipFallback_ = state().uc;
}

void Reader::text(char16_t c) {
    if (state().dest != Dest::Text || state().chars.hidden)
        return;
    decodeBytes();
    pending_ += QChar(c);
}

int Reader::codePageOf(int font) const {
    auto it = fonts_.find(font < 0 ? defaultFont_ : font);
    if (it != fonts_.end()) {
        if (const int cp = charsetCodePage(it->second.charset))
            return cp;
    }
    return codePage_;
}

void Reader::decodeBytes() {
    if (bytes_.isEmpty())
        return;
    pending_ += decodeCodePage(bytes_, codePageOf(state().chars.font));
    bytes_.clear();
}

// Inserts the text gathered under the current character state.
void Reader::flush() {
    decodeBytes();
    if (pending_.isEmpty())
        return;
    flushAt(paragraphDepth());
}

void Reader::flushAt(int depth) {
    decodeBytes();
    tables_.enter(depth);
    if (pending_.isEmpty())
        return;
    cursor_.insertText(pending_, charFormat(state().chars));
    pending_.clear();
    lastWasParagraphEnd_ = false;
}

void Reader::paragraph() {
    if (state().dest != Dest::Text)
        return;
    flushAt(paragraphDepth());
    applyParagraph();
    cursor_.insertBlock();
    lastWasParagraphEnd_ = true;
}

void Reader::finishPicture() {
    const ReadPicture picture = picture_.finish();
    if (picture.image.isNull())
        return; // pictures of other kinds, and broken ones, are skipped
    flushAt(paragraphDepth());
    PictureReader::insert(cursor_, picture);
    lastWasParagraphEnd_ = false;
}

ReadReport read(picture::DecoderPool& pool, const QByteArray& data, QTextDocument& document) {
    return Reader(pool, data, document).run();
}

bool isRtf(const QByteArray& data) {
    qsizetype i = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < data.size() && std::isspace(static_cast<unsigned char>(data[i])))
        ++i;
    return data.mid(i, 5) == "{\\rtf";
}

} // namespace lumorra::rtf
