#pragma once

#include "PublishingProgress.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTextStream>

class DevicesModel;

// What `tamo-cli publish` prints: one tab-separated line per device and step
// (MAC, step, detail), and the final state each device reached: published, up
// to date or failed. A device unplugged before it got there has failed.
class PublishReport : public QObject
{
    Q_OBJECT

public:
    PublishReport(PublishingProgress *progress, DevicesModel *model, QTextStream &out, QObject *parent = nullptr);

    // Devices in the model (by MAC, or serial number while the MAC is unknown)
    // that have not reached a final state.
    QStringList busyDevices() const;
    // True when every device that reached a final state is published or up to date.
    bool allSucceeded() const;
    int finalCount() const { return m_final.size(); }

signals:
    // A device reached a final state, or a device went.
    void changed();

private:
    void onStep(const QString &mac, PublishingProgress::Step step, const QString &detail);
    void onFinished(const QString &mac, PublishingProgress::Outcome outcome, const QString &detail);
    void onRowsAboutToBeRemoved(int first, int last);
    void onRowsInserted(int first, int last);
    void print(const QString &mac, const QStringList &columns);

    DevicesModel *m_model;
    QTextStream &m_out;
    QHash<QString, bool> m_final; // MAC -> published or up to date
    QSet<QString> m_unplugged;    // their roads' later lines are not theirs to print
};
