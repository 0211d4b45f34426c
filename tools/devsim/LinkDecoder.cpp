#include "LinkDecoder.h"

#include "WordCrc.h"

#include <QtEndian>

namespace {

constexpr char kStart = 0x07;
constexpr int kMaxLine = 128;

} // namespace

QVector<LinkDecoder::Event> LinkDecoder::feed(const QByteArray &bytes, qint64 nowMs)
{
    QVector<Event> events;
    if (m_inFrame && nowMs - m_lastFrameByteMs > m_frameTimeoutMs) {
        m_inFrame = false;
        m_frame.clear();
    }
    for (int at = 0; at < bytes.size(); ++at) {
        const char c = bytes.at(at);
        if (m_inFrame && m_frame.size() >= 4) {
            // The length is known: the rest of the frame goes in at once.
            const int total = static_cast<quint8>(m_frame.at(3)) + 4;
            const int take = qMin(total - m_frame.size(), bytes.size() - at);
            m_frame.append(bytes.constData() + at, take);
            at += take - 1;
            if (m_frame.size() == total)
                finishFrame(events);
            continue;
        }
        if (m_inFrame) {
            m_frame.append(c);
            if (m_frame.size() == 4 && static_cast<quint8>(m_frame.at(3)) < 4) {
                Frame frame;
                frame.id = static_cast<quint8>(m_frame.at(1));
                frame.reserved = static_cast<quint8>(m_frame.at(2));
                frame.lengthByte = static_cast<quint8>(m_frame.at(3));
                frame.malformed = true;
                frame.raw = m_frame;
                events.append({Event::FrameReceived, frame, QByteArray()});
                m_inFrame = false;
                m_frame.clear();
            } else if (m_frame.size() >= 4
                       && m_frame.size() == static_cast<quint8>(m_frame.at(3)) + 4) {
                finishFrame(events);
            }
            continue;
        }
        if (c == kStart && m_rpc) {
            m_inFrame = true;
            m_frame.reserve(64);
            m_frame.append(c);
            continue;
        }
        if (m_console)
            consoleByte(c, events);
    }
    if (m_inFrame)
        m_lastFrameByteMs = nowMs;
    return events;
}

void LinkDecoder::finishFrame(QVector<Event> &events)
{
    Frame frame;
    const int length = static_cast<quint8>(m_frame.at(3));
    frame.id = static_cast<quint8>(m_frame.at(1));
    frame.reserved = static_cast<quint8>(m_frame.at(2));
    frame.lengthByte = static_cast<quint8>(length);
    frame.payload = m_frame.mid(4, length - 4);
    const quint32 trailer = qFromLittleEndian<quint32>(m_frame.constData() + length);
    frame.crcOk = trailer == WordCrc::of(m_frame.constData(), length);
    frame.raw = m_frame;
    events.append({Event::FrameReceived, frame, QByteArray()});
    m_inFrame = false;
    m_frame.clear();
}

void LinkDecoder::consoleByte(char c, QVector<Event> &events)
{
    const bool wasCr = m_lastWasCr;
    m_lastWasCr = c == '\r';
    if (c == '\r' || c == '\n') {
        if (c == '\n' && wasCr)
            return; // the second half of "\r\n"
        if (!m_line.isEmpty())
            events.append({Event::LineReceived, Frame(), m_line});
        m_line.clear();
        return;
    }
    if (c == '\b' || c == 0x7F) {
        m_line.chop(1);
        return;
    }
    if (c >= 0x20 && c < 0x7F && m_line.size() < kMaxLine)
        m_line.append(c);
}

void LinkDecoder::reset()
{
    m_inFrame = false;
    m_frame.clear();
    m_line.clear();
    m_lastWasCr = false;
}
