#pragma once

#include "Dialogs.h"

#include <QStringList>

namespace lumorra {

class Help;

// The program's "label|masks|label|masks" filter list as Qt's "Label (*.a *.b)" entries.
QStringList qtFileFilters(const QString& programFilters);

// Dialogs on real Qt windows: QMessageBox, our input box with a Help button, Qt's own file
// dialog with a Help button, the desktop's beep.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(Help& help) : help_(help) {}
    using Dialogs::message;
    Answer message(const MessageBoxSpec& spec) override;
    std::optional<QString> input(const InputBoxSpec& spec) override;
    void beep() override;
    std::optional<FileDialogResult> file(const FileDialogSpec& spec) override;

private:
    Help& help_;
};

} // namespace lumorra
