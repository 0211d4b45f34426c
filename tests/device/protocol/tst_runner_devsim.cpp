// The command runner against the device simulator, through real pseudo-terminals
// and QSerialPort: content lands byte-exact, long answers arrive whole, busy
// devices are polled, and every kind of link failure ends the job as it should.
#include "DevSim.h"
#include "RunnerProbe.h"

#include "CommandLists.h"
#include "CommandRunner.h"
#include "ContentIds.h"
#include "OpenDfuRPCCommand.h"
#include "ReadImagesRPCCommand.h"
#include "ReadMacAddressRPCCommand.h"
#include "ReadNameRPCCommand.h"
#include "Timings.h"
#include "TransferCommandLists.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>

namespace {

const QString kMac = QStringLiteral("c4:4f:33:0a:0b:01");

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A group head that may be retried once, which no shipped command allows.
class RetryingReadName : public ReadNameRPCCommand
{
public:
    int maxRetries() const override { return 1; }
};

// Notes how much memory each answer it keeps takes up.
class CapacityNotingReadName : public ReadNameRPCCommand
{
public:
    explicit CapacityNotingReadName(QVector<int> *capacities)
        : m_capacities(capacities)
    {
    }
    void processResponse(const QByteArray &answer) override
    {
        ReadNameRPCCommand::processResponse(answer);
        m_capacities->append(lastResponse().capacity());
    }

private:
    QVector<int> *m_capacities;
};

} // namespace

class TestRunnerDevsim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void stillImageLandsByteExact();
    void slideshowLands();
    void listingsLongerThanOneAnswer();
    void brokenContinuationFailsWithAReason();
    void deviceRefusalsEndTheJob();
    void eraseWithBusyPolling();
    void silentDeviceTimesOutThenPortRecovers();
    void corruptedAnswers_data();
    void corruptedAnswers();
    void unplugInTheMiddleOfATransfer();
    void stopEndsTheJobAtOnce_data();
    void stopEndsTheJobAtOnce();
    void groupIsRetriedAfterRecovery();
    void openDfuSilenceCountsAsSuccess();
    void twentyDevicesAtOnce();
    void keptAnswersAreNoBiggerThanTheyAre();

private:
    // Runs the list on the first device and waits for the report.
    bool runJob(RunnerProbe &probe, CommandList commands, int timeoutMs = 20000);
    std::unique_ptr<DevSim> m_sim;
};

void TestRunnerDevsim::init()
{
    // Short waits everywhere, but long enough for a sanitizer build on a busy
    // machine; the tests that wait on purpose shrink their own wait further.
    Timings::setScale(0.01);
    Timings::set(Timings::CommandWait, 3000);
    Timings::set(Timings::EraseWait, 3000);
    Timings::set(Timings::DeleteWait, 3000);
    Timings::set(Timings::CleanUpWait, 3000);
    m_sim = std::make_unique<DevSim>();
}

void TestRunnerDevsim::cleanup()
{
    if (QTest::currentTestFailed() && m_sim)
        qWarning().noquote() << "simulator output:\n" << m_sim->output() << "\n" << m_sim->errors();
    m_sim.reset();
    // Runners still sleeping in a recovery pause must not outlive the test.
    QThreadPool::globalInstance()->waitForDone(10000);
    Timings::restoreDefaults();
}

bool TestRunnerDevsim::runJob(RunnerProbe &probe, CommandList commands, int timeoutMs)
{
    const QString port = DevSim::portOf();
    if (port.isEmpty())
        return false;
    probe.start(new CommandRunner(DeviceAddress{DevSim::kFirstSerial, port, kMac}, std::move(commands)));
    return probe.waitFinished(timeoutMs);
}

void TestRunnerDevsim::stillImageLandsByteExact()
{
    QVERIFY(m_sim->start());
    RunnerProbe empty; // an empty list opens and closes the port, and says so
    QVERIFY(runJob(empty, CommandList()));
    QCOMPARE(empty.startedSerials, QStringList({DevSim::kFirstSerial}));
    QVERIFY(empty.success);
    QCOMPARE(m_sim->requestCount(), 0);
    const QString id = QStringLiteral("1311768467294899695");
    const QByteArray picture = randomBytes(30001, 1); // 625 full parts and one of 1 byte
    RunnerProbe probe;
    QVERIFY(runJob(probe, imageTransferCommands(idToBytes(id), picture)));
    QVERIFY2(probe.success, qPrintable(probe.error));
    QCOMPARE(probe.results.value(BaseCommand::TransferredImageId).toByteArray(), idToBytes(id));

    const QJsonObject item = m_sim->item(id);
    QCOMPARE(item.value("kind").toString(), QStringLiteral("image"));
    QVERIFY(item.value("complete").toBool());
    QCOMPARE(item.value("frames").toInt(), 1);
    QCOMPARE(item.value("size").toInt(), picture.size());
    QCOMPARE(item.value("sha256").toString(), sha256(picture));
    QCOMPARE(m_sim->snapshot().value("freeSlots").toInt(), 111);
}

