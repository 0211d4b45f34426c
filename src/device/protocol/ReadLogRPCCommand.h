#pragma once

#include "RPCCommand.h"

// Reads the device's log: lines separated by zero bytes, often longer than one
// answer.
class ReadLogRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit ReadLogRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    void parsePayload(const QByteArray &payload) override;
    int resultKey() const override;
    QVariant result() const override;
    int delayMs() const override;

private:
    QVariant m_lines;
};
