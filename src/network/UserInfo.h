#pragma once

#include <QDate>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QUrl>

// The cloud's record of one user. Allocated on the heap and passed by pointer;
// whoever receives it owns it (the facade for the logged-in user).
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
