#include "ContextHelp.h"

#include "platform/Error.h"
#include "platform/Help.h"

#include <QEvent>
#include <QKeyEvent>
#include <QVariant>
#include <QWidget>

namespace lumorra {

namespace {

// The topics of the windows (control "") and of their controls, by object name. A control's
// children (the check box in an option's frame, the viewport of a list) share its topic.
struct TopicEntry {
    const char* window;
    const char* control;
    int topic;
};

const TopicEntry Topics[] = {
    // Main window: browser, viewer, zoom, commands, slide show and status bar.
    {"Form1", "", 14},
    {"Form1", "Command2", 15},
    {"Form1", "Command7", 15},
    {"Form1", "Command6", 17},
    {"Form1", "Command3", 17},
    {"Form1", "Command4", 16},
    {"Form1", "Command5", 16},
    {"Form1", "Text2", 16},
    // Full screen, the separate picture and animation windows, the Vivo player.
    {"Form2", "", 21},
    {"Form3", "", 22},
    {"Form4", "", 22},
    {"Form5", "", 18},
    // Text editor.
    {"Form6", "", 36},
    // DIR browser; its Create Sub DIR button has the sub directory topic.
    {"Form7", "", 12},
    {"Form7", "Command4", 19},
    // About, info list progress, File Information, Filetype Select.
    {"Form8", "", 33},
    {"Form9", "", 13},
    {"Form10", "", 11},
    {"Form13", "", 5},
    // Options: each frame has its setting's topic; OK and Cancel the window's.
    {"Form14", "", 7},
    {"Form14", "Frame5", 24},
    {"Form14", "Frame4", 25},
    {"Form14", "Frame6", 26},
    {"Form14", "Frame7", 27},
    {"Form14", "Command8", 27},
    {"Form14", "Frame8", 28},
    {"Form14", "Frame9", 29},
    {"Form14", "Frame10", 31},
    {"Form14", "Frame11", 32},
    {"Form14", "Command12", 30},
    {"Form14", "Command14", 33},
    // The help window itself: its contents page.
    {"HelpWindow", "", 0},
};

int tableTopic(const QString& window, const QString& control) {
    for (const TopicEntry& e : Topics) {
        if (window == QLatin1String(e.window) && control == QLatin1String(e.control))
            return e.topic;
    }
    return -1;
}

} // namespace

ContextHelp::ContextHelp(Help& help, QString helpFile, QObject* parent)
    : QObject(parent), help_(help), helpFile_(std::move(helpFile)) {}

int ContextHelp::topicFor(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        bool ok = false;
        const int own = w->property("helpTopic").toInt(&ok);
        if (ok && own >= 0)
            return own;
        const QWidget* window = w->window();
        const QString control = w == window ? QString() : w->objectName();
        if (w != window && control.isEmpty())
            continue;
        const int topic = tableTopic(window->objectName(), control);
        if (topic >= 0)
            return topic;
        // A window without a topic of its own (a message box) goes on to its owner.
    }
    return -1;
}

std::vector<int> ContextHelp::tableTopics() {
    std::vector<int> topics;
    for (const TopicEntry& e : Topics)
        topics.push_back(e.topic);
    return topics;
}

bool ContextHelp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
        return QObject::eventFilter(watched, event);
    if (!key->isAutoRepeat()) {
        const int topic = topicFor(static_cast<QWidget*>(watched));
        ignoreErrors([&] {
            if (topic >= 0)
                help_.showTopic(helpFile_, topic);
            else
                help_.showContents(helpFile_);
        });
    }
    return true;
}

} // namespace lumorra
