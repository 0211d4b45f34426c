#include "SimConfig.h"

#include "DeviceIdentity.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cstdio>

namespace {

bool intValue(const QCommandLineParser &parser, const QString &option, int min, int max, int *out,
              QString *error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < min || value > max) {
        *error = QStringLiteral("--%1 takes a number from %2 to %3, not '%4'")
                     .arg(option).arg(min).arg(max).arg(parser.value(option));
        return false;
    }
    *out = value;
    return true;
}

bool validSerial(const QString &serial)
{
    return !serial.isEmpty() && !serial.contains(QLatin1Char('/')) && !serial.contains(QLatin1Char(' '));
}

// The devices of a cloud simulator fixture ({"devices": [...]}) or a bare array
// of the same objects: "mac" (required), "serialNumber", "name" and
// "firmwareRevision" (optional).
bool readDevices(const QString &path, QVector<SimConfig::DeviceSpec> *devices, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--devices: cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonArray list = document.isArray() ? document.array()
                                               : document.object().value(QStringLiteral("devices")).toArray();
    if (list.isEmpty() || list.size() > SimConfig::kMaxDevices) {
        *error = QStringLiteral("--devices: %1 names no devices, or more than %2 (%3)")
                     .arg(path).arg(SimConfig::kMaxDevices).arg(parseError.errorString());
        return false;
    }
    QSet<QString> serials;
    QSet<QByteArray> macs;
    for (int i = 0; i < list.size(); ++i) {
        const QJsonObject o = list.at(i).toObject();
        SimConfig::DeviceSpec spec;
        spec.serial = o.value(QStringLiteral("serialNumber")).toString();
        spec.name = o.value(QStringLiteral("name")).toString();
        spec.firmware = o.value(QStringLiteral("firmwareRevision")).toString();
        const QString where = QStringLiteral("--devices: device %1 of %2").arg(i + 1).arg(path);
        if (!DeviceIdentity::parseMac(o.value(QStringLiteral("mac")).toString(), &spec.mac) || macs.contains(spec.mac)) {
            *error = where + QStringLiteral(" has no MAC of its own");
            return false;
        }
        if (!spec.serial.isEmpty() && (!validSerial(spec.serial) || serials.contains(spec.serial))) {
            *error = where + QStringLiteral(": serial number '%1' is taken or holds '/' or spaces").arg(spec.serial);
            return false;
        }
        if (spec.firmware.toLatin1().size() > 64) {
            *error = where + QStringLiteral(": firmware version longer than 64 characters");
            return false;
        }
        macs.insert(spec.mac);
        serials.insert(spec.serial);
        devices->append(spec);
    }
    return true;
}

} // namespace

QString SimConfig::serialFor(int index) const
{
    if (index < devices.size() && !devices.at(index).serial.isEmpty())
        return devices.at(index).serial;
    return serialPrefix + QStringLiteral("%1").arg(firstIndex + index, 4, 10, QLatin1Char('0'));
}

QString SimConfig::nameFor(int index) const
{
    if (index < devices.size() && !devices.at(index).name.isEmpty())
        return devices.at(index).name;
    QString result = name;
    return result.replace(QStringLiteral("%n"), QString::number(firstIndex + index));
}

QByteArray SimConfig::macFor(int index) const
{
    if (index < devices.size())
        return devices.at(index).mac;
    return DeviceIdentity::macPlus(mac, index);
}

QString SimConfig::firmwareFor(int index) const
{
    if (index < devices.size() && !devices.at(index).firmware.isEmpty())
        return devices.at(index).firmware;
    return firmware;
}

