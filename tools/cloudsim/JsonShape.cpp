#include "JsonShape.h"

#include <QJsonArray>

#include <cmath>

JsonShape::JsonShape(const QString &what)
    : m_what(what)
{
}

JsonShape &JsonShape::required(const QString &key, Kind kind)
{
    m_keys.append({key, kind, true});
    return *this;
}

JsonShape &JsonShape::optional(const QString &key, Kind kind)
{
    m_keys.append({key, kind, false});
    return *this;
}

bool JsonShape::isInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    return std::isfinite(number) && std::floor(number) == number;
}

QString JsonShape::kindName(Kind kind)
{
    switch (kind) {
    case String: return QStringLiteral("a string");
    case Integer: return QStringLiteral("an integer");
    case Bool: return QStringLiteral("a boolean");
    case IntegerArray: return QStringLiteral("an array of integers");
    case Object: return QStringLiteral("an object");
    case ObjectArray: return QStringLiteral("an array of objects");
    }
    return QString();
}

bool JsonShape::fits(const QJsonValue &value, Kind kind) const
{
    switch (kind) {
    case String: return value.isString();
    case Integer: return isInteger(value);
    case Bool: return value.isBool();
    case Object: return value.isObject();
    case IntegerArray:
    case ObjectArray:
        if (!value.isArray())
            return false;
        for (const QJsonValue &element : value.toArray()) {
            if (kind == IntegerArray ? !isInteger(element) : !element.isObject())
                return false;
        }
        return true;
    }
    return false;
}

QString JsonShape::problem(const QJsonObject &object) const
{
    const QString prefix = m_what.isEmpty() ? QString() : m_what + QStringLiteral(": ");
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool known = false;
        for (const Key &key : m_keys)
            known = known || key.name == it.key();
        if (!known)
            return prefix + QStringLiteral("unexpected key '%1'").arg(it.key());
    }
    for (const Key &key : m_keys) {
        if (!object.contains(key.name)) {
            if (key.required)
                return prefix + QStringLiteral("missing key '%1'").arg(key.name);
            continue;
        }
        if (!fits(object.value(key.name), key.kind))
            return prefix + QStringLiteral("'%1' must be %2").arg(key.name, kindName(key.kind));
    }
    return QString();
}
