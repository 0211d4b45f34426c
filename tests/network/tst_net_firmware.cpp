// Firmware files from the simulator into a folder: names that count up, names
// from the server that never choose a folder, and failures that leave no file.
#include "CloudSim.h"
#include "NetworkManager.h"
#include "requests/DownloadDataRequest.h"
#include "requests/GetDfuRequest.h"
#include "Timings.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray kFirmware("DfuSe firmware image \x01\x02\x03 with some length to it", 48);

QJsonObject user()
{
    return QJsonObject{{"id", 7}, {"email", "op@acme.test"}, {"password", "Op-Pass-1"}, {"role", "company_manager"}};
}

QJsonObject fixture(const QJsonObject &firmware, const QJsonArray &installations = {})
{
    QJsonObject f{{"users", QJsonArray{user()}}, {"firmware", firmware}};
    if (!installations.isEmpty())
        f.insert("installations", installations);
    return f;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestNetFirmware : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_folder.reset()); }

    void cleanup()
    {
        m_net.reset();
        m_sim.reset();
        Timings::restoreDefaults();
    }

    void inactivityEndsOnlyAStalledDownload_data()
    {
        QTest::addColumn<int>("pauseMs"); // before each eighth of the file
        QTest::addColumn<bool>("success");
        QTest::newRow("stalled") << 5000 << false;
        QTest::newRow("slow but moving") << 250 << true; // 2 s in all, longer than the time-out
    }

    void inactivityEndsOnlyAStalledDownload()
    {
        QFETCH(int, pauseMs);
        QFETCH(bool, success);
        Timings::set(Timings::RequestTimeout, 1500);
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}),
                      {"--slow-body", QStringLiteral("files/*=%1").arg(pauseMs)}));
        m_net = std::make_unique<NetworkManager>();
        const QList<QVariant> result = download(false);
        QCOMPARE(result.at(0).toBool(), success);
        if (success) {
            QCOMPARE(read(result.at(2).toString()), kFirmware);
        } else {
            QCOMPARE(result.at(3).toString(), QStringLiteral("No data from the cloud for 1.5 s"));
            QVERIFY(entries(m_folder.path()).isEmpty());
        }
        // The request is gone, and its access manager with it.
        QTRY_VERIFY(m_net->findChildren<QNetworkAccessManager *>().isEmpty());
    }

    void downloadsCountUpAndNeverOverwrite()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}})));
        m_net = std::make_unique<NetworkManager>(); // no login needed
        QStringList paths;
        for (int i = 0; i < 3; ++i) {
            const QList<QVariant> result = download(false);
            QCOMPARE(result.at(0).toBool(), true);
            QCOMPARE(result.at(1).value<NetworkManager::DataType>(), NetworkManager::FirmwareFileKey);
            QCOMPARE(result.at(3).toString(), QString());
            paths.append(result.at(2).toString());
        }
        QCOMPARE(entries(m_folder.path()), (QStringList{"tamo(1).dfu", "tamo(2).dfu", "tamo.dfu"}));
        QCOMPARE(QFileInfo(paths.at(0)).fileName(), QStringLiteral("tamo.dfu"));
        QCOMPARE(QFileInfo(paths.at(2)).fileName(), QStringLiteral("tamo(2).dfu"));
        for (const QString &path : paths)
            QCOMPARE(read(path), kFirmware);
        QCOMPARE(m_sim->requests("tamo_device_usb/upgrade").size(), 3);
    }

    void installerNeedsALogin()
    {
        const QJsonArray installers{
            QJsonObject{{"type", "dfu"}, {"name", "old.dfu"}, {"file", "tamo.dfu"}, {"active", false}, {"id", 1}},
            QJsonObject{{"type", "dfu"}, {"name", "current.dfu"}, {"file", "tamo.dfu"}, {"active", true}, {"id", 2}}};
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}, installers)));
        m_net = std::make_unique<NetworkManager>();
        QList<QVariant> result = download(true);
        QCOMPARE(result.at(0).toBool(), false);
        QCOMPARE(result.at(2).toString(), QString());
        QCOMPARE(result.at(3).toString(), QStringLiteral("Cannot refresh access token"));
        QVERIFY(entries(m_folder.path()).isEmpty());

        QVERIFY(login());
        result = download(true);
        QCOMPARE(result.at(0).toBool(), true);
        QCOMPARE(QFileInfo(result.at(2).toString()).fileName(), QStringLiteral("current.dfu"));
        QCOMPARE(read(result.at(2).toString()), kFirmware);
    }

    void serverNamesNeverChooseAFolder()
    {
        const QJsonArray installers{QJsonObject{{"type", "dfu"}, {"name", "../../escaped.dfu"}, {"file", "tamo.dfu"},
                                                {"active", true}, {"id", 1}}};
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}, {"linkName", "builds/"}}, installers)));
        QTemporaryDir outer;
        const QString folder = outer.filePath("inner/deeper");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(login());

        QList<QVariant> result = download(true, folder);
        QCOMPARE(result.at(0).toBool(), true);
        QCOMPARE(result.at(2).toString(), folder + QDir::separator() + "escaped.dfu");
        QVERIFY(!QFileInfo::exists(outer.filePath("escaped.dfu")));

        // A link ending in "/" gives no name at all: a safe default is used.
        result = download(false, folder);
        QCOMPARE(result.at(0).toBool(), true);
        QCOMPARE(QFileInfo(result.at(2).toString()).fileName(), QStringLiteral("firmware.dfu"));
        QCOMPARE(QFileInfo(result.at(2).toString()).absolutePath(), QFileInfo(folder).absoluteFilePath());
        QCOMPARE(entries(outer.path()), QStringList());
    }

    void contentDispositionGivesABareName()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}, {"disposition", "../../evil.dfu"}})));
        GetDfuRequest lookup;
        QSignalSpy looked(&lookup, &Request::finished);
        lookup.slotSend();
        QVERIFY(looked.wait(5000));
        QVERIFY(!lookup.hasError());
        DownloadDataRequest request;
        request.setUrl(lookup.fileUrl());
        QSignalSpy finished(&request, &Request::finished);
        request.slotSend();
        QVERIFY(finished.wait(5000));
        QVERIFY(!request.hasError());
        QCOMPARE(request.data(), kFirmware);
        QCOMPARE(request.fileName(), QStringLiteral("evil.dfu"));
    }

    void linkWithoutSuffixEndsInADot()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}, {"linkName", "latest"}})));
        m_net = std::make_unique<NetworkManager>();
        const QList<QVariant> result = download(false);
        QCOMPARE(result.at(0).toBool(), true);
        QCOMPARE(QFileInfo(result.at(2).toString()).fileName(), QStringLiteral("latest."));
    }

    void cutDownloadLeavesNoFile()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}), {"--close-mid-answer", "files/*"}));
        m_net = std::make_unique<NetworkManager>();
        const QList<QVariant> result = download(false);
        QCOMPARE(result.at(0).toBool(), false);
        QVERIFY(!result.at(3).toString().isEmpty());
        QVERIFY(!QFileInfo::exists(result.at(2).toString()));
        QVERIFY(entries(m_folder.path()).isEmpty());
    }

    void refusedLinkLeavesNoFile()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}), {"--fail", "files/*=403:Link expired"}));
        m_net = std::make_unique<NetworkManager>();
        const QList<QVariant> result = download(false);
        QCOMPARE(result.at(0).toBool(), false);
        QVERIFY(entries(m_folder.path()).isEmpty());
    }

    void noActiveInstallerFailsCleanly()
    {
        const QJsonArray installers{
            QJsonObject{{"type", "dfu"}, {"name", "old.dfu"}, {"file", "tamo.dfu"}, {"active", false}, {"id", 1}}};
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}, installers)));
        QVERIFY(login());
        const QList<QVariant> result = download(true);
        QCOMPARE(result.at(0).toBool(), false);
        QVERIFY(entries(m_folder.path()).isEmpty());
    }

    void missingFolderIsAFailure()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}})));
        m_net = std::make_unique<NetworkManager>();
        const QList<QVariant> result = download(false, m_folder.filePath("does/not/exist"));
        QCOMPARE(result.at(0).toBool(), false);
        QVERIFY(result.at(3).toString().startsWith(QStringLiteral("Cannot write")));
        QCOMPARE(m_sim->requests().size(), 1); // the lookup only; no file was fetched
    }

    void logoutDoesNotStopADownload()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}), {"--latency-ms", "200"}));
        QVERIFY(login());
        QSignalSpy files(m_net.get(), &NetworkManager::fileDownloaded);
        m_net->downloadFirmwareFile(m_folder.path(), false);
        m_net->logout();
        QVERIFY(files.wait(5000));
        QCOMPARE(files.at(0).at(0).toBool(), true);
        QCOMPARE(read(files.at(0).at(2).toString()), kFirmware);
    }

