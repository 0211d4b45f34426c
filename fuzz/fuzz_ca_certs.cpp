// The PEM file named by TAMO_CA_CERTS, read the way a program does at start-up:
// from the file, added to the process's default CA set. After each input the
// default set goes back to what it was, so one input's certificates never
// decide another's outcome.
#include "FuzzSupport.h"

#include "TlsTrust.h"

#include <QFile>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <cstdlib>

using FuzzSupport::keep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("ca.pem"));
    static const QSslConfiguration pristine = QSslConfiguration::defaultConfiguration();

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
        std::abort();
    file.close();

    const int added = TlsTrust::addPemFile(path);
    if (added < 0)
        std::abort();
    keep(added, QSslConfiguration::defaultConfiguration().caCertificates().size());
    QSslConfiguration::setDefaultConfiguration(pristine);
    return 0;
}
