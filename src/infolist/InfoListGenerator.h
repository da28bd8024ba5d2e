#pragma once

#include "InfoListEditor.h"

#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace lumorra {

class FileList;
class InfoListProgressWindow;
class MainWindow;
struct Error;
struct Services;

// "Create Info List" of the directory list's menu: a text list of the files that the file
// list shows (name, size, optionally the picture size, date), appended to the text editor's
// document, which then shows it as a new, changed rich-text document.
class InfoListGenerator : public QObject {
    Q_OBJECT
public:
    // Connects the main window's menu entry.
    InfoListGenerator(MainWindow& window, Services& services);
    ~InfoListGenerator() override;

    // The text editor window, created hidden (with an empty editing area) when none is open.
    std::function<InfoListEditor*()> editor;
    // Sets the window state of the separate picture and animation windows, creating them
    // hidden when they do not exist.
    std::function<void(Qt::WindowState)> setSeparateWindowsState;
    // The digits, separators and date forms of the list; the system's unless a test sets one.
    QLocale locale = QLocale::system();

    void mnuinfolist_Click();

    // The progress window of the run, while it is open.
    InfoListProgressWindow* progressWindow() const;

private:
    void run();
    // Whether the list holds picture sizes: asked only when the file list shows pictures or
    // animations; slow and fast are the estimates in seconds with and without them.
    bool askWithSizes(const QString& slow, const QString& fast);
    // Adds a line per file of the list to the run's text and returns the files' total size.
    qint64 listFiles(FileList& list, int n, bool withSizes);
    void finish(InfoListEditor* editor, const QString& totalText);
    void failure(const Error& e);
    void closeProgressWindow();

    MainWindow& w_;
    Services& s_;
    QPointer<InfoListProgressWindow> progress_;
    // The editor and the text of the run that are not in the editor's document yet.
    InfoListEditor* runEditor_ = nullptr;
    QString document_;
    bool pending_ = false;
};

} // namespace lumorra
