#pragma once

#include <QString>
#include <QTextStream>

class DeviceInfo;

// One thing tamo-cli reports: a step of one device (named by USB serial number
// and MAC, as far as they are known) or of the whole run (neither).
struct CliEvent
{
    QString serial = {};
    QString mac = {};
    QString event = {};
    QString detail = {};
    QString reason = {}; // why something failed
    int progress = -1; // percent; -1 for none
    // The tab-separated line starts with the MAC (publish) rather than with the
    // serial number (devices, upgrade); with neither it starts with "*".
    bool namedByMac = false;
};

// Prints what the commands decide happened, in one of two forms: tab-separated
// lines (the lead, the event, then the detail, the reason or the percent, as
// far as there are any), or with --json one JSON object a line (JSON Lines)
// with the keys serial, mac, event, detail, reason and progress always
// present (null where there is nothing), errors included as "error" events.
class CliPrinter
{
public:
    enum Format { Text, Json };

    CliPrinter(QTextStream &out, QTextStream &err, Format format);

    Format format() const { return m_format; }
    void print(const CliEvent &event);
    // A listed device: serial number, port, MAC, name, firmware version, battery
    // and, for a device that could not be read, why (with --json the event
    // "device" with the keys port, name, firmware and battery besides).
    void device(const DeviceInfo &device, const QString &reason);
    // What ends the run or went wrong with it as a whole: "tamo-cli: REASON" on
    // standard error, and with --json an "error" event too.
    void error(const QString &reason);

private:
    void printText(const QStringList &columns);

    QTextStream &m_out;
    QTextStream &m_err;
    const Format m_format;
};
