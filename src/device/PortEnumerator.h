#pragma once

#include "SerialPortFacts.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The one source of serial-port facts: the ports the operating system lists
// (QSerialPortInfo), followed by the simulated ports described in the folder named
// by TAMO_SIM_DIR, if that variable is set.
//
// Simulated-port folder: one UTF-8 JSON object per port, in a file whose name
// ends in ".port" (other files are ignored):
//   {
//     "port": "/dev/pts/7",          required, absolute path of the terminal
//     "serialNumber": "TAMO0001",    required, the USB serial number (may be "")
//     "vendorId": 1155,              optional, a number or a "0x0483" hex text
//     "productId": 22336,            optional, likewise
//     "description": "..."           optional
//   }
// The object is flat: a value that is an object or an array makes the file
// malformed. A writer should write to another name and rename, so that a reader never sees
// half a file. A malformed file is skipped with a warning (once per version of the
// file); a port whose file is gone is absent from the next listing.
class PortEnumerator
{
public:
    static QVector<SerialPortFacts> availablePorts();
    // The ports the operating system lists: every terminal of the machine is
    // looked at, which is what makes a listing costly.
    static QVector<SerialPortFacts> systemPorts();

    // The folder of TAMO_SIM_DIR, or empty when simulation is off.
    static QString simulatedPortsFolder();
    static QVector<SerialPortFacts> simulatedPorts(const QString &folder);

    // Parses one description; on failure returns null facts and says why.
    static SerialPortFacts parseDescription(const QByteArray &json, QString *error = nullptr);
};
