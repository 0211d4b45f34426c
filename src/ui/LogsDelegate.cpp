#include "LogsDelegate.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QTextDocument>

LogsDelegate::LogsDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QTextDocument &LogsDelegate::document()
{
    // Rows are painted one after the other on the GUI thread; one document will do.
    static QTextDocument shared;
    return shared;
}

void LogsDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.state &= ~QStyle::State_HasFocus;

    QTextDocument &doc = document();
    if (doc.defaultFont() != opt.font)
        doc.setDefaultFont(opt.font);
    doc.setHtml(opt.text);
    doc.setTextWidth(opt.rect.width());

    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    // Measured with the text still in the option, drawn without it.
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    opt.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

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
    painter->translate(textRect.topLeft());
    painter->setClipRect(textRect.translated(-textRect.topLeft()));
    doc.documentLayout()->draw(painter, context);
    if (opt.state & QStyle::State_Editing) {
        painter->setPen(textColor);
        painter->drawRect(textRect.translated(-textRect.topLeft()).adjusted(0, 0, -1, -1));
    }
    painter->restore();
}
