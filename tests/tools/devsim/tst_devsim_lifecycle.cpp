// Port files, unplugging and plugging, the host closing and reopening its side
// (as QSerialPort does), snapshots, control channels and clean stops.
#include "DevsimFixture.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSerialPort>
#include <QSet>
#include <QtTest>

#include <algorithm>
#include <unistd.h>

using F = DevsimFixture;

namespace {

// The folder's files; hidden ones too once no simulator writes there.
QStringList filesIn(const QString &folder, bool hidden = true)
{
    return QDir(folder).entryList(QDir::Files | QDir::System | (hidden ? QDir::Hidden : QDir::Filters()), QDir::Name);
}

} // namespace

class TestDevsimLifecycle : public QObject
{
    Q_OBJECT

private:
    DevsimFixture f;

private slots:
    void cleanup()
    {
        const QString problem = f.cleanup();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void portFilesDescribeEachDevice()
    {
        QVERIFY(f.start({"--count", "3"}));
        QCOMPARE(filesIn(f.dir->path(), false), (QStringList{"TAMOSIM0001.json", "TAMOSIM0001.port", "TAMOSIM0002.json",
                                                      "TAMOSIM0002.port", "TAMOSIM0003.json", "TAMOSIM0003.port"}));
        QSet<QString> ports, macs;
        for (const QString serial : {"TAMOSIM0001", "TAMOSIM0002", "TAMOSIM0003"}) {
            const QJsonObject facts = f.sim->portFile(serial);
            QCOMPARE(facts.value("serialNumber").toString(), serial);
            QCOMPARE(facts.value("vendorId").toInt(), 1155);
            QCOMPARE(facts.value("productId").toInt(), 22336);
            QCOMPARE(facts.value("simulatorPid").toInt(), int(f.sim->process().processId()));
            ports << facts.value("port").toString();
            auto link = f.link(serial);
            QVERIFY(link->isOpen() && ::isatty(link->descriptor()));
            macs << QString::fromLatin1(link->exchange(F::kReadMac).payload.toHex());
            QCOMPARE(link->exchange(F::kReadName).payload, "TAMO " + serial.right(1).toUtf8() + '\0');
            QCOMPARE(f.sim->snapshot(serial).value("port").toString(), facts.value("port").toString());
        }
        QCOMPARE(ports.size(), 3);
        QCOMPARE(macs.size(), 3);
    }

    // One command attaches the demo's devices: MACs, serial numbers, names and
    // firmware versions come from the cloud simulator's fixture.
    void devicesFromTheDemoFixture()
    {
        QVERIFY(f.start({"--devices", TAMO_DEMO_FIXTURE}));
        QFile fixture(QStringLiteral(TAMO_DEMO_FIXTURE));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        const QJsonArray devices = QJsonDocument::fromJson(fixture.readAll()).object().value("devices").toArray();
        QCOMPARE(devices.size(), 3);
        for (const QJsonValue &value : devices) {
            const QJsonObject device = value.toObject();
            const QString serial = device.value("serialNumber").toString();
            // The MAC goes least significant byte first on the link.
            QByteArray mac = QByteArray::fromHex(device.value("mac").toString().toLatin1().replace(':', ""));
            std::reverse(mac.begin(), mac.end());
            QCOMPARE(f.link(serial)->exchange(F::kReadMac).payload, mac);
            const QJsonObject identity = f.sim->identity(serial);
            QCOMPARE(identity.value("name").toString(), device.value("name").toString());
            QCOMPARE(identity.value("firmwareVersion").toString(), device.value("firmwareRevision").toString());
        }
    }

    void unplugAndPlug()
    {
        QVERIFY(f.start({"--count", "2"}));
        auto link = f.link();
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        QCOMPARE(f.sim->command("unplug TAMOSIM0001"), QStringLiteral("ok unplug TAMOSIM0001"));
        QVERIFY(f.sim->waitForLine("unplugged TAMOSIM0001"));
        QVERIFY(!QFile::exists(f.dir->filePath("TAMOSIM0001.port")));
        QVERIFY(QFile::exists(f.dir->filePath("TAMOSIM0002.port")));
        // The host's side fails at once.
        link->readUntilSilence(50);
        QVERIFY(link->hungUp());
        QCOMPARE(f.snapshot().value("state").toString(), QStringLiteral("unplugged"));

        QVERIFY(f.sim->ok("plug TAMOSIM0001"));
        QVERIFY(f.sim->waitForLine("plugged TAMOSIM0001"));
        QCOMPARE(f.link()->exchange(F::kPing).status, quint8(0));
        // With a delay the device comes back by itself.
        QVERIFY(f.sim->ok("unplug all 200"));
        QVERIFY(f.sim->waitForLine("plugged TAMOSIM0001", 3000));
        QVERIFY(f.sim->waitForLine("plugged TAMOSIM0002", 3000));
        QVERIFY(f.sim->command("unplug TAMOSIM0009").startsWith(QLatin1String("error ")));
    }

    void hostReopensLikeTheApplication()
    {
        QVERIFY(f.start());
        QSerialPort port(f.sim->portOf(F::kSerial));
        for (int round = 0; round < 3; ++round) {
            QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
            QVERIFY(port.setBaudRate(115200) && port.setDataBits(QSerialPort::Data8));
            QVERIFY(port.setParity(QSerialPort::NoParity) && port.setStopBits(QSerialPort::OneStop));
            QVERIFY(port.setFlowControl(QSerialPort::NoFlowControl));
            port.write(TestFrames::request(F::kReadMac));
            QVERIFY(port.waitForBytesWritten(1000));
            QByteArray answer;
            while (TestFrames::completeLength(answer) == 0 && port.waitForReadyRead(1000))
                answer += port.readAll();
            QCOMPARE(TestFrames::parse(answer).payload.toHex(' '), QByteArray("01 0b 0a 33 4f c4"));
            port.close();
        }
    }

    void snapshotFollowsChanges()
    {
        QVERIFY(f.start());
        QCOMPARE(f.snapshot().value("state").toString(), QStringLiteral("attached"));
        QCOMPARE(f.snapshot().value("slots").toInt(), 112);
        // Settings a host makes are kept and shown.
        auto link = f.link();
        QCOMPARE(link->exchange(F::kSetBrightness, QByteArray(1, char(100))).status, quint8(0));
        QCOMPARE(link->exchange(F::kReadBrightness).payload, QByteArray(1, char(100)));
        QCOMPARE(link->exchange(F::kSetDim, QByteArray(1, char(0))).status, quint8(0));
        QCOMPARE(link->exchange(F::kReadDim).payload, QByteArray(1, char(0)));
        QCOMPARE(f.sim->identity(F::kSerial).value("brightness").toInt(), 100);
        QCOMPARE(f.sim->identity(F::kSerial).value("dimLevel").toInt(), 0);
        QVERIFY(f.sim->ok("set TAMOSIM0001 battery 9"));
        QCOMPARE(link->exchange(F::kReadBattery).payload, QByteArray(1, char(9)));
        QCOMPARE(f.sim->identity(F::kSerial).value("battery").toInt(), 9);
        QVERIFY(f.sim->command("set TAMOSIM0001 battery lots").startsWith(QLatin1String("error ")));
        // Every replacement leaves a whole, current snapshot.
        for (int i = 0; i < 40; ++i) {
            const QString name = QStringLiteral("Shelf%1").arg(i);
            QVERIFY(f.sim->ok("set TAMOSIM0001 name " + name));
            QCOMPARE(f.sim->identity(F::kSerial).value("name").toString(), name);
        }
    }

    void stopsCleanly_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("SIGTERM") << "SIGTERM";
        QTest::newRow("SIGINT") << "SIGINT";
        QTest::newRow("quit") << "quit";
        QTest::newRow("end of input") << "end of input";
    }
    void stopsCleanly()
    {
        QFETCH(QString, how);
        QVERIFY(f.start({"--count", "3", "--dfu-delay-ms", "0"}));
        QVERIFY(f.sim->ok("dfu TAMOSIM0002"));
        QVERIFY(QFile::exists(f.dir->filePath("TAMOSIM0002.dfu")));
        auto link = f.link();
        if (how == QLatin1String("quit"))
            QCOMPARE(f.sim->command("quit"), QStringLiteral("ok quit"));
        else if (how == QLatin1String("end of input"))
            f.sim->process().closeWriteChannel();
        else
            ::kill(static_cast<pid_t>(f.sim->process().processId()), how == QLatin1String("SIGINT") ? SIGINT : SIGTERM);
        QVERIFY(f.sim->process().waitForFinished(5000));
        QCOMPARE(f.sim->stop(), 0);
        QVERIFY(f.sim->waitForLine("stopped", 0));
        QCOMPARE(filesIn(f.dir->path()), (QStringList{"TAMOSIM0001.json", "TAMOSIM0002.json", "TAMOSIM0003.json"}));
        QCOMPARE(f.snapshot().value("state").toString(), QStringLiteral("stopped"));
        link->readUntilSilence(50);
        QVERIFY(link->hungUp());
    }

