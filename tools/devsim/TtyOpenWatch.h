#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QSocketNotifier;

// Counts how often each watched terminal is open on the far side, from the
// kernel's open and close notifications (inotify). A real USB serial device
// sees its host port opened and closed; a pseudo-terminal's master does not,
// so this watch tells the simulated device when nobody listens. One watch
// serves every device of the process (inotify instances are a scarce resource).
class TtyOpenWatch : public QObject
{
    Q_OBJECT

public:
    explicit TtyOpenWatch(QObject *parent = nullptr);
    ~TtyOpenWatch() override;

    bool isAvailable() const { return m_fd >= 0; }
    // Starts counting for the path; returns a handle, or -1 when unavailable.
    int add(const QString &path);
    void remove(int handle);
    // How many opens of the path are outstanding (after reading pending events).
    int openCount(int handle);

signals:
    // Emitted while pending events are read: the last opener closed the path.
    void lastClosed(int handle);

private:
    void drain();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QHash<int, int> m_counts; // watch descriptor -> opens outstanding
};
