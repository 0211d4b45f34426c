#include "Simulator.h"

#include "ControlChannel.h"
#include "DfuState.h"
#include "DeviceFiles.h"
#include "FileReaper.h"
#include "SimulatedDevice.h"
#include "TtyOpenWatch.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

constexpr int kBootloaderPollMs = 50;

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

qint64 ownerOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<qint64>(
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("simulatorPid")).toDouble(0));
}

} // namespace

Simulator::Simulator(const SimConfig &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_watch(new TtyOpenWatch(this))
    , m_control(new ControlChannel(this))
{
    m_bootloaderPoll.setInterval(kBootloaderPollMs);
    connect(&m_bootloaderPoll, &QTimer::timeout, this, [this] {
        for (SimulatedDevice *device : qAsConst(m_devices))
            device->pollBootloader();
    });
    connect(m_control, &ControlChannel::lineReceived, this, &Simulator::handleCommand);
    connect(m_control, &ControlChannel::standardInputClosed, this, [this] {
        std::fputs("tamo-devsim: standard input closed, stopping\n", stderr);
        emit quitRequested();
    });
}

Simulator::~Simulator()
{
    stop();
}

void Simulator::print(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

bool Simulator::claimFolder(QString *error) const
{
    const qint64 me = QCoreApplication::applicationPid();
    for (int i = 0; i < m_config.count; ++i) {
        const QString serial = m_config.serialFor(i);
        const DeviceFiles files(m_config.folder, serial);
        for (const QString &path : {files.portPath(), DfuState::statePath(m_config.folder, serial)}) {
            const qint64 owner = ownerOf(path);
            if (owner != me && processAlive(owner)) {
                *error = QStringLiteral("%1 is served by process %2 already").arg(serial).arg(owner);
                return false;
            }
        }
        // Left behind by a simulator that was killed.
        files.removeLeftovers();
        QFile::remove(files.portPath());
        QFile::remove(DfuState::statePath(m_config.folder, serial));
        QFile::remove(DfuState::flashPath(m_config.folder, serial));
    }
    return true;
}

bool Simulator::start(QString *error)
{
    if (!claimFolder(error))
        return false;
    if (!m_watch->isAvailable())
        std::fputs("tamo-devsim: no open/close notifications; device output is never dropped\n", stderr);
    if (!m_config.controlFifo.isEmpty() && !m_control->listenToFifo(m_config.controlFifo, error))
        return false;
    for (int i = 0; i < m_config.count; ++i) {
        auto *device = new SimulatedDevice(m_config, i, m_watch, this);
        connect(device, &SimulatedDevice::event, this, &Simulator::print);
        // Every change of a device's presence comes with an event.
        connect(device, &SimulatedDevice::event, this, &Simulator::updateBootloaderPoll);
        m_devices.append(device);
    }
    for (SimulatedDevice *device : qAsConst(m_devices)) {
        if (!device->plug(error)) {
            stop();
            return false;
        }
    }
    updateBootloaderPoll();
    if (m_config.stdinControl)
        m_control->listenToStandardInput();
    print(QStringLiteral("ready %1").arg(m_devices.size()));
    return true;
}

void Simulator::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_bootloaderPoll.stop();
    for (SimulatedDevice *device : qAsConst(m_devices))
        device->shutdown();
    FileReaper::waitForDone();
    if (!m_devices.isEmpty())
        print(QStringLiteral("stopped"));
}

void Simulator::updateBootloaderPoll()
{
    // The poll runs only while a boot loader waits: with a timer pending, every
    // wait of the event loop arms a kernel timer, which delays each answer.
    const bool waiting = !m_stopped
        && std::any_of(m_devices.cbegin(), m_devices.cend(), [](const SimulatedDevice *device) {
               return device->presence() == SimulatedDevice::Presence::Bootloader;
           });
    if (waiting && !m_bootloaderPoll.isActive())
        m_bootloaderPoll.start();
    else if (!waiting)
        m_bootloaderPoll.stop();
}

QVector<SimulatedDevice *> Simulator::select(const QString &serial) const
{
    if (serial == QLatin1String("all"))
        return m_devices;
    for (SimulatedDevice *device : m_devices)
        if (device->serial() == serial)
            return {device};
    return {};
}

void Simulator::handleCommand(const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    const auto fail = [&](const QString &why) { print(QStringLiteral("error %1: %2").arg(line, why)); };
    if (m_stopped)
        return fail(QStringLiteral("stopped"));

    if (verb == QLatin1String("quit")) {
        print(QStringLiteral("ok quit"));
        emit quitRequested();
        return;
    }
    if (verb == QLatin1String("status")) {
        for (SimulatedDevice *device : qAsConst(m_devices))
            print(QStringLiteral("status ") + device->statusLine());
        print(QStringLiteral("ok status"));
        return;
    }
    const QVector<SimulatedDevice *> devices = select(words.value(1));
    if (words.size() < 2 || devices.isEmpty())
        return fail(words.size() < 2 ? QStringLiteral("which device?")
                                     : QStringLiteral("no device %1").arg(words.value(1)));
    QString why;
    if (verb == QLatin1String("unplug")) {
        bool ok = true;
        const int after = words.size() > 2 ? words.at(2).toInt(&ok) : -1;
        if (!ok || (words.size() > 2 && after < 0))
            return fail(QStringLiteral("the delay is a number of milliseconds"));
        for (SimulatedDevice *device : devices)
            device->unplug(after);
    } else if (verb == QLatin1String("plug")) {
        for (SimulatedDevice *device : devices)
            if (!device->plug(&why))
                return fail(why);
    } else if (verb == QLatin1String("dfu")) {
        for (SimulatedDevice *device : devices)
            device->enterBootloader();
    } else if (verb == QLatin1String("set") && words.size() >= 4) {
        const QString value = line.section(QLatin1Char(' '), 3, -1, QString::SectionSkipEmpty);
        for (SimulatedDevice *device : devices)
            if (!device->setField(words.at(2), value, &why))
                return fail(why);
    } else if (verb == QLatin1String("fault") && (words.size() == 4 || words.value(2) == QLatin1String("clear"))) {
        for (SimulatedDevice *device : devices)
            if (!device->addFault(words.at(2), words.value(3), &why))
                return fail(why);
    } else if (verb == QLatin1String("log") && words.size() >= 3) {
        const QString text = line.section(QLatin1Char(' '), 2, -1, QString::SectionSkipEmpty);
        for (SimulatedDevice *device : devices)
            device->appendLog(text);
    } else {
        return fail(QStringLiteral("unknown command (see --help)"));
    }
    print(QStringLiteral("ok ") + line);
}
