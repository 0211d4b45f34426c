#pragma once

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

// The device's receive side: splits the bytes arriving on the serial link into
// RPC request frames and console lines. A frame starts with 0x07 (a byte that a
// console never receives from a keyboard) and is complete when the length byte
// says so; every other byte goes to the console's line editor. A frame that stays
// incomplete for longer than the frame time-out is dropped, as the firmware's
// receive timer does.
class LinkDecoder
{
public:
    struct Frame {
        quint8 id = 0;
        quint8 reserved = 0;     // byte 2, always 0 in a valid request
        quint8 lengthByte = 0;   // byte 3: header plus payload length
        QByteArray payload;
        bool crcOk = false;
        bool malformed = false;  // length byte below 4: no payload, no trailer read
        QByteArray raw;
    };
    struct Event {
        enum Kind { FrameReceived, LineReceived } kind;
        Frame frame;
        QByteArray line;
    };

    void setRpcEnabled(bool on) { m_rpc = on; }
    void setConsoleEnabled(bool on) { m_console = on; }
    void setFrameTimeoutMs(int ms) { m_frameTimeoutMs = ms; }

    QVector<Event> feed(const QByteArray &bytes, qint64 nowMs);
    // Power loss: everything half received is forgotten.
    void reset();

private:
    void consoleByte(char c, QVector<Event> &events);
    void finishFrame(QVector<Event> &events);

    bool m_rpc = true;
    bool m_console = true;
    int m_frameTimeoutMs = 100;
    QByteArray m_frame;        // frame bytes collected so far
    bool m_inFrame = false;
    qint64 m_lastFrameByteMs = 0;
    QByteArray m_line;
    bool m_lastWasCr = false;
};
