#include "PublishingSession.h"

#include "ContentsChef.h"
#include "Timings.h"

#include <QTimer>

PublishingSession::PublishingSession(DevicesManager *devicesManager, NetworkManager *networkManager,
                                     QObject *parent)
    : QObject(parent)
    , m_chef(new ContentsChef(this))
    , m_heartbeat(new QTimer(this))
{
    m_chef->setManagers(devicesManager, networkManager);
    m_heartbeat->setTimerType(Qt::CoarseTimer);
    m_heartbeat->setInterval(Timings::ms(Timings::HeartbeatInterval));
    connect(m_heartbeat, &QTimer::timeout, m_chef, &ContentsChef::refreshDevices);
    m_heartbeat->start();
}

PublishingSession::~PublishingSession()
{
    m_heartbeat->stop();
    m_chef->setManagers(nullptr, nullptr);
}

PublishingProgress *PublishingSession::progress() const
{
    return m_chef->progress();
}
