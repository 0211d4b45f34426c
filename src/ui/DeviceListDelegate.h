#pragma once

#include <QFont>
#include <QStyledItemDelegate>

// Draws one attached device as a card: its picture, then name, title, location
// and firmware version as label-value pairs, brightness and battery, and a status
// line with a coloured dot (a failed device's reason with it), and under it the
// progress of the job that runs now. The tooltip tells that progress in numbers
// and the device's last error. Mode 0 is the main page's full card, mode 1 the
// express firmware page's short one.
class DeviceListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    enum Mode { FullCard = 0, ShortCard = 1 };

    explicit DeviceListDelegate(int mode, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // Every text line of the card in the order drawn, before elision:
    // "Device name:  Reception", ..., "Status: connected".
    static QStringList cardLines(const QModelIndex &index, int mode);
    // "Brightness:  50%" and "Battery:  80%" / "[please upgrade FW]" / "[try again]".
    static QString brightnessText(const QModelIndex &index);
    static QString batteryText(const QModelIndex &index);
    // "Status: connected"; a failed device's with its reason, "Status: error: …".
    static QString statusLine(const QModelIndex &index);
    static QColor statusColor(int status);
    // The job's progress from 0 to 1; negative when no job reports progress.
    static qreal progress(const QModelIndex &index);
    // The tooltip as plain text: progress in numbers and the last error; empty
    // when there is neither.
    static QString toolTipText(const QModelIndex &index);

    static const QString TryAgainText;
    static const QString PleaseUpgradeText;
    static const QString NewText;
    static const QColor ProgressColor;

private:
    struct Pair {
        QString label;
        QString value;
    };
    static QVector<Pair> pairs(const QModelIndex &index, int mode);
    QFont rowFont(const QModelIndex &index, const QStyleOptionViewItem &option) const;
    void paintStatusLine(QPainter *painter, const QModelIndex &index, const QFont &font, int left, int top,
                         int usable) const;

    QFont m_smallFont;
    int m_smallLineHeight;
    QFont m_newFont;
    int m_newWidth;
    int m_newLineHeight;
    int m_mode;
};
