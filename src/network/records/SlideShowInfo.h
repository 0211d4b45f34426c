#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

// One slideshow ("post") of a campaign.
struct SlideShowInfo
{
    QString uuid;
    int timeInterval = 10; // seconds per slide
    QStringList uuids;     // picture uuids in slide order, duplicates kept
    QString chargingUuid;  // empty when the post names no charging picture
};

Q_DECLARE_METATYPE(SlideShowInfo)
Q_DECLARE_METATYPE(QVector<SlideShowInfo>)
