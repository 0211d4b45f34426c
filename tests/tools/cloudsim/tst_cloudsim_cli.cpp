// The command line: help, the base URL on the first output line, fixed ports,
// and refusals of bad options and bad fixtures before anything is served.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QJsonArray>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>

class TestCloudSimCli : public QObject
{
    Q_OBJECT

private:
    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Run run(const QStringList &arguments)
    {
        QProcess process;
        process.start(CloudSimProcess::program(), arguments);
        Run result;
        if (!process.waitForFinished(15000))
            return result;
        result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

private slots:
    void helpDocumentsOptionsAndFixture()
    {
        const Run help = run({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        for (const char *text : {"--port", "--fixture", "--files", "--tls-cert", "--tls-key", "--token-lifetime",
                                 "--state", "--latency-ms", "--fail", "--reply", "--malformed", "--close-mid-answer",
                                 "--url-host", "--link-lifetime", "--secret-file", "/_sim/record",
                                 // the fixture format
                                 "\"minFWVersion\"", "\"companies\"", "\"users\"", "\"devices\"", "\"contents\"",
                                 "\"posts\"", "\"events\"", "\"firmware\"", "\"installations\"", "\"chargingTamoId\"",
                                 "\"toErase\"", "\"isUploaded\"", "\"defaultContentId\"", "\"offerAtRegistration\""})
            QVERIFY2(help.out.contains(text), text);
    }

    void baseUrlOnAFixedPort()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        CloudSimProcess sim;
        QVERIFY2(sim.start(CloudSimProcess::sampleFixture(), {QStringLiteral("--port"), QString::number(port)}),
                 sim.errorOutput().constData());
        QCOMPARE(sim.baseUrl(), QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(port));
        QCOMPARE(HttpProbe(sim.baseUrl()).api("GET", QStringLiteral("tamo_device_usb/upgrade")).status, 200);

        // A second server cannot take the same port.
        CloudSimProcess second;
        QVERIFY(!second.start(CloudSimProcess::sampleFixture(), {QStringLiteral("--port"), QString::number(port)}));
        QCOMPARE(second.stop(), 1);
        QVERIFY(second.errorOutput().contains("cannot listen"));
        QCOMPARE(sim.stop(), 0);
    }

    void requestLinesGoToStandardError()
    {
        CloudSimProcess sim;
        QVERIFY(sim.start());
        QCOMPARE(HttpProbe(sim.baseUrl()).api("GET", QStringLiteral("tamo_device_usb/upgrade")).status, 200);
        QCOMPARE(sim.stop(), 0);
        QVERIFY(sim.errorOutput().contains("GET /api/v1/tamo_device_usb/upgrade -> 200"));
        CloudSimProcess quiet;
        QVERIFY(quiet.start(CloudSimProcess::sampleFixture(), {QStringLiteral("--quiet")}));
        QCOMPARE(HttpProbe(quiet.baseUrl()).api("GET", QStringLiteral("tamo_device_usb/upgrade")).status, 200);
        QCOMPARE(quiet.stop(), 0);
        QVERIFY(!quiet.errorOutput().contains("tamo_device_usb/upgrade"));
    }

    void badArgumentsAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no fixture") << QStringList{} << QByteArray("--fixture FILE is required");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--fixture"), QStringLiteral("x"), QStringLiteral("--colour")}
                                        << QByteArray("Unknown option");
        QTest::newRow("stray argument") << QStringList{QStringLiteral("--fixture"), QStringLiteral("x"), QStringLiteral("extra")}
                                        << QByteArray("unexpected argument 'extra'");
        QTest::newRow("port out of range") << QStringList{QStringLiteral("--fixture"), QStringLiteral("x"), QStringLiteral("--port"), QStringLiteral("70000")}
                                           << QByteArray("--port must be 0 to 65535");
        QTest::newRow("zero lifetime") << QStringList{QStringLiteral("--fixture"), QStringLiteral("x"), QStringLiteral("--token-lifetime"), QStringLiteral("0")}
                                       << QByteArray("--token-lifetime needs a whole number of at least 1");
        QTest::newRow("missing fixture file") << QStringList{QStringLiteral("--fixture"), QStringLiteral("/no/such/fixture.json")}
                                              << QByteArray("Cannot read the fixture");
    }
    void badArgumentsAreRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, message);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.contains(message), result.err.constData());
    }

    void badFixturesAreRefused_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("misspelt key") << QStringLiteral("devices") << 0 << QStringLiteral("toErrase") << QJsonValue(true)
                                      << QByteArray("devices[0]: unexpected key 'toErrase'");
        QTest::newRow("wrong type") << QStringLiteral("devices") << 0 << QStringLiteral("brightness") << QJsonValue(QStringLiteral("high"))
                                    << QByteArray("devices[0]: 'brightness' must be an integer");
        QTest::newRow("event of an unknown device") << QStringLiteral("events") << 0 << QStringLiteral("mac")
                                                    << QJsonValue(QStringLiteral("aa:bb:cc:00:00:99"))
                                                    << QByteArray("events[0]: no device with mac aa:bb:cc:00:00:99");
        QTest::newRow("unknown content in an event") << QStringLiteral("events") << 1 << QStringLiteral("contentIds")
                                                     << QJsonValue(QJsonArray{5001, 777})
                                                     << QByteArray("events[1]: no content or post with uuid 777");
        QTest::newRow("default not in the event") << QStringLiteral("events") << 1 << QStringLiteral("defaultContentId")
                                                  << QJsonValue(5002)
                                                  << QByteArray("events[1]: 'defaultContentId' must be one of 'contentIds'");
        QTest::newRow("slide of an unknown content") << QStringLiteral("posts") << 0 << QStringLiteral("chargingTamoId")
                                                     << QJsonValue(999) << QByteArray("posts[0]: no content with id 999");
        QTest::newRow("duplicate uuid") << QStringLiteral("contents") << 1 << QStringLiteral("uuid") << QJsonValue(5001)
                                        << QByteArray("contents[1]: id and uuid must be positive and unique");
        QTest::newRow("unknown installer type") << QStringLiteral("installations") << 0 << QStringLiteral("type")
                                                << QJsonValue(QStringLiteral("exe"))
                                                << QByteArray("installations[0]: 'type' must be one of");
        QTest::newRow("bad MAC") << QStringLiteral("devices") << 2 << QStringLiteral("mac") << QJsonValue(QStringLiteral("aabbcc000003"))
                                 << QByteArray("devices[2]: 'mac' must look like");
    }
    void badFixturesAreRefused()
    {
        QFETCH(QString, list);
        QFETCH(int, index);
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(QByteArray, message);
        QJsonObject fixture = CloudSimProcess::sampleFixture();
        QJsonArray array = fixture.value(list).toArray();
        QJsonObject entry = array.at(index).toObject();
        entry.insert(key, value);
        array.replace(index, entry);
        fixture.insert(list, array);
        CloudSimProcess sim;
        QVERIFY(!sim.start(fixture));
        QCOMPARE(sim.stop(), 1);
        QVERIFY2(sim.errorOutput().contains(message), sim.errorOutput().constData());
    }

    void fixtureThatIsNoObject()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("f.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[1, 2");
        file.close();
        const Run result = run({QStringLiteral("--fixture"), file.fileName()});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.err.contains("is not a JSON object"));
    }
};

QTEST_GUILESS_MAIN(TestCloudSimCli)
#include "tst_cloudsim_cli.moc"
