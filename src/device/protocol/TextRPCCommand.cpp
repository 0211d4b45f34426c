#include "TextRPCCommand.h"

TextRPCCommand::TextRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

QString TextRPCCommand::textUpToZero(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

QByteArray TextRPCCommand::requestPayload() const
{
    return QByteArray();
}

void TextRPCCommand::parsePayload(const QByteArray &payload)
{
    RPCCommand::parsePayload(payload);
    m_text = textUpToZero(payload);
}

QVariant TextRPCCommand::result() const
{
    return m_text;
}
