#include "DeviceJob.h"

#include "CommandRunner.h"

DeviceJob::DeviceJob(Kind kind, const QString &serial, const QString &mac, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_serial(serial)
    , m_mac(mac)
{
}

DeviceJob::Kind DeviceJob::kind() const
{
    return m_kind;
}

QString DeviceJob::serial() const
{
    return m_serial;
}

QString DeviceJob::mac() const
{
    return m_mac;
}

bool DeviceJob::isPeriodic() const
{
    return m_kind == Reread || m_kind == Battery;
}

bool DeviceJob::isRunning() const
{
    return m_running;
}

void DeviceJob::begin(CommandRunner *runner)
{
    m_running = true;
    if (!runner)
        return;
    m_stop = runner->stopToken();
    // Emitted on the pool thread, delivered here through the event loop.
    connect(runner, &CommandRunner::started, this, &DeviceJob::markStarted);
    connect(runner, &CommandRunner::progress, this, &DeviceJob::onRunnerProgress);
    connect(runner, &CommandRunner::finished, this, &DeviceJob::onRunnerFinished);
}

void DeviceJob::stop()
{
    m_stop.request();
}

void DeviceJob::finishLater(const JobOutcome &outcome)
{
    QMetaObject::invokeMethod(this, [this, outcome] { finish(outcome); }, Qt::QueuedConnection);
}

void DeviceJob::markStarted()
{
    emit started(this);
}

void DeviceJob::markProgress(int done, int total)
{
    m_done = done;
    emit progressed(this, done, total);
}

void DeviceJob::finish(const JobOutcome &outcome)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(this, outcome);
}

void DeviceJob::keepRecord(const DeviceInfo &filled)
{
    record = filled;
}

void DeviceJob::onRunnerProgress(const QString &, int done, int total)
{
    markProgress(done, total);
}

void DeviceJob::onRunnerFinished(const QString &, bool ok, const QMap<int, QVariant> &results,
                                 const QString &errorString)
{
    finish(JobOutcome{ok, results, errorString});
}

QStringList DeviceJob::transferredPictures() const
{
    return uploadPictures.mid(0, m_done);
}

QStringList DeviceJob::transferredSlideshows() const
{
    return uploadSlideshows.mid(0, qMax(0, m_done - uploadPictures.size()));
}
