#pragma once

#include "DevicesModel.h"

#include <QPointer>
#include <QWidget>

class QBoxLayout;
class QHBoxLayout;
class QLabel;
class QListView;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QStringListModel;
class QTimer;

// The common frame of the two work pages: a header strip, a left panel listing
// the attached devices, a content area that each page fills, and the activity
// log at the bottom. The log keeps the newest kMaxLogRows lines and follows the
// newest one unless the operator has scrolled away from the end; its lines can
// be copied and saved as plain text.
class BasePage : public QWidget
{
    Q_OBJECT

public:
    enum Panel { HeaderPanel = 1, LogPanel = 2, LeftPanel = 4 };
    Q_DECLARE_FLAGS(Panels, Panel)

    static constexpr int kMaxLogRows = 5000;
    static constexpr int kLeftPanelWidth = 540;
    // Where the titles of the grey strips (content panels, activity log) start.
    static constexpr int kTitleIndent = 20;
    static const QString NoFileSelectedText; // "No *.dfu file selected please select it."
    static const QString FileNotExistText;   // "Dfu '%1' file not exist."

    explicit BasePage(QWidget *parent = nullptr);

    virtual void setDevicesModel(DevicesModel *model);
    // Removes the device list's model and empties the activity log.
    virtual void reset();
    // Only the page shown collects activity-log lines.
    void setLogConnection(bool connected);
    // The log's lines as plain text, one a line, each with its own time stamp:
    // all of them, or those selected.
    QString logText(bool selectedOnly) const;
    bool saveLog(const QString &path) const;
    // The devices selected in the list, by serial number, in list order. A
    // firmware upgrade takes these, or every device when none is selected.
    QStringList selectedSerials() const;
    // The overall progress of the firmware upgrades under way (empty: none yet).
    void showFirmwareProgress(const QString &text);

public slots:
    void addLogMessage(const QString &message);
    virtual void slotDevicesModelChanged();
    void scrollToEndLogs();

protected:
    void setHeaderContent(QWidget *header);
    void setContent(QWidget *content);
    // A stack of the page's content panels, put into the content area.
    QStackedWidget *setContentPanels(const QString &name, const QList<QWidget *> &panels);
    void setPanelsVisible(Panels panels, bool visible);
    void useDeviceCards(int mode);
    // The file dialog for a firmware file in the downloads folder; empty when cancelled.
    QString askForFirmwareFile();
    static QWidget *styledPanel(const QString &name, QWidget *parent);
    static QPushButton *namedButton(const QString &name, const QString &text, QWidget *parent);
    // A step's explanation beside its button; wraps, so the panel fits the window.
    static QLabel *stepLabel(const QString &text, QWidget *parent);
    // One step of a firmware panel on one line: its button, then its texts right
    // beside it.
    static QHBoxLayout *stepRow(QWidget *button, const QList<QWidget *> &texts);
    // A grey strip with a white title; its layout takes further widgets.
    static QWidget *titleStrip(const QString &name, const QString &labelName, const QString &text, QWidget *parent);
    // Why the chosen firmware file cannot be used, or empty when it can.
    static QString firmwareFileProblem(const QString &path);
    // The firmware panel's last step says which devices an upgrade takes, and
    // under it how the upgrades under way are getting on; the page keeps both
    // up to date with the selection and the run.
    QLabel *upgradeTargetsLabel(QWidget *parent);
    QLabel *firmwareProgressLabel(QWidget *parent);
    QString upgradeTargetsText() const;

    DevicesModel *devicesModel() const { return m_model; }
    int deviceCount() const;
    QListView *devicesListView() const { return m_devicesListView; }
    QPushButton *firmwareButton() const { return m_firmwareBtn; }
    QWidget *leftPanel() const { return m_leftPanel; }
    QWidget *logPanel() const { return m_bottomPanel; }


private:
    QWidget *buildTopPanel();
    QWidget *buildLeftPanel();
    QWidget *buildBottomPanel();
    void addLogActions();
    void copySelectedLog();
    void saveLogAs();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void onLogScrolled(int value);
    void refreshUpgradeTargets();

    QWidget *m_topPanel;
    QBoxLayout *m_headerContentLayout = nullptr;
    QWidget *m_leftPanel;
    QLabel *m_devicesCountLbl = nullptr;
    QLabel *m_noDevicesLbl = nullptr;
    QListView *m_devicesListView = nullptr;
    QPushButton *m_firmwareBtn = nullptr;
    QLabel *m_upgradeTargets = nullptr;
    QLabel *m_firmwareProgress = nullptr;
    QSplitter *m_splitter;
    QWidget *m_contentWidget;
    QWidget *m_bottomPanel;
    QListView *m_logsListView = nullptr;
    QStringListModel *m_logModel;
    QTimer *m_scrollTimer;
    // Whether the log follows its newest line: until the operator scrolls away
    // from the end, and again once they scroll back to it. Layout changes (the
    // log hidden, the window resized) do not change it.
    bool m_followLog = true;
    QPointer<DevicesModel> m_model;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(BasePage::Panels)
