#pragma once

#include "PublishingProgress.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

class CliPrinter;
class DevicesManager;
class DevicesModel;

// What `tamo-cli publish` reports: one event per device and step (printed as
// MAC, step, detail, or as JSON), and the final state each device reached:
// published, up to date or failed. A device unplugged before it got there has failed; a
// device that is listed but gets nothing (its MAC is another's) is named by its
// serial number and has failed; a firmware offer that came to nothing fails
// the device too, though its campaign goes ahead.
class PublishReport : public QObject
{
    Q_OBJECT

public:
    PublishReport(PublishingProgress *progress, DevicesManager *devices, CliPrinter &printer,
                  QObject *parent = nullptr);

    // Devices in the model (by MAC, or serial number while the MAC is unknown)
    // that have not reached a final state.
    QStringList busyDevices() const;
    // True when every device that reached a final state is published or up to
    // date, and no firmware offer failed.
    bool allSucceeded() const;
    int finalCount() const { return m_final.size(); }

signals:
    // A device reached a final state, or a device went.
    void changed();

private:
    void onStep(const QString &mac, PublishingProgress::Step step, const QString &detail);
    void onFinished(const QString &mac, PublishingProgress::Outcome outcome, const QString &detail);
    void onRefused(const QString &serial, const QString &reason);
    void onFirmwareFinished(const QString &serial, bool isSuccess);
    void onRowsAboutToBeRemoved(int first, int last);
    void onRowsInserted(int first, int last);
    // An event of the device with that MAC.
    void print(const QString &mac, const QString &event, const QString &detail = QString(),
               const QString &reason = QString());
    void markFinal(const QString &device, bool succeeded);

    DevicesModel *m_model;
    CliPrinter &m_printer;
    QHash<QString, bool> m_final; // MAC (serial number of a refused device) -> published or up to date
    QSet<QString> m_unplugged;    // their passes' later lines are not theirs to print
    QSet<QString> m_firmwareFailed; // MACs whose offered firmware came to nothing
    QSet<QString> m_restarting;   // serial numbers flashed and on their way back
};
