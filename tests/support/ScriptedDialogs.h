#pragma once

#include "platform/Dialogs.h"

#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace lumorra::test {

// Dialogs that answer from a script and record everything they were asked, in order.
class ScriptedDialogs : public Dialogs {
public:
    struct Event {
        enum class Kind { Message, Input, Beep } kind;
        MessageBoxSpec message; // Kind::Message
        InputBoxSpec input;     // Kind::Input
    };

    using Dialogs::message;
    Answer message(const MessageBoxSpec& spec) override;
    std::optional<QString> input(const InputBoxSpec& spec) override;
    void beep() override;

    // Scripted answers, used in order. A message box without a scripted answer takes its default
    // button (or its first); an input box without one is cancelled. After too many unanswered
    // input boxes in a row the script throws, so a prompt loop cannot hang a test.
    void answerMessage(Answer a) { messageAnswers_.push_back(a); }
    void answerInput(const QString& text) { inputAnswers_.push_back(ScriptedInput{false, text}); }
    void cancelInput() { inputAnswers_.push_back(ScriptedInput{true, QString()}); }

    const std::vector<Event>& events() const { return events_; }
    std::vector<MessageBoxSpec> messages() const;
    std::vector<InputBoxSpec> inputs() const;
    int beeps() const;
    void clear() { events_.clear(); }

    // Called when a message box or input box is shown, before it answers (for tests that act
    // while a box is up, such as checking that the main window is still hidden).
    std::function<void(const Event&)> onShow;

private:
    std::deque<Answer> messageAnswers_;
    struct ScriptedInput {
        bool cancel;
        QString text;
    };
    std::deque<ScriptedInput> inputAnswers_;
    std::vector<Event> events_;
    int unansweredInputs_ = 0;
};

} // namespace lumorra::test
