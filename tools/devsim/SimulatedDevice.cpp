#include "SimulatedDevice.h"

#include "DfuState.h"
#include "FolderLock.h"
#include "PtyPort.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace {

constexpr int kRebootOffMs = 300;

QString presenceName(SimulatedDevice::Presence presence)
{
    switch (presence) {
    case SimulatedDevice::Presence::OnBus:
        return QStringLiteral("attached");
    case SimulatedDevice::Presence::Bootloader:
        return QStringLiteral("dfu");
    case SimulatedDevice::Presence::Off:
        break;
    }
    return QStringLiteral("unplugged");
}

bool percent(const QString &value, int max, int *out)
{
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!ok || number < 0 || number > max)
        return false;
    *out = number;
    return true;
}

} // namespace

SimulatedDevice::SimulatedDevice(const SimConfig &config, int index, TtyOpenWatch *watch, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_store(config.slotCount)
    , m_transfer(m_store)
    , m_rpc(m_identity, m_store, m_transfer, m_log)
    , m_files(config.folder, config.serialFor(index))
    , m_port(new PtyPort(watch, this))
{
    m_identity.usbSerial = config.serialFor(index);
    m_identity.name = config.nameFor(index);
    m_identity.mac = config.macFor(index);
    m_identity.firmwareVersion = config.firmwareFor(index);
    m_identity.boardId = QStringLiteral("TB-0412");
    m_identity.deviceSerial = QStringLiteral("TD24%1").arg(config.firstIndex + index, 5, 10, QLatin1Char('0'));
    m_identity.plantNumber = QStringLiteral("PL-7");
    m_identity.battery = config.battery;
    m_identity.brightness = config.brightness;
    m_identity.dimLevel = config.dimLevel;

    if (!config.keepContent.isEmpty()) {
        m_keeper.reset(new ContentKeeper(config.keepContent, m_identity.usbSerial));
        m_transfer.setFrameListener([this](quint64 id, int frame, const QByteArray &bytes) {
            m_keeper->keep(id, frame, bytes);
        });
    }
    m_rpc.setEraseMs(config.eraseMs);
    m_decoder.setRpcEnabled(config.rpc);
    m_decoder.setConsoleEnabled(config.console);
    m_decoder.setFrameTimeoutMs(config.frameTimeoutMs);
    for (int kind = 0; kind < FaultPlan::KindCount; ++kind)
        m_faults.add(static_cast<FaultPlan::Kind>(kind), config.faults[kind]);
    m_clock.start();

    for (QTimer *timer : {&m_answerTimer, &m_busyTimer, &m_replugTimer, &m_restartTimer}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&m_answerTimer, &QTimer::timeout, this, &SimulatedDevice::sendDue);
    connect(&m_busyTimer, &QTimer::timeout, this, [this] {
        m_log.append(QStringLiteral("erase: done"));
        writeSnapshot();
    });
    connect(&m_replugTimer, &QTimer::timeout, this, [this] {
        QString error;
        if (!plug(&error))
            emit event(QStringLiteral("error %1 %2").arg(serial(), error));
    });
    connect(&m_restartTimer, &QTimer::timeout, this, [this] {
        const ConsoleMenu::Action action = m_restartAction;
        m_restartAction = ConsoleMenu::None;
        if (action == ConsoleMenu::EnterDfu)
            enterBootloader();
        else if (action == ConsoleMenu::Reboot)
            unplug(kRebootOffMs);
    });
    connect(m_port, &PtyPort::received, this, &SimulatedDevice::onReceived);
}

SimulatedDevice::~SimulatedDevice()
{
    shutdown();
}

QString SimulatedDevice::statusLine() const
{
    return QStringLiteral("%1 %2 %3 fw=%4 mac=%5 free=%6/%7 items=%8 requests=%9")
        .arg(serial(), presenceName(m_presence),
             m_port->isOpen() ? m_port->slavePath() : QStringLiteral("-"), m_identity.firmwareVersion,
             m_identity.macText())
        .arg(m_store.freeSlots())
        .arg(m_store.slotCount())
        .arg(m_store.items().size())
        .arg(m_requests);
}

void SimulatedDevice::trace(const QString &text) const
{
    std::fprintf(stderr, "[%s] %s\n", qPrintable(serial()), qPrintable(text));
}

bool SimulatedDevice::plug(QString *error)
{
    m_replugTimer.stop();
    if (m_stopped || m_presence != Presence::Off)
        return true;
    if (!m_firmwareValid) {
        enterBootloader();
        return true;
    }
    if (!m_port->open(error))
        return false;
    m_decoder.reset();
    m_rpc.powerLoss();
    m_leaving = false;
    m_presence = Presence::OnBus;
    m_log.append(QStringLiteral("boot: firmware %1").arg(m_identity.firmwareVersion));
    writeSnapshot();
    if (!m_files.writePort(m_port->slavePath(), error)) {
        leaveBus();
        writeSnapshot();
        return false;
    }
    emit event(QStringLiteral("plugged %1 %2").arg(serial(), m_port->slavePath()));
    return true;
}

void SimulatedDevice::leaveBus()
{
    // The port file goes first, so that nobody finds a terminal about to vanish.
    m_files.removePort();
    m_port->close();
    m_outgoing.clear();
    m_answerTimer.stop();
    m_busyTimer.stop();
    m_restartTimer.stop();
    m_restartAction = ConsoleMenu::None;
    m_leaving = false;
    m_decoder.reset();
    m_rpc.powerLoss();
    m_presence = Presence::Off;
}

void SimulatedDevice::unplug(int replugAfterMs)
{
    if (m_presence == Presence::OnBus) {
        leaveBus();
    } else if (m_presence == Presence::Bootloader) {
        // What the upgrade tool wrote to flash survives the power loss.
        FolderLock lock(m_config.folder);
        DfuState state;
        if (DfuState::read(DfuState::statePath(m_config.folder, serial()), &state)) {
            m_firmwareValid = state.firmwareValid;
            if (state.firmwareValid)
                m_identity.firmwareVersion = state.firmwareVersion;
        }
        QFile::remove(DfuState::statePath(m_config.folder, serial()));
        QFile::remove(DfuState::flashPath(m_config.folder, serial()));
        m_presence = Presence::Off;
    } else {
        if (replugAfterMs >= 0 && !m_stopped)
            m_replugTimer.start(replugAfterMs);
        return;
    }
    writeSnapshot();
    emit event(QStringLiteral("unplugged %1").arg(serial()));
    if (replugAfterMs >= 0 && !m_stopped)
        m_replugTimer.start(replugAfterMs);
}

void SimulatedDevice::enterBootloader()
{
    if (m_stopped || m_presence == Presence::Bootloader)
        return;
    if (m_presence == Presence::OnBus)
        leaveBus();
    DfuState state;
    state.serialNumber = serial();
    state.firmwareVersion = m_firmwareValid ? m_identity.firmwareVersion : QString();
    state.firmwareValid = m_firmwareValid;
    state.simulatorPid = QCoreApplication::applicationPid();
    {
        FolderLock lock(m_config.folder);
        QFile::remove(DfuState::flashPath(m_config.folder, serial()));
        QString error;
        if (!state.write(m_config.folder, &error)) {
            emit event(QStringLiteral("error %1 %2").arg(serial(), error));
            m_presence = Presence::Off;
            writeSnapshot();
            return;
        }
    }
    m_presence = Presence::Bootloader;
    writeSnapshot();
    emit event(QStringLiteral("dfu %1").arg(serial()));
}

void SimulatedDevice::pollBootloader()
{
    if (m_presence != Presence::Bootloader)
        return;
    FolderLock lock(m_config.folder);
    const QString path = DfuState::statePath(m_config.folder, serial());
    DfuState state;
    if (!DfuState::read(path, &state)) {
        // Someone removed or broke the description: the boot loader writes it anew.
        state.serialNumber = serial();
        state.firmwareVersion = m_firmwareValid ? m_identity.firmwareVersion : QString();
        state.firmwareValid = m_firmwareValid;
        state.simulatorPid = QCoreApplication::applicationPid();
        state.write(m_config.folder);
        return;
    }
    if (state.state != QLatin1String("leaving"))
        return;
    m_firmwareValid = state.firmwareValid;
    if (!state.firmwareValid) {
        // Nothing to start: the boot loader comes up again.
        m_log.append(QStringLiteral("boot: no valid firmware, staying in the boot loader"));
        state.state = QStringLiteral("dfuIDLE");
        state.write(m_config.folder);
        return;
    }
    m_identity.firmwareVersion = state.firmwareVersion;
    QFile::remove(path);
    QFile::remove(DfuState::flashPath(m_config.folder, serial()));
    m_presence = Presence::Off;
    QString error;
    if (!plug(&error))
        emit event(QStringLiteral("error %1 %2").arg(serial(), error));
}

void SimulatedDevice::shutdown()
{
    if (m_stopped)
        return;
    if (m_presence == Presence::OnBus) {
        leaveBus();
    } else if (m_presence == Presence::Bootloader) {
        FolderLock lock(m_config.folder);
        QFile::remove(DfuState::statePath(m_config.folder, serial()));
        QFile::remove(DfuState::flashPath(m_config.folder, serial()));
    }
    m_presence = Presence::Off;
    m_replugTimer.stop();
    m_stopped = true;
    writeSnapshot();
}

void SimulatedDevice::onReceived(const QByteArray &bytes)
{
    if (m_presence != Presence::OnBus || m_leaving)
        return;
    const QVector<LinkDecoder::Event> events = m_decoder.feed(bytes, now());
    for (const LinkDecoder::Event &e : events) {
        if (m_presence != Presence::OnBus || m_leaving)
            return; // an unplug or a restart ends the stream
        if (e.kind == LinkDecoder::Event::FrameReceived)
            handleFrame(e.frame);
        else
            handleLine(e.line);
    }
}

void SimulatedDevice::handleFrame(const LinkDecoder::Frame &frame)
{
    const quint64 number = ++m_requests;
    if (m_config.verbose)
        trace(QStringLiteral("rx #%1 %2").arg(number).arg(QString::fromLatin1(frame.raw.toHex(' '))));

    if (m_faults.hits(FaultPlan::StayBusy, number)) {
        RpcAnswer busy;
        busy.id = frame.id;
        busy.status = RpcAnswer::Busy;
        queueAnswer(busy.encode());
        return;
    }
    if (frame.crcOk && !frame.malformed && m_rpc.isTransferPart(frame) && !m_rpc.isBusy(now())) {
        ++m_parts;
        if (m_faults.hits(FaultPlan::UnplugAfterParts, m_parts)) {
            m_log.append(QStringLiteral("link lost during a transfer"));
            if (m_config.verbose)
                trace(QStringLiteral("unplugged at transfer part %1").arg(m_parts));
            unplug(m_config.replugAfterMs);
            return;
        }
    }

    RpcResponder::Reply reply = m_rpc.handle(frame, now());
    if (reply.changed)
        writeSnapshot();
    if (reply.busyStarted)
        m_busyTimer.start(qMax<qint64>(0, m_rpc.busyUntil() - now()));
    if (reply.enterDfu) {
        m_leaving = true;
        m_restartAction = ConsoleMenu::EnterDfu;
        m_restartTimer.start(m_config.dfuDelayMs);
    }
    if (reply.silent)
        return;
    if (m_faults.hits(FaultPlan::DropAnswer, number)) {
        if (m_config.verbose)
            trace(QStringLiteral("answer #%1 dropped").arg(number));
        return;
    }
    if (m_faults.hits(FaultPlan::WrongId, number))
        reply.answer.id ^= 0x01;
    QByteArray bytes = reply.answer.encode();
    if (m_faults.hits(FaultPlan::CorruptCrc, number))
        bytes[bytes.size() - 1] = static_cast<char>(bytes.at(bytes.size() - 1) ^ 0x5A);
    if (m_faults.hits(FaultPlan::CorruptLength, number))
        bytes[3] = static_cast<char>(bytes.at(3) + 1);
    queueAnswer(bytes);
}

void SimulatedDevice::handleLine(const QByteArray &line)
{
    if (m_config.verbose)
        trace(QStringLiteral("console: %1").arg(QString::fromLatin1(line)));
    const ConsoleMenu::Result result = m_console.handleLine(line, m_identity, m_store);
    queueAnswer(result.output);
    if (result.action != ConsoleMenu::None) {
        // The answer still goes out; then the device restarts.
        m_leaving = true;
        m_restartAction = result.action;
        m_restartTimer.start(m_config.latencyMs + (result.action == ConsoleMenu::EnterDfu
                                                       ? m_config.dfuDelayMs
                                                       : 100));
    }
}

void SimulatedDevice::queueAnswer(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_config.latencyMs == 0 && m_outgoing.isEmpty()) {
        if (m_config.verbose)
            trace(QStringLiteral("tx %1").arg(QString::fromLatin1(bytes.left(64).toHex(' '))));
        m_port->send(bytes);
        return;
    }
    m_outgoing.enqueue({now() + m_config.latencyMs, bytes});
    if (!m_answerTimer.isActive())
        m_answerTimer.start(static_cast<int>(qMax<qint64>(0, m_outgoing.head().due - now())));
}

