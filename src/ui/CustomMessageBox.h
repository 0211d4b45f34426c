#pragma once

#include <QMessageBox>

// The application's one modal message box. The caller's icon code selects the
// picture (code 4: the critical-message picture; other codes: none); the box
// never shows a standard icon. Texts are shown as plain text, so an error text
// from the cloud or a device cannot bring markup into the box.
class CustomMessageBox : public QMessageBox
{
    Q_OBJECT

public:
    enum IconCode { SuccessIcon = 2, ErrorIcon = 3, CriticalIcon = 4 };

    // Runs the box modally over `parent`'s window and returns the button clicked;
    // NoButton when the box was closed without a button.
    static QMessageBox::StandardButton showMessage(QWidget *parent, int iconCode, const QString &title,
                                                   const QString &text, QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton);

    // The picture for an icon code; empty when the code has none.
    static QString iconPath(int iconCode);

private:
    CustomMessageBox(QWidget *parent, const QString &title, const QString &text,
                     QMessageBox::StandardButtons buttons);
};