void TestRunnerDevsim::slideshowLands()
{
    QVERIFY(m_sim->start());
    CommandList job;
    QList<QByteArray> pictureIds;
    QByteArray idBytes;
    for (int i = 0; i < 13; ++i) {
        const QString id = QString::number(5000 + i);
        pictureIds << idToBytes(id);
        idBytes += pictureIds.last();
        job << imageTransferCommands(idToBytes(id), randomBytes(60 + i, 10 + quint32(i)));
    }
    const QString showId = QStringLiteral("4242");
    job << slideshowTransferCommands(7000, idToBytes(showId), pictureIds);
    job << chargingDisplayCommands(idToBytes(showId), idToBytes(QStringLiteral("5003")));
    job << activateCommands(idToBytes(showId));
    RunnerProbe probe;
    QVERIFY(runJob(probe, std::move(job)));
    QVERIFY2(probe.success, qPrintable(probe.error));
    QCOMPARE(probe.results.value(BaseCommand::TransferredSlideshowId).toByteArray(),
             idToBytes(showId));
    QCOMPARE(probe.results.value(BaseCommand::TransferredImageId).toByteArray(),
             pictureIds.last());

    const QJsonObject show = m_sim->item(showId);
    QCOMPARE(show.value("kind").toString(), QStringLiteral("slideshow"));
    QVERIFY(show.value("complete").toBool());
    QCOMPARE(show.value("announcedImages").toInt(), 13);
    QCOMPARE(show.value("interval").toInt(), 7000);
    QCOMPARE(show.value("sha256").toString(), sha256(idBytes));
    QStringList images;
    for (const QJsonValue &v : show.value("images").toArray())
        images << v.toString();
    QCOMPARE(images, bytesToIds(idBytes));
    const QJsonObject snapshot = m_sim->snapshot();
    QCOMPARE(snapshot.value("defaultContent").toString(), showId);
    const QJsonArray charging = snapshot.value("chargingDisplay").toArray();
    QCOMPARE(charging.size(), 1);
    QCOMPARE(charging.at(0).toObject().value("content").toString(), showId);
    QCOMPARE(charging.at(0).toObject().value("picture").toString(), QStringLiteral("5003"));
}

void TestRunnerDevsim::listingsLongerThanOneAnswer()
{
    QVERIFY(m_sim->start());
    // 20 identifiers are 160 bytes: more than the 123 of one answer.
    CommandList upload;
    QStringList ids;
    for (int i = 0; i < 20; ++i) {
        ids << QString::number(quint64(0x0102030405060700ull) + quint64(i));
        upload << imageTransferCommands(idToBytes(ids.last()), randomBytes(5, quint32(i)));
    }
    for (int i = 0; i < 16; ++i)
        QVERIFY(m_sim->control(QStringLiteral("log %1 line number %2 of a long device log")
                                   .arg(DevSim::kFirstSerial)
                                   .arg(i))
                    .startsWith("ok"));
    RunnerProbe uploaded;
    QVERIFY(runJob(uploaded, std::move(upload)));
    QVERIFY2(uploaded.success, qPrintable(uploaded.error));

    CommandList listing = readContentCommands();
    listing << freeSlotsCommands() << logCommands();
    RunnerProbe probe;
    QVERIFY(runJob(probe, std::move(listing)));
    QVERIFY2(probe.success, qPrintable(probe.error));
    QStringList listed = probe.results.value(BaseCommand::ImageUuids).toStringList();
    listed.sort();
    ids.sort();
    QCOMPARE(listed, ids);
    QVERIFY(probe.results.value(BaseCommand::SlideshowUuids).toStringList().isEmpty());
    QCOMPARE(probe.results.value(BaseCommand::FreeSlots).toInt(), 92);

    const QStringList logLines = probe.results.value(BaseCommand::DeviceLogs).toStringList();
    QVERIFY(logLines.join('\n').toUtf8().size() > 2 * 123);
    const QJsonArray expectedLog = m_sim->snapshot().value("log").toArray();
    for (const QJsonValue &line : expectedLog)
        QVERIFY2(logLines.contains(line.toString()), qPrintable(line.toString()));
    QVERIFY(logLines.contains(QStringLiteral("line number 15 of a long device log")));
}

