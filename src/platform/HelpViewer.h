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
//
// The file ("lmhelp.hlp") is UTF-8 text. A line "@topic N Title" starts topic N (N a decimal
// number, 0 or more); every following line up to the next "@topic" line is that topic's HTML
// body. Before the first topic, lines starting with "#" are comments (other lines there are
// ignored too). Topics link to each other with <a href="topic:N">. A malformed "@topic" line
// starts no topic and its lines are dropped; of two topics with the same number the first counts.
class HelpFile {
public:
    // Never fails: what cannot be read as a topic is left out.
    static HelpFile parse(const QByteArray& data);
    // Throws Error (errno-based) when the file cannot be read.
    static HelpFile load(const QString& path);

    bool contains(int topic) const { return topics_.count(topic) != 0; }
    const HelpTopic* topic(int number) const;
    const std::map<int, HelpTopic>& topics() const { return topics_; }

private:
    std::map<int, HelpTopic> topics_;
};

class HelpWindow;

// The help viewer: a window of its own over the help file, opened at a topic. The window is made
// on first use and reused; the file is read again at every request, so edits show at once.
class HelpViewer : public Help {
public:
    HelpViewer();
    ~HelpViewer() override;
    // An unknown topic shows the contents page with a line saying so; a file that cannot be read
    // shows a message naming it.
    void showTopic(const QString& helpFile, int topic) override;
    // Topic 0, or a list of all topics when the file has no topic 0.
    void showContents(const QString& helpFile) override;
    // The viewer's window, once it was opened (for tests).
    QWidget* window() const;

private:
    HelpWindow& ensureWindow();

    std::unique_ptr<HelpWindow> window_;
};

} // namespace lumorra
