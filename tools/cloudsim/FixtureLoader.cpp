#include "FixtureLoader.h"

#include "FileShelf.h"
#include "JsonShape.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QVersionNumber>

namespace {

QList<qint64> ids(const QJsonValue &value)
{
    QList<qint64> list;
    for (const QJsonValue &v : value.toArray())
        list.append(static_cast<qint64>(v.toDouble()));
    return list;
}

QDateTime dateTime(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

QString formatFromName(const QString &file)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return QStringLiteral("image/jpeg");
    if (suffix == QLatin1String("png"))
        return QStringLiteral("image/png");
    if (suffix == QLatin1String("gif"))
        return QStringLiteral("image/gif");
    if (suffix == QLatin1String("webp"))
        return QStringLiteral("image/webp");
    return QString();
}

} // namespace

FixtureLoader::FixtureLoader(FileShelf &files)
    : m_files(files)
{
}

bool FixtureLoader::fail(const QString &message)
{
    m_error = message;
    return false;
}

bool FixtureLoader::loadFile(const QString &path, CloudStore *store)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot read the fixture %1: %2").arg(path, file.errorString()));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject())
        return fail(QStringLiteral("The fixture %1 is not a JSON object: %2").arg(path, parseError.errorString()));
    return load(document.object(), store);
}

int FixtureLoader::addFile(const QJsonObject &object, const QString &what)
{
    QString error;
    const int key = m_files.add(object.value(QStringLiteral("file")).toString(),
                                object.contains(QStringLiteral("linkName"))
                                    ? object.value(QStringLiteral("linkName")).toString() : QString(),
                                object.contains(QStringLiteral("disposition"))
                                    ? object.value(QStringLiteral("disposition")).toString() : QString(),
                                &error);
    if (key < 0)
        m_error = what + QStringLiteral(": ") + error;
    return key;
}

bool FixtureLoader::load(const QJsonObject &root, CloudStore *store)
{
    const QString top = JsonShape(QStringLiteral("fixture"))
                            .optional(QStringLiteral("minFWVersion"), JsonShape::String)
                            .optional(QStringLiteral("companies"), JsonShape::ObjectArray)
                            .optional(QStringLiteral("users"), JsonShape::ObjectArray)
                            .optional(QStringLiteral("devices"), JsonShape::ObjectArray)
                            .optional(QStringLiteral("contents"), JsonShape::ObjectArray)
                            .optional(QStringLiteral("posts"), JsonShape::ObjectArray)
                            .optional(QStringLiteral("events"), JsonShape::ObjectArray)
                            .optional(QStringLiteral("firmware"), JsonShape::Object)
                            .optional(QStringLiteral("installations"), JsonShape::ObjectArray)
                            .problem(root);
    if (!top.isEmpty())
        return fail(top);
    store->minFwVersion = root.value(QStringLiteral("minFWVersion")).toString(QStringLiteral("1.5.28"));
    return readCompanies(root.value(QStringLiteral("companies")).toArray(), store)
        && readUsers(root.value(QStringLiteral("users")).toArray(), store)
        && readDevices(root.value(QStringLiteral("devices")).toArray(), store)
        && readContents(root.value(QStringLiteral("contents")).toArray(), store)
        && readPosts(root.value(QStringLiteral("posts")).toArray(), store)
        && readEvents(root.value(QStringLiteral("events")).toArray(), store)
        && readFirmware(root.value(QStringLiteral("firmware")).toObject(), store)
        && readInstallations(root.value(QStringLiteral("installations")).toArray(), store);
}

bool FixtureLoader::readCompanies(const QJsonArray &array, CloudStore *store)
{
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        const QString what = QStringLiteral("companies[%1]").arg(i);
        const QString problem = JsonShape(what)
                                    .required(QStringLiteral("id"), JsonShape::Integer)
                                    .required(QStringLiteral("title"), JsonShape::String)
                                    .optional(QStringLiteral("logo"), JsonShape::String)
                                    .problem(o);
        if (!problem.isEmpty())
            return fail(problem);
        CloudStore::Company company;
        company.id = o.value(QStringLiteral("id")).toInt();
        if (store->company(company.id))
            return fail(what + QStringLiteral(": duplicate id %1").arg(company.id));
        company.title = o.value(QStringLiteral("title")).toString();
        if (o.contains(QStringLiteral("logo"))) {
            QString error;
            company.logoFile = m_files.add(o.value(QStringLiteral("logo")).toString(), QString(), QString(), &error);
            if (company.logoFile < 0)
                return fail(what + QStringLiteral(": ") + error);
        }
        store->companies.append(company);
    }
    return true;
}

