#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The simulated cloud's data: what a fixture describes, changed by the calls
// of clients. Plain values; the caller serialises access.
class CloudStore
{
public:
    struct Company {
        int id = 0;
        QString title;
        int logoFile = -1;          // key in the file shelf, -1 for none
    };
    struct User {
        int id = 0;
        QString email;
        QString password;
        QString role;
        int companyId = 0;
        QString firstName;
        QString lastName;
        QString fullname;
        QString username;
        QDate dob;
    };
    struct Device {
        int id = 0;
        QString mac;                // lower case
        bool activated = false;
        QString name;
        QString label;
        QString location;
        int brightness = 100;
        bool toErase = false;
        int userId = 0;             // 0: no owner
        QString firmwareRevision;
        QString hardwareRevision;
        QString serialNumber;
        QString mobilePlatformVersion;
        QDateTime lastPairedAt;
        QString registeredFwVersion;  // as sent at the last registration
        QList<qint64> tamoIds;      // content the client last reported on the device
        QList<qint64> postIds;
    };
    struct Content {
        qint64 id = 0;
        qint64 uuid = 0;
        QString name;
        QString imageFormat;
        int file = -1;
        QDateTime createdAt;
    };
    struct Post {
        qint64 id = 0;
        qint64 uuid = 0;
        QString name;
        QString properties;         // the JSON text sent under "properties"
        QList<qint64> tamoIds;      // content ids, in slide order
        qint64 chargingTamoId = 0;  // 0: none
        QDateTime createdAt;
    };
    struct Event {
        qint64 id = 0;
        QString mac;
        QList<qint64> contentIds;   // content and post uuids
        qint64 defaultContentId = 0;
        bool isUploaded = false;
    };
    struct Firmware {
        bool present = false;
        QString version;
        int file = -1;
        bool offerAtRegistration = false;
    };
    struct Installation {
        int id = 0;
        QString type;
        QString name;
        bool active = false;
        int file = -1;
    };

    QString minFwVersion;
    QList<Company> companies;
    QList<User> users;
    QList<Device> devices;
    QList<Content> contents;
    QList<Post> posts;
    QList<Event> events;
    Firmware firmware;
    QList<Installation> installations;

    const Company *company(int id) const;
    const User *user(int id) const;
    const User *userByEmail(const QString &email) const;
    Device *device(const QString &mac);
    const Content *contentById(qint64 id) const;
    const Content *contentByUuid(qint64 uuid) const;
    const Post *postByUuid(qint64 uuid) const;
    Event *event(qint64 id);
    // The device's newest event: the last one listed for it.
    const Event *lastEvent(const QString &mac) const;
    Device &addDevice(const QString &mac);

    // Devices and events as they stand, for people and tests (no secrets).
    QJsonObject snapshot() const;
};