QString SimConfig::controlHelp()
{
    return QStringLiteral(
        "Run-time control: one command per line, from standard input when it is a pipe\n"
        "(end of input stops the simulator; --no-stdin turns both off) and from the\n"
        "FIFO of --control.\n"
        "SERIAL is a USB serial number or 'all'. Every command answers 'ok ...' or\n"
        "'error ...' on standard output.\n"
        "  unplug SERIAL [MS]        leave the bus (port file and terminal go); with MS\n"
        "                            come back after MS milliseconds\n"
        "  plug SERIAL               power up again: back on the bus, or in the boot\n"
        "                            loader when the firmware in flash is not valid\n"
        "  dfu SERIAL                restart into the DFU boot loader\n"
        "  set SERIAL FIELD VALUE    FIELD: name, fw, battery, brightness, dim, board,\n"
        "                            devserial, plant, mac\n"
        "  fault SERIAL KIND N       KIND as the fault options; N counts from now on\n"
        "  fault SERIAL clear        forget every fault\n"
        "  log SERIAL TEXT           add a line to the device log\n"
        "  status                    one line per device\n"
        "  quit                      stop cleanly\n"
        "Events on standard output: 'ready N', 'plugged SERIAL PORT', 'unplugged SERIAL',\n"
        "'dfu SERIAL', 'stopped'.\n");
}

