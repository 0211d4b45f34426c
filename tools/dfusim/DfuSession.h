#pragma once

#include "DfuCommandLine.h"
#include "DfuTarget.h"

#include <QByteArray>
#include <QString>

#include <memory>

// One run of the stand-in against the simulated devices: finds the device,
// then lists, downloads a DfuSe file (or a raw image with -s), or uploads
// (and, with ":leave", starts the firmware), printing what dfu-util prints.
class DfuSession
{
public:
    explicit DfuSession(const DfuCommandLine &command);
    ~DfuSession();

    int run(); // the process exit code

private:
    int list();
    int download();
    int upload();
    int writeElement(quint32 address, const QByteArray &data);
    bool findDevice(quint16 vendor, quint16 product, int *exitCode);
    void printOpening() const;
    // Waits one chunk's delay and tells whether the device is still there.
    bool step() const;
    bool parseDfuseOptions(quint32 *address, bool *hasAddress, bool *leave, qint64 *length) const;

    DfuCommandLine m_command;
    std::unique_ptr<DfuTarget> m_target;
};
