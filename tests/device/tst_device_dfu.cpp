// The firmware upgrader: the console switch, runs of small scripted firmware
// tools for the tool's failure modes, retries, progress, and its queue.
#include "DfuSeFile.h"
#include "DfuUpgrader.h"
#include "FirmwareImage.h"
#include "PtyPeer.h"
#include "Timings.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

struct Outcome {
    QString serial;
    bool ok = false;
    QString error;
};

// An upgrader on its own thread, as the devices manager runs it.
class UpgraderRig : public QObject
{
public:
    DfuUpgrader *upgrader = nullptr;
    QThread thread;
    QStringList started;
    QList<Outcome> finished;
    QList<QPair<QString, int>> progress;
    int allUpgraded = 0;

    UpgraderRig()
        : upgrader(new DfuUpgrader)
    {
        upgrader->moveToThread(&thread);
        connect(&thread, &QThread::started, upgrader, &DfuUpgrader::run);
        connect(upgrader, &DfuUpgrader::started, this, [this](const QString &s) { started << s; });
        connect(upgrader, &DfuUpgrader::finished, this,
                [this](const QString &s, bool ok, const QString &e) { finished << Outcome{s, ok, e}; });
        connect(upgrader, &DfuUpgrader::progress, this,
                [this](const QString &s, int p) { progress << qMakePair(s, p); });
        connect(upgrader, &DfuUpgrader::allDevicesUpgraded, this, [this] {
            ++allUpgraded;
            thread.quit();
        });
    }
    ~UpgraderRig() override
    {
        upgrader->stop();
        thread.quit();
        thread.wait();
        delete upgrader;
    }

    bool run(const QList<DfuJob> &jobs, int timeoutMs = 30000)
    {
        const int before = allUpgraded;
        upgrader->setDevices(jobs);
        thread.start();
        QDeadlineTimer deadline(timeoutMs);
        while (allUpgraded == before && !deadline.hasExpired())
            QTest::qWait(10);
        thread.wait(5000);
        return allUpgraded > before;
    }
};

DfuJob job(const QString &port, const QString &serial, const QString &file)
{
    return DfuJob{DeviceAddress{serial, port, QStringLiteral("mac-") + serial}, file};
}

} // namespace

