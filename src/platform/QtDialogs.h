#pragma once

#include "Dialogs.h"

namespace lumorra {

class Help;

// Dialogs on real Qt windows: QMessageBox, our input box with a Help button, the desktop's beep.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(Help& help) : help_(help) {}
    using Dialogs::message;
    Answer message(const MessageBoxSpec& spec) override;
    std::optional<QString> input(const InputBoxSpec& spec) override;
    void beep() override;

private:
    Help& help_;
};

} // namespace lumorra
