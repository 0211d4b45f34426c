// Port files, unplugging and plugging, the host closing and reopening its side
// (as QSerialPort does), control channels, clean stops and the command line.
#include "DevsimFixture.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSerialPort>
#include <QSet>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::System, QDir::Name);
}

bool isTerminal(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool tty = ::isatty(fd);
    ::close(fd);
    return tty;
}

int runDevsim(const QStringList &arguments, QByteArray *out = nullptr)
{
    QProcess process;
    process.start(DevsimProcess::program(), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(10000))
        return -1;
    if (out)
        *out = process.readAllStandardOutput() + process.readAllStandardError();
    return process.exitCode();
}

} // namespace

class TestDevsimLifecycle : public QObject
{
    Q_OBJECT

private:
    DevsimFixture f;
    using F = DevsimFixture;

private slots:
    void cleanup()
    {
        QString why;
        QVERIFY2(f.finish(&why), qPrintable(why));
    }

    void portFilesDescribeEachDevice()
    {
        QVERIFY(f.start({QStringLiteral("--count"), QStringLiteral("3")}));
        QCOMPARE(filesIn(f.dir->path()),
                 (QStringList{"TAMOSIM0001.json", "TAMOSIM0001.port", "TAMOSIM0002.json", "TAMOSIM0002.port",
                              "TAMOSIM0003.json", "TAMOSIM0003.port"}));
        QSet<QString> ports, macs;
        for (int i = 1; i <= 3; ++i) {
            const QString serial = QStringLiteral("TAMOSIM000%1").arg(i);
            const QJsonObject facts = f.sim->portFile(serial);
            QCOMPARE(facts.value(QStringLiteral("serialNumber")).toString(), serial);
            QCOMPARE(facts.value(QStringLiteral("vendorId")).toInt(), 1155);
            QCOMPARE(facts.value(QStringLiteral("productId")).toInt(), 22336);
            const QString port = facts.value(QStringLiteral("port")).toString();
            QVERIFY(port.startsWith(QLatin1String("/dev/")));
            QVERIFY(isTerminal(port));
            ports << port;
            auto link = f.link(serial);
            macs << QString::fromLatin1(link->exchange(F::kReadMac).payload.toHex());
            QCOMPARE(link->exchange(F::kReadName).payload, QStringLiteral("TAMO %1").arg(i).toUtf8() + '\0');
        }
        QCOMPARE(ports.size(), 3);
        QCOMPARE(macs.size(), 3);
    }

    // One command attaches the demo's devices: MACs, serial numbers, names and
    // firmware versions come from the cloud simulator's fixture.
    void devicesFromTheDemoFixture()
    {
        QVERIFY(f.start({QStringLiteral("--devices"), QStringLiteral(TAMO_DEMO_FIXTURE)}));
        QFile fixture(QStringLiteral(TAMO_DEMO_FIXTURE));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        const QJsonArray devices = QJsonDocument::fromJson(fixture.readAll()).object().value("devices").toArray();
        QCOMPARE(devices.size(), 3);
        QStringList firmware;
        for (const QJsonValue &value : devices) {
            const QJsonObject device = value.toObject();
            const QString serial = device.value("serialNumber").toString();
            // The MAC goes least significant byte first on the link.
            QByteArray mac = QByteArray::fromHex(device.value("mac").toString().toLatin1().replace(':', ""));
            std::reverse(mac.begin(), mac.end());
            QCOMPARE(f.link(serial)->exchange(F::kReadMac).payload, mac);
            const QJsonObject identity = f.sim->snapshot(serial).value("identity").toObject();
            QCOMPARE(identity.value("name").toString(), device.value("name").toString());
            QCOMPARE(identity.value("firmwareVersion").toString(), device.value("firmwareRevision").toString());
            firmware << identity.value("firmwareVersion").toString();
        }
        QVERIFY(firmware.contains(QStringLiteral("1.5.27")));
    }

    void unplugAndPlug()
    {
        QVERIFY(f.start({QStringLiteral("--count"), QStringLiteral("2")}));
        auto link = f.link();
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        QCOMPARE(f.sim->command(QStringLiteral("unplug TAMOSIM0001")), QStringLiteral("ok unplug TAMOSIM0001"));
        QVERIFY(f.sim->waitForLine(QStringLiteral("unplugged TAMOSIM0001")));
        QVERIFY(!QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0001.port"))));
        QVERIFY(QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0002.port"))));
        // The host's side fails at once.
        link->readUntilSilence(50);
        QVERIFY(link->hungUp());
        QVERIFY(!link->send(TestFrames::request(F::kPing)));
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("state")).toString(), QStringLiteral("unplugged"));

        QCOMPARE(f.sim->command(QStringLiteral("plug TAMOSIM0001")), QStringLiteral("ok plug TAMOSIM0001"));
        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001")));
        QCOMPARE(f.link()->exchange(F::kPing).status, quint8(0));

        // With a delay the device comes back by itself.
        QCOMPARE(f.sim->command(QStringLiteral("unplug all 200")), QStringLiteral("ok unplug all 200"));
        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001"), 3000));
        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0002"), 3000));
        QVERIFY(f.sim->command(QStringLiteral("unplug TAMOSIM0009")).startsWith(QLatin1String("error ")));
        QVERIFY(f.sim->command(QStringLiteral("warp all")).startsWith(QLatin1String("error ")));
    }

