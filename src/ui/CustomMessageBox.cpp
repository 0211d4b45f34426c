#include "CustomMessageBox.h"

#include "UiResources.h"

#include <QHash>
#include <QPixmap>
#include <QPointer>

CustomMessageBox::CustomMessageBox(QWidget *parent, const QString &title, const QString &text,
                                   QMessageBox::StandardButtons buttons)
    : QMessageBox(QMessageBox::NoIcon, title, text, buttons, parent,
                  // A title and a close button only: a message is never maximised.
                  Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                      | Qt::WindowCloseButtonHint)
{
    setTextFormat(Qt::PlainText);
    setWindowModality(Qt::WindowModal);
}

QString CustomMessageBox::iconPath(int iconCode)
{
    static const QHash<int, QString> icons{{CriticalIcon, QStringLiteral(":/img/critical_msg.png")}};
    return icons.value(iconCode);
}

QMessageBox::StandardButton CustomMessageBox::showMessage(QWidget *parent, int iconCode, const QString &title,
                                                          const QString &text,
                                                          QMessageBox::StandardButtons buttons,
                                                          QMessageBox::StandardButton defaultButton)
{
    UiResources::ensureLoaded();
    // On the heap and watched: the parent may go away while the box runs.
    QPointer<CustomMessageBox> box = new CustomMessageBox(parent, title, text, buttons);
    const QString picture = iconPath(iconCode);
    if (!picture.isEmpty()) {
        const QPixmap pixmap = UiResources::picture(picture);
        if (!pixmap.isNull())
            box->setIconPixmap(pixmap);
    }
    box->setDefaultButton(defaultButton);
    box->exec();
    if (!box)
        return QMessageBox::NoButton;
    const QMessageBox::StandardButton clicked = box->standardButton(box->clickedButton());
    box->deleteLater();
    return clicked;
}
