#pragma once

#include <QJsonObject>
#include <QString>

#include <mutex>

#include "ActionRecord.h"
#include "CloudStore.h"
#include "FileShelf.h"
#include "TokenService.h"

// Everything the simulated cloud holds, behind one lock: requests run on the
// HTTP library's worker threads, and every handler is short.
struct CloudState
{
    CloudState(const QString &filesFolder, const QByteArray &secret, qint64 accessLifetime,
               qint64 refreshLifetime, qint64 linkLifetime);

    // The record of client actions with the devices and events as they stand:
    // what the reserved path shows and the state file holds.
    QJsonObject document() const;
    // Writes document() to the file, replacing it whole; false on failure.
    bool writeStateFile(const QString &path) const;

    std::mutex mutex;
    CloudStore store;
    TokenService tokens;
    FileShelf files;
    ActionRecord record;
};
