#pragma once

#include <QString>
#include <QStringList>

namespace lumorra {

enum class LaunchFocus { Focused, Unfocused };

// Starts other programs without waiting for them.
class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts the program at the given path. Throws Error when it cannot be started (a missing
    // or non-executable file gives the errno of that failure).
    virtual void start(const QString& program, const QStringList& args = {},
                       LaunchFocus focus = LaunchFocus::Focused) = 0;
    // Starts the desktop's display settings tool. Returns false, doing nothing, when none is
    // installed; throws Error when one is installed but cannot be started.
    virtual bool startDisplaySettings() = 0;
    // Opens a document in the application the desktop has registered for it. Throws Error
    // when the file is missing or the desktop cannot open it.
    virtual void openDocument(const QString& path) = 0;
};

// The real launcher, on QProcess::startDetached.
class ProcessLauncher : public Launcher {
public:
    void start(const QString& program, const QStringList& args = {},
               LaunchFocus focus = LaunchFocus::Focused) override;
    bool startDisplaySettings() override;
    void openDocument(const QString& path) override;
};

} // namespace lumorra
