#pragma once

#include <QString>

namespace lumorra {

// The help viewer: opens a help file at a numbered topic or at its contents page.
class Help {
public:
    virtual ~Help() = default;
    virtual void showTopic(const QString& helpFile, int topic) = 0;
    virtual void showContents(const QString& helpFile) = 0;
};

} // namespace lumorra
