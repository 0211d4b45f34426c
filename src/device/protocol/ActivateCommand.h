#pragma once

#include "RPCCommand.h"

// Makes one stored content the device's default; the payload is its 8-byte
// identifier, built by the caller.
class ActivateCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit ActivateCommand(const QByteArray &contentId, QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;

private:
    const QByteArray m_contentId;
};
