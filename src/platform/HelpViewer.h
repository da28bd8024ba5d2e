#pragma once

#include "Help.h"

#include <QString>

#include <map>
#include <memory>

class QWidget;

namespace lumorra {

// One topic of a help file.
struct HelpTopic {
    QString title;
    QString html;
};

// The program's help file: HTML topics keyed by number; topic 0 is the contents page.
class HelpFile {
public:
    static HelpFile parse(const QByteArray& data);
    // Throws Error when the file cannot be read.
    static HelpFile load(const QString& path);

    bool contains(int topic) const { return topics_.count(topic) != 0; }
    const HelpTopic* topic(int number) const;
    const std::map<int, HelpTopic>& topics() const { return topics_; }

private:
    std::map<int, HelpTopic> topics_;
};

class HelpWindow;

// The help viewer: a window of its own over the help file, opened at a topic.
class HelpViewer : public Help {
public:
    HelpViewer();
    ~HelpViewer() override;
    void showTopic(const QString& helpFile, int topic) override;
    void showContents(const QString& helpFile) override;
    // The viewer's window, once it was opened (for tests).
    QWidget* window() const;

private:
    std::unique_ptr<HelpWindow> window_;
};

} // namespace lumorra
