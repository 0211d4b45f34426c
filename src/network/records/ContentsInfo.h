#pragma once

#include "SlideShowInfo.h"

#include <QMetaType>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// The campaign event that the cloud has scheduled for one device. The device
// campaign request fills macAddress, eventId, isUploaded, defaultContentId and
// contentIds; the other fields are left to whoever publishes the event.
struct ContentsInfo
{
    QString macAddress;
    QStringList itemUuids; // see itemsWithoutSlideShows()
    QVector<SlideShowInfo> slideShows;
    QString defaultContentId;
    bool isUploaded = false;
    QString chargingUuid;
    qint64 eventId = -1; // -1: no event
    QStringList contentIds;
    QSet<QString> pendingLinks; // links of files not yet ready for the device

    bool hasEvent() const { return eventId != -1; }

    // The entries of contentIds that name no slideshow of slideShows, in order:
    // the single pictures of the event.
    QStringList itemsWithoutSlideShows() const;
};

Q_DECLARE_METATYPE(ContentsInfo)
