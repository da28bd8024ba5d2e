// The destinations of RTF groups: what opens them, what their text and words are (fonts,
// colours, field instructions, pictures, list definitions), what their end does, and the groups
// and settings kept as they came.

#include "CodePage.h"
#include "RtfReader.h"

#include <QTextDocument>
#include <QTextFrame>

#include <algorithm>
#include <cctype>

namespace lumorra::rtf {
namespace {

// The link target of a field instruction, or empty when it is no link.
QString hyperlinkTarget(const QString& instruction) {
    QString rest = instruction.trimmed();
    if (!rest.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
        return QString();
    rest = rest.mid(9).trimmed();
    QString target, anchor;
    const auto argument = [&]() {
        QString value;
        if (rest.startsWith(QLatin1Char('"'))) {
            const qsizetype end = rest.indexOf(QLatin1Char('"'), 1);
            value = rest.mid(1, end < 0 ? -1 : end - 1);
            rest = end < 0 ? QString() : rest.mid(end + 1).trimmed();
        } else {
            const qsizetype end = rest.indexOf(QLatin1Char(' '));
            value = rest.left(end);
            rest = end < 0 ? QString() : rest.mid(end + 1).trimmed();
        }
        return value;
    };
    while (!rest.isEmpty()) {
        if (rest.startsWith(QLatin1Char('\\'))) {
            const QChar option = rest.size() > 1 ? rest[1].toLower() : QChar();
            rest = rest.mid(2).trimmed();
            if (option == QLatin1Char('l'))
                anchor = argument();
            else if (option == QLatin1Char('o') || option == QLatin1Char('t'))
                argument();
        } else if (target.isEmpty()) {
            target = argument();
        } else {
            argument();
        }
    }
    if (!anchor.isEmpty())
        target += QLatin1Char('#') + anchor;
    return target;
}

} // namespace

// Whether the word opens the destination it names here, and is done with; a word that does
// not goes on to what it means in the destination the group is in.
bool Reader::openDestination(DestinationWord word, std::string_view w) {
    GroupState& s = state();
    switch (word) {
    case DestinationWord::FontTable:
        flush();
        s.dest = Dest::FontTable;
        return true;
    case DestinationWord::ColourTable:
        s.dest = Dest::ColorTable;
        colorSet_ = false;
        color_ = QColor(0, 0, 0);
        return true;
    case DestinationWord::Picture:
        flush();
        s.dest = Dest::Picture;
        picture_.start();
        return true;
    case DestinationWord::Kept:
    case DestinationWord::Info:
        openKept(word == DestinationWord::Info, w);
        return true;
    case DestinationWord::ListTable:
        s.dest = Dest::ListTable;
        return true;
    case DestinationWord::ListOverrides:
        s.dest = Dest::ListOverrides;
        return true;
    case DestinationWord::LevelText:
        if (s.dest != Dest::ListTable)
            return false;
        s.dest = Dest::LevelText;
        lists_.beginLevelText();
        return true;
    case DestinationWord::Pn:
    case DestinationWord::FieldInstruction:
        if (s.dest != Dest::Text)
            return false;
        flush();
        if (word == DestinationWord::Pn) {
            s.dest = Dest::Pn;
            lists_.beginPn();
        } else {
            s.dest = Dest::FieldInstruction;
            fieldInstruction_.clear();
        }
        return true;
    case DestinationWord::NestedRow:
        s.nestProps = true;
        return true;
    case DestinationWord::Footnote:
        skip(Footnotes);
        return true;
    case DestinationWord::Comment:
        skip(Comments);
        return true;
    case DestinationWord::Shape:
        dropped_[Shapes] = true;
        return false;
    case DestinationWord::Object:
        dropped_[Objects] = true;
        return false;
    case DestinationWord::Skipped:
        flush();
        s.dest = Dest::Skip;
        return true;
    case DestinationWord::ShapePicture:
        return false;
    }
    return false;
}

// A header, a footer or the document's information: kept as it came when its group stands
// right inside the document's and starts with it, skipped elsewhere.
void Reader::openKept(bool info, std::string_view w) {
    flush();
    GroupState& s = state();
    const bool documentLevel = stack_.size() == 3 && stack_[1].dest == Dest::Text;
    if (documentLevel && opensGroup(w)) {
        s.dest = Dest::Kept;
        keptIsInfo_ = info;
    } else {
        s.dest = Dest::Skip;
        if (!info)
            dropped_[HeadersAndFooters] = true;
    }
}

// Whether the word is the first thing in its group ("{\\word" or "{\\*\\word"): a group is
// kept whole only when nothing of it was read as text before.
bool Reader::opensGroup(std::string_view w) const {
    const qsizetype size = static_cast<qsizetype>(w.size());
    QByteArray head = data_.mid(groupStart_.back() + 1, size + 8);
    head = head.trimmed();
    if (head.startsWith("\\*"))
        head = head.mid(2).trimmed();
    const qsizetype after = size + 1;
    return head.startsWith('\\' + QByteArray(w.data(), size)) &&
           (head.size() == after || !std::isalpha(static_cast<unsigned char>(head.at(after))));
}

void Reader::skip(Dropped what) {
    flush();
    state().dest = Dest::Skip;
    dropped_[what] = true;
}

// A group of the destination ended: its state is gone; start is where it began, depth how
// deep it stood.
void Reader::closeDestination(Dest dest, qsizetype start, size_t depth) {
    if (dest == Dest::FontTable)
        commitFont();
    if (dest == Dest::Picture && state().dest != Dest::Picture)
        finishPicture();
    if (dest == Dest::Kept && state().dest != Dest::Kept) {
        QByteArray& into = keptIsInfo_ ? keptInfo_ : keptHeaders_;
        into += data_.mid(start, pos_ - start);
        into += '\n';
    }
    if (dest == Dest::LevelText && state().dest != Dest::LevelText)
        lists_.endLevelText();
    lists_.endGroup(depth);
    if (dest == Dest::Pn && state().dest != Dest::Pn)
        state().para.pn = lists_.pn();
    if (dest == Dest::FieldInstruction && state().dest != Dest::FieldInstruction) {
        // A link's target for the field's shown text.
        const QString target = hyperlinkTarget(fieldInstruction_);
        if (!target.isEmpty())
            state().chars.href = target;
        else if (!fieldInstruction_.trimmed().isEmpty())
            dropped_[Fields] = true;
        fieldInstruction_.clear();
    }
}

// A character of a destination's text.
void Reader::destinationText(char c) {
    switch (state().dest) {
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
        picture_.text(c);
        break;
    case Dest::LevelText:
        if (c != ';')
            lists_.addLevelText(QChar(cp1252Char(static_cast<unsigned char>(c))));
        break;
    case Dest::FieldInstruction:
        if (fieldInstruction_.size() < 4096)
            fieldInstruction_ += QChar(cp1252Char(static_cast<unsigned char>(c)));
        break;
    default:
        break;
    }
}

void Reader::fontWord(int what, const Word& w) {
    // The family classes \froman, \fswiss, \fmodern, \fscript and \fdecor name.
    static constexpr QFont::StyleHint Families[] = {
        QFont::Serif, QFont::SansSerif, QFont::TypeWriter, QFont::Cursive, QFont::Decorative};
    static_assert(std::size(Families) ==
                  static_cast<int>(FontWord::Decor) - static_cast<int>(FontWord::Roman) + 1);
    const auto word = static_cast<FontWord>(what);
    if (word == FontWord::Number)
        font_ = w.p;
    else if (word == FontWord::Charset)
        fonts_[font_].charset = w.p;
    else
        fonts_[font_].hint = Families[what - static_cast<int>(FontWord::Roman)];
}

void Reader::colourWord(int what, const Word& w) {
    const int v = std::clamp(w.p, 0, 255);
    colorSet_ = true;
    if (static_cast<ColourWord>(what) == ColourWord::Red)
        color_.setRed(v);
    else if (static_cast<ColourWord>(what) == ColourWord::Green)
        color_.setGreen(v);
    else
        color_.setBlue(v);
}

void Reader::commitFont() {
    const QString name = decodeCodePage(fontName_, 1252).trimmed();
    fontName_.clear();
    if (!name.isEmpty() && fonts_[font_].name.isEmpty())
        fonts_[font_].name = name;
}

// A page or section layout word: kept, the first time it stands at the document's level.
void Reader::keepSetting(const Word& w) {
    if (stack_.size() != 2 || settingsSeen_.count(w.name))
        return;
    settingsSeen_.emplace(w.name);
    keptSettings_ += '\\';
    keptSettings_.append(w.name.data(), static_cast<qsizetype>(w.name.size()));
    if (w.hasParam)
        keptSettings_ += QByteArray::number(w.p);
}

// What the document held that the editor does not show, on the root frame for the writer.
void Reader::keep() {
    if (keptSettings_.isEmpty() && keptInfo_.isEmpty() && keptHeaders_.isEmpty())
        return;
    QTextFrameFormat f = doc_.rootFrame()->frameFormat();
    if (!keptSettings_.isEmpty())
        f.setProperty(KeptSettings, keptSettings_);
    if (!keptInfo_.isEmpty())
        f.setProperty(KeptInfo, keptInfo_);
    if (!keptHeaders_.isEmpty())
        f.setProperty(KeptHeaders, keptHeaders_);
    doc_.rootFrame()->setFrameFormat(f);
}

} // namespace lumorra::rtf
