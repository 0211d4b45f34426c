#pragma once

#include <QObject>

class ContentsChef;
class DevicesManager;
class NetworkManager;
class PublishingProgress;
class QTimer;

// Publishing while logged in: the contents chef attached to both managers and
// its heartbeat, which registers the connected devices again every 30 s so that
// changes made in the cloud reach them. The window and `tamo-cli publish` both
// run this one composition. Deleting it detaches the chef and stops the heartbeat.
class PublishingSession : public QObject
{
    Q_OBJECT

public:
    PublishingSession(DevicesManager *devicesManager, NetworkManager *networkManager, QObject *parent = nullptr);
    ~PublishingSession() override;

    ContentsChef *chef() const { return m_chef; }
    PublishingProgress *progress() const;

private:
    ContentsChef *m_chef;
    QTimer *m_heartbeat;
};
