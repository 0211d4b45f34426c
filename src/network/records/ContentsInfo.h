#pragma once

#include "SlideShowInfo.h"

#include <QMetaType>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// The campaign event that the cloud has scheduled for one device.
struct ContentsInfo
{
    QString macAddress;
    QStringList itemUuids; // contentIds that are not slideshows, in contentIds order
    QVector<SlideShowInfo> slideShows;
    QString defaultContentId;
    bool isUploaded = false;
    QString chargingUuid;
    qint64 eventId = -1; // -1: no event
    QStringList contentIds;
    QSet<QString> pendingLinks; // files of this campaign still downloading or converting

    bool hasEvent() const { return eventId != -1; }

    // The entries of contentIds that name no slideshow of slideShows, in order:
    // the single pictures of the event.
    QStringList itemsWithoutSlideShows() const;
};

Q_DECLARE_METATYPE(ContentsInfo)
