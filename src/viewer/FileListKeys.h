#pragma once

#include <QObject>

#include <functional>

namespace lumorra {

class MainWindow;

// The keys of the file list that have actions of their own: plus and minus zoom the picture
// area in 5 % steps, Delete deletes the selected file. Every key then goes on to the list, so
// the arrow and page keys still move the selection.
class FileListKeys : public QObject {
    Q_OBJECT
public:
    explicit FileListKeys(MainWindow& window);

    // The program's one delete routine, run by the Delete key.
    std::function<void()> deleteSelected;

    void File1_KeyDown(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void zoom(double factor);

    MainWindow& w_;
};

} // namespace lumorra
