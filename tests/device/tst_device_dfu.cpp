// The firmware upgrader: the console switch, runs of small scripted firmware
// tools for the tool's failure modes, retries, progress, its queue, and devices
// flashed side by side up to the limit.
#include "DfuSeFile.h"
#include "DfuUpgrader.h"
#include "FirmwareImage.h"
#include "Limits.h"
#include "PtyPeer.h"
#include "Timings.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Outcome {
    QString serial;
    bool ok = false;
    QString error;
};

// An upgrader as the devices manager runs it, its news arriving through the
// event loop.
class UpgraderRig : public QObject
{
public:
    DfuUpgrader upgrader;
    QStringList started;
    QList<Outcome> finished;
    QList<QPair<QString, int>> progress;
    int allUpgraded = 0;

    UpgraderRig()
    {
        connect(&upgrader, &DfuUpgrader::started, this, [this](const QString &s) { started << s; });
        connect(&upgrader, &DfuUpgrader::finished, this,
                [this](const QString &s, bool ok, const QString &e) { finished << Outcome{s, ok, e}; });
        connect(&upgrader, &DfuUpgrader::progress, this,
                [this](const QString &s, int p) { progress << qMakePair(s, p); });
        connect(&upgrader, &DfuUpgrader::allDevicesUpgraded, this, [this] { ++allUpgraded; });
    }
    ~UpgraderRig() override { upgrader.stop(); }