bool FixtureLoader::readUsers(const QJsonArray &array, CloudStore *store)
{
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        const QString what = QStringLiteral("users[%1]").arg(i);
        const QString problem = JsonShape(what)
                                    .required(QStringLiteral("id"), JsonShape::Integer)
                                    .required(QStringLiteral("email"), JsonShape::String)
                                    .required(QStringLiteral("password"), JsonShape::String)
                                    .required(QStringLiteral("role"), JsonShape::String)
                                    .optional(QStringLiteral("companyId"), JsonShape::Integer)
                                    .optional(QStringLiteral("firstName"), JsonShape::String)
                                    .optional(QStringLiteral("lastName"), JsonShape::String)
                                    .optional(QStringLiteral("fullname"), JsonShape::String)
                                    .optional(QStringLiteral("username"), JsonShape::String)
                                    .optional(QStringLiteral("dob"), JsonShape::String)
                                    .problem(o);
        if (!problem.isEmpty())
            return fail(problem);
        CloudStore::User user;
        user.id = o.value(QStringLiteral("id")).toInt();
        if (user.id <= 0 || store->user(user.id))
            return fail(what + QStringLiteral(": the id must be positive and unique"));
        user.email = o.value(QStringLiteral("email")).toString();
        if (store->userByEmail(user.email))
            return fail(what + QStringLiteral(": duplicate e-mail %1").arg(user.email));
        user.password = o.value(QStringLiteral("password")).toString();
        user.role = o.value(QStringLiteral("role")).toString();
        user.companyId = o.value(QStringLiteral("companyId")).toInt();
        if (user.companyId != 0 && !store->company(user.companyId))
            return fail(what + QStringLiteral(": unknown company %1").arg(user.companyId));
        user.firstName = o.value(QStringLiteral("firstName")).toString();
        user.lastName = o.value(QStringLiteral("lastName")).toString();
        user.fullname = o.value(QStringLiteral("fullname"))
                            .toString(QStringList{user.firstName, user.lastName}.join(QLatin1Char(' ')).trimmed());
        user.username = o.value(QStringLiteral("username")).toString(user.email.section(QLatin1Char('@'), 0, 0));
        if (o.contains(QStringLiteral("dob"))) {
            user.dob = QDate::fromString(o.value(QStringLiteral("dob")).toString(), Qt::ISODate);
            if (!user.dob.isValid())
                return fail(what + QStringLiteral(": 'dob' must be a date like 1990-05-17"));
        }
        store->users.append(user);
    }
    return true;
}

bool FixtureLoader::readDevices(const QJsonArray &array, CloudStore *store)
{
    static const QRegularExpression macPattern(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"),
                                               QRegularExpression::CaseInsensitiveOption);
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        const QString what = QStringLiteral("devices[%1]").arg(i);
        const QString problem = JsonShape(what)
                                    .required(QStringLiteral("mac"), JsonShape::String)
                                    .optional(QStringLiteral("activated"), JsonShape::Bool)
                                    .optional(QStringLiteral("name"), JsonShape::String)
                                    .optional(QStringLiteral("label"), JsonShape::String)
                                    .optional(QStringLiteral("location"), JsonShape::String)
                                    .optional(QStringLiteral("brightness"), JsonShape::Integer)
                                    .optional(QStringLiteral("toErase"), JsonShape::Bool)
                                    .optional(QStringLiteral("userId"), JsonShape::Integer)
                                    .optional(QStringLiteral("firmwareRevision"), JsonShape::String)
                                    .optional(QStringLiteral("hardwareRevision"), JsonShape::String)
                                    .optional(QStringLiteral("serialNumber"), JsonShape::String)
                                    .optional(QStringLiteral("lastPairedAt"), JsonShape::String)
                                    .problem(o);
        if (!problem.isEmpty())
            return fail(problem);
        const QString mac = o.value(QStringLiteral("mac")).toString();
        if (!macPattern.match(mac).hasMatch())
            return fail(what + QStringLiteral(": 'mac' must look like aa:bb:cc:dd:ee:ff"));
        if (store->device(mac))
            return fail(what + QStringLiteral(": duplicate mac %1").arg(mac));
        CloudStore::Device &device = store->addDevice(mac);
        device.activated = o.value(QStringLiteral("activated")).toBool(true);
        device.name = o.value(QStringLiteral("name")).toString();
        device.label = o.value(QStringLiteral("label")).toString();
        device.location = o.value(QStringLiteral("location")).toString();
        device.brightness = o.value(QStringLiteral("brightness")).toInt(100);
        device.toErase = o.value(QStringLiteral("toErase")).toBool();
        device.userId = o.value(QStringLiteral("userId")).toInt();
        if (device.userId != 0 && !store->user(device.userId))
            return fail(what + QStringLiteral(": unknown user %1").arg(device.userId));
        device.firmwareRevision = o.value(QStringLiteral("firmwareRevision")).toString();
        device.hardwareRevision = o.value(QStringLiteral("hardwareRevision")).toString();
        device.serialNumber = o.value(QStringLiteral("serialNumber")).toString();
        if (o.contains(QStringLiteral("lastPairedAt"))) {
            device.lastPairedAt = dateTime(o.value(QStringLiteral("lastPairedAt")));
            if (!device.lastPairedAt.isValid())
                return fail(what + QStringLiteral(": 'lastPairedAt' must be an ISO 8601 date-time"));
        }
    }
    return true;
}