void TestRunnerDevsim::brokenContinuationFailsWithAReason()
{
    QVERIFY(m_sim->start());
    Timings::set(Timings::CommandWait, 300);
    CommandList upload;
    for (int i = 0; i < 20; ++i)
        upload << imageTransferCommands(idToBytes(QString::number(i + 1)), randomBytes(5, 1));
    RunnerProbe uploaded;
    QVERIFY(runJob(uploaded, std::move(upload)));
    QVERIFY2(uploaded.success, qPrintable(uploaded.error));

    // The listing's first answer comes, the request for its second part is
    // never answered.
    QVERIFY(m_sim->control(QStringLiteral("fault %1 drop-answer 2").arg(DevSim::kFirstSerial))
                .startsWith("ok"));
    CommandList listing;
    listing.append(std::make_unique<ReadImagesRPCCommand>());
    listing << batteryCommands();
    RunnerProbe probe;
    QVERIFY(runJob(probe, std::move(listing)));
    QVERIFY(!probe.success);
    QCOMPARE(probe.error, QStringLiteral("Device response is to short"));
    QVERIFY(probe.results.isEmpty()); // neither half a listing nor the battery
}

void TestRunnerDevsim::deviceRefusalsEndTheJob()
{
    QVERIFY(m_sim->start({"--slots", "2"}));
    const QByteArray a = idToBytes(QStringLiteral("1"));
    const QByteArray b = idToBytes(QStringLiteral("2"));
    const QByteArray c = idToBytes(QStringLiteral("3"));
    RunnerProbe stored;
    QVERIFY(runJob(stored, imageTransferCommands(a, randomBytes(50, 7))));
    QVERIFY2(stored.success, qPrintable(stored.error));

    // The same identifier again: refused, and nothing after it runs.
    CommandList again = imageTransferCommands(a, randomBytes(50, 7));
    again << imageTransferCommands(b, randomBytes(50, 8));
    RunnerProbe duplicate;
    QVERIFY(runJob(duplicate, std::move(again)));
    QVERIFY(!duplicate.success);
    QCOMPARE(duplicate.error, QStringLiteral("File already uploaded to device"));
    QVERIFY(m_sim->item(QStringLiteral("2")).isEmpty());

    // Two slots: the third picture finds none.
    CommandList more = imageTransferCommands(b, randomBytes(50, 8));
    more << imageTransferCommands(c, randomBytes(50, 9));
    RunnerProbe full;
    QVERIFY(runJob(full, std::move(more)));
    QVERIFY(!full.success);
    QCOMPARE(full.error, QStringLiteral("There are no free space on device"));
    QCOMPARE(full.results.value(BaseCommand::TransferredImageId).toByteArray(), b);
    QVERIFY(m_sim->item(QStringLiteral("2")).value("complete").toBool());
    QVERIFY(m_sim->item(QStringLiteral("3")).isEmpty());
}

void TestRunnerDevsim::eraseWithBusyPolling()
{
    QVERIFY(m_sim->start({"--erase-ms", "400"}));
    Timings::set(Timings::PingDelay, 40);
    RunnerProbe stored;
    QVERIFY(runJob(stored, imageTransferCommands(idToBytes("77"), randomBytes(80, 1))));
    QVERIFY2(stored.success, qPrintable(stored.error));
    QCOMPARE(m_sim->snapshot().value("items").toArray().size(), 1);

    const int before = m_sim->requestCount();
    RunnerProbe probe;
    QVERIFY(runJob(probe, eraseCommand()));
    QVERIFY2(probe.success, qPrintable(probe.error));
    // The job lasted as long as the device stayed busy, and no longer than a
    // handful of polls after it.
    QVERIFY2(probe.elapsedMs >= 400, qPrintable(QString::number(probe.elapsedMs)));
    QVERIFY2(probe.elapsedMs < 2000, qPrintable(QString::number(probe.elapsedMs)));
    QVERIFY(m_sim->snapshot().value("items").toArray().isEmpty());
    QCOMPARE(m_sim->snapshot().value("freeSlots").toInt(), 112);
    QVERIFY(!m_sim->snapshot().value("busy").toBool());
    // The erase, then pings 40 ms apart until the first one that is not busy.
    const int requests = m_sim->requestCount() - before;
    QVERIFY2(requests >= 4 && requests <= 15, qPrintable(QString::number(requests)));
}

