#include "PortEnumerator.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSerialPortInfo>
#include <QHash>

namespace {

bool readId(const QJsonObject &object, const QString &key, quint16 &id, bool &present,
            QString &error)
{
    present = false;
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    qint64 number = -1;
    if (value.isDouble()) {
        const double d = value.toDouble();
        // Only a value in range may be converted: a huge one (1e31) has no integer.
        if (d >= 0 && d <= 0xFFFF && d == static_cast<double>(static_cast<qint64>(d)))
            number = static_cast<qint64>(d);
    } else if (value.isString()) {
        bool ok = false;
        const QString text = value.toString().trimmed();
        number = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
            ? text.mid(2).toLongLong(&ok, 16)
            : text.toLongLong(&ok, 10);
        if (!ok)
            number = -1;
    }
    if (number < 0 || number > 0xFFFF) {
        error = QStringLiteral("\"%1\" is not a 16-bit identifier").arg(key);
        return false;
    }
    id = static_cast<quint16>(number);
    present = true;
    return true;
}

// Whether the text, outside its string literals, opens a second object or an
// array. A description is one flat object; the framework's parser loses memory
// when a member named twice held an object or array, and a description is read
// again on every poll.
bool nestsValues(const QByteArray &json)
{
    bool inString = false;
    bool escaped = false;
    int objects = 0;
    for (const char c : json) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || (c == '{' && ++objects > 1)) {
            return true;
        }
    }
    return false;
}

// A malformed file is reported once per version, not on every poll. What is
// remembered is each folder's malformed files as of its latest listing (path ->
// the version warned about), so an entry goes with its file.
QMutex warnedMutex;
QHash<QString, QHash<QString, QString>> warnedFiles;

QString versionOf(const QFileInfo &file)
{
    return QString::number(file.lastModified().toMSecsSinceEpoch()) + QLatin1Char('/') + QString::number(file.size());
}

QString warnedVersion(const QString &folder, const QString &path)
{
    QMutexLocker lock(&warnedMutex);
    return warnedFiles.value(folder).value(path);
}

void rememberMalformed(const QString &folder, const QHash<QString, QString> &files)
{
    QMutexLocker lock(&warnedMutex);
    if (files.isEmpty())
        warnedFiles.remove(folder);
    else
        warnedFiles.insert(folder, files);
}

} // namespace

SerialPortFacts PortEnumerator::parseDescription(const QByteArray &json, QString *error)
{
    QString why;
    SerialPortFacts facts;
    QJsonParseError parseError;
    const bool nested = nestsValues(json);
    const QJsonDocument document = nested ? QJsonDocument() : QJsonDocument::fromJson(json, &parseError);
    if (nested) {
        why = QStringLiteral("not a flat JSON object");
    } else if (parseError.error != QJsonParseError::NoError) {
        why = parseError.errorString();
    } else if (!document.isObject()) {
        why = QStringLiteral("not a JSON object");
    } else {
        const QJsonObject object = document.object();
        const QJsonValue port = object.value(QStringLiteral("port"));
        const QJsonValue serial = object.value(QStringLiteral("serialNumber"));
        if (!port.isString() || port.toString().isEmpty())
            why = QStringLiteral("\"port\" must be a non-empty text");
        else if (!serial.isString())
            why = QStringLiteral("\"serialNumber\" must be a text");
        else if (readId(object, QStringLiteral("vendorId"), facts.vendorId, facts.hasVendorId, why)
                 && readId(object, QStringLiteral("productId"), facts.productId,
                           facts.hasProductId, why)) {
            facts.portName = port.toString();
            facts.serialNumber = serial.toString();
            facts.description = object.value(QStringLiteral("description")).toString();
            facts.simulated = true;
        }
    }
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return SerialPortFacts();
    }
    return facts;
}

QString PortEnumerator::simulatedPortsFolder()
{
    return qEnvironmentVariable("TAMO_SIM_DIR");
}

QVector<SerialPortFacts> PortEnumerator::simulatedPorts(const QString &folder)
{
    QVector<SerialPortFacts> ports;
    if (folder.isEmpty())
        return ports;
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.port")},
                                                          QDir::Files, QDir::Name);
    QHash<QString, QString> malformed;
    for (const QFileInfo &info : files) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue; // removed between listing and reading: simply gone
        QString why;
        const SerialPortFacts facts = parseDescription(file.readAll(), &why);
        if (facts.isNull()) {
            const QString version = versionOf(info);
            if (warnedVersion(folder, info.filePath()) != version)
                qWarning("Skipping simulated port file '%s': %s",
                         qUtf8Printable(info.filePath()), qUtf8Printable(why));
            malformed.insert(info.filePath(), version);
            continue;
        }
        ports.append(facts);
    }
    rememberMalformed(folder, malformed);
    return ports;
}

QVector<SerialPortFacts> PortEnumerator::availablePorts()
{
    return systemPorts() + simulatedPorts(simulatedPortsFolder());
}

QVector<SerialPortFacts> PortEnumerator::systemPorts()
{
    QVector<SerialPortFacts> ports;
    const QList<QSerialPortInfo> system = QSerialPortInfo::availablePorts();
    ports.reserve(system.size());
    for (const QSerialPortInfo &info : system) {
        if (info.isNull())
            continue;
        SerialPortFacts facts;
        facts.portName = info.portName();
        facts.serialNumber = info.serialNumber();
        facts.description = info.description();
        facts.hasVendorId = info.hasVendorIdentifier();
        facts.hasProductId = info.hasProductIdentifier();
        facts.vendorId = info.vendorIdentifier();
        facts.productId = info.productIdentifier();
        ports.append(facts);
    }
    return ports;
}
