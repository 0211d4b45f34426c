#pragma once

#include "RPCCommand.h"

// A reading command whose answer is text: UTF-8 up to the first zero byte.
class TextRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit TextRPCCommand(QObject *parent = nullptr);

    static QString textUpToZero(const QByteArray &bytes);

    QByteArray requestPayload() const override;
    void parsePayload(const QByteArray &payload) override;
    QVariant result() const override;

private:
    QVariant m_text;
};