void TestRunnerDevsim::silentDeviceTimesOutThenPortRecovers()
{
    QVERIFY(m_sim->start({"--drop-answer", "1"}));
    Timings::set(Timings::CommandWait, 300);
    Timings::set(Timings::PortResetClosed, 200);
    Timings::set(Timings::PortResetReopened, 100);
    RunnerProbe probe;
    QVERIFY(runJob(probe, deviceInfoCommands()));
    QVERIFY(!probe.success);
    QCOMPARE(probe.error, QStringLiteral("Device response is to short"));
    QVERIFY(probe.results.isEmpty());
    // One wait, then the port reset; the device answered the log read after it.
    QVERIFY2(probe.elapsedMs >= 600, qPrintable(QString::number(probe.elapsedMs)));
    // The dropped request and the log read; no later command of the list ran.
    QCOMPARE(m_sim->requestCount(), 2);

    // The link is usable again for the next job.
    RunnerProbe next;
    QVERIFY(runJob(next, batteryCommands()));
    QVERIFY2(next.success, qPrintable(next.error));
    QCOMPARE(next.results.value(BaseCommand::Battery).toInt(), 87);
}

void TestRunnerDevsim::corruptedAnswers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("error");
    // The answer's CRC is not checked on receipt.
    QTest::newRow("crc") << "--corrupt-crc" << true << QString();
    QTest::newRow("another command's id") << "--wrong-id" << false << "Unknown error";
    // One length byte too high: the answer never completes and the wait runs out.
    QTest::newRow("length") << "--corrupt-length" << false << QString();
}

void TestRunnerDevsim::corruptedAnswers()
{
    QFETCH(QString, fault);
    QFETCH(bool, success);
    QFETCH(QString, error);
    QVERIFY(m_sim->start({fault, "2"}));
    Timings::set(Timings::CommandWait, 300);
    RunnerProbe probe;
    QVERIFY(runJob(probe, deviceInfoCommands()));
    QCOMPARE(probe.success, success);
    if (success) {
        QCOMPARE(probe.results.size(), 9);
        QCOMPARE(probe.results.value(BaseCommand::MacAddress).toString(), kMac);
        return;
    }
    // The name came before the damage; nothing after it is reported.
    QCOMPARE(probe.results.keys(), QList<int>({BaseCommand::DeviceName}));
    if (!error.isEmpty())
        QCOMPARE(probe.error, error);
    else
        QVERIFY(!probe.error.isEmpty());
}

void TestRunnerDevsim::unplugInTheMiddleOfATransfer()
{
    QVERIFY(m_sim->start({"--unplug-after-parts", "10"}));
    RunnerProbe probe;
    QVERIFY(runJob(probe, imageTransferCommands(idToBytes("99"), randomBytes(2000, 9))));
    QVERIFY(!probe.success);
    // The port's own error text, not a command's.
    QVERIFY(!probe.error.isEmpty());
    QVERIFY2(probe.error != QLatin1String("Device response is to short"), qPrintable(probe.error));
    // The read loop ends at once on the port error, well within the wait.
    QVERIFY2(probe.elapsedMs < Timings::ms(Timings::CommandWait),
             qPrintable(QString::number(probe.elapsedMs)));
    QVERIFY(DevSim::portOf().isEmpty());
    QVERIFY(!m_sim->item(QStringLiteral("99")).value("complete").toBool());
    // The runner gave the port back: the device is usable once it is plugged in.
    QVERIFY(m_sim->control(QStringLiteral("plug %1").arg(DevSim::kFirstSerial)).startsWith("ok"));
    QTRY_VERIFY(!DevSim::portOf().isEmpty());
    RunnerProbe again;
    QVERIFY(runJob(again, imageTransferCommands(idToBytes("98"), randomBytes(100, 9))));
    QVERIFY2(again.success, qPrintable(again.error));
}

void TestRunnerDevsim::stopEndsTheJobAtOnce_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<int>("requestsBeforeStop");
    QTest::addColumn<bool>("transfer"); // else an erase when the device stays busy, a read otherwise
    QTest::newRow("during a transfer") << QStringList{"--latency-ms", "3"} << 5 << true;
    QTest::newRow("in a long wait") << QStringList{"--drop-answer", "1"} << 1 << false;
    QTest::newRow("while the device stays busy") << QStringList{"--stay-busy", "1"} << 10 << false;
}

