#pragma once

#include "JsonRequest.h"

#include <memory>

struct UserInfo;

// GET "user/<id>": another user's record, e.g. a device's owner.
class UserInfoRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit UserInfoRequest(QObject *parent = nullptr);
    ~UserInfoRequest() override;

    void setMacAddress(const QString &mac) { m_macAddress = mac; }
    QString macAddress() const { return m_macAddress; }
    void setUserId(int id) { m_userId = id; }
    int userId() const { return m_userId; }

    QUrl url() const override;
    Method method() const override { return Get; }

    // The record (empty fields until a successful answer); still owned by the request.
    const UserInfo *record() const { return m_record.get(); }
    // Hands the record over to the caller; the request keeps none afterwards.
    UserInfo *takeRecord();

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    QString m_macAddress;
    int m_userId = 0;
    std::unique_ptr<UserInfo> m_record;
};
