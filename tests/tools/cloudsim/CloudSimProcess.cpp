#include "CloudSimProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

QByteArray CloudSimProcess::sampleFileBytes(const QString &name)
{
    return "sample file " + name.toUtf8() + QByteArray(300, 'x');
}

QJsonObject CloudSimProcess::sampleFixture()
{
    const QByteArray text = R"({
      "minFWVersion": "1.5.28",
      "companies": [{"id": 1, "title": "Acme Displays", "logo": "logo.png"},
                    {"id": 2, "title": "No Logo Ltd"}],
      "users": [
        {"id": 7, "email": "manager@acme.example", "password": "s3cret-Pass", "role": "company_manager",
         "companyId": 1, "firstName": "Mia", "lastName": "Stone", "username": "mia", "dob": "1990-05-17"},
        {"id": 8, "email": "worker@acme.example", "password": "w0rker-Pass", "role": "user",
         "companyId": 1, "firstName": "Will", "lastName": "Hart"},
        {"id": 9, "email": "admin@acme.example", "password": "adm1n-Pass", "role": "Admin", "companyId": 2}
      ],
      "devices": [
        {"mac": "aa:bb:cc:00:00:01", "activated": true, "name": "TAMO-01", "label": "Front", "location": "Hall",
         "brightness": 70, "userId": 8, "firmwareRevision": "1.5.30", "hardwareRevision": "P1",
         "serialNumber": "SN01", "lastPairedAt": "2024-05-01T10:00:00.000Z"},
        {"mac": "AA:BB:CC:00:00:02", "activated": true, "toErase": true},
        {"mac": "aa:bb:cc:00:00:03", "activated": false, "location": "Store"}
      ],
      "contents": [
        {"id": 101, "uuid": 5001, "file": "a.jpg", "createdAt": "2024-01-02T03:04:05.006Z"},
        {"id": 102, "uuid": 5002, "file": "b.png"},
        {"id": 103, "uuid": 5003, "file": "c.gif"},
        {"id": 104, "uuid": 5004, "file": "d.png"},
        {"id": 105, "uuid": 5005, "file": "a.jpg", "imageFormat": "image/bmp"}
      ],
      "posts": [
        {"id": 201, "uuid": 6001, "timeInterval": 5, "tamoIds": [101, 102, 101], "chargingTamoId": 104,
         "createdAt": "2024-02-03T04:05:06.007Z"},
        {"id": 202, "uuid": 6002, "properties": "", "tamoIds": [103]}
      ],
      "events": [
        {"id": 41, "mac": "aa:bb:cc:00:00:01", "contentIds": [5001], "defaultContentId": 5001, "isUploaded": true},
        {"id": 42, "mac": "aa:bb:cc:00:00:01", "contentIds": [5001, 5003, 6001, 5005], "defaultContentId": 6001},
        {"id": 43, "mac": "aa:bb:cc:00:00:03", "contentIds": [5002]}
      ],
      "firmware": {"version": "1.6.0", "file": "fw.dfu", "offerAtRegistration": true},
      "installations": [
        {"id": 1, "type": "dfu", "name": "old.dfu", "file": "fw.dfu"},
        {"id": 2, "type": "pc", "name": "setup.exe", "file": "fw.dfu", "active": true},
        {"id": 3, "type": "dfu", "name": "../evil name.dfu", "file": "fw.dfu", "active": true,
         "linkName": "..", "disposition": "../../outside.dfu"},
        {"id": 4, "type": "upgrate tool", "name": "tool.zip", "file": "fw.dfu", "active": true}
      ]
    })";
    return QJsonDocument::fromJson(text).object();
}

bool CloudSimProcess::start(const QJsonObject &fixture, const QStringList &extraArguments)
{
    const QString fixturePath = m_dir.filePath(QStringLiteral("fixture.json"));
    QFile file(fixturePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(fixture).toJson());
    file.close();
    for (const char *name : {"logo.png", "a.jpg", "b.png", "c.gif", "d.png", "fw.dfu"}) {
        QFile sample(m_dir.filePath(QString::fromLatin1(name)));
        if (!sample.open(QIODevice::WriteOnly))
            return false;
        sample.write(sampleFileBytes(QString::fromLatin1(name)));
    }
    QStringList arguments{QStringLiteral("--fixture"), fixturePath, QStringLiteral("--state"), statePath()};
    if (!extraArguments.contains(QStringLiteral("--port")))
        arguments << QStringLiteral("--port") << QStringLiteral("0");
    return SimProcess::start(arguments + extraArguments, QStringLiteral("http"), &m_baseUrl)
        && m_baseUrl.endsWith(QLatin1String("/api/v1/"));
}
