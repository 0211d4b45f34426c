#include "JsonHelpers.h"

#include <QJsonDocument>
#include <QStringList>
#include <QVariant>

#include <cmath>
#include <limits>

RawHeaders jsonHeaders()
{
    return {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")}};
}

RawHeaders multipartHeaders()
{
    return {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("multipart/form-data")}};
}

RawHeaders formHeaders()
{
    return {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/x-www-form-urlencoded")}};
}

QByteArray jsonObjectToBytes(const QJsonObject &object)
{
    if (object.isEmpty())
        return {};
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QByteArray jsonArrayToBytes(const QJsonArray &array)
{
    if (array.isEmpty())
        return {};
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QJsonObject bytesToJsonObject(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    return QJsonDocument::fromJson(bytes).object();
}

QJsonArray bytesToJsonArray(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    return QJsonDocument::fromJson(bytes).array();
}

QString errorTextFromJson(const QByteArray &bytes)
{
    const QJsonObject object = bytesToJsonObject(bytes);
    QStringList parts;
    // QJsonObject iterates in sorted key order.
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QJsonValue value = it.value();
        if (value.isString()) {
            parts.append(value.toString());
        } else if (value.isObject()) {
            const QJsonObject inner = value.toObject();
            for (auto in = inner.constBegin(); in != inner.constEnd(); ++in)
                parts.append(in.value().toString());
        } else if (value.isArray()) {
            const QJsonArray array = value.toArray();
            for (const QJsonValue &element : array)
                parts.append(element.toString());
        }
    }
    return parts.join(QLatin1Char('\n'));
}

qint64 jsonInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    // Integers that the parser kept exact come back exact; others are rounded
    // towards zero within the 64-bit range.
    const QVariant exact = value.toVariant();
    if (exact.userType() == QMetaType::LongLong || exact.userType() == QMetaType::Int)
        return exact.toLongLong();
    const double d = value.toDouble();
    if (!std::isfinite(d))
        return 0;
    if (d >= 9.2233720368547758e18)
        return std::numeric_limits<qint64>::max();
    if (d <= -9.2233720368547758e18)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d);
}

QString jsonIntegerText(const QJsonValue &value)
{
    return QString::number(jsonInteger(value));
}