class TestDfu : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_firmware; // a whole firmware file, as the simulator's boot loader takes it

    // A tool of the test's own: a shell script that logs its arguments.
    QString script(const QString &name, const QString &body)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write("#!/bin/sh\necho \"$*\" >> \"" + m_dir.filePath(name + QStringLiteral(".calls")).toUtf8()
                   + "\"\n" + body.toUtf8() + "\n");
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        qputenv("TAMO_DFU_UTIL", QFile::encodeName(path));
        return path;
    }

    QStringList calls(const QString &name) const
    {
        QFile file(m_dir.filePath(name + QStringLiteral(".calls")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // A console that offers the DFU switch.
    static void offerDfu(PtyPeer &peer)
    {
        peer.answer("0", "1. Show Device Info\r\n4. Transition to DFU Mode\r\n");
        peer.answer("4", "Entering DFU mode\r\n");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        Timings::setScale(0.01);
        m_firmware = m_dir.filePath(QStringLiteral("fw.dfu"));
        QFile file(m_firmware);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(DfuSeFile::build(FirmwareImage::make(QStringLiteral("1.6.0")), FirmwareImage::kApplicationAddress,
                                    QStringLiteral("TAMO")));
    }

    void cleanup()
    {
        qunsetenv("TAMO_DFU_UTIL");
    }

    // A service's working directory is the home folder: a dfu-util lying there
    // must never be run.
    void toolIsNeverTakenFromTheWorkingDirectory_data()
    {
        QTest::addColumn<QByteArray>("override"); // TAMO_DFU_UTIL
        QTest::addColumn<QByteArray>("path");     // PATH
        QTest::addColumn<QString>("expected");    // "<cwd>" and "<app>" stand for those folders
        QTest::newRow("override, relative") << QByteArray("relative/tool") << QByteArray("/usr/bin")
                                            << "<cwd>/relative/tool";
        // Debian's dfu-util is a dependency of the package.
        QTest::newRow("on PATH") << QByteArray() << QByteArray("/usr/bin") << "/usr/bin/dfu-util";
        QTest::newRow("PATH names the working directory") << QByteArray() << QByteArray(".::/usr/bin")
                                                          << "/usr/bin/dfu-util";
        QTest::newRow("nowhere but the working directory") << QByteArray() << QByteArray(".") << "<app>/dfu-util";
    }

    void toolIsNeverTakenFromTheWorkingDirectory()
    {
        QFETCH(QByteArray, override);
        QFETCH(QByteArray, path);
        QFETCH(QString, expected);
        const QString planted = m_dir.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(planted));
        QVERIFY(!script(QStringLiteral("home/dfu-util"), QStringLiteral("exit 0")).isEmpty());
        const QString before = QDir::currentPath();
        const QByteArray pathBefore = qgetenv("PATH");
        QVERIFY(QDir::setCurrent(planted));
        const QString cwd = QDir::currentPath();
        qputenv("TAMO_DFU_UTIL", override);
        qputenv("PATH", path);
        const QString found = DfuUpgrader::locateTool();
        qputenv("PATH", pathBefore);
        QDir::setCurrent(before);
        expected.replace(QStringLiteral("<cwd>"), cwd);
        expected.replace(QStringLiteral("<app>"), QCoreApplication::applicationDirPath());
        QCOMPARE(found, expected);
    }

    void deviceWithoutConsoleIsNotFlashed()
    {
        PtyPeer silent;
        script(QStringLiteral("never"), QStringLiteral("exit 0"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(silent.portName(), QStringLiteral("S"), m_firmware)}));
        QCOMPARE(rig.finished.size(), 1);
        QVERIFY(!rig.finished.at(0).ok);
        QCOMPARE(rig.finished.at(0).error, QStringLiteral("Failed to switch device 'mac-S' to DFU mode"));
        QVERIFY(calls(QStringLiteral("never")).isEmpty());
    }

    void unopenablePort()
    {
        script(QStringLiteral("unused"), QStringLiteral("exit 0"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(QStringLiteral("/dev/tamo-no-such-port"), QStringLiteral("X"), m_firmware)}));
        QCOMPARE(rig.finished.at(0).error, QStringLiteral("Failed connect to device 'mac-X'"));
    }

    void noDfuDeviceMeansSixAttempts()
    {
        PtyPeer peer;
        offerDfu(peer);
        script(QStringLiteral("absent"),
               QStringLiteral("echo 'dfu-util: No DFU capable USB device available' >&2\nexit 74"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), m_firmware)}));
        const QStringList runs = calls(QStringLiteral("absent"));
        QCOMPARE(runs.filter(QStringLiteral(" -D ")).size(), 6);
        QCOMPARE(runs.filter(QStringLiteral(" -R ")).size(), 1);
        QCOMPARE(runs.size(), 7);
        QVERIFY(!rig.finished.at(0).ok);
        QCOMPARE(rig.finished.at(0).error, QStringLiteral("Cannot find DFU device"));
        // The console saw the menu request twice, then the switch twice.
        QCOMPARE(peer.lines(), (QStringList{"0", "0", "4", "4"}));
    }

    void fullDownloadAtOnceMeansOneDownloadAndOneLeave()
    {
        PtyPeer peer;
        offerDfu(peer);
        script(QStringLiteral("quick"),
               QStringLiteral("case \"$*\" in *-D*) printf 'Download\\t[=========================] 100%%        40000 bytes\\n"
                              "Download done.\\nFile downloaded successfully\\n';;\n"
                              "  *-U*) for a; do last=$a; done; echo upload > \"$last\";; esac\nexit 0"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), m_firmware)}));
        const QStringList runs = calls(QStringLiteral("quick"));
        QCOMPARE(runs.size(), 2);
        QVERIFY(runs.at(0).contains(QStringLiteral("-D %1 -S S").arg(m_firmware)));
        QVERIFY(runs.at(1).contains(QStringLiteral("-R -S S -s 0x08004000:leave -U ")));
        QVERIFY(rig.finished.at(0).ok);
        // The leave run's upload lands in a fresh temporary file, deleted afterwards.
        const QString upload = runs.at(1).section(QStringLiteral("-U "), 1);
        QVERIFY(upload.startsWith(QDir::toNativeSeparators(QDir::tempPath())));
        QVERIFY(!QFileInfo::exists(upload));
    }

    void lateBootLoaderStillCountsAsUpgraded()
    {
        // The device needs a moment to show up in DFU mode: the first run finds
        // nothing, the second downloads everything.
        PtyPeer peer;
        offerDfu(peer);
        const QString marker = m_dir.filePath(QStringLiteral("late.seen"));
        script(QStringLiteral("late"),
               QStringLiteral("case \"$*\" in *-D*)\n"
                              "  if [ ! -e '%1' ]; then touch '%1'; echo 'dfu-util: No DFU capable USB device available' >&2; exit 74; fi\n"
                              "  printf 'Download\\t[=========================] 100%%        9 bytes\\n';;\nesac\nexit 0")
                   .arg(marker));
        UpgraderRig rig;
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), m_firmware)}));
        QCOMPARE(calls(QStringLiteral("late")).filter(QStringLiteral(" -D ")).size(), 2);
        QVERIFY2(rig.finished.at(0).ok, qPrintable(rig.finished.at(0).error));
        QVERIFY(rig.finished.at(0).error.isEmpty());
    }

    void refusedFileIsNoUpgrade()
    {
        // The tool ends "normally" but with an error code and no 100 %.
        PtyPeer peer;
        offerDfu(peer);
        script(QStringLiteral("refuses"), QStringLiteral("echo 'dfu-util: Invalid DFU suffix signature' >&2\nexit 65"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), m_firmware)}));
        QVERIFY(!rig.finished.at(0).ok);
        QCOMPARE(rig.finished.at(0).error, QStringLiteral("Device firmware upgrade tool failed with exit code 65"));
    }

    void progressSplitAcrossReads()
    {
        PtyPeer peer;
        offerDfu(peer);
        script(QStringLiteral("pieces"),
               QStringLiteral("case \"$*\" in *-D*)\n"
                              "  printf 'Erase   \\t[=============            ]  50%%  2000 bytes\\r'\n"
                              "  printf 'Erase   \\t[=========================] 100%%  4000 bytes\\n'; sleep 0.1\n"
                              "  printf 'Download\\t[======                   ]  2'; sleep 0.1\n"
                              "  printf '6%%        1000 bytes\\rDownload\\t[=============            ]  5'; sleep 0.1\n"
                              "  printf '2%%        2000 bytes\\rDownload\\t[=========================] 10'; sleep 0.1\n"
                              "  printf '0%%        4000 bytes\\nDownload done.\\n';;\nesac\nexit 0"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), m_firmware)}));
        QVERIFY2(rig.finished.at(0).ok, qPrintable(rig.finished.at(0).error));
        // One download: the 100 % split over two reads was recognised.
        QCOMPARE(calls(QStringLiteral("pieces")).filter(QStringLiteral(" -D ")).size(), 1);
        QList<int> milestones;
        for (const auto &p : rig.progress)
            milestones << p.second;
        QCOMPARE(milestones, (QList<int>{25, 50, 75, 100}));
    }

    void eachDeviceStartsAfresh()
    {
        // The first device's 100 % must not make the second one skip its download.
        PtyPeer first;
        PtyPeer second;
        offerDfu(first);
        offerDfu(second);
        script(QStringLiteral("each"),
               QStringLiteral("case \"$*\" in *-D*) printf 'Download\\t[=========================] 100%%        9 bytes\\n';; esac\nexit 0"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(first.portName(), QStringLiteral("ONE"), m_firmware),
                         job(second.portName(), QStringLiteral("TWO"), m_firmware)}));
        const QStringList downloads = calls(QStringLiteral("each")).filter(QStringLiteral(" -D "));
        QCOMPARE(downloads.size(), 2);
        QVERIFY(downloads.at(1).endsWith(QStringLiteral("-S TWO")));
        QCOMPARE(rig.finished.size(), 2);
        QVERIFY(rig.finished.at(1).ok);
    }

    void queueRules()
    {
        DfuUpgrader upgrader;
        upgrader.setDevices({job(QStringLiteral("p1"), QStringLiteral("A"), QStringLiteral("one.dfu")),
                             job(QStringLiteral("p2"), QStringLiteral("B"), QStringLiteral("one.dfu"))});
        // Same device, same file: ignored. Same device, other file: replaces.
        upgrader.setDevices({job(QStringLiteral("p1"), QStringLiteral("A"), QStringLiteral("one.dfu")),
                             job(QStringLiteral("p2"), QStringLiteral("B"), QStringLiteral("two.dfu"))});
        QVERIFY(upgrader.isBusy());
        QVERIFY(upgrader.isUpgrading(QStringLiteral("A")));
        QVERIFY(upgrader.isUpgrading(QStringLiteral("B")));
        QVERIFY(!upgrader.isUpgrading(QStringLiteral("C")));

        upgrader.stop();
        QVERIFY(!upgrader.isBusy());

        // Run without its tool: each queued device fails at once, once.
        qputenv("TAMO_DFU_UTIL", "/nonexistent/dfu-util");
        UpgraderRig rig;
        rig.upgrader->setDevices({job(QStringLiteral("p1"), QStringLiteral("A"), QStringLiteral("one.dfu")),
                                  job(QStringLiteral("p2"), QStringLiteral("B"), QStringLiteral("one.dfu"))});
        QVERIFY(rig.run({job(QStringLiteral("p1"), QStringLiteral("A"), QStringLiteral("one.dfu")),
                         job(QStringLiteral("p2"), QStringLiteral("B"), QStringLiteral("two.dfu"))}));
        QCOMPARE(rig.started, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QCOMPARE(rig.finished.size(), 2);
        QVERIFY(!rig.finished.at(1).ok);
        QCOMPARE(rig.finished.at(0).error,
                 QStringLiteral("Device firmware upgrade tool not found in '/nonexistent/dfu-util'"));
        QCOMPARE(rig.allUpgraded, 1);
        QVERIFY(!rig.upgrader->isBusy());
    }

    void stopFinishesTheCurrentDeviceOnly()
    {
        PtyPeer a, b, c;
        offerDfu(a);
        offerDfu(b);
        offerDfu(c);
        // B's download waits for the gate: the stop comes while B is flashed,
        // however long the test takes to see it started.
        const QString gate = m_dir.filePath(QStringLiteral("slow.gate"));
        script(QStringLiteral("slow"),
               QStringLiteral("case \"$*\" in *-D*-S\\ B) while [ ! -e '%1' ]; do sleep 0.02; done;; esac\n"
                              "case \"$*\" in *-D*) printf 'Download\\t[=========================] 100%%        9 bytes\\n';; esac\nexit 0")
                   .arg(gate));
        UpgraderRig rig;
        rig.upgrader->setDevices({job(a.portName(), QStringLiteral("A"), m_firmware),
                                  job(b.portName(), QStringLiteral("B"), m_firmware),
                                  job(c.portName(), QStringLiteral("C"), m_firmware)});
        rig.thread.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.started.size(), 2, 10000);
        rig.upgrader->stop();
        QFile open(gate);
        QVERIFY(open.open(QIODevice::WriteOnly));
        open.close();
        QTRY_COMPARE_WITH_TIMEOUT(rig.allUpgraded, 1, 10000);
        QCOMPARE(rig.started, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QCOMPARE(rig.finished.size(), 2);
        QVERIFY(rig.finished.at(1).ok);
        QVERIFY(c.lines().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDfu)
#include "tst_device_dfu.moc"
