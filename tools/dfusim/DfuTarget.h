#pragma once

#include "DfuState.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

// One simulated device in its DFU boot loader, seen through its state file.
// The device is present while the file is there and its simulator runs; an
// unplug removes the file, and every step of a transfer looks again.
class DfuTarget
{
public:
    static QVector<DfuState> available(const QString &folder);

    DfuTarget(const QString &folder, const DfuState &state);

    const DfuState &state() const { return m_state; }
    bool isPresent() const;
    // Applies the change to the state file, unless the device has gone.
    bool update(const std::function<void(DfuState &)> &change);

    // What the flash holds from the application address on (without the erased rest).
    QByteArray flashImage() const;
    bool writeFlash(const QByteArray &image);
    void eraseFlash();

private:
    QString m_folder;
    DfuState m_state;
};
