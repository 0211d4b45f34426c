#pragma once

#include "JsonRequest.h"

struct UserInfo;

// POST "signin/": delivers the tokens and the operator's own user record.
class LoginRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit LoginRequest(QObject *parent = nullptr);

    void setEmail(const QString &email) { m_email = email; }
    QString email() const { return m_email; }
    void setPassword(const QString &password) { m_password = password; }

    QUrl url() const override;
    QByteArray body() const override;

    QByteArray authToken() const;
    QByteArray refreshToken() const;
    // A new record built from the answer (the caller owns it), or null when the
    // answer has no "data".
    UserInfo *userRecord() const;

    // The operator's wording of the server's refusals.
    static QString loginErrorText(const QString &serverText);

protected:
    void parseError(const QByteArray &data) override;

private:
    QJsonObject data() const;

    QString m_email;
    QString m_password;
};
