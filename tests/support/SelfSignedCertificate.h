#pragma once

#include <QDebug>
#include <QProcess>
#include <QString>

// A throw-away certificate for a loopback HTTPS server, made by the openssl
// command: NAME.crt and NAME.key in `folder`, valid for `host` (localhost: and
// for 127.0.0.1).
inline bool makeSelfSignedCertificate(const QString &folder, const QString &name = QStringLiteral("localhost"),
                                      const QString &host = QStringLiteral("localhost"))
{
    const QString altNames = QStringLiteral("DNS:") + host
        + (host == QLatin1String("localhost") ? QStringLiteral(",IP:127.0.0.1") : QString());
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days",
                   "2", "-subj", "/CN=" + host, "-addext", "subjectAltName=" + altNames, "-keyout",
                   folder + QLatin1Char('/') + name + QStringLiteral(".key"), "-out",
                   folder + QLatin1Char('/') + name + QStringLiteral(".crt")});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
        qWarning() << "openssl failed:" << openssl.readAllStandardError();
        return false;
    }
    return true;
}
