#pragma once

#include <QObject>

class QSocketNotifier;

namespace lumorra {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal, so that a logout or a kill ends the
// program through its normal close path. The handler only writes the signal number into a
// socket pair; the notifier on the other end emits received() from the event loop.
//
// The handlers are process-wide, so only one instance may exist at a time; a second one
// throws Error. Destroying the instance restores the default handlers.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    int readFd_ = -1;
    int writeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace lumorra
