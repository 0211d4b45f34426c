#pragma once

#include "SimProcess.h"

#include <QJsonObject>

// tamo-devsim as a child process: started in a folder, driven through its
// standard input, observed through its event lines and its files.
class DevsimProcess : public SimProcess
{
public:
    DevsimProcess() : SimProcess(program()) {}

    static QString program() { return QStringLiteral(TAMO_DEVSIM_BIN); }

    // Starts the simulator and waits for its "ready" line.
    bool start(const QString &folder, const QStringList &arguments = QStringList());
    // Whether the simulator accepted a control line.
    bool ok(const QString &line) { return command(line).startsWith(QLatin1String("ok ")); }

    QString folder() const { return m_folder; }
    QJsonObject portFile(const QString &serial) const { return json(serial + QStringLiteral(".port")); }
    QString portOf(const QString &serial) const { return portFile(serial).value(QStringLiteral("port")).toString(); }
    QJsonObject snapshot(const QString &serial) const { return json(serial + QStringLiteral(".json")); }
    QJsonObject identity(const QString &serial) const
    {
        return snapshot(serial).value(QStringLiteral("identity")).toObject();
    }
    // A JSON file of the folder; empty when it is not there.
    QJsonObject json(const QString &name) const;

private:
    QString m_folder;
};
