#include "PublishRig.h"

#include "ContentsChef.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "ImageBytes.h"
#include "NetworkManager.h"
#include "PublishingSession.h"
#include "SelfSignedCertificate.h"
#include "TlsTrust.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

#ifndef TAMO_DEMO_FIXTURE
#error "TAMO_DEMO_FIXTURE must name the cloud simulator's demo fixture"
#endif
#ifndef TAMO_DEMO_FILES
#error "TAMO_DEMO_FILES must name the folder of the demo's generated files"
#endif

PublishRig::PublishRig() = default;

PublishRig::~PublishRig()
{
    m_session.reset();
    if (m_devices)
        m_devices->reset();
    m_sim.stop();
}

QJsonObject PublishRig::demoFixture()
{
    QFile file(QStringLiteral(TAMO_DEMO_FIXTURE));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

QMap<QString, QByteArray> PublishRig::demoFiles()
{
    QMap<QString, QByteArray> files;
    QDirIterator it(QStringLiteral(TAMO_DEMO_FILES), QDir::Files);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(it.fileName(), file.readAll());
    }
    return files;
}

QString PublishRig::macOf(int index)
{
    return QStringLiteral("c4:4f:33:0a:0b:%1").arg(index, 2, 16, QLatin1Char('0'));
}

bool PublishRig::startCloud(const QJsonObject &fixture, const QMap<QString, QByteArray> &files,
                            const QStringList &faults)
{
    if (!m_dir.isValid() || !makeSelfSignedCertificate(m_dir.path(), QStringLiteral("cloud"))) {
        m_failure = QStringLiteral("no certificate for the cloud");
        return false;
    }
    const QString certificate = m_dir.filePath(QStringLiteral("cloud.crt"));
    m_cloud = std::make_unique<CloudSim>(
        fixture, QStringList{QStringLiteral("--tls-cert"), certificate, QStringLiteral("--tls-key"),
                             m_dir.filePath(QStringLiteral("cloud.key"))} + faults,
        files);
    if (!m_cloud->isRunning()) {
        m_failure = m_cloud->failure();
        return false;
    }
    m_cloud->setCaCertificate(certificate);
    m_cloud->useForClient();
    qputenv(TlsTrust::kEnvironmentVariable, QFile::encodeName(certificate));
    return true;
}

bool PublishRig::startDevices(int count, const QStringList &arguments)
{
    if (!m_sim.start(arguments, count)) {
        m_failure = QStringLiteral("the device simulator did not start: ") + m_sim.errors();
        return false;
    }
    return true;
}

bool PublishRig::loginAndAttach(int count)
{
    m_network = std::make_unique<NetworkManager>();
    m_devices = std::make_unique<DevicesManager>();
    QSignalSpy logined(m_network.get(), &NetworkManager::logined);
    m_network->login(QLatin1String(kEmail), QLatin1String(kPassword));
    if (!logined.wait(20000) || !logined.at(0).at(0).toBool()) {
        m_failure = QStringLiteral("login failed: ") + (logined.isEmpty() ? QString() : logined.at(0).at(1).toString());
        return false;
    }
    m_devices->startTracking();
    QDeadlineTimer deadline(30000);
    while (m_devices->devicesModel()->devices().size() < count && !deadline.hasExpired())
        QTest::qWait(20);
    if (m_devices->devicesModel()->devices().size() < count) {
        m_failure = QStringLiteral("only %1 of %2 devices initialised")
                        .arg(m_devices->devicesModel()->devices().size())
                        .arg(count);
        return false;
    }
    return true;
}

bool PublishRig::preload(const QString &mac, const QStringList &ids)
{
    QVector<UploadItem> items;
    for (const QString &id : ids) {
        const QColor colour = QColor::fromHsv((id.toInt() * 37) % 360, 200, 200);
        items.append(UploadItem{id, {ImageFrame{imageBytes(QSize(40, 40), colour, "JPG"), 0}}});
    }
    QSignalSpy uploaded(m_devices.get(), &DevicesManager::filesUploaded);
    m_devices->uploadFiles(mac, items, {}, QString(), QString());
    if (!uploaded.wait(30000) || !uploaded.at(0).at(1).toBool()) {
        m_failure = QStringLiteral("preloading %1 failed").arg(mac);
        return false;
    }
    return true;
}

