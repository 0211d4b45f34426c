#include "LogsDelegate.h"

#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QListView>
#include <QPainter>
#include <QRegularExpression>
#include <QtMath>

namespace {

// Sizes of rows that left the log are dropped now and then rather than tracked.
constexpr int kMaxCachedSizes = 20000;

// A row is as wide as the view's viewport: wider would bring a horizontal scroll bar.
int rowWidth(const QStyleOptionViewItem &option)
{
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    return view ? view->viewport()->width() : option.rect.width();
}

// A MAC address is read as one word: a line never breaks inside it.
QString withWholeAddresses(const QString &html)
{
    static const QRegularExpression mac(QStringLiteral("[0-9A-Fa-f]{2}(?::[0-9A-Fa-f]{2}){5}"));
    if (!html.contains(QLatin1Char(':')))
        return html;
    QString text = html;
    QRegularExpressionMatchIterator it = mac.globalMatch(html);
    int shift = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        QString joined = match.captured();
        joined.replace(QLatin1Char(':'), QStringLiteral(":\u2060"));
        text.replace(match.capturedStart() + shift, match.capturedLength(), joined);
        shift += joined.size() - match.capturedLength();
    }
    return text;
}

QStyle *styleOf(const QStyleOptionViewItem &option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

} // namespace

LogsDelegate::LogsDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
    m_document.setDocumentMargin(0);
    m_document.setUndoRedoEnabled(false);
}

LogsDelegate *LogsDelegate::install(QListView *view)
{
    auto *delegate = new LogsDelegate(view);
    view->setItemDelegate(delegate);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A list relayouts on a width change only while it wraps text.
    view->setWordWrap(true);
    view->setResizeMode(QListView::Adjust);
    return delegate;
}

QRect LogsDelegate::textRect(const QStyleOptionViewItem &option, int width)
{
    QStyleOptionViewItem opt = option;
    opt.rect = QRect(0, 0, width, 1000);
    return styleOf(opt)->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
}

void LogsDelegate::layOut(const QStyleOptionViewItem &option, int textWidth) const
{
    if (m_document.defaultFont() != option.font)
        m_document.setDefaultFont(option.font);
    m_document.setHtml(withWholeAddresses(option.text));
    m_document.setTextWidth(qMax(1, textWidth));
}

QSize LogsDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const int width = rowWidth(opt);
    if (width != m_sizesWidth || opt.font != m_sizesFont || m_sizes.size() > kMaxCachedSizes) {
        m_sizes.clear();
        m_sizesWidth = width;
        m_sizesFont = opt.font;
    }
    const auto cached = m_sizes.constFind(opt.text);
    if (cached != m_sizes.constEnd())
        return cached.value();

    ++m_measurements;
    layOut(opt, textRect(opt, width).width());
    const QSize size(width, qCeil(m_document.size().height()) + 2 * kRowPadding);
    m_sizes.insert(opt.text, size);
    return size;
}

void LogsDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.state &= ~QStyle::State_HasFocus;

    QRect text = textRect(opt, opt.rect.width());
    text.moveTopLeft(opt.rect.topLeft() + text.topLeft() + QPoint(0, kRowPadding));
    text.setBottom(opt.rect.bottom() - kRowPadding);
    layOut(opt, text.width());

    const QWidget *widget = opt.widget;
    opt.text.clear();
    styleOf(opt)->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    QPalette::ColorGroup group = QPalette::Normal;
    if (!(opt.state & QStyle::State_Enabled))
        group = QPalette::Disabled;
    else if (!(opt.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QColor textColor = opt.palette.color(
        group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text);

    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, textColor);

    painter->save();
    painter->translate(text.topLeft());
    const QRect local(QPoint(0, 0), text.size());
    painter->setClipRect(local);
    m_document.documentLayout()->draw(painter, context);
    if (opt.state & QStyle::State_Editing) {
        painter->setPen(textColor);
        painter->drawRect(local.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}
