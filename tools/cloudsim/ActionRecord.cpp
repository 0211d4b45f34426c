#include "ActionRecord.h"

#include <QDateTime>

QStringList ActionRecord::listNames()
{
    return {QStringLiteral("registrations"), QStringLiteral("deviceUpdates"), QStringLiteral("uploadStatus"),
            QStringLiteral("erasures"),      QStringLiteral("logins"),        QStringLiteral("tokenRefreshes"),
            QStringLiteral("requests")};
}

void ActionRecord::add(const QString &list, QJsonObject entry)
{
    Q_ASSERT(listNames().contains(list));
    entry.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    QJsonArray &array = m_lists[list];
    array.append(entry);
    while (array.size() > MaxEntries)
        array.removeFirst();
}

QJsonObject ActionRecord::toJson() const
{
    QJsonObject object;
    for (const QString &name : listNames())
        object.insert(name, m_lists.value(name));
    return object;
}
