#pragma once
// SIGINT, SIGTERM and SIGHUP as a Qt signal on the thread that made the object, so that a
// Ctrl-C, a logout or a closed terminal can finish a recording as a stop would. The handler
// only writes to a pipe (nothing else is safe in a signal handler). After the first signal
// the previous handlers are back: a second Ctrl-C ends the process as usual.
// One instance at a time.
#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // The signal received, 0 while none.
    int received() const { return m_received; }

Q_SIGNALS:
    void requested(int signalNumber);

private:
    void restore();
    void onReadable();

    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    int m_received = 0;
    bool m_installed = false;
};
