#include "DfuState.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cerrno>
#include <csignal>
#include <sys/types.h>

QString DfuState::statePath(const QString &folder, const QString &serial)
{
    return QDir(folder).filePath(serial + QStringLiteral(".dfu"));
}

QString DfuState::flashPath(const QString &folder, const QString &serial)
{
    return QDir(folder).filePath(serial + QStringLiteral(".flash"));
}

QVector<DfuState> DfuState::list(const QString &folder)
{
    QVector<DfuState> states;
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.dfu")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        DfuState state;
        if (read(QDir(folder).filePath(name), &state))
            states.append(state);
    }
    return states;
}

bool DfuState::read(const QString &path, DfuState *state, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonObject o = document.object();
    if (parseError.error != QJsonParseError::NoError || !o.value(QStringLiteral("serialNumber")).isString()) {
        if (error)
            *error = QStringLiteral("malformed DFU state file");
        return false;
    }
    state->serialNumber = o.value(QStringLiteral("serialNumber")).toString();
    state->vendorId = static_cast<quint16>(o.value(QStringLiteral("vendorId")).toInt(0x0483));
    state->productId = static_cast<quint16>(o.value(QStringLiteral("productId")).toInt(0xDF11));
    state->state = o.value(QStringLiteral("state")).toString(QStringLiteral("dfuIDLE"));
    state->firmwareVersion = o.value(QStringLiteral("firmwareVersion")).toString();
    state->firmwareValid = o.value(QStringLiteral("firmwareValid")).toBool(false);
    state->simulatorPid = static_cast<qint64>(o.value(QStringLiteral("simulatorPid")).toDouble(0));
    return true;
}

bool DfuState::write(const QString &folder, QString *error) const
{
    const QJsonObject o{
        {QStringLiteral("serialNumber"), serialNumber},
        {QStringLiteral("vendorId"), vendorId},
        {QStringLiteral("productId"), productId},
        {QStringLiteral("state"), state},
        {QStringLiteral("firmwareVersion"), firmwareVersion},
        {QStringLiteral("firmwareValid"), firmwareValid},
        {QStringLiteral("simulatorPid"), static_cast<double>(simulatorPid)},
    };
    QSaveFile file(statePath(folder, serialNumber));
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(o).toJson());
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool DfuState::ownerAlive() const
{
    if (simulatorPid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(simulatorPid), 0) == 0 || errno == EPERM;
}
