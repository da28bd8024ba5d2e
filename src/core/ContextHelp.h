#pragma once

#include <QObject>
#include <QString>

#include <vector>

class QWidget;

namespace lumorra {

class Help;

// Context help: F1 in any window of the program opens the help file at the topic of the focused
// control or, when the control has none, at the topic of the nearest parent that has one, up to
// the window (and from a window without a topic, such as a message box, to the window that owns
// it). A widget's topic is its "helpTopic" property when set, else the entry of the topic
// table below for its window's and its own object name. Where nothing has a topic, F1 opens the
// contents page.
//
// Installed once on the application; it owns no windows and reads no settings.
class ContextHelp : public QObject {
public:
    ContextHelp(Help& help, QString helpFile, QObject* parent = nullptr);

    // The topic F1 opens for this widget, or -1 when neither it nor its parents have one.
    static int topicFor(const QWidget* widget);
    // Every topic number of the table (for the test that checks the shipped help file).
    static std::vector<int> tableTopics();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Help& help_;
    QString helpFile_;
};

} // namespace lumorra
