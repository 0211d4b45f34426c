#pragma once

#include "ContentPlan.h"
#include "ContentsInfo.h"
#include "UrlData.h"

#include <QSet>
#include <QString>
#include <QStringList>

// One pass of one device along its publishing road, from the queue for the
// firmware-version answer to the cloud's answer to the upload status. Its
// number is the ticket every request and device job of the pass carries, so
// that an answer finds the pass it was asked for, or nothing once that pass
// has ended. Owned by PublishingProgress; the parts of the contents chef fill
// in what their steps learn.
struct PublishingRun
{
    // The road, in order. A pass may leave it early (a failure, an erase, a
    // firmware upgrade) but never goes back.
    enum State {
        WaitingForMinimumFirmware, // queued for the firmware-version answer
        Registering,
        LoadingRecord,             // the cloud's record of the device
        FetchingFirmware,          // the file the cloud offered
        Erasing,
        LoadingCampaign,           // the current campaign event
        LoadingContent,            // the event's pictures and slideshows
        FetchingPictures,          // downloads and conversions it waits for
        Listing,                   // what the device holds
        LoadingDates,              // creation dates of the device's items
        Deleting,
        Uploading,
        ReportingStatus,           // the upload status, told to the cloud
    };

    quint64 id = 0;
    QString mac;
    QString serial;
    State state = WaitingForMinimumFirmware;

    // The first half: what the registration said.
    bool activated = false;
    UrlData firmwareOffer;
    // A firmware offer that came to nothing; the campaign goes ahead, and the
    // device shows this once its pass has ended.
    QString firmwareFailure;

    // The second half.
    ContentsInfo campaign;
    QSet<QString> pendingLinks; // files the campaign waits for
    QSet<QString> retained;     // files it holds in the picture cache
    ContentPlan plan;
    QStringList sentPictures;   // what its upload sends
    QStringList sentSlideShows;

    // How the pass ends once the cloud has answered the upload status.
    int outcome = 0; // PublishingProgress::Outcome
    QString detail;
};
