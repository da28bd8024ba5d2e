#pragma once

#include <QPoint>
#include <QString>

#include <optional>

class QWidget;

namespace lumorra {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum class Answer { Ok, Cancel, Yes, No };

struct MessageBoxSpec {
    QString text;
    QString title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    // The button that Return presses; unset means the first button of the set.
    std::optional<Answer> defaultButton;
    QWidget* owner = nullptr;
};

struct InputBoxSpec {
    QString prompt;
    QString title;
    QString defaultText;
    // Help file and topic for the box's Help button; no button when the topic is 0.
    QString helpFile;
    int helpTopic = 0;
    // Upper left corner on the screen, in pixels; centred on the owner when unset.
    std::optional<QPoint> position;
    QWidget* owner = nullptr;
};

struct FileDialogSpec {
    enum class Mode { Open, Save };
    Mode mode = Mode::Save;
    QString title;
    // The program's filter list: label and masks in turn, separated by "|", masks by ";", as
    // "Picture files (*.jpg;*.bmp)|*.jpg;*.bmp|BMP Picture (*.bmp)|*.bmp".
    QString filters;
    // Appended (with its dot, as ".bmp") to a name typed without an extension; empty for none.
    QString defaultExtension;
    // The name or path the dialog starts with; empty for none.
    QString fileName;
    // Save: ask before a chosen existing file is replaced.
    bool confirmOverwrite = true;
    // Help file and topic for the dialog's Help button; no button when the topic is 0.
    QString helpFile;
    int helpTopic = 0;
    QWidget* owner = nullptr;
};

struct FileDialogResult {
    QString path;
    // The chosen entry of the filter list, counted from 1.
    int filterIndex = 1;
};

// Message boxes, one-line prompts, file dialogs and the beep. The program's windows reach them only
// through this interface, so tests can answer from a script and read every text back.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual Answer message(const MessageBoxSpec& spec) = 0;
    // The typed text, or nothing when the user cancelled.
    virtual std::optional<QString> input(const InputBoxSpec& spec) = 0;
    virtual void beep() = 0;
    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<FileDialogResult> file(const FileDialogSpec& spec) = 0;

    Answer message(const QString& text, const QString& title, Buttons buttons, Icon icon,
                   std::optional<Answer> defaultButton = std::nullopt, QWidget* owner = nullptr) {
        return message(MessageBoxSpec{text, title, buttons, icon, defaultButton, owner});
    }
};

} // namespace lumorra
