#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace lumorra {

// The kernel's table of this process's mounts (/proc/self/mountinfo), open for the whole run.
// The kernel marks the open table whenever a file system is mounted or unmounted, and changed()
// follows each mark; read() then gives the table as it is now.
class MountTable : public QObject {
    Q_OBJECT
public:
    explicit MountTable(const QString& path = QStringLiteral("/proc/self/mountinfo"),
                        QObject* parent = nullptr);
    ~MountTable() override;
    MountTable(const MountTable&) = delete;
    MountTable& operator=(const MountTable&) = delete;

    // Whether the table could be opened; without it there is nothing to read or follow.
    bool valid() const { return fd_ >= 0; }
    // The whole table, read from its start. Throws Error when it cannot be read.
    QByteArray read() const;

signals:
    void changed();

private:
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace lumorra
