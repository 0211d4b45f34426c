// The port-facts seam: simulated port descriptions, how strictly they are read,
// and how they join the operating system's ports.
#include "PortEnumerator.h"
#include "SimPortFile.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// JSON written with single quotes, to keep the table readable.
QByteArray json(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

} // namespace

class TestPorts : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        QDir dir(m_dir.path());
        for (const QString &name : dir.entryList(QDir::Files))
            dir.remove(name);
        qputenv("TAMO_SIM_DIR", QFile::encodeName(m_dir.path()));
    }

    void descriptions_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("vendor");   // -1: no identifier
        QTest::addColumn<int>("product");
        QTest::newRow("numbers") << json("{'port':'/dev/pts/4','serialNumber':'S1','vendorId':1155,'productId':22336}") << true << 0x0483 << 0x5740;
        QTest::newRow("hex texts") << json("{'port':'/dev/pts/4','serialNumber':'S1','vendorId':'0x0483','productId':'0X5740'}") << true << 0x0483 << 0x5740;
        QTest::newRow("decimal text") << json("{'port':'/dev/pts/4','serialNumber':'S1','vendorId':'1155'}") << true << 0x0483 << -1;
        QTest::newRow("no identifiers") << json("{'port':'/dev/pts/4','serialNumber':''}") << true << -1 << -1;
        QTest::newRow("null identifier") << json("{'port':'/dev/pts/4','serialNumber':'S','vendorId':null}") << true << -1 << -1;
        QTest::newRow("not JSON") << QByteArray("port=/dev/pts/4") << false << 0 << 0;
        QTest::newRow("half written") << json("{'port':'/dev/pts/4','serialNum") << false << 0 << 0;
        QTest::newRow("array") << json("['/dev/pts/4']") << false << 0 << 0;
        // Flat only: a member named twice that held an object is lost memory in the parser.
        QTest::newRow("object named twice") << json("{'port':'/p','serialNumber':'S','productId':{'':1},'productId':{'':1}}")
                                            << false << 0 << 0;
        QTest::newRow("braces in a text") << json("{'port':'/p','serialNumber':'{[S]}','description':'\\\\\\\"{'}") << true << -1 << -1;
        QTest::newRow("no port") << json("{'serialNumber':'S1'}") << false << 0 << 0;
        QTest::newRow("empty port") << json("{'port':'','serialNumber':'S1'}") << false << 0 << 0;
        QTest::newRow("numeric serial") << json("{'port':'/dev/pts/4','serialNumber':12}") << false << 0 << 0;
        QTest::newRow("no serial") << json("{'port':'/dev/pts/4'}") << false << 0 << 0;
        QTest::newRow("vendor too big") << json("{'port':'/p','serialNumber':'S','vendorId':65536}") << false << 0 << 0;
        QTest::newRow("vendor negative") << json("{'port':'/p','serialNumber':'S','vendorId':-1}") << false << 0 << 0;
        QTest::newRow("product beyond any integer") << json("{'port':'/p','serialNumber':'S','productId':-1e31}") << false << 0 << 0;
        QTest::newRow("vendor fraction") << json("{'port':'/p','serialNumber':'S','vendorId':1.5}") << false << 0 << 0;
        QTest::newRow("vendor garbage") << json("{'port':'/p','serialNumber':'S','productId':'0xZZ'}") << false << 0 << 0;
    }

    void descriptions()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QFETCH(int, vendor);
        QFETCH(int, product);
        QString why;
        const SerialPortFacts facts = PortEnumerator::parseDescription(json, &why);
        QCOMPARE(!facts.isNull(), valid);
        QCOMPARE(why.isEmpty(), valid);
        if (!valid)
            return;
        QVERIFY(facts.simulated);
        QCOMPARE(facts.hasVendorId, vendor >= 0);
        QCOMPARE(facts.hasProductId, product >= 0);
        if (vendor >= 0)
            QCOMPARE(int(facts.vendorId), vendor);
        if (product >= 0)
            QCOMPARE(int(facts.productId), product);
    }

    void folderListing()
    {
        QVERIFY(writeSimPortFile(m_dir.path(), QStringLiteral("b"), simPort(QStringLiteral("/dev/pts/11"), QStringLiteral("SN-B"))));
        QVERIFY(writeSimPortFile(m_dir.path(), QStringLiteral("a"), simPort(QStringLiteral("/dev/pts/10"), QStringLiteral("SN-A"))));
        // Other files in the folder (state files of the simulator) are not ports.
        QFile other(m_dir.filePath(QStringLiteral("SN-C.dfu")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write(json("{'port':'/dev/pts/12','serialNumber':'SN-C'}"));
        other.close();

        const QVector<SerialPortFacts> ports = PortEnumerator::simulatedPorts(m_dir.path());
        QCOMPARE(ports.size(), 2);
        QCOMPARE(ports.at(0).serialNumber, QStringLiteral("SN-A"));
        QCOMPARE(ports.at(1).portName, QStringLiteral("/dev/pts/11"));

        // The simulated ports come after the system's, through the same call.
        const QVector<SerialPortFacts> all = PortEnumerator::availablePorts();
        QVERIFY(all.size() >= 2);
        QCOMPARE(all.at(all.size() - 2).serialNumber, QStringLiteral("SN-A"));

        QVERIFY(QFile::remove(m_dir.filePath(QStringLiteral("a.port"))));
        QCOMPARE(PortEnumerator::simulatedPorts(m_dir.path()).size(), 1);
    }

    void malformedFileIsSkippedWithOneWarning()
    {
        QVERIFY(writeSimPortFile(m_dir.path(), QStringLiteral("good"), simPort(QStringLiteral("/dev/pts/20"), QStringLiteral("SN-G"))));
        QFile bad(m_dir.filePath(QStringLiteral("bad.port")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("{ not json");
        bad.close();

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Skipping simulated port file '.*bad\\.port'")));
        QCOMPARE(PortEnumerator::simulatedPorts(m_dir.path()).size(), 1);
        // Polled again and again, the same file does not flood the log.
        static int warnings;
        warnings = 0;
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &) {
                if (type == QtWarningMsg)
                    ++warnings;
            });
        QCOMPARE(PortEnumerator::simulatedPorts(m_dir.path()).size(), 1);
        QCOMPARE(PortEnumerator::simulatedPorts(m_dir.path()).size(), 1);
        QCOMPARE(warnings, 0);
        // A new version of the file is worth a new warning.
        QTest::qWait(20);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("{ still not json, and longer");
        bad.close();
        QCOMPARE(PortEnumerator::simulatedPorts(m_dir.path()).size(), 1);
        QCOMPARE(warnings, 1);
        // What is remembered about a file goes with it: the same file back again,
        // to the millisecond, is news again.
        const QDateTime stamp = QFileInfo(bad).lastModified();
        QVERIFY(bad.remove());
        QCOMPARE(PortEnumerator::simulatedPorts(m_dir.path()).size(), 1);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("{ still not json, and longer");
        QVERIFY(bad.flush());
        QVERIFY(bad.setFileTime(stamp, QFileDevice::FileModificationTime));
        bad.close();
        QCOMPARE(PortEnumerator::simulatedPorts(m_dir.path()).size(), 1);
        qInstallMessageHandler(previous);
        QCOMPARE(warnings, 2);
    }

    void simulationIsOffWithoutTheVariable()
    {
        QVERIFY(writeSimPortFile(m_dir.path(), QStringLiteral("x"), simPort(QStringLiteral("/dev/pts/30"), QStringLiteral("SN-X"))));
        qunsetenv("TAMO_SIM_DIR");
        QVERIFY(PortEnumerator::simulatedPortsFolder().isEmpty());
        for (const SerialPortFacts &port : PortEnumerator::availablePorts())
            QVERIFY(!port.simulated);
        // A folder that does not exist lists nothing.
        QVERIFY(PortEnumerator::simulatedPorts(m_dir.filePath(QStringLiteral("missing"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPorts)
#include "tst_device_ports.moc"
