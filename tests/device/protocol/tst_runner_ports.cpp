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
    probe.start(new CommandRunner(QString(), QStringLiteral("aa:bb"), deviceInfoCommands(), 0));
    QVERIFY(probe.waitFinished());
    QTest::qWait(20); // nothing else may follow
    QCOMPARE(probe.finishedCount, 1);
    QVERIFY(probe.startedSerials.isEmpty());
    QVERIFY(!probe.success);
    QVERIFY(probe.results.isEmpty());
    QVERIFY(probe.error.isEmpty());
    QVERIFY(probe.serial.isEmpty());
}

void TestRunnerPorts::portThatCannotBeOpened()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no-such-tty"));
    LogRecorder log("DeviceManager");
    RunnerProbe probe;
    probe.start(new CommandRunner(missing, QStringLiteral("aa:bb"), deviceInfoCommands(), 0));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.startedSerials, QStringList({QString()}));
    QVERIFY(!probe.success);
    QVERIFY(probe.results.isEmpty());
    QVERIFY2(!probe.error.isEmpty(), "the port's own error text");
    // The operator learns which device could not be reached, and why.
    QCOMPARE(log.lines().value(0),
             QStringLiteral("warning: During connecting to device '' occured system error: %1")
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
    auto *runner = new CommandRunner(peer.portName(), QStringLiteral("aa:bb"), batteryCommands(), 0);
    const auto stop = runner->stopHandle();
    RunnerProbe probe;
    probe.start(runner);
    const bool ended = probe.waitFinished(5000);
    stop->store(true); // only a runner that failed this test is still reading
    QThreadPool::globalInstance()->waitForDone(5000);
    QVERIFY(ended);
    QVERIFY(!probe.success);
    QCOMPARE(probe.error, QStringLiteral("Device response is to long"));
}

QTEST_GUILESS_MAIN(TestRunnerPorts)
#include "tst_runner_ports.moc"
