#pragma once

#include "RPCCommand.h"

// Erases all content. The device answers busy while it erases and the runner
// polls until it is done; the outcome never fails the job.
class EraseContentRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit EraseContentRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    int timeoutMs() const override;
    bool isSuccess() const override;
};
