#pragma once

#include "RPCCommand.h"

#include <QStringList>

// A listing of content identifiers: the payload is a run of 8-byte little-endian
// identifiers, possibly spread over several answers.
class IdListRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit IdListRPCCommand(QObject *parent = nullptr);

    QByteArray requestPayload() const override;
    void parsePayload(const QByteArray &payload) override;
    QVariant result() const override;

private:
    QVariant m_ids;
};
