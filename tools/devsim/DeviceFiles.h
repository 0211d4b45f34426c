#pragma once

#include <QJsonObject>
#include <QString>

// The files by which one simulated device shows itself in the simulated-port
// folder: "SERIAL.port" while it is on the bus (read by the application's port
// enumeration) and "SERIAL.json", its state snapshot. Both are written to a
// temporary name and renamed, so that readers never see half a file.
class DeviceFiles
{
public:
    DeviceFiles(const QString &folder, const QString &serial);

    QString portPath() const;
    QString snapshotPath() const;

    bool writePort(const QString &terminal, QString *error) const;
    void removePort() const;
    bool writeSnapshot(const QJsonObject &snapshot);
    // Removes the hidden names that a killed simulator left behind.
    void removeLeftovers() const;

private:
    QString m_folder;
    QString m_serial;
    quint64 m_replaced = 0;
};
