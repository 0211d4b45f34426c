#include "UiResources.h"

#include <QFile>

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