bool FixtureLoader::readContents(const QJsonArray &array, CloudStore *store)
{
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        const QString what = QStringLiteral("contents[%1]").arg(i);
        const QString problem = JsonShape(what)
                                    .required(QStringLiteral("id"), JsonShape::Integer)
                                    .required(QStringLiteral("uuid"), JsonShape::Integer)
                                    .optional(QStringLiteral("name"), JsonShape::String)
                                    .optional(QStringLiteral("file"), JsonShape::String)
                                    .optional(QStringLiteral("linkName"), JsonShape::String)
                                    .optional(QStringLiteral("disposition"), JsonShape::String)
                                    .optional(QStringLiteral("imageFormat"), JsonShape::String)
                                    .optional(QStringLiteral("createdAt"), JsonShape::String)
                                    .problem(o);
        if (!problem.isEmpty())
            return fail(problem);
        CloudStore::Content content;
        content.id = static_cast<qint64>(o.value(QStringLiteral("id")).toDouble());
        content.uuid = static_cast<qint64>(o.value(QStringLiteral("uuid")).toDouble());
        if (content.id <= 0 || content.uuid <= 0 || store->contentById(content.id) || store->contentByUuid(content.uuid))
            return fail(what + QStringLiteral(": id and uuid must be positive and unique"));
        content.name = o.value(QStringLiteral("name")).toString();
        const QString file = o.value(QStringLiteral("file")).toString();
        if (!file.isEmpty()) {
            content.file = addFile(o, what);
            if (content.file < 0)
                return false;
        }
        content.imageFormat = o.value(QStringLiteral("imageFormat")).toString(formatFromName(file));
        content.createdAt = o.contains(QStringLiteral("createdAt"))
            ? dateTime(o.value(QStringLiteral("createdAt")))
            : QDateTime::fromSecsSinceEpoch(1700000000 + content.id * 60, Qt::UTC);
        if (!content.createdAt.isValid())
            return fail(what + QStringLiteral(": 'createdAt' must be an ISO 8601 date-time"));
        store->contents.append(content);
    }
    return true;
}