void SimulatedDevice::sendDue()
{
    while (!m_outgoing.isEmpty() && m_outgoing.head().due <= now()) {
        const QByteArray bytes = m_outgoing.dequeue().bytes;
        if (m_config.verbose)
            trace(QStringLiteral("tx %1").arg(QString::fromLatin1(bytes.left(64).toHex(' '))));
        m_port->send(bytes);
    }
    if (!m_outgoing.isEmpty())
        m_answerTimer.start(static_cast<int>(qMax<qint64>(0, m_outgoing.head().due - now())));
}

void SimulatedDevice::writeSnapshot()
{
    QJsonObject snapshot = m_store.toJson();
    snapshot.insert(QStringLiteral("serialNumber"), serial());
    snapshot.insert(QStringLiteral("state"), m_stopped ? QStringLiteral("stopped") : presenceName(m_presence));
    snapshot.insert(QStringLiteral("port"), m_port->isOpen() ? m_port->slavePath() : QString());
    snapshot.insert(QStringLiteral("identity"), m_identity.toJson());
    snapshot.insert(QStringLiteral("firmwareValid"), m_firmwareValid);
    snapshot.insert(QStringLiteral("busy"), m_rpc.isBusy(now()));
    snapshot.insert(QStringLiteral("transfer"), m_transfer.toJson());
    snapshot.insert(QStringLiteral("rpc"), m_config.rpc);
    snapshot.insert(QStringLiteral("console"), m_config.console);
    snapshot.insert(QStringLiteral("log"), QJsonArray::fromStringList(m_log.lines()));
    snapshot.insert(QStringLiteral("simulatorPid"), static_cast<double>(QCoreApplication::applicationPid()));
    m_files.writeSnapshot(snapshot);
}

