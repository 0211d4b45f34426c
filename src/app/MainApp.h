#pragma once

#include "DfuPageManager.h"
#include "NetworkManager.h"

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>

class DevicesManager;
class MainWindow;
class PublishingSession;

// The composition root: builds the window, the devices manager and the network
// manager, wires them together and drives the three flows that change what the
// application does — login, the express firmware upgrade without login, and
// logout. Closing the window and logging out ask first while device operations
// run; only an explicit Yes stops them.
class MainApp : public QObject
{
    Q_OBJECT

public:
    enum class Mode { LoginShown, LoggedIn, Express };

    static const QString TerminateQuestionText;
    static const QString ShutdownNoticeText;

    explicit MainApp(QObject *parent = nullptr);
    ~MainApp() override;

    // Connects the window's user intents and shows it on the login page.
    void start();

    // Whether the caller (closing, logging out) must stop: asks the operator
    // while device operations run, and stops them on Yes.
    bool confirmTermination();

    Mode mode() const { return m_mode; }
    MainWindow *window() const { return m_window; }
    DevicesManager *devicesManager() const { return m_devices; }
    NetworkManager *networkManager() const { return m_network; }
    DfuPageManager *dfuPageManager() const { return m_dfuPageManager; }
    // Publishing while logged in; null otherwise.
    PublishingSession *publishingSession() const { return m_session; }

public slots:
    void slotImageDownloaded(bool success, NetworkManager::DataType type, QPixmap image, QString errorString);
    void slotFileDownloaded(bool success, NetworkManager::DataType type, QString path, QString errorString);
    void slotCompanyInfoLoaded();
    void slotDfuPage();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void upgradeFirmware(const QString &filePath, const QStringList &serials);
    void onLogined(bool success, const QString &errorString);
    void onLogout();
    void detachPageManager();
    // The express upgrade's promised confirmation.
    void confirmUpgrades(const QString &text, bool allUpgraded);
    void endSession();
    // Closing (Yes) while a device flashes: the window waits for firmwareIdle.
    void closeWhenFirmwareIdle();

    MainWindow *m_window;
    DevicesManager *m_devices;
    NetworkManager *m_network;
    QPointer<DfuPageManager> m_dfuPageManager;
    PublishingSession *m_session = nullptr;
    Mode m_mode = Mode::LoginShown;
};
