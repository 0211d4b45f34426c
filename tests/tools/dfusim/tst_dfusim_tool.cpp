// The dfu-util stand-in against simulated devices in their DFU boot loader:
// command lines, output format, exit codes, bad files, lost devices, and the
// whole road from the console's DFU switch back to a device with new firmware.
#include "DevsimFixture.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUuid>
#include <QtTest>

#include <csignal>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The reflected CRC-32 of DFU suffixes (no final inversion), for tampered files.
quint32 suffixCrc(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

QByteArray withFreshCrc(QByteArray file)
{
    file.chop(4);
    return file + TestFrames::le32(suffixCrc(file));
}

// Offset of the firmware image inside a single-element DfuSe file.
constexpr int kImageOffset = 11 + 274 + 8;

} // namespace

class TestDfusimTool : public QObject
{
    Q_OBJECT

private:
    DevsimFixture f;
    using F = DevsimFixture;
    QByteArray m_toolSanitizer; // what a sanitizer said in a run of the stand-in

    ToolRun tool(const QStringList &arguments, const QString &chunkDelay = QString())
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TAMO_SIM_DIR"), f.dir->path());
        env.remove(QStringLiteral("TAMO_DFUSIM_CHUNK_DELAY_MS"));
        if (!chunkDelay.isEmpty())
            env.insert(QStringLiteral("TAMO_DFUSIM_CHUNK_DELAY_MS"), chunkDelay);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TAMO_DFUSIM_BIN), arguments);
        ToolRun run;
        if (!process.waitForFinished(30000))
            return run;
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        if (DevsimFixture::sanitizerSpoke(QString::fromLocal8Bit(run.err)))
            m_toolSanitizer += run.err;
        return run;
    }

    QString firmware(const QString &version, const QString &name = QString())
    {
        const QString path = f.dir->filePath(name.isEmpty() ? version + QStringLiteral(".dfu") : name);
        QProcess make;
        make.start(DevsimProcess::program(), {QStringLiteral("make-firmware"), QStringLiteral("--fw"), version,
                                              QStringLiteral("--out"), path});
        return make.waitForFinished(10000) && make.exitCode() == 0 ? path : QString();
    }

    QJsonObject dfuState(const QString &serial = QString::fromLatin1(F::kSerial)) const
    {
        QFile file(f.dir->filePath(serial + QStringLiteral(".dfu")));
        if (!file.open(QIODevice::ReadOnly))
            return QJsonObject();
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    ToolRun download(const QString &file, const QString &chunkDelay = QString())
    {
        return tool({QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-D"), file, QStringLiteral("-S"),
                     QString::fromLatin1(F::kSerial)},
                    chunkDelay);
    }

    ToolRun leave(QString *uploaded = nullptr)
    {
        const QString temporary = QDir::toNativeSeparators(QDir::tempPath() + QLatin1Char('/')
                                                           + QUuid::createUuid().toString(QUuid::WithoutBraces));
        const ToolRun run = tool({QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-R"), QStringLiteral("-S"),
                                  QString::fromLatin1(F::kSerial), QStringLiteral("-s"),
                                  QStringLiteral("0x08004000:leave"), QStringLiteral("-U"), temporary});
        QFile file(temporary);
        if (uploaded && file.open(QIODevice::ReadOnly))
            *uploaded = QString::fromLatin1(file.read(64));
        QFile::remove(temporary);
        return run;
    }

    bool startInBootloader(const QStringList &extra = QStringList())
    {
        if (!f.start(QStringList{QStringLiteral("--dfu-delay-ms"), QStringLiteral("20")} + extra))
            return false;
        return f.sim->command(QStringLiteral("dfu TAMOSIM0001")).startsWith(QLatin1String("ok "))
            && f.sim->waitForLine(QStringLiteral("dfu TAMOSIM0001"));
    }

private slots:
    void cleanup()
    {
        const QByteArray toolReport = m_toolSanitizer;
        m_toolSanitizer.clear();
        QVERIFY2(toolReport.isEmpty(), toolReport.constData());
        QString why;
        QVERIFY2(f.finish(&why), qPrintable(why));
    }

    void consoleSwitchDownloadAndLeave()
    {
        QVERIFY(f.start({QStringLiteral("--dfu-delay-ms"), QStringLiteral("50")}));
        const QString file = firmware(QStringLiteral("1.5.91"));
        QVERIFY(!file.isEmpty());

        // The application's way into the boot loader: the console menu.
        {
            auto link = f.link();
            QVERIFY(link->send("0\r\n"));
            const QString menu = QString::fromUtf8(link->readUntilSilence(150)).simplified();
            const QString number = QRegularExpression(QStringLiteral("(\\d+). Transition to DFU Mode"))
                                       .match(menu).captured(1);
            QVERIFY(!number.isEmpty());
            QVERIFY(link->send(number.toLatin1() + "\r\n"));
            QVERIFY(f.sim->waitForLine(QStringLiteral("dfu TAMOSIM0001")));
        }

        const ToolRun run = download(file);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        QVERIFY(run.out.startsWith("tamo-dfu-util (dfu-util 0.11 compatible stand-in"));

        // Every update begins with a carriage return, never with a line feed.
        const QList<QByteArray> pieces = run.out.split('\r');
        const QRegularExpression update(QStringLiteral(
            "^(Erase   |Download)\\t\\[([= ]{25})\\] ([ \\d]{3})% ([ \\d]{12}) bytes(\\n(Erase   |Download) done\\.\\n)?"));
        int downloads = 0;
        int previousPercent = -1;
        for (int i = 1; i < pieces.size(); ++i) {
            const QString piece = QString::fromLatin1(pieces.at(i));
            const QRegularExpressionMatch m = update.match(piece);
            QVERIFY2(m.hasMatch(), qPrintable(piece));
            const int percent = m.captured(3).trimmed().toInt();
            const int bytes = m.captured(4).trimmed().toInt();
            QCOMPARE(m.captured(2).count(QLatin1Char('=')), 25 * bytes / 24576);
            QCOMPARE(percent, 100 * bytes / 24576);
            if (m.captured(1) == QLatin1String("Download")) {
                ++downloads;
                QVERIFY(percent > previousPercent);
                previousPercent = percent;
                const bool last = i == pieces.size() - 1;
                QCOMPARE(piece.contains(QLatin1Char('\n')), last);
                // The application's progress pattern sees every step, 100 % at the end.
                const QRegularExpressionMatch app = QRegularExpression(
                    QStringLiteral("Download.{0,} ([0-9][0-9]?[0-9]?)\\%")).match(piece);
                QCOMPARE(app.captured(1).toInt(), percent);
                if (last)
                    QVERIFY(piece.endsWith(QLatin1String("\nDownload done.\nFile downloaded successfully\n")));
            }
        }
        QVERIFY(downloads >= 10);
        QCOMPARE(dfuState().value(QStringLiteral("firmwareVersion")).toString(), QStringLiteral("1.5.91"));
        QCOMPARE(dfuState().value(QStringLiteral("firmwareValid")).toBool(), true);

        QString uploaded;
        const ToolRun left = leave(&uploaded);
        QCOMPARE(left.exitCode, 0);
        QVERIFY(left.out.contains("Upload done.\n"));
        QVERIFY(left.out.contains("Submitting leave request..."));
        QVERIFY(uploaded.startsWith(QLatin1String("TAMOFW\nversion=1.5.91\n")));

        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001"), 3000));
        QVERIFY(!QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0001.dfu"))));
        auto link = f.link();
        QCOMPARE(link->exchange(F::kReadFw).payload, QByteArray("1.5.91\0", 7));
        QVERIFY(link->send("5\r\n"));
        QVERIFY(link->readUntilSilence(150).contains("Firmware version 1.5.91\r\n"));
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("identity")).toObject()
                     .value(QStringLiteral("firmwareVersion")).toString(), QStringLiteral("1.5.91"));
    }

    void noDeviceInBootloader()
    {
        QVERIFY(f.start({QStringLiteral("--count"), QStringLiteral("2")}));
        const QString file = firmware(QStringLiteral("1.5.91"));
        // On the bus is not in the boot loader.
        ToolRun run = download(file);
        QCOMPARE(run.exitCode, 74);
        QCOMPARE(run.err, QByteArray("dfu-util: No DFU capable USB device available\n"));
        QVERIFY(!run.out.contains("Download"));

        QVERIFY(f.sim->command(QStringLiteral("dfu TAMOSIM0002")).startsWith(QLatin1String("ok ")));
        run = download(file);
        QCOMPARE(run.exitCode, 74);
        QVERIFY(run.err.contains("No DFU capable USB device available"));
        QCOMPARE(leave().exitCode, 74);

        // A boot loader whose simulator died is gone with it.
        const qint64 pid = f.sim->process().processId();
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        QVERIFY(f.sim->process().waitForFinished(5000));
        QVERIFY(QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0002.dfu"))));
        run = tool({QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-D"), file, QStringLiteral("-S"),
                    QStringLiteral("TAMOSIM0002")});
        QCOMPARE(run.exitCode, 74);
    }

    void invalidFilesAreRejected_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("missing") << "missing" << 66 << QByteArray("Could not open file");
        QTest::newRow("no suffix") << "nosuffix" << 65 << QByteArray("Invalid DFU suffix signature");
        QTest::newRow("CRC") << "crc" << 65 << QByteArray("DFU suffix CRC does not match");
        QTest::newRow("truncated") << "truncated" << 65 << QByteArray("File too small for element size");
        QTest::newRow("not DfuSe") << "prefix" << 65 << QByteArray("No valid DfuSe signature");
        QTest::newRow("outside flash") << "address" << 74 << QByteArray("is not writeable");
    }

    void invalidFilesAreRejected()
    {
        QFETCH(QString, damage);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        QVERIFY(startInBootloader());
        const QString good = firmware(QStringLiteral("1.5.91"));
        QFile in(good);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        in.close();
        if (damage == QLatin1String("nosuffix"))
            bytes.chop(16);
        else if (damage == QLatin1String("crc"))
            bytes[kImageOffset + 40] = static_cast<char>(bytes.at(kImageOffset + 40) ^ 0x01);
        else if (damage == QLatin1String("truncated"))
            bytes = withFreshCrc(bytes.left(bytes.size() - 16 - 100) + bytes.right(16));
        else if (damage == QLatin1String("prefix"))
            bytes = withFreshCrc(QByteArray("DfuSX") + bytes.mid(5));
        else if (damage == QLatin1String("address"))
            bytes = withFreshCrc(bytes.left(285) + TestFrames::le32(0x08100000) + bytes.mid(289));
        const QString path = f.dir->filePath(QStringLiteral("damaged.dfu"));
        if (damage != QLatin1String("missing")) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(bytes);
        }
        const ToolRun run = download(path);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), run.err.constData());
        QVERIFY(!run.out.contains("Download\t"));
        // The flash and the boot loader's state are untouched.
        QCOMPARE(dfuState().value(QStringLiteral("firmwareVersion")).toString(), QStringLiteral("1.5.90"));
        QCOMPARE(dfuState().value(QStringLiteral("firmwareValid")).toBool(), true);
        QCOMPARE(dfuState().value(QStringLiteral("state")).toString(), QStringLiteral("dfuIDLE"));
    }

    void foreignImageDoesNotStart()
    {
        QVERIFY(startInBootloader());
        QFile in(firmware(QStringLiteral("1.5.91")));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        bytes[kImageOffset] = 'X'; // a well-formed file, but not this device's firmware
        const QString path = f.dir->filePath(QStringLiteral("foreign.dfu"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(withFreshCrc(bytes));
        out.close();

        QCOMPARE(download(path).exitCode, 0);
        QCOMPARE(dfuState().value(QStringLiteral("firmwareValid")).toBool(), false);
        QCOMPARE(leave().exitCode, 0);
        // The boot loader finds nothing to start and stays.
        QTRY_COMPARE(dfuState().value(QStringLiteral("state")).toString(), QStringLiteral("dfuIDLE"));
        QVERIFY(!f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001"), 300));

        QCOMPARE(download(firmware(QStringLiteral("1.5.92"))).exitCode, 0);
        QCOMPARE(leave().exitCode, 0);
        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001"), 3000));
        QCOMPARE(f.link()->exchange(F::kReadFw).payload, QByteArray("1.5.92\0", 7));
    }

    void unplugDuringDownloadThenBack()
    {
        QVERIFY(startInBootloader());
        const QString file = firmware(QStringLiteral("1.5.93"));
        QProcess slow;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TAMO_SIM_DIR"), f.dir->path());
        env.insert(QStringLiteral("TAMO_DFUSIM_CHUNK_DELAY_MS"), QStringLiteral("40"));
        slow.setProcessEnvironment(env);
        slow.start(QStringLiteral(TAMO_DFUSIM_BIN), {QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-D"),
                                                     file, QStringLiteral("-S"), QString::fromLatin1(F::kSerial)});
        QByteArray out;
        while (!out.contains("Download\t[") && slow.waitForReadyRead(5000))
            out += slow.readAllStandardOutput();
        QVERIFY(out.contains("Erase    done.\n"));
        QCOMPARE(f.sim->command(QStringLiteral("unplug TAMOSIM0001")).left(3), QStringLiteral("ok "));
        QVERIFY(slow.waitForFinished(5000));
        QCOMPARE(slow.exitCode(), 74);
        const QByteArray slowErrors = slow.readAllStandardError();
        QVERIFY(!DevsimFixture::sanitizerSpoke(QString::fromLocal8Bit(slowErrors)));
        QVERIFY(slowErrors.contains("LIBUSB_ERROR_NO_DEVICE"));
        QVERIFY(!slow.readAllStandardOutput().contains("Download done."));

        // The erased flash holds no firmware: powered again, it stays in the boot loader.
        QCOMPARE(f.sim->command(QStringLiteral("plug TAMOSIM0001")).left(3), QStringLiteral("ok "));
        QVERIFY(f.sim->waitForLine(QStringLiteral("dfu TAMOSIM0001")));
        QCOMPARE(dfuState().value(QStringLiteral("firmwareValid")).toBool(), false);
        QCOMPARE(download(file).exitCode, 0);
        QCOMPARE(leave().exitCode, 0);
        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001"), 3000));
        QCOMPARE(f.link()->exchange(F::kReadFw).payload, QByteArray("1.5.93\0", 7));
    }

    void uploadNeverOverwrites()
    {
        QVERIFY(startInBootloader());
        const QString existing = f.dir->filePath(QStringLiteral("exists.bin"));
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const ToolRun run = tool({QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-R"), QStringLiteral("-S"),
                                  QString::fromLatin1(F::kSerial), QStringLiteral("-s"),
                                  QStringLiteral("0x08004000:leave"), QStringLiteral("-U"), existing});
        QCOMPARE(run.exitCode, 73);
        QVERIFY(run.err.contains("Cannot open file"));
        QCOMPARE(QFileInfo(existing).size(), qint64(0));
        // No leave request went out.
        QVERIFY(!f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001"), 300));
        QCOMPARE(dfuState().value(QStringLiteral("state")).toString(), QStringLiteral("dfuIDLE"));
    }

    void commandLine()
    {
        QVERIFY(startInBootloader({QStringLiteral("--count"), QStringLiteral("2")}));
        ToolRun run = tool({QStringLiteral("-l")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains("Found DFU: [0483:df11]"));
        QVERIFY(run.out.contains("serial=\"TAMOSIM0001\""));
        QVERIFY(!run.out.contains("TAMOSIM0002"));

        run = tool({QStringLiteral("-V")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.startsWith("tamo-dfu-util (dfu-util 0.11 compatible stand-in"));
        run = tool({QStringLiteral("-h")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.err.contains("--sim-dir"));
        QVERIFY(run.err.contains("--chunk-delay-ms"));
        run = tool({QStringLiteral("-a"), QStringLiteral("0")});
        QCOMPARE(run.exitCode, 64);
        QVERIFY(run.err.contains("You need to specify one of -D or -U"));
        run = tool({QStringLiteral("--bogus")});
        QCOMPARE(run.exitCode, 64);
        // Another alternate setting than 0 matches no interface of the boot loader.
        run = tool({QStringLiteral("-a"), QStringLiteral("1"), QStringLiteral("-D"), firmware(QStringLiteral("1.6.0")),
                    QStringLiteral("-S"), QString::fromLatin1(F::kSerial)});
        QCOMPARE(run.exitCode, 74);
        // Without -S the only device in the boot loader is taken.
        run = tool({QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-D"), firmware(QStringLiteral("1.6.0"))});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(dfuState().value(QStringLiteral("firmwareVersion")).toString(), QStringLiteral("1.6.0"));
    }
};

QTEST_GUILESS_MAIN(TestDfusimTool)
#include "tst_dfusim_tool.moc"
