#pragma once

#include <QByteArray>
#include <QVector>

// What the firmware tool says during one run. Its download progress comes as
// lines it rewrites with carriage returns ("Download [====   ]  52%  2000 bytes"),
// in pieces as they are read, so a line cut between two reads is joined; only
// the download phase counts, not the erase phase before it. Its error output
// tells whether it found no device in DFU mode.
class DfuToolOutput
{
public:
    static const QByteArray NoDfuDeviceText; // "No DFU capable USB device available"

    void clear();
    // Standard output as it comes; the milestones (25, 50, 75, 100 %) this piece
    // passed, in order.
    QVector<int> addOutput(const QByteArray &bytes);
    void addErrors(const QByteArray &bytes);

    int percent() const;
    bool isDownloadComplete() const;
    bool foundNoDevice() const;

private:
    QByteArray m_unfinishedLine;
    int m_percent = -1;
    int m_milestone = 0;
    bool m_noDevice = false;
};
