#pragma once

#include "RPCCommand.h"

// Restarts the device into its boot loader. The restart may cut the link before
// any answer, so silence counts as success; an answer that does come is judged
// like any other.
class OpenDfuRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit OpenDfuRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    bool isComplete(const QByteArray &answer) const override;
    void processResponse(const QByteArray &answer) override;
    int timeoutMs() const override;
    int delayMs() const override;
};
