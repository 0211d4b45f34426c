// Passwords and tokens are hidden from every text that may reach a log.
#include "SecretRedactor.h"

#include <QtTest>

class TestNetSecrets : public QObject
{
    Q_OBJECT

private slots:
    void registeredSecretsAreHidden()
    {
        SecretRedactor::addSecret(QStringLiteral("Pa55word!"));
        const QString text = SecretRedactor::redact(QStringLiteral("wrong password Pa55word! for x, Pa55word!"));
        QVERIFY(!text.contains(QStringLiteral("Pa55word!")));
        QCOMPARE(text.count(QLatin1String(SecretRedactor::kMask)), 2);
        SecretRedactor::removeSecret(QStringLiteral("Pa55word!"));
        QVERIFY(SecretRedactor::redact(QStringLiteral("Pa55word!")).contains(QStringLiteral("Pa55word!")));
    }

    void shortSecretsLeaveWordsAlone()
    {
        SecretRedactor::addSecret(QStringLiteral("x"));
        QCOMPARE(SecretRedactor::redact(QStringLiteral("User doesn't exist; password x, \"x\".")),
                 QStringLiteral("User doesn't exist; password <hidden>, \"<hidden>\"."));
        SecretRedactor::addSecret(QStringLiteral("p@ss"));
        QCOMPARE(SecretRedactor::redact(QStringLiteral("p@ss,(p@ss) p@ssword")),
                 QStringLiteral("<hidden>,(<hidden>) p@ssword"));
        SecretRedactor::removeSecret(QStringLiteral("x"));
        SecretRedactor::removeSecret(QStringLiteral("p@ss"));
    }

    void anythingShapedLikeATokenIsHidden()
    {
        const QString jwt = QStringLiteral("eyJhbGciOiJIUzI1NiJ9.eyJpYXQiOjF9.abc-_def");
        const QString text = SecretRedactor::redact(QStringLiteral("token ") + jwt + QStringLiteral(" expired"));
        QCOMPARE(text, QStringLiteral("token <hidden> expired"));
    }

    void longerSecretsWinOverTheirParts()
    {
        SecretRedactor::addSecret(QStringLiteral("abc"));
        SecretRedactor::addSecret(QStringLiteral("xxabcxx"));
        QCOMPARE(SecretRedactor::redact(QStringLiteral("1 xxabcxx 2")), QStringLiteral("1 <hidden> 2"));
        QVERIFY(SecretRedactor::redact(QString()).isEmpty());
        SecretRedactor::addSecret(QString()); // an empty secret would hide nothing and everything
        QCOMPARE(SecretRedactor::redact(QStringLiteral("plain")), QStringLiteral("plain"));
    }
};

QTEST_GUILESS_MAIN(TestNetSecrets)
#include "tst_net_secrets.moc"
