#pragma once

#include <QFont>
#include <QStyledItemDelegate>

// Draws one attached device as a card: its picture, then name, title, location
// and firmware version as label-value pairs, brightness, battery and a status
// line with a coloured dot. Mode 0 is the main page's full card, mode 1 the
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

    // "Brightness:  50%" and "Battery:  80%" / "[please upgrade FW]" / "[try again]".
    static QString brightnessText(const QModelIndex &index);
    static QString batteryText(const QModelIndex &index);
    static QColor statusColor(int status);

    static const QString TryAgainText;
    static const QString PleaseUpgradeText;
    static const QString NewText;

private:
    QFont rowFont(const QModelIndex &index, const QStyleOptionViewItem &option) const;

    QFont m_smallFont;
    int m_smallLineHeight;
    QFont m_newFont;
    int m_newWidth;
    int m_newLineHeight;
    int m_mode;
};