bool FixtureLoader::readPosts(const QJsonArray &array, CloudStore *store)
{
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        const QString what = QStringLiteral("posts[%1]").arg(i);
        const QString problem = JsonShape(what)
                                    .required(QStringLiteral("id"), JsonShape::Integer)
                                    .required(QStringLiteral("uuid"), JsonShape::Integer)
                                    .required(QStringLiteral("tamoIds"), JsonShape::IntegerArray)
                                    .optional(QStringLiteral("name"), JsonShape::String)
                                    .optional(QStringLiteral("timeInterval"), JsonShape::Integer)
                                    .optional(QStringLiteral("properties"), JsonShape::String)
                                    .optional(QStringLiteral("chargingTamoId"), JsonShape::Integer)
                                    .optional(QStringLiteral("createdAt"), JsonShape::String)
                                    .problem(o);
        if (!problem.isEmpty())
            return fail(problem);
        CloudStore::Post post;
        post.id = static_cast<qint64>(o.value(QStringLiteral("id")).toDouble());
        post.uuid = static_cast<qint64>(o.value(QStringLiteral("uuid")).toDouble());
        if (post.id <= 0 || post.uuid <= 0 || store->postByUuid(post.uuid) || store->contentByUuid(post.uuid))
            return fail(what + QStringLiteral(": id and uuid must be positive, the uuid unique among contents and posts"));
        for (const CloudStore::Post &other : store->posts) {
            if (other.id == post.id)
                return fail(what + QStringLiteral(": duplicate id %1").arg(post.id));
        }
        post.name = o.value(QStringLiteral("name")).toString();
        if (o.contains(QStringLiteral("properties"))) {
            post.properties = o.value(QStringLiteral("properties")).toString();
        } else {
            const QJsonObject properties{
                {QStringLiteral("timeInterval"), o.value(QStringLiteral("timeInterval")).toInt(10)}};
            post.properties = QString::fromUtf8(QJsonDocument(properties).toJson(QJsonDocument::Compact));
        }
        post.tamoIds = ids(o.value(QStringLiteral("tamoIds")));
        post.chargingTamoId = static_cast<qint64>(o.value(QStringLiteral("chargingTamoId")).toDouble());
        QList<qint64> referenced = post.tamoIds;
        if (post.chargingTamoId != 0)
            referenced.append(post.chargingTamoId);
        for (qint64 id : referenced) {
            if (!store->contentById(id))
                return fail(what + QStringLiteral(": no content with id %1").arg(id));
        }
        post.createdAt = o.contains(QStringLiteral("createdAt"))
            ? dateTime(o.value(QStringLiteral("createdAt")))
            : QDateTime::fromSecsSinceEpoch(1700000000 + post.id * 60, Qt::UTC);
        if (!post.createdAt.isValid())
            return fail(what + QStringLiteral(": 'createdAt' must be an ISO 8601 date-time"));
        store->posts.append(post);
    }
    return true;
}

bool FixtureLoader::readEvents(const QJsonArray &array, CloudStore *store)
{
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        const QString what = QStringLiteral("events[%1]").arg(i);
        const QString problem = JsonShape(what)
                                    .required(QStringLiteral("id"), JsonShape::Integer)
                                    .required(QStringLiteral("mac"), JsonShape::String)
                                    .required(QStringLiteral("contentIds"), JsonShape::IntegerArray)
                                    .optional(QStringLiteral("defaultContentId"), JsonShape::Integer)
                                    .optional(QStringLiteral("isUploaded"), JsonShape::Bool)
                                    .problem(o);
        if (!problem.isEmpty())
            return fail(problem);
        CloudStore::Event event;
        event.id = static_cast<qint64>(o.value(QStringLiteral("id")).toDouble());
        if (event.id <= 0 || store->event(event.id))
            return fail(what + QStringLiteral(": the id must be positive and unique"));
        const CloudStore::Device *device = store->device(o.value(QStringLiteral("mac")).toString());
        if (!device)
            return fail(what + QStringLiteral(": no device with mac %1").arg(o.value(QStringLiteral("mac")).toString()));
        event.mac = device->mac;
        event.contentIds = ids(o.value(QStringLiteral("contentIds")));
        for (qint64 uuid : event.contentIds) {
            if (!store->contentByUuid(uuid) && !store->postByUuid(uuid))
                return fail(what + QStringLiteral(": no content or post with uuid %1").arg(uuid));
        }
        event.defaultContentId = static_cast<qint64>(o.value(QStringLiteral("defaultContentId")).toDouble());
        if (event.defaultContentId != 0 && !event.contentIds.contains(event.defaultContentId))
            return fail(what + QStringLiteral(": 'defaultContentId' must be one of 'contentIds'"));
        event.isUploaded = o.value(QStringLiteral("isUploaded")).toBool();
        store->events.append(event);
    }
    return true;
}

bool FixtureLoader::readFirmware(const QJsonObject &o, CloudStore *store)
{
    if (o.isEmpty())
        return true;
    const QString problem = JsonShape(QStringLiteral("firmware"))
                                .required(QStringLiteral("version"), JsonShape::String)
                                .required(QStringLiteral("file"), JsonShape::String)
                                .optional(QStringLiteral("linkName"), JsonShape::String)
                                .optional(QStringLiteral("disposition"), JsonShape::String)
                                .optional(QStringLiteral("offerAtRegistration"), JsonShape::Bool)
                                .problem(o);
    if (!problem.isEmpty())
        return fail(problem);
    store->firmware.present = true;
    store->firmware.version = o.value(QStringLiteral("version")).toString();
    if (QVersionNumber::fromString(store->firmware.version).isNull())
        return fail(QStringLiteral("firmware: 'version' must be a version number"));
    store->firmware.offerAtRegistration = o.value(QStringLiteral("offerAtRegistration")).toBool();
    store->firmware.file = addFile(o, QStringLiteral("firmware"));
    return store->firmware.file >= 0;
}