void PublishRig::startPublishing(qint64 pictureBudget)
{
    m_session = std::make_unique<PublishingSession>(m_devices.get(), m_network.get());
    if (pictureBudget > 0)
        m_session->chef()->setPictureBudget(pictureBudget);
    PublishingProgress *progress = m_session->progress();
    connect(progress, &PublishingProgress::stepReached, this,
            [this](const QString &mac, PublishingProgress::Step step, const QString &detail) {
                m_steps[mac] << (QString::fromLatin1(QMetaEnum::fromType<PublishingProgress::Step>().valueToKey(step))
                                 + (detail.isEmpty() ? QString() : QLatin1Char(' ') + detail));
            });
    connect(progress, &PublishingProgress::finished, this,
            [this](const QString &mac, PublishingProgress::Outcome outcome, const QString &detail) {
                switch (outcome) {
                case PublishingProgress::Published:
                    m_outcomes[mac] << QStringLiteral("uploaded ") + detail;
                    break;
                case PublishingProgress::UpToDate:
                    m_outcomes[mac] << QStringLiteral("up to date");
                    break;
                case PublishingProgress::Failed:
                    m_outcomes[mac] << QStringLiteral("failed: ") + detail;
                    break;
                case PublishingProgress::NextPass:
                    break;
                }
            });
    // The devices were attached before the session: its first pass finds them.
    m_session->chef()->refreshDevices();
}

bool PublishRig::waitForOutcomes(const QStringList &macs, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    const auto done = [&] {
        for (const QString &mac : macs)
            if (!m_outcomes.contains(mac))
                return false;
        // Every update of a device record has been answered by the cloud.
        return !m_session->chef()->hasCloudWritesInFlight();
    };
    while (!done() && !deadline.hasExpired())
        QTest::qWait(20);
    return done();
}

void PublishRig::stopPublishing()
{
    m_session.reset();
}

QString PublishRig::outcome(const QString &mac) const
{
    return m_outcomes.value(mac).value(0);
}

QStringList PublishRig::outcomes(const QString &mac) const
{
    return m_outcomes.value(mac);
}

QStringList PublishRig::steps(const QString &mac) const
{
    return m_steps.value(mac);
}

int PublishRig::status(const QString &mac) const
{
    const QVariant status = m_devices->deviceValue(mac, DeviceInfo::Status);
    return m_devices->deviceValue(mac, DeviceInfo::MacAddress).isValid() ? status.toInt() : -1;
}

QMap<QString, int> PublishRig::deviceItems(int index) const
{
    QMap<QString, int> items;
    const QString serial = QStringLiteral("TAMOSIM%1").arg(index, 4, 10, QLatin1Char('0'));
    for (const QJsonValue &value : m_sim.snapshot(serial).value(QStringLiteral("items")).toArray()) {
        const QJsonObject item = value.toObject();
        if (item.value(QStringLiteral("complete")).toBool())
            items.insert(item.value(QStringLiteral("id")).toString(), item.value(QStringLiteral("frames")).toInt());
    }
    return items;
}

QJsonObject PublishRig::cloudDevice(const QString &mac) const
{
    for (const QJsonValue &value : m_cloud->record().value(QStringLiteral("devices")).toArray())
        if (value.toObject().value(QStringLiteral("mac")).toString() == mac)
            return value.toObject();
    return QJsonObject();
}

QStringList PublishRig::uploadStatuses(const QString &mac) const
{
    QStringList statuses;
    for (const QJsonValue &value : m_cloud->actions(QStringLiteral("uploadStatus")))
        if (value.toObject().value(QStringLiteral("macAddress")).toString() == mac)
            statuses << value.toObject().value(QStringLiteral("status")).toString();
    return statuses;
}

QJsonArray PublishRig::deviceUpdates(const QString &mac) const
{
    QJsonArray updates;
    for (const QJsonValue &value : m_cloud->actions(QStringLiteral("deviceUpdates")))
        if (value.toObject().value(QStringLiteral("pathMac")).toString() == mac)
            updates.append(value);
    return updates;
}
