#pragma once

#include <QMap>
#include <QStringList>

// One device's campaign while the content manager prepares its upload. The
// lists hold frame uuids: an animation's uuid once per kept frame.
struct ContentPlan
{
    QStringList filesUuids;           // single items; after the device check only those missing
    QStringList slideShowUuids;       // slideshows; after the device check only those missing
    QStringList slideShowFilesUuids;  // the slideshows' pictures; after the device check only those missing
    int slotsToFree = 0;
    QStringList deviceImageUuids;     // the device's picture listing (a GIF once per frame)
    QStringList onDeviceUuids;        // wanted by the campaign and already on the device: never deleted
    QMap<QString, int> frameCounts;   // uuid -> slots it takes, counted at the device check
};