void TestRunnerDevsim::stopEndsTheJobAtOnce()
{
    QFETCH(QStringList, simulator);
    QFETCH(int, requestsBeforeStop);
    QFETCH(bool, transfer);
    QVERIFY(m_sim->start(simulator));
    Timings::set(Timings::CommandWait, 10000);
    CommandList job = transfer ? imageTransferCommands(idToBytes("55"), randomBytes(20000, 3))
                               : simulator.contains("--stay-busy") ? eraseCommand() : deviceInfoCommands();
    auto *runner = new CommandRunner(DeviceAddress{DevSim::kFirstSerial, DevSim::portOf(), kMac}, std::move(job));
    RunnerProbe probe;
    probe.start(runner);
    QTRY_VERIFY(m_sim->requestCount() >= requestsBeforeStop);
    QCOMPARE(probe.finishedCount, 0); // still alive: each job needs far longer than this
    runner->stop();
    const qint64 stoppedAt = probe.sinceStart();
    QVERIFY(probe.waitFinished(5000));
    QVERIFY(!probe.success);
    QVERIFY2(probe.elapsedMs - stoppedAt < 1000, qPrintable(QString::number(probe.elapsedMs)));
    QVERIFY(!m_sim->item(QStringLiteral("55")).value("complete").toBool());
}

void TestRunnerDevsim::groupIsRetriedAfterRecovery()
{
    QVERIFY(m_sim->start({"--drop-answer", "1"}));
    Timings::set(Timings::CommandWait, 300);
    CommandList job;
    job.append(std::make_unique<RetryingReadName>())->setGroupPosition(BaseCommand::GroupFirst);
    job.append(std::make_unique<ReadMacAddressRPCCommand>())
        ->setGroupPosition(BaseCommand::GroupLast);
    RunnerProbe probe;
    QVERIFY(runJob(probe, std::move(job)));
    QVERIFY2(probe.success, qPrintable(probe.error));
    QCOMPARE(probe.results.value(BaseCommand::DeviceName).toString(), QStringLiteral("TAMO 1"));
    QCOMPARE(probe.results.value(BaseCommand::MacAddress).toString(), kMac);
    // Dropped name, log read, cancel, then the whole group again.
    QCOMPARE(m_sim->requestCount(), 5);
}

void TestRunnerDevsim::openDfuSilenceCountsAsSuccess()
{
    QVERIFY(m_sim->start({"--no-rpc"}));
    Timings::set(Timings::OpenDfuWait, 300);
    Timings::set(Timings::OpenDfuDelay, 200);
    CommandList job;
    job.append(std::make_unique<OpenDfuRPCCommand>());
    RunnerProbe probe;
    QVERIFY(runJob(probe, std::move(job)));
    QVERIFY2(probe.success, qPrintable(probe.error));
    QVERIFY2(probe.elapsedMs >= 500, qPrintable(QString::number(probe.elapsedMs)));
}

void TestRunnerDevsim::twentyDevicesAtOnce()
{
    QVERIFY(m_sim->start({}, 20));
    QThreadPool::globalInstance()->setMaxThreadCount(20);
    std::vector<std::unique_ptr<RunnerProbe>> probes;
    QVector<QByteArray> pictures;
    for (int i = 1; i <= 20; ++i) {
        const QString serial = QStringLiteral("TAMOSIM%1").arg(i, 4, 10, QLatin1Char('0'));
        pictures << randomBytes(3000 + i, quint32(100 + i));
        probes.push_back(std::make_unique<RunnerProbe>());
        probes.back()->start(new CommandRunner(DeviceAddress{serial, DevSim::portOf(serial), QString()},
                                               imageTransferCommands(idToBytes("808"), pictures.last())));
    }
    for (int i = 0; i < 20; ++i) {
        const QString serial = QStringLiteral("TAMOSIM%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        QVERIFY(probes[std::size_t(i)]->waitFinished(30000));
        QVERIFY2(probes[std::size_t(i)]->success, qPrintable(probes[std::size_t(i)]->error));
        QCOMPARE(probes[std::size_t(i)]->serial, serial);
        QCOMPARE(m_sim->item(QStringLiteral("808"), serial).value("sha256").toString(),
                 sha256(pictures[i]));
    }
}

void TestRunnerDevsim::keptAnswersAreNoBiggerThanTheyAre()
{
    // The commands of a transfer keep their answers until the group ends; an
    // answer that brought a read buffer along made one picture cost megabytes.
    QVERIFY(m_sim->start());
    QVector<int> capacities;
    CommandList commands;
    for (int i = 0; i < 4; ++i)
        commands.append(std::make_unique<CapacityNotingReadName>(&capacities));
    RunnerProbe probe;
    QVERIFY(runJob(probe, std::move(commands)));
    QVERIFY2(probe.success, qPrintable(probe.error));
    QCOMPARE(capacities.size(), 4);
    for (const int capacity : qAsConst(capacities))
        QVERIFY2(capacity < 1024, qPrintable(QString::number(capacity)));
}

QTEST_GUILESS_MAIN(TestRunnerDevsim)
#include "tst_runner_devsim.moc"
