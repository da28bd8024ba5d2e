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
        enum class Kind { Message, Input, Beep, File } kind;
        MessageBoxSpec message; // Kind::Message
        InputBoxSpec input;     // Kind::Input
        FileDialogSpec file;    // Kind::File
    };

    using Dialogs::message;
    Answer message(const MessageBoxSpec& spec) override;
    std::optional<QString> input(const InputBoxSpec& spec) override;
    void beep() override;
    // Answers like the real dialog: a name typed without an extension gets the default one.
    std::optional<FileDialogResult> file(const FileDialogSpec& spec) override;

    // Scripted answers, used in order. A message box without a scripted answer takes its default
    // button (or its first); an input box without one is cancelled. After too many unanswered
    // input boxes in a row the script throws, so a prompt loop cannot hang a test.
    void answerMessage(Answer a) { messageAnswers_.push_back(a); }
    void answerInput(const QString& text) { inputAnswers_.push_back(ScriptedInput{false, text}); }
    void cancelInput() { inputAnswers_.push_back(ScriptedInput{true, QString()}); }
    // A file dialog without a scripted answer is cancelled.
    void answerFile(const QString& path, int filterIndex = 1) {
        fileAnswers_.push_back(FileDialogResult{path, filterIndex});
    }
    void cancelFile() { fileAnswers_.push_back(std::nullopt); }

    const std::vector<Event>& events() const { return events_; }
    std::vector<MessageBoxSpec> messages() const;
    std::vector<InputBoxSpec> inputs() const;
    std::vector<FileDialogSpec> files() const;
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
    std::deque<std::optional<FileDialogResult>> fileAnswers_;
    std::vector<Event> events_;
    int unansweredInputs_ = 0;
};

} // namespace lumorra::test
