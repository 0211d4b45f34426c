// tamo-cli as an operator's script meets it: a real process against simulated
// devices and the firmware tool stand-in.
#include "DevSim.h"
#include "InstanceGuard.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QStringList lines;
    QString errors;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    Run cli(const QStringList &arguments)
    {
        // The simulator's TAMO_SIM_DIR passes on with this process's environment.
        const ToolRun run = runTool(QStringLiteral(TAMO_CLI_BIN), arguments,
                                    {"TAMO_TIMING_SCALE=0.05", "XDG_DATA_HOME=" + m_dir.filePath("data")}, 90000);
        return {run.exitCode, QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                QString::fromLocal8Bit(run.err)};
    }

private slots:
    void cleanup()
    {
        qunsetenv("TAMO_DFU_UTIL");
        qunsetenv("TAMO_SIM_DIR");
    }

    void usageErrorsAreExitCodeTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << QString();
        QTest::newRow("time-out not a number") << QStringList{"devices", "--timeout", "soon"} << QString();
        QTest::newRow("missing firmware file") << QStringList{"upgrade", "/no/such/none.dfu"} << "no such firmware file";
        QTest::newRow("convert without a folder") << QStringList{"convert", "a.png"} << "convert FILE... -o DIR";
        QTest::newRow("convert without a file") << QStringList{"convert", "-o", "out"} << "convert FILE... -o DIR";
        QTest::newRow("convert: two pictures of one name")
            << QStringList{"convert", "a/logo.png", "b/logo.jpg", "-o", "out"} << "both be written as logo";
        QTest::newRow("--preview given to devices") << QStringList{"devices", "--preview"} << "belong to convert";
    }
    void usageErrorsAreExitCodeTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run run = cli(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(message), qPrintable(run.errors));
    }

    void listsEveryDeviceOnce_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<int>("devices");
        QTest::addColumn<QString>("macStart");
        QTest::addColumn<QString>("battery");
        QTest::newRow("RPC devices") << QStringList{"--battery", "64"} << 3 << "c4:4f:33:0a:0b:0" << "64";
        // The console's letter case, and no battery without RPC.
        QTest::newRow("console-only devices") << QStringList{"--no-rpc"} << 2 << "C4:4F:33:0A:0B:0" << "";
    }

    void listsEveryDeviceOnce()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(int, devices);
        QFETCH(QString, macStart);
        QFETCH(QString, battery);
        DevSim sim;
        QVERIFY(sim.start(simArgs, devices));
        const Run run = cli({QStringLiteral("devices"), QStringLiteral("--timeout"), QStringLiteral("60")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        QStringList serials;
        for (const QString &line : run.lines) {
            const QStringList columns = line.split(QLatin1Char('\t'));
            QCOMPARE(columns.size(), 6);
            serials << columns.at(0);
            QCOMPARE(columns.at(1), DevSim::portOf(columns.at(0)));
            QVERIFY(columns.at(2).startsWith(macStart));
            QVERIFY(columns.at(3).startsWith(QStringLiteral("TAMO ")));
            QCOMPARE(columns.at(4), QStringLiteral("1.5.90"));
            QCOMPARE(columns.at(5), battery);
        }
        serials.sort();
        QCOMPARE(serials, (QStringList{"TAMOSIM0001", "TAMOSIM0002", "TAMOSIM0003"}).mid(0, devices));
        // The log went to standard error, through the log handler's format.
        QVERIFY(run.errors.contains(QStringLiteral(" Info     - Connected 1 device(s)")));
    }

    void noDeviceAttached()
    {
        QTemporaryDir empty;
        qputenv("TAMO_SIM_DIR", QFile::encodeName(empty.path()));
        const Run run = cli({QStringLiteral("devices")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.lines.isEmpty());
        const Run upgrade = cli({QStringLiteral("upgrade"), QStringLiteral(TAMO_DEVSIM_BIN)});
        QCOMPARE(upgrade.exitCode, 1);
        QVERIFY(upgrade.errors.contains(QStringLiteral("no device attached")));
    }

    void timeOutNamesTheDevicesLeft()
    {
        // Busy from the first request on, with no console: it is never read.
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--stay-busy"), QStringLiteral("1"), QStringLiteral("--no-console")}));
        QElapsedTimer clock;
        clock.start();
        const Run run = cli({QStringLiteral("devices"), QStringLiteral("--timeout"), QStringLiteral("2")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(clock.elapsed() < 12000);
        QVERIFY(run.lines.isEmpty());
        QVERIFY2(run.errors.contains(QStringLiteral("time-out after 2 s")), qPrintable(run.errors));
        QVERIFY(run.errors.contains(QStringLiteral("TAMOSIM0001")));
    }

    void upgradeReportsEachDevice()
    {
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--fw"), QStringLiteral("1.5.27")}, 2));
        const QString firmware = DevSim::makeFirmware(QStringLiteral("1.6.0"), m_dir.filePath(QStringLiteral("fw.dfu")));
        QVERIFY(!firmware.isEmpty());
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        const Run run = cli({QStringLiteral("upgrade"), firmware, QStringLiteral("--timeout"), QStringLiteral("60")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.lines.join(QLatin1Char('\n')) + run.errors));
        for (const QString &serial : {QStringLiteral("TAMOSIM0001"), QStringLiteral("TAMOSIM0002")}) {
            QVERIFY(run.lines.contains(serial + QStringLiteral("\tdownloading\t25%")));
            QVERIFY(run.lines.contains(serial + QStringLiteral("\tdownloading\t100%")));
            QVERIFY(run.lines.contains(serial + QStringLiteral("\tupgraded")));
            QVERIFY(run.lines.contains(serial + QStringLiteral("\tfirmware\t1.6.0")));
        }
        QCOMPARE(sim.snapshot(QStringLiteral("TAMOSIM0002")).value(QStringLiteral("identity")).toObject()
                     .value(QStringLiteral("firmwareVersion")).toString(), QStringLiteral("1.6.0"));
    }

    void upgradeFailureIsTheExitCode()
    {
        DevSim sim;
        QVERIFY(sim.start());
        qputenv("TAMO_DFU_UTIL", "/nonexistent/dfu-util");
        const Run run = cli({QStringLiteral("upgrade"), QStringLiteral(TAMO_DEVSIM_BIN), QStringLiteral("--timeout"),
                             QStringLiteral("30")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.lines.contains(QStringLiteral(
            "TAMOSIM0001\tfailed\tDevice firmware upgrade tool not found in '/nonexistent/dfu-util'")));
    }

    // A picture and its preview: the round screen, upright, transparent outside;
    // a file nothing decodes is named with its format. Runs while the devices
    // are owned by the application: it touches none.
    void convertWritesFramesAndPreviews()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
        QDir().mkpath(m_dir.filePath(QStringLiteral("data/Tamo")));
        InstanceGuard running;
        QVERIFY(!running.isAnotherInstanceRunning());
        QImage picture(600, 400, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QPainter(&picture).fillRect(0, 0, 600, 200, Qt::red);
        const QString still = m_dir.filePath(QStringLiteral("flag.png"));
        QVERIFY(picture.save(still));
        const QString heif = m_dir.filePath(QStringLiteral("phone.heic"));
        QFile file(heif);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24)));
        file.close();
        const QString out = m_dir.filePath(QStringLiteral("out"));

        const Run run = cli({QStringLiteral("convert"), still, heif, QStringLiteral("-o"), out, QStringLiteral("--preview")});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.lines, (QStringList{out + QStringLiteral("/flag.1.jpg"), out + QStringLiteral("/flag.preview.png")}));
        QVERIFY2(run.errors.contains(heif + QStringLiteral(": the picture cannot be decoded: the HEIF format")),
                 qPrintable(run.errors));
        // The frame is compared byte for byte with a device's in the publishing
        // suite; it is not decoded here, where loading the JPEG plugin under the
        // leak checker has crashed the checker at exit.
        const QImage preview(out + QStringLiteral("/flag.preview.png"));
        QCOMPARE(preview.size(), QSize(400, 400));
        for (const QPoint corner : {QPoint(2, 2), QPoint(397, 2), QPoint(2, 397), QPoint(397, 397)})
            QCOMPARE(qAlpha(preview.pixel(corner)), 0);
        const QRgb top = preview.pixel(200, 60), bottom = preview.pixel(200, 340);
        QVERIFY2(qAlpha(top) == 255 && qRed(top) > 200 && qBlue(top) < 60, qPrintable(QString::number(top, 16)));
        QVERIFY2(qAlpha(bottom) == 255 && qBlue(bottom) > 200 && qRed(bottom) < 60,
                 qPrintable(QString::number(bottom, 16)));
    }

    void refusesWhileTheApplicationRuns()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
        QDir().mkpath(m_dir.filePath(QStringLiteral("data/Tamo")));
        InstanceGuard running;
        QVERIFY(!running.isAnotherInstanceRunning());
        const Run run = cli({QStringLiteral("devices")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errors.contains(QStringLiteral("owns the devices")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_app_cli.moc"