bool FixtureLoader::readInstallations(const QJsonArray &array, CloudStore *store)
{
    static const QStringList types{QStringLiteral("pc"), QStringLiteral("mac"), QStringLiteral("upgrate tool"),
                                   QStringLiteral("dfu")};
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        const QString what = QStringLiteral("installations[%1]").arg(i);
        const QString problem = JsonShape(what)
                                    .required(QStringLiteral("type"), JsonShape::String)
                                    .required(QStringLiteral("name"), JsonShape::String)
                                    .required(QStringLiteral("file"), JsonShape::String)
                                    .optional(QStringLiteral("id"), JsonShape::Integer)
                                    .optional(QStringLiteral("active"), JsonShape::Bool)
                                    .optional(QStringLiteral("linkName"), JsonShape::String)
                                    .optional(QStringLiteral("disposition"), JsonShape::String)
                                    .problem(o);
        if (!problem.isEmpty())
            return fail(problem);
        CloudStore::Installation installation;
        installation.id = o.value(QStringLiteral("id")).toInt(i + 1);
        installation.type = o.value(QStringLiteral("type")).toString();
        if (!types.contains(installation.type))
            return fail(what + QStringLiteral(": 'type' must be one of ") + types.join(QStringLiteral(", ")));
        installation.name = o.value(QStringLiteral("name")).toString();
        installation.active = o.value(QStringLiteral("active")).toBool();
        installation.file = addFile(o, what);
        if (installation.file < 0)
            return false;
        store->installations.append(installation);
    }
    return true;
}

QString FixtureLoader::formatDescription()
{
    return QStringLiteral(R"(Fixture format (one JSON object; every key optional unless marked *, unknown
keys are refused; file names are relative to --files and stay inside it):
{
  "minFWVersion": "1.5.28",            the platform's minimum firmware version
  "companies": [{"id"*: 1, "title"*: "Acme", "logo": "logo.png"}],
  "users": [{"id"*: 7, "email"*: "a@b.example", "password"*: "secret",
             "role"*: "company_manager",    (or "admin"; other roles can sign in,
                                              and the application refuses them)
             "companyId": 1, "firstName": "Ann", "lastName": "Lee",
             "fullname": "Ann Lee",         (default: first and last name)
             "username": "ann",             (default: the e-mail's local part)
             "dob": "1990-05-17"}],
  "devices": [{"mac"*: "aa:bb:cc:00:00:01",   (matched without regard to case)
               "activated": true, "name": "", "label": "", "location": "",
               "brightness": 100, "toErase": false,
               "userId": 7,                 (the owner; 0 or absent: none)
               "firmwareRevision": "", "hardwareRevision": "", "serialNumber": "",
               "lastPairedAt": "2024-05-01T10:00:00.000Z"}],
  "contents": [{"id"*: 101, "uuid"*: 5001, "name": "", "file": "sunrise.jpg",
                "imageFormat": "image/jpeg",   (default from the file's suffix:
                                               .jpg/.jpeg, .png, .gif)
                "createdAt": "2024-05-01T10:00:00.000Z",
                "linkName": "...",           (last segment of the signed link;
                "disposition": "..."}],       Content-Disposition file name;
                                               both default to the file's name)
  "posts": [{"id"*: 201, "uuid"*: 6001, "name": "",
             "tamoIds"*: [101, 102],        (content ids, in slide order)
             "chargingTamoId": 103,         (content id shown while charging)
             "timeInterval": 5,             (seconds per slide, default 10), or
             "properties": "{...}",         (the raw "properties" text instead)
             "createdAt": "..."}],
  "events": [{"id"*: 42, "mac"*: "aa:bb:cc:00:00:01",
              "contentIds"*: [5001, 6001],  (uuids of contents and posts)
              "defaultContentId": 6001, "isUploaded": false}],
              (a device's current event is the last one listed for it; an upload
               status "success" marks it uploaded)
  "firmware": {"version"*: "1.6.0", "file"*: "tamo.dfu",
               "offerAtRegistration": false,  (offer it to devices registering
                                               with an older fwVersion)
               "linkName": "...", "disposition": "..."},
               (the file of "tamo_device_usb/upgrade")
  "installations": [{"type"*: "dfu",           ("pc", "mac", "upgrate tool", "dfu")
                     "name"*: "tamo.dfu", "file"*: "tamo.dfu", "active": false,
                     "id": 1, "linkName": "...", "disposition": "..."}]
}
)");
}