private:
    bool start(const QJsonObject &f, const QStringList &args = {})
    {
        m_sim = std::make_unique<CloudSim>(f, args, QMap<QString, QByteArray>{{"tamo.dfu", kFirmware}});
        if (!m_sim->isRunning()) {
            qWarning() << m_sim->failure();
            return false;
        }
        m_sim->useForClient();
        return true;
    }

    bool login()
    {
        m_net = std::make_unique<NetworkManager>();
        QSignalSpy logined(m_net.get(), &NetworkManager::logined);
        m_net->login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        return logined.wait(5000) && logined.at(0).at(0).toBool();
    }

    QList<QVariant> download(bool withAuth, const QString &folder = QString())
    {
        QSignalSpy files(m_net.get(), &NetworkManager::fileDownloaded);
        m_net->downloadFirmwareFile(folder.isEmpty() ? m_folder.path() : folder, withAuth);
        if (!files.wait(5000) || files.count() != 1)
            return {false, 0, QString(), QStringLiteral("no answer")};
        return files.takeFirst();
    }

    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    struct Folder
    {
        bool reset()
        {
            dir = std::make_unique<QTemporaryDir>();
            return dir->isValid();
        }
        QString path() const { return dir->path(); }
        QString filePath(const QString &name) const { return dir->filePath(name); }
        std::unique_ptr<QTemporaryDir> dir;
    } m_folder;
    std::unique_ptr<CloudSim> m_sim;
    std::unique_ptr<NetworkManager> m_net;
};

QTEST_MAIN(TestNetFirmware)
#include "tst_net_firmware.moc"
