// tamo-cli as an operator's script meets it: a real process against simulated
// devices and the firmware tool stand-in.
#include "DevSim.h"
#include "InstanceGuard.h"

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

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

    // A JSON Lines object as the CLI prints them: the keys of every event, and
    // the event's own.
    static QJsonObject parsed(const QString &line, QStringList ownKeys = {})
    {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        ownKeys << QStringList{"detail", "event", "mac", "progress", "reason", "serial"};
        ownKeys.sort();
        if (object.keys() != ownKeys)
            qWarning().noquote() << "not an event of the expected keys:" << line;
        return object.keys() == ownKeys ? object : QJsonObject();
    }

    Run cli(const QStringList &arguments, const QStringList &environment = {})
    {
        // The simulator's TAMO_SIM_DIR passes on with this process's environment.
        const ToolRun run = runTool(QStringLiteral(TAMO_CLI_BIN), arguments,
                                    QStringList{"TAMO_TIMING_SCALE=0.05", "XDG_DATA_HOME=" + m_dir.filePath("data")}
                                        + environment,
                                    90000);
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
        QTest::newRow("unknown option") << QStringList{"devices", "--frobnicate"} << "Unknown option 'frobnicate'";
        QTest::newRow("--serial given to devices") << QStringList{"devices", "--serial", "X"} << "belongs to upgrade";
        QTest::newRow("--serial without a value") << QStringList{"upgrade", "fw.dfu", "--serial"} << "Missing value";
        QTest::newRow("--json given to convert") << QStringList{"convert", "a.png", "-o", "out", "--json"}
                                                 << "--json belongs to";
    }
    void usageErrorsAreExitCodeTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run run = cli(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(message), qPrintable(run.errors));
        if (arguments.first() == QLatin1String("convert"))
            return; // prints no JSON
        // For a script, the same as an error object.
        const Run json = cli(QStringList{QStringLiteral("--json")} + arguments);
        QCOMPARE(json.exitCode, 2);
        QCOMPARE(json.lines.size(), 1);
        const QJsonObject error = parsed(json.lines.first());
        QCOMPARE(error.value(QStringLiteral("event")).toString(), QStringLiteral("error"));
        QVERIFY(error.value(QStringLiteral("reason")).toString().contains(message));
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

    // Neither RPC nor console answers: listed all the same, with the reason as
    // a seventh column (the "reason" key with --json), and the exit code says
    // that not every device could be read.
    void unreadableDeviceIsListedWithItsReason()
    {
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--no-rpc"), QStringLiteral("--no-console")}));
        const Run run = cli({QStringLiteral("devices"), QStringLiteral("--timeout"), QStringLiteral("60")});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.lines.size(), 1);
        const QStringList columns = run.lines.first().split(QLatin1Char('\t'));
        QCOMPARE(columns.size(), 7);
        QCOMPARE(columns.at(0), QStringLiteral("TAMOSIM0001"));
        QCOMPARE(columns.at(2), QString());
        QVERIFY2(columns.at(6).startsWith(QStringLiteral("the device could not be read (")), qPrintable(columns.at(6)));

        const Run json = cli({QStringLiteral("devices"), QStringLiteral("--json"), QStringLiteral("--timeout"),
                              QStringLiteral("60")});
        QCOMPARE(json.exitCode, 1);
        QCOMPARE(json.lines.size(), 1);
        const QJsonObject device = parsed(json.lines.first(), {"battery", "firmware", "name", "port"});
        QCOMPARE(device.value(QStringLiteral("event")).toString(), QStringLiteral("device"));
        QCOMPARE(device.value(QStringLiteral("serial")).toString(), QStringLiteral("TAMOSIM0001"));
        QVERIFY(device.value(QStringLiteral("mac")).isNull());
        QCOMPARE(device.value(QStringLiteral("reason")).toString(), columns.at(6));
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

    // Every device, or the chosen ones: side by side, each with its progress
    // and result, the run's overall progress, and each device's firmware once
    // it is back. A chosen device that is not attached has failed.
    void upgradeReportsEachDevice_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("upgraded");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("every device") << QStringList() << QStringList{"TAMOSIM0001", "TAMOSIM0002"}
                                      << QStringList{"*\toverall\t0 of 2 upgraded", "*\toverall\t2 of 2 upgraded"} << 0;
        QTest::newRow("the chosen ones")
            << QStringList{"--serial", "TAMOSIM0002", "--serial", "TAMOSIM0009"} << QStringList{"TAMOSIM0002"}
            << QStringList{"TAMOSIM0009\tfailed\tthe device is not attached", "*\toverall\t1 of 1 upgraded"} << 1;
    }
    void upgradeReportsEachDevice()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, upgraded);
        QFETCH(QStringList, lines);
        QFETCH(int, exitCode);
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--fw"), QStringLiteral("1.5.27")}, 2));
        const QString firmware = DevSim::makeFirmware(QStringLiteral("1.6.0"), m_dir.filePath(QStringLiteral("fw.dfu")));
        QVERIFY(!firmware.isEmpty());
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        const Run run = cli(QStringList{QStringLiteral("upgrade"), firmware, QStringLiteral("--timeout"),
                                        QStringLiteral("60")} + options);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.lines.join(QLatin1Char('\n')) + run.errors));
        for (const QString &serial : {QStringLiteral("TAMOSIM0001"), QStringLiteral("TAMOSIM0002")}) {
            const bool chosen = upgraded.contains(serial);
            QCOMPARE(run.lines.contains(serial + QStringLiteral("\tdownloading\t25%")), chosen);
            QCOMPARE(run.lines.contains(serial + QStringLiteral("\tdownloading\t100%")), chosen);
            QCOMPARE(run.lines.contains(serial + QStringLiteral("\tupgraded")), chosen);
            QCOMPARE(run.lines.contains(serial + QStringLiteral("\tfirmware\t1.6.0")), chosen);
            QCOMPARE(sim.snapshot(serial).value(QStringLiteral("identity")).toObject()
                         .value(QStringLiteral("firmwareVersion")).toString(),
                     chosen ? QStringLiteral("1.6.0") : QStringLiteral("1.5.27"));
        }
        for (const QString &line : lines)
            QVERIFY2(run.lines.contains(line), qPrintable(run.lines.join(QLatin1Char('\n'))));
    }

    // The same run for a script: JSON Lines, read back.
    void upgradeAsJsonLines()
    {
        DevSim sim;
        QVERIFY(sim.start({}, 2));
        const QString firmware = DevSim::makeFirmware(QStringLiteral("1.6.1"), m_dir.filePath(QStringLiteral("fw.dfu")));
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        const Run run = cli({QStringLiteral("upgrade"), firmware, QStringLiteral("--json"), QStringLiteral("--serial"),
                             QStringLiteral("TAMOSIM0001"), QStringLiteral("--timeout"), QStringLiteral("60")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.lines.join(QLatin1Char('\n')) + run.errors));
        QStringList events;
        int lastPercent = -1;
        for (const QString &line : run.lines) {
            const QJsonObject object = parsed(line);
            const QString event = object.value(QStringLiteral("event")).toString();
            events << event;
            if (event == QLatin1String("overall")) {
                QVERIFY(object.value(QStringLiteral("serial")).isNull());
                QVERIFY(object.value(QStringLiteral("detail")).toString().endsWith(QStringLiteral(" upgraded")));
                continue;
            }
            QCOMPARE(object.value(QStringLiteral("serial")).toString(), QStringLiteral("TAMOSIM0001"));
            QCOMPARE(object.value(QStringLiteral("mac")).toString(), QStringLiteral("c4:4f:33:0a:0b:01"));
            if (event == QLatin1String("downloading")) {
                QVERIFY(object.value(QStringLiteral("progress")).toInt() > lastPercent);
                lastPercent = object.value(QStringLiteral("progress")).toInt();
            }
        }
        QCOMPARE(lastPercent, 100);
        events.removeDuplicates();
        QCOMPARE(events, (QStringList{"overall", "downloading", "upgraded", "firmware"}));
        QCOMPARE(parsed(run.lines.filter(QStringLiteral("\"overall\"")).last()).value(QStringLiteral("progress")).toInt(),
                 100);
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

    // Without the lock nothing keeps the window off the devices: a user who never
    // started the window gets the data folder made, and a lock that cannot be had
    // for another reason than "held" ends the run.
    void runsOnlyWithTheInstanceLock_data()
    {
        QTest::addColumn<bool>("folderIsAFile");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no data folder yet") << false << 0;
        QTest::newRow("data folder cannot be made") << true << 2;
    }

    void runsOnlyWithTheInstanceLock()
    {
        QFETCH(bool, folderIsAFile);
        QFETCH(int, exitCode);
        QTemporaryDir home;
        QTemporaryDir noDevices;
        qputenv("TAMO_SIM_DIR", QFile::encodeName(noDevices.path()));
        const QString folder = home.filePath(QStringLiteral("data/Tamo"));
        if (folderIsAFile) {
            QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("data"))));
            QFile file(folder);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const Run run = cli({QStringLiteral("devices")}, {"XDG_DATA_HOME=" + home.filePath(QStringLiteral("data"))});
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.errors));
        if (folderIsAFile) {
            QVERIFY2(run.errors.contains(QStringLiteral("tamo-cli: cannot take the instance lock %1/instance.lock: "
                                                        "%1 is not a folder").arg(folder)),
                     qPrintable(run.errors));
            return;
        }
        // Made for its owner alone: it will hold the log with the account's address.
        struct stat facts{};
        QCOMPARE(::stat(QFile::encodeName(folder).constData(), &facts), 0);
        QVERIFY(S_ISDIR(facts.st_mode));
        QCOMPARE(facts.st_mode & 0777, 0700u);
    }

    // The password file: others who may read it may read the password.
    void passwordFileOpenToOthers_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("exitCode"); // 1: the login (to a closed port) was tried
        QTest::addColumn<QString>("message");
        QTest::newRow("owner only") << 0600 << 1 << QString();
        QTest::newRow("group may read") << 0640 << 1
                                        << "tamo-cli: warning: the password file %1 is readable by its group; "
                                           "make it readable by its owner only (chmod 600)";
        QTest::newRow("every user may read") << 0604 << 2
                                             << "tamo-cli: the password file %1 is readable by every user of this "
                                                "computer; make it readable by its owner only (chmod 600)";
    }

    void passwordFileOpenToOthers()
    {
        QFETCH(int, mode);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(QStringLiteral("password"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write("Secret-9\n") == 9);
        file.close();
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)), 0);
        QTemporaryDir noDevices;
        qputenv("TAMO_SIM_DIR", QFile::encodeName(noDevices.path()));
        const Run run = cli({QStringLiteral("publish"), QStringLiteral("--email"), QStringLiteral("op@example.test"),
                             QStringLiteral("--password-file"), path},
                            {"TAMO_API_URL=http://127.0.0.1:9/api/v1/"});
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.errors));
        if (message.isEmpty())
            QVERIFY2(!run.errors.contains(QStringLiteral("password file")), qPrintable(run.errors));
        else
            QVERIFY2(run.errors.contains(message.arg(path)), qPrintable(run.errors));
        QCOMPARE(run.errors.contains(QStringLiteral("login failed")), exitCode == 1);
    }

    // Ctrl+C (or a SIGTERM) at the prompt must give the operator's terminal its
    // echo back: the prompt runs on a real pseudo-terminal here.
    void promptEndedBySignalGivesEchoBack_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    void promptEndedBySignalGivesEchoBack()
    {
        QFETCH(int, signalNumber);
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(master >= 0);
        QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QByteArray slavePath = ::ptsname(master);
        // Held open by the test, so the terminal outlives the program's end.
        const int slave = ::open(slavePath.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(slave >= 0);
        const auto echoing = [slave] {
            termios state{};
            return ::tcgetattr(slave, &state) == 0 && (state.c_lflag & ECHO) != 0;
        };
        QVERIFY(echoing()); // a fresh terminal echoes

        QProcess process;
        process.setStandardInputFile(QString::fromLocal8Bit(slavePath));
        process.start(QStringLiteral(TAMO_CLI_BIN),
                      {QStringLiteral("publish"), QStringLiteral("--email"), QStringLiteral("op@example.test")});
        QVERIFY(process.waitForStarted());
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += process.readAllStandardError()).contains("Password: "), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!echoing(), 5000); // the prompt switched echo off
        ::kill(static_cast<pid_t>(process.processId()), signalNumber);
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit); // ended by the signal, as the shell expects
        QVERIFY(echoing());
        ::close(slave);
        ::close(master);
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
