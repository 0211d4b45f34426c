#pragma once

#include "ContentPlan.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QStringList>

// Plans, one device at a time, what of a campaign is already on the device,
// which items on the device are deleted to make room, and which uuids are then
// uploaded. Works on uuid lists only; talks to the devices manager and the
// cloud through its signals and slots, which the contents chef connects.
// A MAC is in preparation from manageContent until deviceReadyToUpload or
// failedPreparingUpload; a second manageContent for it meanwhile is ignored.
class ContentManager : public QObject
{
    Q_OBJECT

public:
    explicit ContentManager(QObject *parent = nullptr);

    void manageContent(const QString &macAddress, const QStringList &filesUuids,
                       const QStringList &slideShowUuids, const QStringList &slideShowFilesUuids,
                       const QString &fwVersion);
    bool isPreparing(const QString &macAddress) const { return m_plans.contains(macAddress); }

signals:
    void loadDeviceUuids(QString macAddress);
    void loadUuidsDetails(QString macAddress, QStringList uuids);
    void deleteFromDevice(QString macAddress, QStringList imagesUuids, QStringList gifsUuids,
                          QStringList ssUuids);
    void deviceReadyToUpload(QString macAddress, QStringList uuidsToUpload);
    void failedPreparingUpload(QString macAddress);

public slots:
    void loadedDeviceUuids(QString macAddress, bool isSuccess, QStringList imagesUuids, QStringList ssUuids,
                           int freeSlotsNumber, QString errorString);
    void loadedUuidsDetails(bool success, QString macAddress, QMap<QDateTime, QString> uuidsOnDevice,
                            QMap<QString, QStringList> ssContentUuids, QString errorString);
    void deletedUuids(QString macAddress, bool success);

private:
    struct Deletion {
        QStringList gifs;
        QStringList images;
    };

    static void selectForDeletion(const QStringList &candidates, const ContentPlan &plan, int *need,
                                  Deletion *deletion);
    static QStringList slideShowsToDelete(const QStringList &deleted, const ContentPlan &plan,
                                          const QMap<QString, QStringList> &slideShowContents);
    void startUpload(const QString &macAddress);
    void failPreparing(const QString &macAddress, const QString &message);

    QMap<QString, ContentPlan> m_plans;
};
