#include "UserInfo.h"

#include <QDateTime>

void UserInfo::readCommonFields(const QJsonObject &data)
{
    firstName = data.value(QStringLiteral("firstName")).toString();
    lastName = data.value(QStringLiteral("lastName")).toString();
    fullname = data.value(QStringLiteral("fullname")).toString();
    companyId = data.value(QStringLiteral("companyId")).toInt();
    email = data.value(QStringLiteral("email")).toString();
    dob = QDateTime::fromString(data.value(QStringLiteral("dob")).toString(), Qt::ISODateWithMs).date();
    role = data.value(QStringLiteral("role")).toString();
    id = data.value(QStringLiteral("id")).toInt();
}
