#pragma once

#include <QDate>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QUrl>

// The cloud's record of one user, passed by pointer. The facade owns the
// logged-in user's record; a record looked up by id is lent to the receivers of
// NetworkManager::gotUserInfo for that emission only.
struct UserInfo
{
    QString firstName;
    QString lastName;
    QString fullname;
    QString username;
    QString email;
    QDate dob;
    QString role;
    int id = 0;
    QString companyName;
    int companyId = 0;
    QUrl companyLogo;

    // Fills the fields shared by the login answer and the user lookup; "username"
    // and "companyLogo" are read by their callers only.
    void readCommonFields(const QJsonObject &data);
};

Q_DECLARE_METATYPE(UserInfo *)
