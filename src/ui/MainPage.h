#pragma once

#include "BasePage.h"

#include <QItemSelection>
#include <QMap>
#include <QModelIndex>
#include <QVector>

class EditableText;
class ElidedLabel;
class QLabel;
class QPushButton;
class QStackedWidget;
struct UserInfo;

// The page after login: the user's header with the company logo, the devices
// with their full cards, and a content area that shows the selected device's
// information, the firmware upgrade panel, or the help tip with the
// default-location editor. While the firmware panel is open, selecting devices
// chooses which ones it upgrades.
class MainPage : public BasePage
{
    Q_OBJECT

public:
    static const QString NoDevicesText; // "There are no connected devices to firmware upgrade."

    explicit MainPage(QWidget *parent = nullptr);

    void setDevicesModel(DevicesModel *model) override;
    void reset() override;
    // A null record shows empty texts.
    void setUserInfo(const UserInfo *user);
    void setLogo(const QPixmap &logo);
    void setDownloadButtonEnabled(bool enabled);
    void enableUpgradeButton();
    // The firmware file the upgrade will use, as if chosen in the file dialog.
    void setFirmwareFile(const QString &path);

signals:
    void errorOccured(QString errorString);
    void logoutTriggered();
    void downloadFileTriggered();
    // The chosen devices by serial number; none means all of them.
    void upgradeFirmwareTriggered(QString dfuFileName, QStringList serials);

public slots:
    void slotDevicesModelChanged() override;
    void slotDeviceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                               const QVector<int> &roles);
    void slotSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void openDeviceInfo();
    void openHelpTip();
    void saveDefaultLocation(const QString &location);
    void openFirmwarePage();
    void selectDownloadedFirmware();
    void upgradeFirmware();

private:
    QWidget *buildHeader();
    QWidget *buildDevicePage();
    QWidget *buildDeviceInfoPage();
    QWidget *buildFirmwarePage();
    QWidget *buildHelpPage();
    void connectControls();
    void restoreSettings();
    void showNoInfo();
    void showDeviceInfo(const QModelIndex &row, const QVector<int> &roles = {});
    QModelIndex selectedRow() const;
    void forgetCurrentDevice();

    QLabel *m_companyLogoLabel = nullptr;
    ElidedLabel *m_userNameLabel = nullptr;
    ElidedLabel *m_companyNameLabel = nullptr;
    ElidedLabel *m_userEmailLabel = nullptr;
    QPushButton *m_logoutButton = nullptr;
    QStackedWidget *m_pages = nullptr;
    QWidget *m_devicePage = nullptr;
    QWidget *m_helpPage = nullptr;
    QStackedWidget *m_devicePanels = nullptr;
    QWidget *m_deviceInfoPage = nullptr;
    QWidget *m_fwUpdatePage = nullptr;
    EditableText *m_locationEditor = nullptr;
    EditableText *m_editLocationWidget = nullptr;
    QPushButton *m_showTipButton = nullptr;
    QPushButton *m_hideHelpButton = nullptr;
    QWidget *m_infoWidget = nullptr;
    QLabel *m_infoLbl = nullptr;
    QMap<int, ElidedLabel *> m_infoValues; // device-information role -> value label
    QPushButton *m_closeUpgradeButton = nullptr;
    QPushButton *m_downloadButton = nullptr;
    QPushButton *m_selectButton = nullptr;
    QPushButton *m_upgradeFirmwareButton = nullptr;
    ElidedLabel *m_fwFileNameLabel = nullptr;
    QString m_firmwarePath;
};