    void hostReopensLikeTheApplication()
    {
        QVERIFY(f.start());
        QSerialPort port;
        port.setPortName(f.sim->portOf(F::kSerial));
        for (int round = 0; round < 3; ++round) {
            QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
            QVERIFY(port.setBaudRate(115200));
            QVERIFY(port.setDataBits(QSerialPort::Data8));
            QVERIFY(port.setParity(QSerialPort::NoParity));
            QVERIFY(port.setStopBits(QSerialPort::OneStop));
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
        const QJsonObject before = f.sim->snapshot(F::kSerial);
        QCOMPARE(before.value(QStringLiteral("serialNumber")).toString(), QStringLiteral("TAMOSIM0001"));
        QCOMPARE(before.value(QStringLiteral("state")).toString(), QStringLiteral("attached"));
        QCOMPARE(before.value(QStringLiteral("port")).toString(), f.sim->portOf(F::kSerial));
        QCOMPARE(before.value(QStringLiteral("slots")).toInt(), 112);
        QCOMPARE(before.value(QStringLiteral("freeSlots")).toInt(), 112);
        QCOMPARE(before.value(QStringLiteral("identity")).toObject().value(QStringLiteral("firmwareVersion")).toString(),
                 QStringLiteral("1.5.90"));
        auto link = f.link();
        QCOMPARE(link->exchange(F::kSetDim, QByteArray(1, char(12))).status, quint8(0));
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("identity")).toObject()
                     .value(QStringLiteral("dimLevel")).toInt(), 12);
        QCOMPARE(f.sim->command(QStringLiteral("set TAMOSIM0001 battery 9")).left(3), QStringLiteral("ok "));
        QCOMPARE(link->exchange(F::kReadBattery).payload, QByteArray(1, char(9)));
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("identity")).toObject()
                     .value(QStringLiteral("battery")).toInt(), 9);
        QVERIFY(f.sim->command(QStringLiteral("set TAMOSIM0001 battery lots")).startsWith(QLatin1String("error ")));
    }

    void stopsCleanly_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void stopsCleanly()
    {
        QFETCH(int, signalNumber);
        QVERIFY(f.start({QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--dfu-delay-ms"),
                         QStringLiteral("0")}));
        QCOMPARE(f.sim->command(QStringLiteral("dfu TAMOSIM0002")).left(3), QStringLiteral("ok "));
        QVERIFY(QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0002.dfu"))));
        auto link = f.link();
        QCOMPARE(f.sim->stop(signalNumber), 0);
        QCOMPARE(filesIn(f.dir->path()),
                 (QStringList{"TAMOSIM0001.json", "TAMOSIM0002.json", "TAMOSIM0003.json"}));
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("state")).toString(), QStringLiteral("stopped"));
        link->readUntilSilence(50);
        QVERIFY(link->hungUp());
    }

    void stopsOnQuitAndEndOfInput()
    {
        QVERIFY(f.start());
        QCOMPARE(f.sim->command(QStringLiteral("quit")), QStringLiteral("ok quit"));
        QVERIFY(f.sim->process().waitForFinished(5000));
        QCOMPARE(f.sim->process().exitCode(), 0);
        QVERIFY(!QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0001.port"))));

        QVERIFY(f.start());
        f.sim->process().closeWriteChannel();
        QVERIFY(f.sim->process().waitForFinished(5000));
        QVERIFY(!QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0001.port"))));
    }

    void leftoversOfAKilledRunAreReplaced()
    {
        QVERIFY(f.start());
        const QString portFile = f.dir->filePath(QStringLiteral("TAMOSIM0001.port"));
        const qint64 pid = f.sim->process().processId();
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        QVERIFY(f.sim->process().waitForFinished(5000));
        QVERIFY(QFile::exists(portFile)); // nobody could clean up

        DevsimProcess second;
        QVERIFY(second.start(f.dir->path()));
        QVERIFY(second.portFile(F::kSerial).value(QStringLiteral("simulatorPid")).toDouble() != double(pid));
        RawLink link(second.portOf(F::kSerial));
        QCOMPARE(link.exchange(F::kPing).status, quint8(0));
    }

    void replacedSnapshotsLeaveNothingBehind()
    {
        // A hidden name as a killed run would leave it, and one of another device.
        QVERIFY(f.start());
        QCOMPARE(f.sim->stop(SIGTERM), 0);
        const QString stale = f.dir->filePath(QStringLiteral(".TAMOSIM0001.json.old.7"));
        const QString foreign = f.dir->filePath(QStringLiteral(".TAMOSIM0009.json.old.1"));
        for (const QString &path : {stale, foreign}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        f.sim.reset(new DevsimProcess);
        QVERIFY(f.sim->start(f.dir->path()));
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(foreign));
        QVERIFY(QFile::remove(foreign));

        // Every replacement leaves a whole, current snapshot.
        for (int i = 0; i < 40; ++i) {
            const QString name = QStringLiteral("Shelf%1").arg(i);
            QCOMPARE(f.sim->command(QStringLiteral("set TAMOSIM0001 name %1").arg(name)).left(3),
                     QStringLiteral("ok "));
            QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("identity")).toObject()
                         .value(QStringLiteral("name")).toString(),
                     name);
        }
        QCOMPARE(f.sim->stop(SIGTERM), 0);
        QCOMPARE(QDir(f.dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
                 QStringList{QStringLiteral("TAMOSIM0001.json")});
    }

    void refusesADeviceServedByAnotherProcess()
    {
        QVERIFY(f.start());
        QByteArray out;
        QCOMPARE(runDevsim({QStringLiteral("--dir"), f.dir->path()}, &out), 1);
        QVERIFY(out.contains("served by process"));
        QVERIFY(QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0001.port"))));
        QCOMPARE(f.link()->exchange(F::kPing).status, quint8(0));
        // Another serial number range can share the folder.
        DevsimProcess other;
        QVERIFY(other.start(f.dir->path(), {QStringLiteral("--first-index"), QStringLiteral("5")}));
        QVERIFY(QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0005.port"))));
    }

    void controlFifo()
    {
        QTemporaryDir fifoDir;
        const QString fifo = fifoDir.filePath(QStringLiteral("control"));
        QVERIFY(f.start({QStringLiteral("--control"), fifo}));
        QFile control(fifo);
        QVERIFY(control.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        control.write("unplug TAMOSIM0001\n");
        QVERIFY(f.sim->waitForLine(QStringLiteral("unplugged TAMOSIM0001")));
        control.write("plug TAMOSIM0001\n");
        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001")));
        control.close();
        QCOMPARE(f.sim->stop(SIGTERM), 0);
        QVERIFY(!QFile::exists(fifo)); // it made the FIFO, it removes it
    }

    void commandLine()
    {
        QByteArray help;
        QCOMPARE(runDevsim({QStringLiteral("--help")}, &help), 0);
        for (const char *option : {"--dir", "--count", "--fw", "--name", "--slots", "--latency-ms", "--no-rpc",
                                   "--no-console", "--drop-answer", "--corrupt-crc", "--corrupt-length",
                                   "--wrong-id", "--stay-busy", "--unplug-after-parts", "--replug-after-ms",
                                   "--control", "--devices", "--keep-content", "make-firmware", "unplug SERIAL", "plug SERIAL"})
            QVERIFY2(help.contains(option), option);

        QTemporaryDir dir;
        const QString d = dir.path();
        QCOMPARE(runDevsim({QStringLiteral("--dir"), d, QStringLiteral("--count"), QStringLiteral("21")}), 2);
        QCOMPARE(runDevsim({QStringLiteral("--dir"), d, QStringLiteral("--mac"), QStringLiteral("C4:4F")}), 2);
        QCOMPARE(runDevsim({QStringLiteral("--dir"), d, QStringLiteral("--drop-answer"), QStringLiteral("x")}), 2);
        QCOMPARE(runDevsim({QStringLiteral("--dir"), d, QStringLiteral("--bogus")}), 2);
        QCOMPARE(runDevsim({QStringLiteral("--dir"), d, QStringLiteral("--devices"), QStringLiteral(TAMO_DEMO_FIXTURE),
                            QStringLiteral("--count"), QStringLiteral("2")}),
                 2);
        QProcess noFolder;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("TAMO_SIM_DIR"));
        noFolder.setProcessEnvironment(env);
        noFolder.start(DevsimProcess::program(), QStringList());
        QVERIFY(noFolder.waitForFinished(5000));
        QCOMPARE(noFolder.exitCode(), 2);
        QCOMPARE(filesIn(d), QStringList());

        // TAMO_SIM_DIR is the default folder.
        QProcess fromEnvironment;
        env.insert(QStringLiteral("TAMO_SIM_DIR"), d);
        fromEnvironment.setProcessEnvironment(env);
        fromEnvironment.start(DevsimProcess::program(), QStringList());
        QVERIFY(fromEnvironment.waitForReadyRead(5000));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("TAMOSIM0001.port"))));
        fromEnvironment.closeWriteChannel();
        QVERIFY(fromEnvironment.waitForFinished(5000));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("TAMOSIM0001.port"))));
    }
};

QTEST_GUILESS_MAIN(TestDevsimLifecycle)
#include "tst_devsim_lifecycle.moc"
