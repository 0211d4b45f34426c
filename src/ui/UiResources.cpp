#include "UiResources.h"

#include <QFile>
#include <QGuiApplication>

#include <mutex>

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void registerUiResources()
{
    Q_INIT_RESOURCE(tamo_ui);
}

void UiResources::ensureLoaded()
{
    static std::once_flag once;
    std::call_once(once, registerUiResources);
}

QString UiResources::styleSheet(const QStringList &names)
{
    ensureLoaded();
    QString sheet;
    for (const QString &name : names) {
        QFile file(QStringLiteral(":/css/") + name);
        if (file.open(QIODevice::ReadOnly))
            sheet += QString::fromUtf8(file.readAll()) + QLatin1Char('\n');
    }
    return sheet;
}

QPixmap UiResources::picture(const QString &path)
{
    ensureLoaded();
    if (qApp && qApp->devicePixelRatio() > 1.0) {
        QString doubled = path;
        doubled.insert(path.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
        QPixmap pixmap(doubled);
        if (!pixmap.isNull()) {
            pixmap.setDevicePixelRatio(2.0);
            return pixmap;
        }
    }
    return QPixmap(path);
}

QSize UiResources::logicalSize(const QPixmap &pixmap)
{
    return pixmap.isNull() ? QSize() : (QSizeF(pixmap.size()) / pixmap.devicePixelRatioF()).toSize();
}
