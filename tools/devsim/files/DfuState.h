#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// A simulated device that waits in its DFU boot loader, as described by the
// file "<serial>.dfu" in the simulated-port folder (UTF-8 JSON):
//   {
//     "serialNumber": "TAMOSIM0001",  USB serial number, the same as on the bus
//     "vendorId": 1155, "productId": 57105,   the boot loader's USB identity
//     "state": "dfuIDLE",             "dfuIDLE", "dfuDNBUSY" (flash being written)
//                                     or "leaving" (asked to start the firmware)
//     "firmwareVersion": "1.5.90",    version of the image in flash ("" if none)
//     "firmwareValid": true,          false after an interrupted or foreign download
//     "simulatorPid": 4242            process that owns the device
//   }
// The image in flash, when a download has written one, is "<serial>.flash"
// (raw bytes from the application address on). Writers hold the FolderLock and
// write through a temporary file and a rename.
class DfuState
{
public:
    static QString statePath(const QString &folder, const QString &serial);
    static QString flashPath(const QString &folder, const QString &serial);

    // Every readable state file of the folder.
    static QVector<DfuState> list(const QString &folder);
    static bool read(const QString &path, DfuState *state, QString *error = nullptr);

    bool write(const QString &folder, QString *error = nullptr) const;
    // True when the owning simulator process still runs.
    bool ownerAlive() const;

    QString serialNumber;
    quint16 vendorId = 0x0483;
    quint16 productId = 0xDF11;
    QString state = QStringLiteral("dfuIDLE");
    QString firmwareVersion;
    bool firmwareValid = true;
    qint64 simulatorPid = 0;
};
