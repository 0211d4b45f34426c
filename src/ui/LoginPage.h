#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRegularExpression;

// The first page: e-mail and password with their checks, the "Forgot
// Password?" link to the business portal, and the way into the express
// firmware upgrade that needs no login.
class LoginPage : public QWidget
{
    Q_OBJECT

public:
    static const QString InvalidEmailText;  // "Invalid email address."
    static const QString ShortPasswordText; // "Password is to short."
    static constexpr int kMinPasswordLength = 4;

    explicit LoginPage(QWidget *parent = nullptr);

    static const QRegularExpression &emailPattern();
    static bool isValidEmail(const QString &trimmedEmail);

    // The eye, both fields, the login and the express buttons together.
    void setInputsEnabled(bool enabled);
    // Empties both fields and puts the focus in the e-mail field.
    void clearInputs();

signals:
    void loginClicked(QString user, QString password);
    void errorOccurred(QString errMessage);
    void dfuTriggered();

public slots:
    void slotLoginClicked();
    void slotShowPass(int state);

private:
    QWidget *buildLoginPanel();
    QWidget *buildExpressPanel();

    QLineEdit *m_email = nullptr;
    QLineEdit *m_password = nullptr;
    QCheckBox *m_showPass = nullptr;
    QPushButton *m_loginButton = nullptr;
    QPushButton *m_fwButton = nullptr;
};
