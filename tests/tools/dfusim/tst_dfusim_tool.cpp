// The dfu-util stand-in against simulated devices in their DFU boot loader:
// output format, exit codes, bad files, a lost device, and the whole road
// from the console's DFU switch back to a device with new firmware.
#include "DevsimFixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>
#include <QtTest>

using F = DevsimFixture;

namespace {

// The reflected CRC-32 of DFU suffixes (no final inversion), for tampered files.
QByteArray withFreshCrc(QByteArray file)
{
    file.chop(4);
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : file) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return file + TestFrames::le32(crc);
}

// Offset of the firmware image inside a single-element DfuSe file.
constexpr int kImageOffset = 11 + 274 + 8;

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestDfusimTool : public QObject
{
    Q_OBJECT

private:
    DevsimFixture f;
    QByteArray m_toolSanitizer; // what a sanitizer said in a run of the stand-in

    ToolRun tool(const QStringList &arguments)
    {
        const ToolRun run = runTool(QStringLiteral(TAMO_DFUSIM_BIN), arguments,
                                    {"TAMO_SIM_DIR=" + f.dir->path(), "TAMO_DFUSIM_CHUNK_DELAY_MS="});
        if (sanitizerSpoke(run.err))
            m_toolSanitizer += run.err;
        return run;
    }
    ToolRun download(const QString &file) { return tool({"-a", "0", "-D", file, "-S", F::kSerial}); }
    ToolRun leave(QByteArray *uploaded = nullptr)
    {
        const QString temporary = QDir::temp().filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
        const ToolRun run = tool({"-a", "0", "-R", "-S", F::kSerial, "-s", "0x08004000:leave", "-U", temporary});
        QFile file(temporary);
        if (uploaded && file.open(QIODevice::ReadOnly))
            *uploaded = file.read(64);
        file.remove();
        return run;
    }

    QString firmware(const QString &version)
    {
        const QString path = f.dir->filePath(version + QStringLiteral(".dfu"));
        return runTool(DevsimProcess::program(), {"make-firmware", "--fw", version, "--out", path}).exitCode == 0
            ? path : QString();
    }
    QJsonObject dfuState() const { return f.sim->json(QStringLiteral("TAMOSIM0001.dfu")); }

    bool startInBootloader()
    {
        return f.start({"--dfu-delay-ms", "20"}) && f.sim->ok("dfu TAMOSIM0001")
            && f.sim->waitForLine("dfu TAMOSIM0001");
    }
    // For tests that leave the boot loader as they found it: the one the previous left.
    bool sharedBootloader()
    {
        f.shared = f.shared || startInBootloader();
        return f.shared;
    }

private slots:
    void cleanup()
    {
        const QByteArray toolReport = m_toolSanitizer;
        m_toolSanitizer.clear();
        QVERIFY2(toolReport.isEmpty(), toolReport.constData());
        const QString problem = f.cleanup();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    void cleanupTestCase() { QVERIFY(f.cleanup(true).isEmpty()); }

    void consoleSwitchDownloadAndLeave()
    {
        QVERIFY(f.start({"--dfu-delay-ms", "50"}));
        const QString file = firmware("1.5.91");
        QVERIFY(!file.isEmpty());
        // The application's way into the boot loader: the console menu.
        {
            auto link = f.link();
            QVERIFY(link->send("0\r\n"));
            const QString menu = QString::fromUtf8(link->readUntilSilence(150)).simplified();
            const QString number = QRegularExpression("(\\d+). Transition to DFU Mode").match(menu).captured(1);
            QVERIFY(link->send(number.toLatin1() + "\r\n"));
            QVERIFY(f.sim->waitForLine("dfu TAMOSIM0001"));
        }

        const ToolRun run = download(file);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        QVERIFY(run.out.startsWith("tamo-dfu-util (dfu-util 0.11 compatible stand-in"));
        // Every update begins with a carriage return, never with a line feed.
        const QList<QByteArray> pieces = run.out.split('\r');
        const QRegularExpression update(
            "^(Erase   |Download)\\t\\[([= ]{25})\\] ([ \\d]{3})% ([ \\d]{12}) bytes(\\n(Erase   |Download) done\\.\\n)?");
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
            if (m.captured(1) != QLatin1String("Download"))
                continue;
            ++downloads;
            QVERIFY(percent > previousPercent);
            previousPercent = percent;
            const bool last = i == pieces.size() - 1;
            QCOMPARE(piece.contains(QLatin1Char('\n')), last);
            // The application's progress pattern sees every step, 100 % at the end.
            QCOMPARE(QRegularExpression("Download.{0,} ([0-9][0-9]?[0-9]?)\\%").match(piece).captured(1).toInt(), percent);
            if (last)
                QVERIFY(piece.endsWith("\nDownload done.\nFile downloaded successfully\n"));
        }
        QVERIFY(downloads >= 10);
        QCOMPARE(dfuState().value("firmwareVersion").toString(), QStringLiteral("1.5.91"));
        QCOMPARE(dfuState().value("firmwareValid").toBool(), true);

        QByteArray uploaded;
        const ToolRun left = leave(&uploaded);
        QCOMPARE(left.exitCode, 0);
        QVERIFY(left.out.contains("Upload done.\n"));
        QVERIFY(left.out.contains("Submitting leave request..."));
        QVERIFY(uploaded.startsWith("TAMOFW\nversion=1.5.91\n"));
        // Back on the bus, the device names the firmware it runs.
        QVERIFY(f.sim->waitForLine("plugged TAMOSIM0001", 3000));
        QCOMPARE(f.link()->exchange(F::kReadFw).payload, QByteArray("1.5.91\0", 7));
        QVERIFY(!QFile::exists(f.dir->filePath("TAMOSIM0001.dfu")));
    }

    void noDeviceInBootloader()
    {
        QVERIFY(f.start());
        // On the bus is not in the boot loader.
        const ToolRun run = download(firmware("1.5.91"));
        QCOMPARE(run.exitCode, 74);
        QCOMPARE(run.err, QByteArray("dfu-util: No DFU capable USB device available\n"));
        QVERIFY(!run.out.contains("Download"));
        QCOMPARE(leave().exitCode, 74);
    }

    // Two devices wait in their boot loaders, as when a hub's devices are
    // upgraded side by side: only the serial number tells the tool which one to
    // write, and without it the tool must not guess.
    void twoInBootloaderNeedTheSerial_data()
    {
        QTest::addColumn<QStringList>("choice");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("written");
        QTest::newRow("no serial") << QStringList() << 74 << QString();
        QTest::newRow("the second's serial") << QStringList{"-S", "TAMOSIM0002"} << 0 << "TAMOSIM0002";
    }
    void twoInBootloaderNeedTheSerial()
    {
        QFETCH(QStringList, choice);
        QFETCH(int, exitCode);
        QFETCH(QString, written);
        QVERIFY(f.start({"--count", "2", "--dfu-delay-ms", "20"}));
        for (const char *serial : {"TAMOSIM0001", "TAMOSIM0002"})
            QVERIFY(f.sim->ok(QStringLiteral("dfu %1").arg(QLatin1String(serial)))
                    && f.sim->waitForLine(QStringLiteral("dfu %1").arg(QLatin1String(serial))));
        const ToolRun run = tool(QStringList{"-a", "0", "-D", firmware("1.5.94")} + choice);
        QCOMPARE(run.exitCode, exitCode);
        if (written.isEmpty())
            QCOMPARE(run.err, QByteArray("dfu-util: More than one DFU capable USB device found! Try `--list' and "
                                         "specify the serial number or disconnect all but one device\n"));
        for (const char *serial : {"TAMOSIM0001", "TAMOSIM0002"}) {
            const QJsonObject state = f.sim->json(QLatin1String(serial) + QStringLiteral(".dfu"));
            QCOMPARE(state.value("firmwareVersion").toString(),
                     QLatin1String(serial) == written ? QStringLiteral("1.5.94") : QStringLiteral("1.5.90"));
        }
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
        QVERIFY(sharedBootloader());
        QFile in(firmware("1.5.91"));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
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
        const QString path = f.dir->filePath("damaged.dfu");
        QVERIFY(damage == QLatin1String("missing") || writeFile(path, bytes));
        const ToolRun run = download(path);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), run.err.constData());
        QVERIFY(!run.out.contains("Download\t"));
        // The flash and the boot loader's state are untouched.
        QCOMPARE(dfuState().value("firmwareVersion").toString(), QStringLiteral("1.5.90"));
        QCOMPARE(dfuState().value("firmwareValid").toBool(), true);
        QCOMPARE(dfuState().value("state").toString(), QStringLiteral("dfuIDLE"));
    }

    void uploadNeverOverwrites()
    {
        QVERIFY(sharedBootloader());
        const QString existing = f.dir->filePath("exists.bin");
        QVERIFY(writeFile(existing, QByteArray()));
        const ToolRun run = tool({"-a", "0", "-R", "-S", F::kSerial, "-s", "0x08004000:leave", "-U", existing});
        QCOMPARE(run.exitCode, 73);
        QVERIFY(run.err.contains("Cannot open file"));
        QCOMPARE(QFileInfo(existing).size(), qint64(0));
        QCOMPARE(dfuState().value("state").toString(), QStringLiteral("dfuIDLE"));
    }

    void unplugDuringDownload()
    {
        QVERIFY(startInBootloader());
        const QString file = firmware("1.5.93");
        QProcess slow;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TAMO_SIM_DIR", f.dir->path());
        env.insert("TAMO_DFUSIM_CHUNK_DELAY_MS", "40");
        slow.setProcessEnvironment(env);
        slow.start(TAMO_DFUSIM_BIN, {"-a", "0", "-D", file, "-S", F::kSerial});
        QByteArray out;
        while (!out.contains("Download\t[") && slow.waitForReadyRead(5000))
            out += slow.readAllStandardOutput();
        QVERIFY(out.contains("Erase    done.\n"));
        QVERIFY(f.sim->ok("unplug TAMOSIM0001"));
        QVERIFY(slow.waitForFinished(5000));
        QCOMPARE(slow.exitCode(), 74);
        const QByteArray slowErrors = slow.readAllStandardError();
        QVERIFY(!sanitizerSpoke(slowErrors));
        QVERIFY(slowErrors.contains("LIBUSB_ERROR_NO_DEVICE"));
        QVERIFY(!slow.readAllStandardOutput().contains("Download done."));
    }
};

QTEST_GUILESS_MAIN(TestDfusimTool)
#include "tst_dfusim_tool.moc"
