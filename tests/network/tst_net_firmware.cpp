// Firmware files from the simulator into a folder: names that count up, names
// from the server that never choose a folder, and failures that leave no file.
#include "CloudSim.h"
#include "NetworkManager.h"
#include "DownloadRequest.h"
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

QJsonObject fixture(const QJsonObject &firmware, const QJsonArray &installations = {})
{
    QJsonObject f{{"users", QJsonArray{CloudSim::operatorUser()}}, {"firmware", firmware}};
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
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
    }

    void cleanup()
    {
        m_cloud.reset();
        Timings::restoreDefaults();
    }

    void slowDownloadThatKeepsMovingIsNeverCut()
    {
        Timings::set(Timings::RequestTimeout, 1500);
        // An eighth of the file every 250 ms: 2 s in all, longer than the time-out.
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}), {"--slow-body", "files/*=250"}));
        const QList<QVariant> result = download(false);
        QCOMPARE(result.at(0).toBool(), true);
        QCOMPARE(read(result.at(2).toString()), kFirmware);
    }

    void downloadsCountUpAndNeverOverwrite()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}})));
        QStringList paths;
        for (int i = 0; i < 3; ++i) {
            const QList<QVariant> result = download(false);
            QCOMPARE(result.at(0).toBool(), true);
            QCOMPARE(result.at(1).value<NetworkManager::DataType>(), NetworkManager::FirmwareFileKey);
            QCOMPARE(result.at(3).toString(), QString());
            paths.append(result.at(2).toString());
        }
        QCOMPARE(entries(m_folder->path()), (QStringList{"tamo(1).dfu", "tamo(2).dfu", "tamo.dfu"}));
        QCOMPARE(QFileInfo(paths.at(0)).fileName(), QStringLiteral("tamo.dfu"));
        QCOMPARE(QFileInfo(paths.at(2)).fileName(), QStringLiteral("tamo(2).dfu"));
        for (const QString &path : paths)
            QCOMPARE(read(path), kFirmware);
        QCOMPARE(sim()->requests("tamo_device_usb/upgrade").size(), 3);
    }

    void installerNeedsALogin()
    {
        const QJsonArray installers{
            QJsonObject{{"type", "dfu"}, {"name", "old.dfu"}, {"file", "tamo.dfu"}, {"active", false}, {"id", 1}},
            QJsonObject{{"type", "dfu"}, {"name", "current.dfu"}, {"file", "tamo.dfu"}, {"active", true}, {"id", 2}}};
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}, installers)));
        QList<QVariant> result = download(true);
        QCOMPARE(result.at(0).toBool(), false);
        QCOMPARE(result.at(2).toString(), QString());
        QCOMPARE(result.at(3).toString(), QStringLiteral("Cannot refresh access token"));
        QVERIFY(entries(m_folder->path()).isEmpty());

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
        const QList<QVariant> result = download(false);
        QCOMPARE(result.at(0).toBool(), true);
        QCOMPARE(QFileInfo(result.at(2).toString()).fileName(), QStringLiteral("latest."));
    }

    void failedDownloadLeavesNoFile_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<bool>("installer");
        QTest::addColumn<QString>("text"); // empty: any text
        QTest::addColumn<qint64>("size");  // of the file served; 0: the usual one
        const QString tooLarge = QStringLiteral("The firmware file is larger than the 16 MiB allowed");
        const qint64 over = DownloadRequest::MaxFirmwareBytes + 1;
        QTest::newRow("cut mid-answer") << QStringList{"--close-mid-answer", "files/*"} << false << QString()
                                        << qint64(0);
        QTest::newRow("link refused") << QStringList{"--fail", "files/*=403:Link expired"} << false
                                      << "Link expired" << qint64(0);
        QTest::newRow("stalled") << QStringList{"--slow-body", "files/*=5000"} << false
                                 << "No data from the cloud for 1.5 s" << qint64(0);
        QTest::newRow("no active installer") << QStringList() << true << "The cloud gave no link to fetch"
                                             << qint64(0);
        QTest::newRow("larger than allowed") << QStringList() << false << tooLarge << over;
        // No length announced: the count of what arrived stops it.
        QTest::newRow("larger than allowed, unannounced") << QStringList{"--chunked", "files/*"} << false
                                                          << tooLarge << over;
    }

    void failedDownloadLeavesNoFile()
    {
        QFETCH(QStringList, faults);
        QFETCH(bool, installer);
        QFETCH(QString, text);
        QFETCH(qint64, size);
        Timings::set(Timings::RequestTimeout, 1500);
        const QJsonArray inactive{
            QJsonObject{{"type", "dfu"}, {"name", "old.dfu"}, {"file", "tamo.dfu"}, {"active", false}, {"id", 1}}};
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}, inactive), faults,
                      size > 0 ? QByteArray(size, 'F') : kFirmware));
        QVERIFY(!installer || login());
        const QList<QVariant> result = download(installer);
        QCOMPARE(result.at(0).toBool(), false);
        QVERIFY(!result.at(3).toString().isEmpty());
        if (!text.isEmpty())
            QCOMPARE(result.at(3).toString(), text);
        QVERIFY(entries(m_folder->path()).isEmpty());
        // The request is gone.
        QTRY_VERIFY(net()->findChildren<Request *>().isEmpty());
    }

    void missingFolderIsAFailure()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}})));
        const QList<QVariant> result = download(false, m_folder->filePath("does/not/exist"));
        QCOMPARE(result.at(0).toBool(), false);
        QVERIFY(result.at(3).toString().startsWith(QStringLiteral("Cannot write")));
        QCOMPARE(sim()->requests().size(), 1); // the lookup only; no file was fetched
    }

    void logoutDoesNotStopADownload()
    {
        QVERIFY(start(fixture({{"version", "1.6.0"}, {"file", "tamo.dfu"}}), {"--latency-ms", "200"}));
        QVERIFY(login());
        QSignalSpy files(net(), &NetworkManager::fileDownloaded);
        net()->downloadFirmwareFile(m_folder->path(), false);
        net()->logout();
        QVERIFY(files.wait(5000));
        QCOMPARE(files.at(0).at(0).toBool(), true);
        QCOMPARE(read(files.at(0).at(2).toString()), kFirmware);
    }

private:
    bool start(const QJsonObject &f, const QStringList &args = {}, const QByteArray &firmware = kFirmware)
    {
        return m_cloud.start(f, args, QMap<QString, QByteArray>{{"tamo.dfu", firmware}});
    }
    bool login() { return m_cloud.login(); }
    CloudSim *sim() const { return m_cloud.sim(); }
    NetworkManager *net() const { return m_cloud.net(); }

    QList<QVariant> download(bool withAuth, const QString &folder = QString())
    {
        QSignalSpy files(net(), &NetworkManager::fileDownloaded);
        net()->downloadFirmwareFile(folder.isEmpty() ? m_folder->path() : folder, withAuth);
        if (!files.wait(5000) || files.count() != 1)
            return {false, 0, QString(), QStringLiteral("no answer")};
        return files.takeFirst();
    }

    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    CloudSession m_cloud;
};

QTEST_MAIN(TestNetFirmware)
#include "tst_net_firmware.moc"
