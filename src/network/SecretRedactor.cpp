#include "SecretRedactor.h"

#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

// Old tokens stay listed for a while: a late error text may still quote them.
constexpr int kMaxSecrets = 16;

struct Store {
    QMutex mutex;
    QStringList secrets; // newest last
};

Store &store()
{
    static Store s;
    return s;
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Masks the occurrences of secret that stand on their own: a short password such
// as "x" must not eat the letters of ordinary words ("exist").
QString maskWhole(const QString &text, const QString &secret)
{
    QString out;
    int from = 0;
    for (int at = text.indexOf(secret); at >= 0; at = text.indexOf(secret, at + 1)) {
        if (at < from)
            continue;
        const int end = at + secret.size();
        const bool startsFree = at == 0 || !isWordChar(secret.front()) || !isWordChar(text.at(at - 1));
        const bool endsFree = end == text.size() || !isWordChar(secret.back()) || !isWordChar(text.at(end));
        if (!startsFree || !endsFree)
            continue;
        out += text.midRef(from, at - from);
        out += QLatin1String(SecretRedactor::kMask);
        from = end;
    }
    out += text.midRef(from);
    return out;
}

} // namespace

void SecretRedactor::addSecret(const QString &secret)
{
    if (secret.isEmpty())
        return;
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.secrets.removeAll(secret);
    s.secrets.append(secret);
    while (s.secrets.size() > kMaxSecrets)
        s.secrets.removeFirst();
}

void SecretRedactor::removeSecret(const QString &secret)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.secrets.removeAll(secret);
}

QString SecretRedactor::redact(const QString &text)
{
    if (text.isEmpty())
        return text;
    static const QRegularExpression jwt(
        QStringLiteral("eyJ[A-Za-z0-9_-]+\\.[A-Za-z0-9_-]+\\.[A-Za-z0-9_-]*"));
    QString result = text;
    {
        Store &s = store();
        QMutexLocker lock(&s.mutex);
        // Longest first, so a secret that contains another is hidden whole.
        QStringList secrets = s.secrets;
        std::sort(secrets.begin(), secrets.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        for (const QString &secret : secrets)
            result = maskWhole(result, secret);
    }
    result.replace(jwt, QLatin1String(kMask));
    return result;
}
