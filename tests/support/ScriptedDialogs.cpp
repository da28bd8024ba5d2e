#include "ScriptedDialogs.h"

#include <stdexcept>

namespace lumorra::test {

Answer ScriptedDialogs::message(const MessageBoxSpec& spec) {
    Event e{Event::Kind::Message, spec, {}, {}};
    events_.push_back(e);
    if (onShow)
        onShow(e);
    if (!messageAnswers_.empty()) {
        Answer a = messageAnswers_.front();
        messageAnswers_.pop_front();
        return a;
    }
    if (spec.defaultButton)
        return *spec.defaultButton;
    switch (spec.buttons) {
    case Buttons::Ok:
    case Buttons::OkCancel:
        return Answer::Ok;
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
        return Answer::Yes;
    }
    return Answer::Ok;
}

std::optional<QString> ScriptedDialogs::input(const InputBoxSpec& spec) {
    Event e{Event::Kind::Input, {}, spec, {}};
    events_.push_back(e);
    if (onShow)
        onShow(e);
    if (!inputAnswers_.empty()) {
        unansweredInputs_ = 0;
        const ScriptedInput a = inputAnswers_.front();
        inputAnswers_.pop_front();
        if (a.cancel)
            return std::nullopt;
        return a.text;
    }
    if (++unansweredInputs_ > 50)
        throw std::logic_error("ScriptedDialogs: the script has no answer for the input box");
    return std::nullopt;
}

void ScriptedDialogs::beep() {
    events_.push_back(Event{Event::Kind::Beep, {}, {}, {}});
}

std::optional<FileDialogResult> ScriptedDialogs::file(const FileDialogSpec& spec) {
    Event e{Event::Kind::File, {}, {}, spec};
    events_.push_back(e);
    if (onShow)
        onShow(e);
    if (fileAnswers_.empty())
        return std::nullopt;
    std::optional<FileDialogResult> a = fileAnswers_.front();
    fileAnswers_.pop_front();
    const QString extension = spec.extensionFromFilter
                                  ? filterExtension(spec.filters, a ? a->filterIndex : 0)
                                  : spec.defaultExtension;
    if (a && !extension.isEmpty()) {
        const QString name = a->path.mid(a->path.lastIndexOf(QLatin1Char('/')) + 1);
        if (!name.contains(QLatin1Char('.'))) {
            const QString ext =
                extension.startsWith(QLatin1Char('.')) ? extension : QLatin1Char('.') + extension;
            a->path += ext;
        }
    }
    return a;
}

std::vector<FileDialogSpec> ScriptedDialogs::files() const {
    std::vector<FileDialogSpec> out;
    for (const Event& e : events_) {
        if (e.kind == Event::Kind::File)
            out.push_back(e.file);
    }
    return out;
}

std::vector<MessageBoxSpec> ScriptedDialogs::messages() const {
    std::vector<MessageBoxSpec> out;
    for (const Event& e : events_) {
        if (e.kind == Event::Kind::Message)
            out.push_back(e.message);
    }
    return out;
}

std::vector<InputBoxSpec> ScriptedDialogs::inputs() const {
    std::vector<InputBoxSpec> out;
    for (const Event& e : events_) {
        if (e.kind == Event::Kind::Input)
            out.push_back(e.input);
    }
    return out;
}

int ScriptedDialogs::beeps() const {
    int n = 0;
    for (const Event& e : events_)
        n += e.kind == Event::Kind::Beep ? 1 : 0;
    return n;
}

} // namespace lumorra::test
