#include "DeviceListDelegate.h"

#include "DevicesModel.h"
#include "UiResources.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QPixmap>
#include <QTextDocument>
#include <QToolTip>
#include <QVersionNumber>

const QString DeviceListDelegate::TryAgainText = QStringLiteral("[try again]");
const QString DeviceListDelegate::PleaseUpgradeText = QStringLiteral("[please upgrade FW]");
const QString DeviceListDelegate::NewText = QStringLiteral("NEW");
const QColor DeviceListDelegate::ProgressColor(0x50, 0xa3, 0xf8);

namespace {

const QColor kTextColor(58, 58, 58);
const QColor kSelectedBackground(237, 237, 237);
const QColor kNewColor(15, 188, 15);
const QColor kProgressTrack(0, 0, 0, 28);
constexpr int kDotRadius = 4;
constexpr int kProgressHeight = 4;

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

// The status is what an operator looks for first: the values' font, half bold.
QFont statusFont(const QFont &rowFont)
{
    QFont font = rowFont;
    font.setWeight(QFont::DemiBold);
    return font;
}

QString orTryAgain(const QString &text)
{
    return text.isEmpty() ? DeviceListDelegate::TryAgainText : text;
}

// A row is as wide as the view's viewport: wider would bring a horizontal scroll bar.
int rowWidth(const QStyleOptionViewItem &option)
{
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    return view ? view->viewport()->width() : option.rect.width();
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
    const QString value = index.data(DevicesModel::BrightnessRole).toString();
    return tr("Brightness:") + QStringLiteral("  ") + (value.isEmpty() ? TryAgainText : value + QLatin1Char('%'));
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

QString DeviceListDelegate::statusLine(const QModelIndex &index)
{
    const int status = index.data(DevicesModel::StatusRole).toInt(); // absent reads as Connected
    QString line = tr("Status:") + QLatin1Char(' ') + DevicesModel::statusText(status).toLower();
    const QString reason = index.data(DevicesModel::LastErrorRole).toString();
    if (status == DeviceInfo::Error && !reason.isEmpty())
        line += QStringLiteral(": ") + reason;
    return line;
}

QColor DeviceListDelegate::statusColor(int status)
{
    switch (status) {
    case 0: return QColor(40, 202, 66);
    case 1:
    case 2: return QColor(0, 184, 212);
    case 3:
    case 5: return QColor(255, 169, 50);
    case 4: return QColor(208, 2, 27);
    case 6: return QColor(155, 155, 155);
    default: return QColor(Qt::transparent);
    }
}

qreal DeviceListDelegate::progress(const QModelIndex &index)
{
    const QVariant done = index.data(DevicesModel::JobDoneRole);
    const QVariant total = index.data(DevicesModel::JobTotalRole);
    if (!done.isValid() || !total.isValid() || total.toInt() <= 0)
        return -1;
    return qBound(0.0, done.toReal() / total.toReal(), 1.0);
}

QString DeviceListDelegate::toolTipText(const QModelIndex &index)
{
    QStringList lines;
    if (progress(index) >= 0) {
        const int done = index.data(DevicesModel::JobDoneRole).toInt();
        const int total = index.data(DevicesModel::JobTotalRole).toInt();
        if (index.data(DevicesModel::StatusRole).toInt() == 3)
            lines << tr("Firmware download: %1%").arg(done * 100 / total);
        else
            lines << tr("Sent %1 of %2 items").arg(done).arg(total);
    }
    const QString error = index.data(DevicesModel::LastErrorRole).toString();
    if (!error.isEmpty())
        lines << tr("Last error: %1").arg(error);
    return lines.join(QLatin1Char('\n'));
}

QVector<DeviceListDelegate::Pair> DeviceListDelegate::pairs(const QModelIndex &index, int mode)
{
    QVector<Pair> list;
    list << Pair{tr("Device name:"), index.data(DevicesModel::NameRole).toString()};
    if (mode == FullCard) {
        list << Pair{tr("Title:"), index.data(DevicesModel::TitleRole).toString()};
        list << Pair{tr("Location:"), index.data(DevicesModel::LocationRole).toString()};
    }
    list << Pair{tr("FW version:"), index.data(DevicesModel::FwVersionRole).toString()};
    return list;
}

QStringList DeviceListDelegate::cardLines(const QModelIndex &index, int mode)
{
    QStringList lines;
    for (const Pair &pair : pairs(index, mode))
        lines << pair.label + QStringLiteral("  ") + orTryAgain(pair.value);
    lines << brightnessText(index) << batteryText(index) << statusLine(index);
    return lines;
}

QFont DeviceListDelegate::rowFont(const QModelIndex &index, const QStyleOptionViewItem &option) const
{
    const QVariant font = index.data(Qt::FontRole);
    return font.canConvert<QFont>() ? font.value<QFont>() : option.font;
}

// The full card: four label-value lines, the levels in the small font, the
// status; the short card: two label-value lines, the levels, the status.
QSize DeviceListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int rowLine = QFontMetrics(rowFont(index, option)).height();
    const int text = m_mode == FullCard ? m_smallLineHeight + 5 * rowLine : 4 * rowLine;
    return QSize(rowWidth(option), qMax(UiResources::logicalSize(pictureOf(index)).height(), text) + 12);
}

bool DeviceListDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                   const QModelIndex &index)
{
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = toolTipText(index);
    if (text.isEmpty())
        QToolTip::hideText();
    else // Device and cloud texts are shown as they are, never as markup.
        QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(text, Qt::WhiteSpacePre), view,
                           option.rect);
    return true;
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
    const QSize pictureSize = UiResources::logicalSize(picture);
    if (!picture.isNull())
        painter->drawPixmap(row.left() + 25, row.top() + (row.height() - pictureSize.height()) / 2, picture);

    const QFont font = rowFont(index, option);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height();
    const int left = row.left() + pictureSize.width() + 27;
    const int usable = qMax(0, row.width() - pictureSize.width() - 39);
    const bool isNew = m_mode == FullCard && index.data(DevicesModel::NotActivatedRole).toBool();

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
    const QVector<Pair> lines = pairs(index, m_mode);
    for (int i = 0; i < lines.size(); ++i) {
        int width = usable;
        if (i == 0 && isNew)
            width -= m_newWidth + 12;
        const int half = qMax(0, width / 2);
        const QString label = metrics.elidedText(lines.at(i).label, Qt::ElideRight, half);
        const QString value = metrics.elidedText(orTryAgain(lines.at(i).value), Qt::ElideRight, half);
        painter->drawText(QRect(left, top, half, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, label);
        painter->drawText(QRect(valueLeft, top, half, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, value);
        top += lineHeight;
    }

    // Brightness and battery: the values' font on the short card, the small one
    // on the full card, whose values take more lines.
    const QString levels = brightnessText(index) + QStringLiteral("   ") + batteryText(index);
    const QFontMetrics small(m_smallFont);
    const QFontMetrics &levelMetrics = m_mode == ShortCard ? metrics : small;
    const int levelHeight = m_mode == ShortCard ? lineHeight : m_smallLineHeight;
    painter->setFont(m_mode == ShortCard ? font : m_smallFont);
    painter->drawText(QRect(left, top, usable, levelHeight), Qt::AlignLeft | Qt::AlignVCenter,
                      levelMetrics.elidedText(levels, Qt::ElideRight, usable));
    top += levelHeight;
    paintStatusLine(painter, index, statusFont(font), left, top, usable);

    const qreal done = progress(index);
    if (done >= 0) {
        const QRect track(left, top + lineHeight + 1, usable, kProgressHeight);
        painter->setPen(Qt::NoPen);
        painter->fillRect(track, kProgressTrack);
        painter->fillRect(QRect(track.topLeft(), QSize(qRound(track.width() * done), track.height())), ProgressColor);
    }

    if (isNew) {
        painter->setFont(m_newFont);
        painter->setPen(kNewColor);
        painter->drawText(QRect(row.right() - 13 - m_newWidth, row.top() + 4, m_newWidth, m_newLineHeight),
                          Qt::AlignLeft | Qt::AlignVCenter, NewText);
    }
    painter->restore();
}

void DeviceListDelegate::paintStatusLine(QPainter *painter, const QModelIndex &index, const QFont &font, int left,
                                         int top, int usable) const
{
    const QFontMetrics metrics(font);
    const int dotWidth = 2 * kDotRadius + 6;
    const int textRoom = qMax(0, usable - dotWidth);
    painter->setPen(Qt::NoPen);
    painter->setBrush(statusColor(index.data(DevicesModel::StatusRole).toInt()));
    painter->drawEllipse(QPoint(left + kDotRadius, top + metrics.height() / 2), kDotRadius, kDotRadius);
    painter->setFont(font);
    painter->setPen(kTextColor);
    painter->drawText(QRect(left + dotWidth, top, textRoom, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(statusLine(index), Qt::ElideRight, textRoom));
}
