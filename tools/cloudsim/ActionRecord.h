#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// What clients did, in named lists ("registrations", "deviceUpdates",
// "uploadStatus", "erasures", "logins", "tokenRefreshes", "requests"). Entries
// never hold a password or a token. Each list keeps its newest entries only, so
// that a long demo run stays small.
class ActionRecord
{
public:
    static constexpr int MaxEntries = 1000;

    static QStringList listNames();

    // Adds the entry, stamped with the time, to the named list.
    void add(const QString &list, QJsonObject entry);
    QJsonObject toJson() const;

private:
    QHash<QString, QJsonArray> m_lists;
};
