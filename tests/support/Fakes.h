#pragma once

#include "platform/Error.h"
#include "platform/Help.h"
#include "platform/Launcher.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace lumorra::test {

// Records what would be started; can be told to fail.
class FakeLauncher : public Launcher {
public:
    struct Start {
        QString program;
        QStringList args;
        LaunchFocus focus;
    };
    void start(const QString& program, const QStringList& args, LaunchFocus focus) override {
        if (failWith)
            throw *failWith;
        starts.push_back(Start{program, args, focus});
    }
    bool startDisplaySettings() override {
        if (failWith)
            throw *failWith;
        ++displaySettingsStarts;
        return hasDisplaySettings;
    }

    void openDocument(const QString& path) override {
        if (failWith)
            throw *failWith;
        documents.push_back(path);
    }

    std::vector<Start> starts;
    std::vector<QString> documents;
    int displaySettingsStarts = 0;
    bool hasDisplaySettings = true;
    std::optional<Error> failWith;
};

// Records the help requests.
class FakeHelp : public Help {
public:
    struct Request {
        QString file;
        int topic; // -1 for the contents page
    };
    void showTopic(const QString& file, int topic) override { requests.push_back({file, topic}); }
    void showContents(const QString& file) override { requests.push_back({file, -1}); }
    std::vector<Request> requests;
};

} // namespace lumorra::test
