#include "DeviceIdentity.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

QString DeviceIdentity::macText() const
{
    QStringList parts;
    for (const char b : mac)
        parts << QStringLiteral("%1").arg(static_cast<quint8>(b), 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(':'));
}

QString DeviceIdentity::consoleMac() const
{
    QStringList parts;
    for (const char b : mac)
        parts << QStringLiteral("0x") + QString::number(static_cast<quint8>(b), 16).toUpper();
    return parts.join(QLatin1Char(' '));
}

QByteArray DeviceIdentity::macOnWire() const
{
    QByteArray wire = mac;
    std::reverse(wire.begin(), wire.end());
    return wire;
}

bool DeviceIdentity::parseMac(const QString &text, QByteArray *out)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9A-Fa-f]{2})[:-]([0-9A-Fa-f]{2})[:-]([0-9A-Fa-f]{2})[:-]"
                       "([0-9A-Fa-f]{2})[:-]([0-9A-Fa-f]{2})[:-]([0-9A-Fa-f]{2})$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return false;
    QByteArray mac;
    for (int i = 1; i <= 6; ++i)
        mac.append(static_cast<char>(match.captured(i).toUInt(nullptr, 16)));
    *out = mac;
    return true;
}

QByteArray DeviceIdentity::macPlus(const QByteArray &mac, int steps)
{
    QByteArray result = mac;
    quint64 carry = static_cast<quint64>(steps);
    for (int i = result.size() - 1; i >= 0 && carry; --i) {
        const quint64 sum = static_cast<quint8>(result.at(i)) + carry;
        result[i] = static_cast<char>(sum & 0xFF);
        carry = sum >> 8;
    }
    return result;
}

QJsonObject DeviceIdentity::toJson() const
{
    return QJsonObject{
        {QStringLiteral("name"), name},
        {QStringLiteral("mac"), macText()},
        {QStringLiteral("firmwareVersion"), firmwareVersion},
        {QStringLiteral("boardId"), boardId},
        {QStringLiteral("deviceSerial"), deviceSerial},
        {QStringLiteral("plantNumber"), plantNumber},
        {QStringLiteral("brightness"), brightness},
        {QStringLiteral("dimLevel"), dimLevel},
        {QStringLiteral("battery"), battery},
    };
}
