#include "PublishRun.h"

#include "AttachedDevicesWaiter.h"
#include "CliPrinter.h"
#include "ContentsChef.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "NetworkManager.h"
#include "PublishReport.h"
#include "PublishingSession.h"
#include "requests/LoginRequest.h"

namespace {

// The login's answers that name the credentials themselves (an unknown address,
// a wrong password, an account without the right to use the application), as
// opposed to a cloud that could not be reached or failed.
bool credentialsRefused(const QString &errorString)
{
    return errorString == LoginRequest::loginErrorText(QStringLiteral("Email or password is wrong."))
        || errorString == LoginRequest::loginErrorText(QStringLiteral("User with email  doesn't exist."))
        || errorString == QLatin1String("You have no permission to authorize into the application.");
}

} // namespace

PublishRun::PublishRun(DevicesManager *devices, NetworkManager *network, CliPrinter &printer, bool watch,
                       int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_devices(devices)
    , m_network(network)
    , m_printer(printer)
    , m_watch(watch)
    , m_timeoutMs(timeoutMs)
{
}

PublishRun::~PublishRun()
{
    delete m_session; // detaches the chef before the managers go
}

void PublishRun::start(const QString &email, const QString &password)
{
    connect(m_network, &NetworkManager::logined, this, &PublishRun::onLogined, Qt::UniqueConnection);
    m_network->login(email, password);
}

void PublishRun::onLogined(bool success, const QString &errorString)
{
    disconnect(m_network, &NetworkManager::logined, this, &PublishRun::onLogined);
    if (!success) {
        m_printer.error(QStringLiteral("login failed: ") + errorString);
        finish(credentialsRefused(errorString) ? kCredentialsRefusedExitCode : 1);
        return;
    }
    // The chef listens before discovery starts, so no device's arrival is missed.
    m_session = new PublishingSession(m_devices, m_network, this);
    m_report = new PublishReport(m_session->progress(), m_devices, m_printer, this);
    connect(m_report, &PublishReport::changed, this, &PublishRun::finishIfSettled);
    connect(m_session->chef(), &ContentsChef::cloudWritesSettled, this, &PublishRun::finishIfSettled);
    m_waiter = new AttachedDevicesWaiter(m_devices, m_timeoutMs, this);
    connect(m_waiter, &AttachedDevicesWaiter::ready, this, &PublishRun::onDevicesAttached);
    m_waiter->start();
}

void PublishRun::onDevicesAttached()
{
    m_attached = true;
    if (!m_watch && m_devices->devicesModel()->devices().isEmpty()) {
        m_printer.error(QStringLiteral("no device attached"));
        finish(1);
        return;
    }
    finishIfSettled();
}

void PublishRun::finishIfSettled()
{
    if (m_watch || !m_attached || m_finished)
        return;
    // Every device has its final state, and the cloud has answered every update
    // of a device record (leaving earlier would cut them off).
    if (m_report->finalCount() == 0 || !m_report->busyDevices().isEmpty()
        || m_session->chef()->hasCloudWritesInFlight())
        return;
    finish(m_report->allSucceeded() ? 0 : 1);
}

void PublishRun::stop(bool timedOut)
{
    if (m_finished)
        return;
    if (m_watch) {
        finish(0);
        return;
    }
    QStringList busy = m_report ? m_report->busyDevices() : QStringList();
    if (m_waiter)
        busy += m_waiter->pending();
    busy.removeDuplicates();
    QString why = timedOut ? QStringLiteral("time-out") : QStringLiteral("stopped");
    if (!busy.isEmpty())
        why += QStringLiteral("; still busy: ") + busy.join(QStringLiteral(", "));
    else if (!m_session)
        why += QStringLiteral(" before the login was answered");
    m_printer.error(why);
    finish(1);
}

void PublishRun::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit done(exitCode);
}
