// The runner without a device: no port name, a port that cannot be opened.
#include "LogRecorder.h"
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
};

void TestRunnerPorts::initTestCase()
{
    Timings::setScale(0.01);
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

QTEST_GUILESS_MAIN(TestRunnerPorts)
#include "tst_runner_ports.moc"
