#include "DfuToolOutput.h"

#include <QRegularExpression>
#include <QString>

const QByteArray DfuToolOutput::NoDfuDeviceText = "No DFU capable USB device available";

namespace {

const QRegularExpression kDownloadLine(QStringLiteral("^Download.* ([0-9]{1,3})%"));
const QRegularExpression kLineBreak(QStringLiteral("[\r\n]"));
const int kMilestones[] = {25, 50, 75, 100};

} // namespace

void DfuToolOutput::clear()
{
    *this = DfuToolOutput();
}

QVector<int> DfuToolOutput::addOutput(const QByteArray &bytes)
{
    const QByteArray text = m_unfinishedLine + bytes;
    const int lastBreak = qMax(text.lastIndexOf('\r'), text.lastIndexOf('\n'));
    m_unfinishedLine = text.mid(lastBreak + 1);
    // The unfinished line is read too: "100%" may be the last thing the tool prints.
    const QStringList lines = QString::fromLocal8Bit(text).split(kLineBreak);
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = kDownloadLine.match(line);
        if (match.hasMatch())
            m_percent = qMax(m_percent, match.captured(1).toInt());
    }
    QVector<int> passed;
    for (int milestone : kMilestones) {
        if (m_percent >= milestone && m_milestone < milestone) {
            m_milestone = milestone;
            passed.append(milestone);
        }
    }
    return passed;
}

void DfuToolOutput::addErrors(const QByteArray &bytes)
{
    m_noDevice = m_noDevice || bytes.contains(NoDfuDeviceText);
}

int DfuToolOutput::percent() const
{
    return m_percent;
}

bool DfuToolOutput::isDownloadComplete() const
{
    return m_percent >= 100;
}

bool DfuToolOutput::foundNoDevice() const
{
    return m_noDevice;
}
