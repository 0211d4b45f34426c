#include "UserInfoRequest.h"

#include "UserInfo.h"

UserInfoRequest::UserInfoRequest(QObject *parent)
    : JsonRequest(parent)
    , m_record(std::make_unique<UserInfo>())
{
    setNeedsAuthorization(true);
}

UserInfoRequest::~UserInfoRequest() = default;

QUrl UserInfoRequest::url() const
{
    return apiUrl(QStringLiteral("user/") + QString::number(m_userId));
}

UserInfo *UserInfoRequest::takeRecord()
{
    return m_record.release();
}

void UserInfoRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    const QJsonObject d = jsonObject().value(QStringLiteral("data")).toObject();
    if (d.isEmpty() || !m_record)
        return;
    m_record->readCommonFields(d);
    m_record->username = d.value(QStringLiteral("username")).toString();
}
