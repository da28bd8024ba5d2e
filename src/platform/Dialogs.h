#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>

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
    // The entry of the filter list the dialog starts with, counted from 1.
    int filterIndex = 1;
    // Save: a name typed without an extension gets the extension of the chosen filter's first
    // mask (".txt" for "*.txt") instead of defaultExtension.
    bool extensionFromFilter = false;
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

// The extension (".txt") of the first mask of a filter list's entry (counted from 1); empty when
// that mask has none ("*.*", "*").
inline QString filterExtension(const QString& filters, int index) {
    const QStringList parts = filters.split(QLatin1Char('|'));
    const qsizetype at = 2 * (qsizetype(index) - 1) + 1;
    if (index < 1 || at >= parts.size())
        return QString();
    const QString mask = parts[at].split(QLatin1Char(';')).constFirst().trimmed();
    const qsizetype dot = mask.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || mask.indexOf(QLatin1Char('*'), dot) >= 0 ||
        mask.indexOf(QLatin1Char('?'), dot) >= 0)
        return QString();
    return mask.mid(dot);
}

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
