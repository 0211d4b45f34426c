#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QStringList>

class QSocketNotifier;
class QTimer;

// The far side of a real pseudo-terminal, scripted by a test: it records every
// line that arrives (lines end in "\r\n") and answers lines it has an answer
// for. Its own slave descriptor stays open, so the port can be closed and
// reopened by the code under test without the master seeing a hang-up.
class PtyPeer : public QObject
{
public:
    PtyPeer();
    ~PtyPeer() override;

    bool isValid() const { return m_master >= 0; }
    QString portName() const { return m_slavePath; }

    void answer(const QByteArray &line, const QByteArray &reply) { m_answers.insert(line, reply); }
    // From the first byte that arrives on, writes `chunk` again and again, like a
    // device that never stops talking.
    void flood(const QByteArray &chunk) { m_flood = chunk; }
    QStringList lines() const;
    int count(const QByteArray &line) const;

private:
    void onReadable();
    void floodOnce();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_buffer;
    QHash<QByteArray, QByteArray> m_answers;
    QStringList m_lines;
    QByteArray m_flood;
    QTimer *m_floodTimer = nullptr;
};