    void leftoversOfAKilledRunAreReplaced()
    {
        QVERIFY(f.start());
        const qint64 pid = f.sim->process().processId();
        f.sim->stop(SIGKILL);
        QVERIFY(QFile::exists(f.dir->filePath("TAMOSIM0001.port"))); // nobody could clean up
        // A hidden name as a killed run would leave it, and one of another device.
        for (const QString name : {".TAMOSIM0001.json.old.7", ".TAMOSIM0009.json.old.1"})
            QVERIFY(QFile(f.dir->filePath(name)).open(QIODevice::WriteOnly));
        f.sim.reset(new DevsimProcess);
        QVERIFY(f.sim->start(f.dir->path()));
        QVERIFY(f.sim->portFile(F::kSerial).value("simulatorPid").toInt() != int(pid));
        QCOMPARE(f.link()->exchange(F::kPing).status, quint8(0));
        // The running simulator may be replacing its snapshot: look at the leftovers only.
        QVERIFY(!QFile::exists(f.dir->filePath(".TAMOSIM0001.json.old.7")));
        QVERIFY(QFile::exists(f.dir->filePath(".TAMOSIM0009.json.old.1")));
    }

    void refusesADeviceServedByAnotherProcess()
    {
        QVERIFY(f.start());
        const ToolRun second = runTool(DevsimProcess::program(), {"--dir", f.dir->path()});
        QCOMPARE(second.exitCode, 1);
        QVERIFY(second.err.contains("served by process"));
        QCOMPARE(f.link()->exchange(F::kPing).status, quint8(0));
    }

    void controlFifo()
    {
        QTemporaryDir fifoDir;
        const QString fifo = fifoDir.filePath("control");
        QVERIFY(f.start({"--control", fifo}));
        QFile control(fifo);
        QVERIFY(control.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        control.write("unplug TAMOSIM0001\n");
        QVERIFY(f.sim->waitForLine("unplugged TAMOSIM0001"));
        control.close();
        QCOMPARE(f.sim->stop(SIGTERM), 0);
        QVERIFY(!QFile::exists(fifo)); // it made the FIFO, it removes it
    }
};

QTEST_GUILESS_MAIN(TestDevsimLifecycle)
#include "tst_devsim_lifecycle.moc"
