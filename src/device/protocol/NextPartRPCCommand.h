#pragma once

#include "RPCCommand.h"

// Identifier 5 in its two roles:
//  - upload mode: one slice of content (at most 48 bytes) after a transfer header;
//    the device accepts with status 0 or 5;
//  - read mode: fetches the next part of a multi-part answer for the command that
//    created it, hands every accepted part to that command and asks again while
//    the device answers 5.
class NextPartRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    static constexpr int kPartSize = 48;

    // In read mode `asking` is the command whose answer is continued; it owns
    // this one.
    NextPartRPCCommand(const QByteArray &data, bool uploadMode, RPCCommand *asking = nullptr);
    RPCCommand *askingCommand() const;

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    void processResponse(const QByteArray &answer) override;
    bool isSuccess() const override;
    bool hasNextPart() const override;

    bool isUploadMode() const;

private:
    const QByteArray m_data;
    const bool m_uploadMode;
    RPCCommand *const m_asking;
};