    bool run(const QList<DfuJob> &jobs, int timeoutMs = 30000)
    {
        const int before = allUpgraded;
        upgrader.setDevices(jobs);
        QDeadlineTimer deadline(timeoutMs);
        while (allUpgraded == before && !deadline.hasExpired())
            QTest::qWait(10);
        return allUpgraded > before && upgrader.waitForDone(5000);
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

    // A tool that holds every download until the test lets go, and notes when
    // each starts and ends ("start SERIAL", "end SERIAL").
    void heldTool(const QString &name)
    {
        const QString base = m_dir.filePath(name);
        QFile::remove(base + QStringLiteral(".release"));
        QFile::remove(base + QStringLiteral(".markers"));
        script(name, QStringLiteral("case \"$*\" in *-D*)\n"
                                    "  for a; do last=$a; done\n"
                                    "  echo \"start $last\" >> '%1.markers'\n"
                                    "  while [ ! -e '%1.release' ]; do sleep 0.02; done\n"
                                    "  echo \"end $last\" >> '%1.markers'\n"
                                    "  printf 'Download\\t[=========================] 100%%        9 bytes\\n';;\n"
                                    "esac\nexit 0")
                         .arg(base));
    }
    QStringList markers(const QString &name) const
    {
        QFile file(m_dir.filePath(name + QStringLiteral(".markers")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void release(const QString &name)
    {
        QFile file(m_dir.filePath(name + QStringLiteral(".release")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // The most downloads that ran at the same time.
    static int mostAtOnce(const QStringList &markers)
    {
        int now = 0;
        int most = 0;
        for (const QString &marker : markers) {
            now += marker.startsWith(QLatin1String("start ")) ? 1 : -1;
            most = qMax(most, now);
        }
        return most;
    }

    // A whole firmware file by that name in the test's folder, as the
    // simulator's boot loader takes it: the upgrader looks at every file first.
    QString firmware(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        if (!QFileInfo::exists(path)) {
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write(DfuSeFile::build(FirmwareImage::make(QStringLiteral("1.6.0")),
                                            FirmwareImage::kApplicationAddress, QStringLiteral("TAMO")));
        }
        return path;
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
    }

    void cleanup()
    {
        qunsetenv("TAMO_DFU_UTIL");
        Limits::restoreDefaults();
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
        QVERIFY(rig.run({job(silent.portName(), QStringLiteral("S"), firmware(QStringLiteral("f")))}));
        QCOMPARE(rig.finished.size(), 1);
        QVERIFY(!rig.finished.at(0).ok);
        QCOMPARE(rig.finished.at(0).error, QStringLiteral("Failed to switch device 'mac-S' to DFU mode"));
        QVERIFY(calls(QStringLiteral("never")).isEmpty());
    }

    void unopenablePort()
    {
        script(QStringLiteral("unused"), QStringLiteral("exit 0"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(QStringLiteral("/dev/tamo-no-such-port"), QStringLiteral("X"), firmware(QStringLiteral("f")))}));
        QCOMPARE(rig.finished.at(0).error, QStringLiteral("Failed connect to device 'mac-X'"));
    }

    void noDfuDeviceMeansSixAttempts()
    {
        PtyPeer peer;
        offerDfu(peer);
        script(QStringLiteral("absent"),
               QStringLiteral("echo 'dfu-util: No DFU capable USB device available' >&2\nexit 74"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), firmware(QStringLiteral("fw.dfu")))}));
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
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), firmware(QStringLiteral("fw.dfu")))}));
        const QStringList runs = calls(QStringLiteral("quick"));
        QCOMPARE(runs.size(), 2);
        QVERIFY(runs.at(0).contains(QStringLiteral("/fw.dfu -S S")));
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
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), firmware(QStringLiteral("fw.dfu")))}));
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
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), firmware(QStringLiteral("bad.dfu")))}));
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
        QVERIFY(rig.run({job(peer.portName(), QStringLiteral("S"), firmware(QStringLiteral("fw.dfu")))}));
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
        // The first device's 100 % must not make the second one skip its
        // download, when the same lane takes it.
        Limits::set(Limits::MaxParallelUpgrades, 1);
        PtyPeer first;
        PtyPeer second;
        offerDfu(first);
        offerDfu(second);
        script(QStringLiteral("each"),
               QStringLiteral("case \"$*\" in *-D*) printf 'Download\\t[=========================] 100%%        9 bytes\\n';; esac\nexit 0"));
        UpgraderRig rig;
        QVERIFY(rig.run({job(first.portName(), QStringLiteral("ONE"), firmware(QStringLiteral("fw.dfu"))),
                         job(second.portName(), QStringLiteral("TWO"), firmware(QStringLiteral("fw.dfu")))}));
        const QStringList downloads = calls(QStringLiteral("each")).filter(QStringLiteral(" -D "));
        QCOMPARE(downloads.size(), 2);
        QVERIFY(downloads.at(1).endsWith(QStringLiteral("-S TWO")));
        QCOMPARE(rig.finished.size(), 2);
        QVERIFY(rig.finished.at(1).ok);
    }

    void devicesFlashSideBySideUpToTheLimit_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("atOnce");
        QTest::newRow("one at a time") << 1 << 1;
        QTest::newRow("two lanes for three devices") << 2 << 2;
        QTest::newRow("the default") << Limits::defaultValue(Limits::MaxParallelUpgrades) << 3;
    }
    void devicesFlashSideBySideUpToTheLimit()
    {
        QFETCH(int, limit);
        QFETCH(int, atOnce);
        Limits::set(Limits::MaxParallelUpgrades, limit);
        PtyPeer a, b, c;
        for (PtyPeer *peer : {&a, &b, &c})
            offerDfu(*peer);
        heldTool(QStringLiteral("held"));
        UpgraderRig rig;
        rig.upgrader.setDevices({job(a.portName(), QStringLiteral("A"), firmware(QStringLiteral("fw.dfu"))),
                                 job(b.portName(), QStringLiteral("B"), firmware(QStringLiteral("fw.dfu"))),
                                 job(c.portName(), QStringLiteral("C"), firmware(QStringLiteral("fw.dfu")))});
        // Every lane holds a device whose download the tool holds.
        QTRY_COMPARE_WITH_TIMEOUT(markers(QStringLiteral("held")).size(), atOnce, 10000);
        QTRY_COMPARE(rig.started.size(), atOnce);
        release(QStringLiteral("held"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.allUpgraded, 1, 10000);
        const QStringList seen = markers(QStringLiteral("held"));
        QCOMPARE(mostAtOnce(seen), atOnce);
        // Each run of the tool was told its own device.
        for (const QString &serial : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})
            QCOMPARE(seen.count(QStringLiteral("start ") + serial), 1);
        QCOMPARE(rig.finished.size(), 3);
        for (const Outcome &outcome : qAsConst(rig.finished))
            QVERIFY2(outcome.ok, qPrintable(outcome.error));
        QVERIFY(!rig.upgrader.isBusy());
    }

    void queueRules()
    {
        // One lane, held by A's download: B waits.
        Limits::set(Limits::MaxParallelUpgrades, 1);
        PtyPeer a, b;
        offerDfu(a);
        offerDfu(b);
        heldTool(QStringLiteral("rules"));
        UpgraderRig rig;
        rig.upgrader.setDevices({job(a.portName(), QStringLiteral("A"), firmware(QStringLiteral("one.dfu"))),
                                 job(b.portName(), QStringLiteral("B"), firmware(QStringLiteral("one.dfu")))});
        QTRY_COMPARE_WITH_TIMEOUT(markers(QStringLiteral("rules")).size(), 1, 10000);
        // Same device, same file: ignored, also for the device being flashed.
        // Same device, other file: replaces the waiting request.
        rig.upgrader.setDevices({job(a.portName(), QStringLiteral("A"), firmware(QStringLiteral("one.dfu"))),
                                 job(b.portName(), QStringLiteral("B"), firmware(QStringLiteral("two.dfu")))});
        QVERIFY(rig.upgrader.isBusy());
        QVERIFY(rig.upgrader.isUpgrading(QStringLiteral("A")));
        QVERIFY(rig.upgrader.isUpgrading(QStringLiteral("B")));
        QVERIFY(!rig.upgrader.isUpgrading(QStringLiteral("C")));
        release(QStringLiteral("rules"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.allUpgraded, 1, 10000);
        const QStringList downloads = calls(QStringLiteral("rules")).filter(QStringLiteral(" -D "));
        QCOMPARE(downloads.size(), 2);
        QVERIFY(downloads.at(0).endsWith(QStringLiteral("/one.dfu -S A")));
        QVERIFY(downloads.at(1).endsWith(QStringLiteral("/two.dfu -S B")));
        QVERIFY(!rig.upgrader.isBusy());
    }

    void missingToolFailsEachDeviceOnce()
    {
        qputenv("TAMO_DFU_UTIL", "/nonexistent/dfu-util");
        UpgraderRig rig;
        QVERIFY(rig.run({job(QStringLiteral("p1"), QStringLiteral("A"), firmware(QStringLiteral("one.dfu"))),
                         job(QStringLiteral("p2"), QStringLiteral("B"), firmware(QStringLiteral("two.dfu")))}));
        rig.started.sort();
        QCOMPARE(rig.started, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QCOMPARE(rig.finished.size(), 2);
        for (const Outcome &outcome : qAsConst(rig.finished)) {
            QVERIFY(!outcome.ok);
            QCOMPARE(outcome.error, QStringLiteral("Device firmware upgrade tool not found in '/nonexistent/dfu-util'"));
        }
        QCOMPARE(rig.allUpgraded, 1);
        QVERIFY(!rig.upgrader.isBusy());
    }

    void stopFinishesTheDevicesBeingFlashedOnly()
    {
        Limits::set(Limits::MaxParallelUpgrades, 2);
        PtyPeer a, b, c, d;
        for (PtyPeer *peer : {&a, &b, &c, &d})
            offerDfu(*peer);
        heldTool(QStringLiteral("stopped"));
        UpgraderRig rig;
        rig.upgrader.setDevices({job(a.portName(), QStringLiteral("A"), firmware(QStringLiteral("f"))),
                                 job(b.portName(), QStringLiteral("B"), firmware(QStringLiteral("f"))),
                                 job(c.portName(), QStringLiteral("C"), firmware(QStringLiteral("f"))),
                                 job(d.portName(), QStringLiteral("D"), firmware(QStringLiteral("f")))});
        QTRY_COMPARE_WITH_TIMEOUT(markers(QStringLiteral("stopped")).size(), 2, 10000);
        rig.upgrader.stop();
        release(QStringLiteral("stopped"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.allUpgraded, 1, 10000);
        rig.started.sort();
        QCOMPARE(rig.started, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QCOMPARE(rig.finished.size(), 2);
        QVERIFY(rig.finished.at(0).ok && rig.finished.at(1).ok);
        QVERIFY(c.lines().isEmpty());
        QVERIFY(d.lines().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDfu)
#include "tst_device_dfu.moc"
