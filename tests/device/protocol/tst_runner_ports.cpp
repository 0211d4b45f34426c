// The runner without a well-behaved device: no port name, a port that cannot be
// opened, a far side that talks without end.
#include "LogRecorder.h"
#include "PtyPeer.h"
#include "RunnerProbe.h"

#include "CommandLists.h"
#include "CommandRunner.h"
#include "Timings.h"

#include <QTemporaryDir>
#include <QtTest>

class TestRunnerPorts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void emptyPortName();
    void portThatCannotBeOpened();
    void endlessAnswer_data();
    void endlessAnswer();
};

void TestRunnerPorts::initTestCase()
{
    Timings::setScale(0.01);
    // A far side that talks without end is never silent for this long, even on a
    // loaded machine.
    Timings::set(Timings::CommandWait, 2000);
}

void TestRunnerPorts::emptyPortName()
{
    RunnerProbe probe;
    probe.start(new CommandRunner(DeviceAddress{QStringLiteral("SN"), QString(), QStringLiteral("aa:bb")},
                                  deviceInfoCommands()));
    QVERIFY(probe.waitFinished());
    QTest::qWait(20); // nothing else may follow
    QCOMPARE(probe.finishedCount, 1);
    QVERIFY(probe.startedSerials.isEmpty());
    QVERIFY(!probe.success);
    QVERIFY(probe.results.isEmpty());
    QVERIFY(probe.error.isEmpty());
    QCOMPARE(probe.serial, QStringLiteral("SN"));
}

void TestRunnerPorts::portThatCannotBeOpened()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no-such-tty"));
    LogRecorder log("DeviceManager");
    RunnerProbe probe;
    probe.start(new CommandRunner(DeviceAddress{QStringLiteral("SN"), missing, QStringLiteral("aa:bb")},
                                  deviceInfoCommands()));
    QVERIFY(probe.waitFinished());
    // Named by the serial number the job gave, not looked up by port.
    QCOMPARE(probe.startedSerials, QStringList({QStringLiteral("SN")}));
    QVERIFY(!probe.success);
    QVERIFY(probe.results.isEmpty());
    QVERIFY2(!probe.error.isEmpty(), "the port's own error text");
    // The operator learns which device could not be reached, and why.
    QCOMPARE(log.lines().value(0),
             QStringLiteral("warning: During connecting to device 'SN' occured system error: %1")
                 .arg(probe.error));
}

void TestRunnerPorts::endlessAnswer_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::newRow("console text on the RPC link") << QByteArray("Main menu\r\n 1. Dump Config\r\n");
    // Byte 3 reads as -1: an answer that can never be complete.
    QTest::newRow("garbled length byte") << QByteArray::fromHex("070600ff0000000000000000");
}

void TestRunnerPorts::endlessAnswer()
{
    QFETCH(QByteArray, stream);
    PtyPeer peer;
    QVERIFY(peer.isValid());
    peer.flood(stream);
    auto *runner = new CommandRunner(DeviceAddress{QStringLiteral("SN"), peer.portName(), QStringLiteral("aa:bb")},
                                     batteryCommands());
    const StopToken stop = runner->stopToken();
    RunnerProbe probe;
    probe.start(runner);
    const bool ended = probe.waitFinished(5000);
    stop.request(); // only a runner that failed this test is still reading
    QThreadPool::globalInstance()->waitForDone(5000);
    QVERIFY(ended);
    QVERIFY(!probe.success);
    QCOMPARE(probe.error, QStringLiteral("Device response is to long"));
}

QTEST_GUILESS_MAIN(TestRunnerPorts)
#include "tst_runner_ports.moc"
