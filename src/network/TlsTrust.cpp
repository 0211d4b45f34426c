#include "TlsTrust.h"

#include <QDebug>
#include <QFile>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

int TlsTrust::installFromEnvironment()
{
    static QSet<QString> installed; // GUI thread only
    const QString path = qEnvironmentVariable(kEnvironmentVariable);
    if (path.isEmpty() || installed.contains(path))
        return 0;
    installed.insert(path);
    return addPemFile(path);
}

int TlsTrust::addPemFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << QStringLiteral("Cannot read the CA certificates in %1: %2")
                                    .arg(path, file.errorString());
        return 0;
    }
    const QList<QSslCertificate> extra = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (extra.isEmpty()) {
        qWarning().noquote() << QStringLiteral("No PEM certificate found in %1").arg(path);
        return 0;
    }
    if (!QSslSocket::supportsSsl()) {
        qWarning().noquote() << QStringLiteral("TLS is not available; %1 is ignored").arg(path);
        return 0;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    // Setting a CA list ends the on-demand loading of the system's roots, so the
    // system's roots are listed explicitly: the extra file adds trust, it never
    // replaces it.
    // The system's roots are some hundred files, read once per process; a set
    // keeps the merge linear in the number of certificates.
    static const QList<QSslCertificate> systemRoots = QSslConfiguration::systemCaCertificates();
    QList<QSslCertificate> all = config.caCertificates();
    QSet<QSslCertificate> known(all.cbegin(), all.cend());
    for (const QSslCertificate &cert : systemRoots) {
        if (!known.contains(cert)) {
            known.insert(cert);
            all.append(cert);
        }
    }
    int added = 0;
    for (const QSslCertificate &cert : extra) {
        if (!known.contains(cert)) {
            known.insert(cert);
            all.append(cert);
            ++added;
        }
    }
    config.setCaCertificates(all);
    QSslConfiguration::setDefaultConfiguration(config);
    qInfo().noquote() << QStringLiteral("Trusting %1 extra CA certificate(s) from %2").arg(added).arg(path);
    return added;
}
