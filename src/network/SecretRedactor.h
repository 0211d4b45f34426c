#pragma once

#include <QString>

// Keeps passwords and tokens out of log lines and error texts: texts that may
// carry server words pass through redact() before they are logged or handed on.
// A registered secret is hidden wherever it stands on its own (not inside a longer
// word); besides, anything shaped like a JSON Web Token is hidden, so a token
// echoed by a server never reaches a log.
class SecretRedactor
{
public:
    static constexpr const char *kMask = "<hidden>";

    static void addSecret(const QString &secret);
    static void removeSecret(const QString &secret);
    static QString redact(const QString &text);
};
