#pragma once

#include "BasePage.h"

class QLabel;
class QPushButton;
class QStackedWidget;

// The express firmware upgrade, without login: the attached devices with their
// short cards, a welcome text with the three steps, and the upgrade panel
// (download, file choice, upgrade) that opens from the left panel's button
// while devices are listed. The upgrade takes the devices selected in the list,
// or all of them.
class DfuPage : public BasePage
{
    Q_OBJECT

public:
    static const QString ChooseFileText;     // "Firmware File after you’ve downloaded it."
    static const QString FileSelectedText;   // "Firmware File selected:"
    // The most the chosen file's name takes on screen.
    static constexpr int kFileNameWidth = 320;

    explicit DfuPage(QWidget *parent = nullptr);

    // When the page is shown, and when every device has been upgraded.
    void prepare();
    void enableUpgrade();
    // The firmware file the upgrade will use, as if chosen in the file dialog.
    void setFirmwareFile(const QString &path);

signals:
    void errorOccured(QString errorString);
    void logoutDfu();
    void downloadFileTriggered();
    // The chosen devices by serial number; none means all of them.
    void upgradeFirmwareTriggered(QString dfuFileName, QStringList serials);

public slots:
    void slotDevicesModelChanged() override;
    void selectDownloadedFirmware();
    void upgradeFirmware();
    void firmwareButtonClicked();

private:
    QWidget *buildHeader();
    QWidget *buildInfoPage();
    QWidget *buildUpgradePage();
    void showWelcome();
    void forgetFirmwareFile();

    QPushButton *m_loginButton = nullptr;
    QStackedWidget *m_pages = nullptr;
    QWidget *m_infoPage = nullptr;
    QWidget *m_dfuPage = nullptr;
    QPushButton *m_downloadButton = nullptr;
    QPushButton *m_selectButton = nullptr;
    QLabel *m_selectLabel = nullptr;
    QPushButton *m_selectedDfuButton = nullptr;
    QPushButton *m_upgradeFirmwareButton = nullptr;
    QString m_firmwarePath;
};
