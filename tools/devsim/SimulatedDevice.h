#pragma once

#include "ConsoleMenu.h"
#include "ContentKeeper.h"
#include "ContentStore.h"
#include "DeviceFiles.h"
#include "DeviceIdentity.h"
#include "DeviceLog.h"
#include "FaultPlan.h"
#include "LinkDecoder.h"
#include "RpcResponder.h"
#include "SimConfig.h"
#include "TransferAssembler.h"

#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QTimer>

#include <memory>

class PtyPort;
class TtyOpenWatch;

// One simulated device: its identity, flash store and firmware behaviour, and
// its presence: on the bus (a terminal and a port file), off (unplugged), or in
// the DFU boot loader (a DFU state file, for the upgrade tool stand-in).
class SimulatedDevice : public QObject
{
    Q_OBJECT

public:
    enum class Presence { Off, OnBus, Bootloader };

    SimulatedDevice(const SimConfig &config, int index, TtyOpenWatch *watch, QObject *parent = nullptr);
    ~SimulatedDevice() override;

    QString serial() const { return m_identity.usbSerial; }
    Presence presence() const { return m_presence; }
    QString statusLine() const;

    // Power on: on the bus, or in the boot loader when the flash holds no
    // firmware that starts.
    bool plug(QString *error);
    // Power off: the device leaves the bus or the boot loader. With a delay of 0
    // or more it comes back by itself after that many milliseconds.
    void unplug(int replugAfterMs = -1);
    // Restart into the DFU boot loader.
    void enterBootloader();
    // Reads the DFU state file and acts on a request to leave the boot loader.
    void pollBootloader();
    // End of the run: off the bus and out of the boot loader, files removed.
    void shutdown();

    bool setField(const QString &field, const QString &value, QString *error);
    bool addFault(const QString &kind, const QString &numbers, QString *error);
    void appendLog(const QString &line);

signals:
    void event(const QString &line);

private:
    void onReceived(const QByteArray &bytes);
    void handleFrame(const LinkDecoder::Frame &frame);
    void handleLine(const QByteArray &line);
    void queueAnswer(const QByteArray &bytes);
    void sendDue();
    void leaveBus();
    void writeSnapshot();
    void trace(const QString &text) const;
    qint64 now() const { return m_clock.elapsed(); }

    struct Pending {
        qint64 due;
        QByteArray bytes;
    };

    SimConfig m_config;
    DeviceIdentity m_identity;
    ContentStore m_store;
    TransferAssembler m_transfer;
    DeviceLog m_log;
    RpcResponder m_rpc;
    ConsoleMenu m_console;
    LinkDecoder m_decoder;
    FaultPlan m_faults;
    DeviceFiles m_files;
    PtyPort *m_port;
    std::unique_ptr<ContentKeeper> m_keeper; // with --keep-content

    Presence m_presence = Presence::Off;
    bool m_firmwareValid = true;
    bool m_leaving = false;       // between a DFU or reboot command and the restart
    ConsoleMenu::Action m_restartAction = ConsoleMenu::None;
    bool m_stopped = false;
    quint64 m_requests = 0;       // RPC request frames received, for the fault plan
    quint64 m_parts = 0;          // transfer data parts received
    QElapsedTimer m_clock;
    QQueue<Pending> m_outgoing;
    QTimer m_answerTimer;
    QTimer m_busyTimer;
    QTimer m_replugTimer;
    QTimer m_restartTimer;
};
