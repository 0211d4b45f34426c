#include "CloudStore.h"

#include <QJsonArray>

namespace {

QJsonArray idArray(const QList<qint64> &ids)
{
    QJsonArray array;
    for (qint64 id : ids)
        array.append(id);
    return array;
}

} // namespace

const CloudStore::Company *CloudStore::company(int id) const
{
    for (const Company &c : companies) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

const CloudStore::User *CloudStore::user(int id) const
{
    for (const User &u : users) {
        if (u.id == id)
            return &u;
    }
    return nullptr;
}

const CloudStore::User *CloudStore::userByEmail(const QString &email) const
{
    for (const User &u : users) {
        if (u.email.compare(email, Qt::CaseInsensitive) == 0)
            return &u;
    }
    return nullptr;
}

CloudStore::Device *CloudStore::device(const QString &mac)
{
    for (Device &d : devices) {
        if (d.mac.compare(mac, Qt::CaseInsensitive) == 0)
            return &d;
    }
    return nullptr;
}

const CloudStore::Content *CloudStore::contentById(qint64 id) const
{
    for (const Content &c : contents) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

const CloudStore::Content *CloudStore::contentByUuid(qint64 uuid) const
{
    for (const Content &c : contents) {
        if (c.uuid == uuid)
            return &c;
    }
    return nullptr;
}

const CloudStore::Post *CloudStore::postByUuid(qint64 uuid) const
{
    for (const Post &p : posts) {
        if (p.uuid == uuid)
            return &p;
    }
    return nullptr;
}

CloudStore::Event *CloudStore::event(qint64 id)
{
    for (Event &e : events) {
        if (e.id == id)
            return &e;
    }
    return nullptr;
}

const CloudStore::Event *CloudStore::lastEvent(const QString &mac) const
{
    for (auto it = events.crbegin(); it != events.crend(); ++it) {
        if (it->mac.compare(mac, Qt::CaseInsensitive) == 0)
            return &*it;
    }
    return nullptr;
}

CloudStore::Device &CloudStore::addDevice(const QString &mac)
{
    int nextId = 1;
    for (const Device &d : devices)
        nextId = qMax(nextId, d.id + 1);
    Device device;
    device.id = nextId;
    device.mac = mac.toLower();
    devices.append(device);
    return devices.last();
}

QJsonObject CloudStore::snapshot() const
{
    QJsonArray deviceArray;
    for (const Device &d : devices) {
        deviceArray.append(QJsonObject{
            {QStringLiteral("mac"), d.mac},
            {QStringLiteral("activated"), d.activated},
            {QStringLiteral("name"), d.name},
            {QStringLiteral("label"), d.label},
            {QStringLiteral("location"), d.location},
            {QStringLiteral("brightness"), d.brightness},
            {QStringLiteral("toErase"), d.toErase},
            {QStringLiteral("userId"), d.userId},
            {QStringLiteral("firmwareRevision"), d.firmwareRevision},
            {QStringLiteral("hardwareRevision"), d.hardwareRevision},
            {QStringLiteral("serialNumber"), d.serialNumber},
            {QStringLiteral("mobilePlatformVersion"), d.mobilePlatformVersion},
            {QStringLiteral("lastPairedAt"), d.lastPairedAt.isValid()
                 ? QJsonValue(d.lastPairedAt.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue()},
            {QStringLiteral("registeredFwVersion"), d.registeredFwVersion},
            {QStringLiteral("tamoIds"), idArray(d.tamoIds)},
            {QStringLiteral("postIds"), idArray(d.postIds)},
        });
    }
    QJsonArray eventArray;
    for (const Event &e : events) {
        eventArray.append(QJsonObject{
            {QStringLiteral("id"), e.id},
            {QStringLiteral("mac"), e.mac},
            {QStringLiteral("contentIds"), idArray(e.contentIds)},
            {QStringLiteral("defaultContentId"), e.defaultContentId},
            {QStringLiteral("isUploaded"), e.isUploaded},
        });
    }
    return QJsonObject{{QStringLiteral("devices"), deviceArray}, {QStringLiteral("events"), eventArray}};
}
