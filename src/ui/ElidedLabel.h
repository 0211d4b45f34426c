#pragma once

#include <QLabel>

// A one-line label for values from devices, the cloud and the operator's files:
// however long the value, it asks for little width (so it can never widen the
// window), draws what fits with "…" at the end, and offers the whole value as
// its tooltip. text() and the accessible name keep the whole value.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // Shown as plain text, never as markup.
    void setText(const QString &text);
    // The text as drawn now.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
