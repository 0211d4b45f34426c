#include "DeviceListDelegate.h"

#include "DevicesModel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QVersionNumber>

const QString DeviceListDelegate::TryAgainText = QStringLiteral("[try again]");
const QString DeviceListDelegate::PleaseUpgradeText = QStringLiteral("[please upgrade FW]");
const QString DeviceListDelegate::NewText = QStringLiteral("NEW");

namespace {

const QColor kTextColor(58, 58, 58);
const QColor kSelectedBackground(237, 237, 237);
const QColor kNewColor(15, 188, 15);

// The first firmware that reports its battery level.
const QVersionNumber kBatteryFirmware(1, 5, 88);

QFont fontOfSize(int pointSize)
{
    QFont font = QApplication::font();
    font.setPointSize(pointSize);
    return font;
}

QPixmap pictureOf(const QModelIndex &index)
{
    return index.data(Qt::DecorationRole).value<QPixmap>();
}

QString orTryAgain(const QString &text)
{
    return text.isEmpty() ? DeviceListDelegate::TryAgainText : text;
}

} // namespace

DeviceListDelegate::DeviceListDelegate(int mode, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_smallFont(fontOfSize(7))
    , m_smallLineHeight(QFontMetrics(m_smallFont).height())
    , m_newFont(fontOfSize(9))
    , m_newWidth(QFontMetrics(m_newFont).horizontalAdvance(NewText))
    , m_newLineHeight(QFontMetrics(m_newFont).height())
    , m_mode(mode)
{
}

QString DeviceListDelegate::brightnessText(const QModelIndex &index)
{
    QString value = index.data(DevicesModel::BrightnessRole).toString();
    if (!value.isEmpty())
        value += QLatin1Char('%');
    return tr("Brightness:") + QStringLiteral("  ") + value;
}

QString DeviceListDelegate::batteryText(const QModelIndex &index)
{
    QString value = index.data(DevicesModel::BatteryRole).toString();
    if (!value.isEmpty()) {
        value += QLatin1Char('%');
    } else {
        const QVersionNumber firmware =
            QVersionNumber::fromString(index.data(DevicesModel::FwVersionRole).toString());
        value = firmware < kBatteryFirmware ? PleaseUpgradeText : TryAgainText;
    }
    return tr("Battery:") + QStringLiteral("  ") + value;
}

QColor DeviceListDelegate::statusColor(int status)
{
    switch (status) {
    case 0: return QColor(40, 202, 66);
    case 1:
    case 2: return QColor(0, 184, 212);
    case 3: return QColor(255, 169, 50);
    case 4: return QColor(208, 2, 27);
    default: return QColor(Qt::transparent);
    }
}

QFont DeviceListDelegate::rowFont(const QModelIndex &index, const QStyleOptionViewItem &option) const
{
    const QVariant font = index.data(Qt::FontRole);
    return font.canConvert<QFont>() ? font.value<QFont>() : option.font;
}

QSize DeviceListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int rowLine = QFontMetrics(rowFont(index, option)).height();
    const int lines = m_mode == FullCard ? 4 : 3;
    const int text = m_smallLineHeight + lines * rowLine;
    return QSize(option.rect.width(), qMax(pictureOf(index).height(), text) + 12);
}

void DeviceListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);

    const QRect row = option.rect;
    const QBrush background = (option.state & QStyle::State_Selected)
        ? QBrush(kSelectedBackground)
        : option.backgroundBrush;
    painter->fillRect(row, background);

    const QPixmap picture = pictureOf(index);
    if (!picture.isNull())
        painter->drawPixmap(row.left() + 25, row.top() + (row.height() - picture.height()) / 2, picture);

    const QFont font = rowFont(index, option);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height();
    const int left = row.left() + picture.width() + 27;
    const int usable = row.width() - picture.width() - 39;
    const bool isNew = m_mode == FullCard && index.data(DevicesModel::NotActivatedRole).toBool();

    struct Pair {
        QString label;
        QString value;
    };
    QVector<Pair> pairs;
    pairs << Pair{tr("Device name:"), index.data(DevicesModel::NameRole).toString()};
    if (m_mode == FullCard) {
        pairs << Pair{tr("Title:"), index.data(DevicesModel::TitleRole).toString()};
        pairs << Pair{tr("Location:"), index.data(DevicesModel::LocationRole).toString()};
    }
    pairs << Pair{tr("FW version:"), index.data(DevicesModel::FwVersionRole).toString()};

    // Values line up after the widest label of the first block.
    int labelWidth = 0;
    const QStringList firstBlock = m_mode == FullCard
        ? QStringList{tr("Device name:"), tr("Title:"), tr("Location:"), tr("FW version:")}
        : QStringList{tr("Device name:"), tr("FW version:"), tr("Brightness:"), tr("Battery:")};
    for (const QString &label : firstBlock)
        labelWidth = qMax(labelWidth, metrics.horizontalAdvance(label));
    const int valueLeft = left + labelWidth + 7;

    painter->setPen(kTextColor);
    painter->setFont(font);
    int top = row.top() + 6;
    for (int i = 0; i < pairs.size(); ++i) {
        int width = usable;
        if (i == 0 && isNew)
            width -= m_newWidth + 12;
        const int half = qMax(0, width / 2);
        const QString label = metrics.elidedText(pairs.at(i).label, Qt::ElideRight, half);
        const QString value = metrics.elidedText(orTryAgain(pairs.at(i).value), Qt::ElideRight, half);
        painter->drawText(QRect(left, top, half, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, label);
        painter->drawText(QRect(valueLeft, top, half, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, value);
        top += lineHeight;
    }

    // Full card: brightness, battery and status share the small-font line below
    // the four pairs. Short card: brightness and battery take the third line.
    const QString levels = brightnessText(index) + QStringLiteral("   ") + batteryText(index);
    if (m_mode == ShortCard) {
        painter->drawText(QRect(left, top, qMax(0, usable), lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(levels, Qt::ElideRight, qMax(0, usable)));
        top += lineHeight;
    }

    const int status = index.data(DevicesModel::StatusRole).toInt(); // absent reads as Connected
    const QFontMetrics smallMetrics(m_smallFont);
    const int radius = 4;
    int x = left;
    painter->setFont(m_smallFont);
    if (m_mode == FullCard) {
        const QString text = levels + QStringLiteral("   ");
        painter->drawText(QRect(x, top, qMax(0, usable), m_smallLineHeight), Qt::AlignLeft | Qt::AlignVCenter, text);
        x += smallMetrics.horizontalAdvance(text);
    }
    const int statusRoom = qMax(0, left + usable - x - 2 * radius - 6);
    painter->setPen(Qt::NoPen);
    painter->setBrush(statusColor(status));
    painter->drawEllipse(QPoint(x + radius, top + m_smallLineHeight / 2), radius, radius);
    painter->setPen(kTextColor);
    const QString statusLine = tr("Status:") + QLatin1Char(' ') + DevicesModel::statusText(status).toLower();
    painter->drawText(QRect(x + 2 * radius + 6, top, statusRoom, m_smallLineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                      smallMetrics.elidedText(statusLine, Qt::ElideRight, statusRoom));

    if (isNew) {
        painter->setFont(m_newFont);
        painter->setPen(kNewColor);
        painter->drawText(QRect(row.right() - 13 - m_newWidth, row.top() + 4, m_newWidth, m_newLineHeight),
                          Qt::AlignLeft | Qt::AlignVCenter, NewText);
    }
    painter->restore();
}