bool SimConfig::parse(const QStringList &arguments, SimConfig *config, int *exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Simulated TAMO devices on pseudo-terminals.\n\n"
            "Each device opens a pseudo-terminal and describes it in DIR/SERIAL.port\n"
            "({\"port\", \"serialNumber\", \"vendorId\": 1155, \"productId\": 22336, ...}),\n"
            "answers the binary RPC dialect and the text console on it, and writes its\n"
            "state to DIR/SERIAL.json on every change. In the DFU boot loader it is\n"
            "described by DIR/SERIAL.dfu instead, for the upgrade tool stand-in.\n\n"
            "  tamo-devsim make-firmware --fw VERSION --out FILE [--size BYTES]\n"
            "writes a firmware file for the boot loader (see make-firmware --help).\n\n")
        + controlHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    const QList<QCommandLineOption> options{
        {QStringLiteral("dir"), QStringLiteral("Simulated-port folder (default: $TAMO_SIM_DIR)."), QStringLiteral("DIR")},
        {QStringLiteral("count"), QStringLiteral("Devices served by this process, 1 to 20 (default 1)."), QStringLiteral("N")},
        {QStringLiteral("serial-prefix"), QStringLiteral("USB serial numbers are PREFIX and a 4-digit index (default TAMOSIM)."), QStringLiteral("PREFIX")},
        {QStringLiteral("first-index"), QStringLiteral("Index of the first device (default 1)."), QStringLiteral("N")},
        {QStringLiteral("fw"), QStringLiteral("Firmware version (default 1.5.90)."), QStringLiteral("VERSION")},
        {QStringLiteral("name"), QStringLiteral("Device name; %n becomes the index (default 'TAMO %n')."), QStringLiteral("NAME")},
        {QStringLiteral("mac"), QStringLiteral("MAC of the first device; the next ones count up (default C4:4F:33:0A:0B:01)."), QStringLiteral("MAC")},
        {QStringLiteral("slots"), QStringLiteral("Picture slots, 1 to 127 (default 112)."), QStringLiteral("N")},
        {QStringLiteral("battery"), QStringLiteral("Battery level in percent (default 87)."), QStringLiteral("PERCENT")},
        {QStringLiteral("brightness"), QStringLiteral("Brightness in percent (default 80)."), QStringLiteral("PERCENT")},
        {QStringLiteral("dim-level"), QStringLiteral("Dim level in percent (default 30)."), QStringLiteral("PERCENT")},
        {QStringLiteral("latency-ms"), QStringLiteral("Delay before every answer, RPC and console (default 0)."), QStringLiteral("MS")},
        {QStringLiteral("erase-ms"), QStringLiteral("How long an erase keeps the device busy (default 2500)."), QStringLiteral("MS")},
        {QStringLiteral("dfu-delay-ms"), QStringLiteral("From the DFU command to leaving the bus (default 200)."), QStringLiteral("MS")},
        {QStringLiteral("frame-timeout-ms"), QStringLiteral("An incomplete request frame is dropped after this (default 100)."), QStringLiteral("MS")},
        {QStringLiteral("no-rpc"), QStringLiteral("Console only: RPC frames are not recognised.")},
        {QStringLiteral("no-console"), QStringLiteral("RPC only: console input is ignored.")},
        {QStringLiteral("drop-answer"), QStringLiteral("Carry out the Nth RPC request but send no answer."), QStringLiteral("N")},
        {QStringLiteral("corrupt-crc"), QStringLiteral("Send the Nth answer with a wrong CRC."), QStringLiteral("N")},
        {QStringLiteral("corrupt-length"), QStringLiteral("Send the Nth answer with its length byte one too high."), QStringLiteral("N")},
        {QStringLiteral("wrong-id"), QStringLiteral("Answer the Nth request with another identifier (its own XOR 1)."), QStringLiteral("N")},
        {QStringLiteral("stay-busy"), QStringLiteral("From the Nth request on, answer everything with status 7."), QStringLiteral("N")},
        {QStringLiteral("unplug-after-parts"), QStringLiteral("Leave the bus when the Nth transfer data part arrives (unanswered)."), QStringLiteral("N")},
        {QStringLiteral("replug-after-ms"), QStringLiteral("Come back this long after a fault unplug (default: stay away)."), QStringLiteral("MS")},
        {QStringLiteral("devices"), QStringLiteral("The devices' MACs, serial numbers, names and firmware versions from a cloud simulator fixture (its \"devices\"), e.g. the demo's; replaces --count and --mac."), QStringLiteral("FILE")},
        {QStringLiteral("keep-content"), QStringLiteral("Write every picture frame a device receives to DIR/SERIAL_ID_FRAME.jpg (.png, .gif or .bin for other bytes; the folder is created when missing)."), QStringLiteral("DIR")},
        {QStringLiteral("control"), QStringLiteral("Also read control commands from this FIFO (created when missing)."), QStringLiteral("FIFO")},
        {QStringLiteral("no-stdin"), QStringLiteral("Ignore standard input (no commands from it, no stop at its end).")},
        {QStringLiteral("verbose"), QStringLiteral("Trace every frame and console line on standard error.")},
    };
    parser.addOptions(options);

    const auto fail = [&](const QString &why) {
        std::fprintf(stderr, "tamo-devsim: %s\n", qPrintable(why));
        *exitCode = 2;
        return false;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::fputs("\nN of the fault options: a number, N-M, N- (N and all later) or a comma list;\n"
                   "requests are counted per device from 1, every RPC frame included.\n", stdout);
        *exitCode = 0;
        return false;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parser.showVersion(); // exits
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    SimConfig c;
    c.folder = parser.isSet(QStringLiteral("dir")) ? parser.value(QStringLiteral("dir"))
                                                   : qEnvironmentVariable("TAMO_SIM_DIR");
    if (c.folder.isEmpty())
        return fail(QStringLiteral("no folder: give --dir or set TAMO_SIM_DIR"));
    if (!QFileInfo(c.folder).isDir() && !QDir().mkpath(c.folder))
        return fail(QStringLiteral("cannot create the folder '%1'").arg(c.folder));
    c.folder = QFileInfo(c.folder).absoluteFilePath();

    QString why;
    if (!intValue(parser, QStringLiteral("count"), 1, kMaxDevices, &c.count, &why)
        || !intValue(parser, QStringLiteral("first-index"), 0, 9999 - kMaxDevices, &c.firstIndex, &why)
        || !intValue(parser, QStringLiteral("slots"), 1, 127, &c.slotCount, &why)
        || !intValue(parser, QStringLiteral("battery"), 0, 255, &c.battery, &why)
        || !intValue(parser, QStringLiteral("brightness"), 0, 100, &c.brightness, &why)
        || !intValue(parser, QStringLiteral("dim-level"), 0, 100, &c.dimLevel, &why)
        || !intValue(parser, QStringLiteral("latency-ms"), 0, 60000, &c.latencyMs, &why)
        || !intValue(parser, QStringLiteral("erase-ms"), 0, 600000, &c.eraseMs, &why)
        || !intValue(parser, QStringLiteral("dfu-delay-ms"), 0, 60000, &c.dfuDelayMs, &why)
        || !intValue(parser, QStringLiteral("frame-timeout-ms"), 1, 60000, &c.frameTimeoutMs, &why)
        || !intValue(parser, QStringLiteral("replug-after-ms"), 0, 600000, &c.replugAfterMs, &why))
        return fail(why);
    if (parser.isSet(QStringLiteral("serial-prefix")))
        c.serialPrefix = parser.value(QStringLiteral("serial-prefix"));
    if (c.serialPrefix.contains(QLatin1Char('/')) || c.serialPrefix.contains(QLatin1Char(' ')))
        return fail(QStringLiteral("--serial-prefix may hold neither '/' nor spaces"));
    if (parser.isSet(QStringLiteral("fw")))
        c.firmware = parser.value(QStringLiteral("fw"));
    if (c.firmware.isEmpty() || c.firmware.toLatin1().size() > 64)
        return fail(QStringLiteral("--fw takes a version text of 1 to 64 characters"));
    if (parser.isSet(QStringLiteral("name")))
        c.name = parser.value(QStringLiteral("name"));
    if (!DeviceIdentity::parseMac(parser.value(QStringLiteral("mac")).isEmpty()
                                      ? QStringLiteral("C4:4F:33:0A:0B:01")
                                      : parser.value(QStringLiteral("mac")),
                                  &c.mac))
        return fail(QStringLiteral("--mac takes six hex pairs such as C4:4F:33:0A:0B:01"));
    c.rpc = !parser.isSet(QStringLiteral("no-rpc"));
    c.console = !parser.isSet(QStringLiteral("no-console"));
    c.verbose = parser.isSet(QStringLiteral("verbose"));
    c.controlFifo = parser.value(QStringLiteral("control"));
    if (parser.isSet(QStringLiteral("devices"))) {
        if (parser.isSet(QStringLiteral("count")) || parser.isSet(QStringLiteral("mac")))
            return fail(QStringLiteral("--devices names the devices: give neither --count nor --mac"));
        if (!readDevices(parser.value(QStringLiteral("devices")), &c.devices, &why))
            return fail(why);
        c.count = c.devices.size();
    }
    if (parser.isSet(QStringLiteral("keep-content"))) {
        c.keepContent = parser.value(QStringLiteral("keep-content"));
        if (!QFileInfo(c.keepContent).isDir() && !QDir().mkpath(c.keepContent))
            return fail(QStringLiteral("cannot create the folder '%1'").arg(c.keepContent));
        c.keepContent = QFileInfo(c.keepContent).absoluteFilePath();
    }
    c.stdinControl = !parser.isSet(QStringLiteral("no-stdin"));

    for (const QString &name : FaultPlan::names()) {
        if (!parser.isSet(name))
            continue;
        FaultPlan::Kind kind;
        FaultPlan::kindFromName(name, &kind);
        CountSet set;
        if (kind == FaultPlan::StayBusy) {
            bool ok = false;
            const quint64 from = parser.value(name).toULongLong(&ok);
            if (!ok || from == 0)
                return fail(QStringLiteral("--stay-busy takes a request number from 1"));
            set = CountSet::from(from);
        } else if (!CountSet::parse(parser.value(name), &set, &why)) {
            return fail(QStringLiteral("--%1: %2").arg(name, why));
        }
        c.faults[kind] = set;
    }
    *config = c;
    return true;
}
