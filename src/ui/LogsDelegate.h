#pragma once

#include <QStyledItemDelegate>

class QTextDocument;

// Draws activity-log rows as rich text (the lines carry <b> emphasis). One text
// document serves every row.
class LogsDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit LogsDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    static QTextDocument &document();
};
