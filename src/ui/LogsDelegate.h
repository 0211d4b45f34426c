#pragma once

#include <QFont>
#include <QHash>
#include <QStyledItemDelegate>
#include <QTextDocument>

// Draws activity-log rows as rich text (the lines carry <b> emphasis and arrive
// with their values already escaped). A row is measured and painted by the same
// layout: one document without margin, wrapped at the width of the rectangle the
// text is painted into, never inside a MAC address. Sizes are kept per text for the current width and font,
// so appending a line to a long log measures only that line.
class QListView;

class LogsDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Blank space above and below the text of each row.
    static constexpr int kRowPadding = 3;

    explicit LogsDelegate(QObject *parent = nullptr);

    // Draws `view`'s rows with a new delegate and sets the view up for it: rows as
    // wide as the viewport, laid out again when its width changes, scrolled per
    // pixel. Returns the delegate (a child of the view).
    static LogsDelegate *install(QListView *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // How many rows were laid out to be measured (sizes not found in the cache).
    int measurements() const { return m_measurements; }

private:
    // The row's text rectangle for a row of `width`, relative to the row.
    static QRect textRect(const QStyleOptionViewItem &option, int width);
    void layOut(const QStyleOptionViewItem &option, int textWidth) const;

    mutable QTextDocument m_document;
    mutable QHash<QString, QSize> m_sizes;
    mutable int m_sizesWidth = -1;
    mutable QFont m_sizesFont;
    mutable int m_measurements = 0;
};
