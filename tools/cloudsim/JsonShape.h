#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// The keys a JSON object may hold and the kind of each value. Bodies sent by
// clients and fixture entries are both checked against one, so that a stray or
// misspelt key is named instead of silently ignored.
class JsonShape
{
public:
    enum Kind { String, Integer, Bool, IntegerArray, Object, ObjectArray };

    explicit JsonShape(const QString &what = QString());

    JsonShape &required(const QString &key, Kind kind);
    JsonShape &optional(const QString &key, Kind kind);

    // Empty when the object fits, otherwise one sentence naming the first problem.
    QString problem(const QJsonObject &object) const;

    static bool isInteger(const QJsonValue &value);
    static QString kindName(Kind kind);

private:
    struct Key {
        QString name;
        Kind kind;
        bool required;
    };
    bool fits(const QJsonValue &value, Kind kind) const;

    QString m_what;
    QList<Key> m_keys;
};