bool SimulatedDevice::setField(const QString &field, const QString &value, QString *error)
{
    bool ok = true;
    if (field == QLatin1String("name"))
        m_identity.name = value;
    else if (field == QLatin1String("fw"))
        ok = !value.isEmpty() && (m_identity.firmwareVersion = value, true);
    else if (field == QLatin1String("battery"))
        ok = percent(value, 255, &m_identity.battery);
    else if (field == QLatin1String("brightness"))
        ok = percent(value, 100, &m_identity.brightness);
    else if (field == QLatin1String("dim"))
        ok = percent(value, 100, &m_identity.dimLevel);
    else if (field == QLatin1String("board"))
        m_identity.boardId = value;
    else if (field == QLatin1String("devserial"))
        m_identity.deviceSerial = value;
    else if (field == QLatin1String("plant"))
        m_identity.plantNumber = value;
    else if (field == QLatin1String("mac"))
        ok = DeviceIdentity::parseMac(value, &m_identity.mac);
    else {
        *error = QStringLiteral("unknown field '%1'").arg(field);
        return false;
    }
    if (!ok) {
        *error = QStringLiteral("bad value '%1' for %2").arg(value, field);
        return false;
    }
    writeSnapshot();
    return true;
}

bool SimulatedDevice::addFault(const QString &kindName, const QString &numbers, QString *error)
{
    if (kindName == QLatin1String("clear")) {
        m_faults.clear();
        return true;
    }
    FaultPlan::Kind kind;
    if (!FaultPlan::kindFromName(kindName, &kind)) {
        *error = QStringLiteral("unknown fault '%1' (one of %2, or clear)")
                     .arg(kindName, FaultPlan::names().join(QStringLiteral(", ")));
        return false;
    }
    CountSet set;
    if (kind == FaultPlan::StayBusy) {
        bool ok = false;
        const quint64 from = numbers.toULongLong(&ok);
        if (!ok || from == 0) {
            *error = QStringLiteral("stay-busy takes a request number from 1");
            return false;
        }
        set = CountSet::from(from);
    } else if (!CountSet::parse(numbers, &set, error)) {
        return false;
    }
    m_faults.add(kind, set.shifted(kind == FaultPlan::UnplugAfterParts ? m_parts : m_requests));
    return true;
}

void SimulatedDevice::appendLog(const QString &line)
{
    m_log.append(line);
    writeSnapshot();
}
