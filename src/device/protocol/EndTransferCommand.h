#pragma once

#include "BaseCommand.h"

// Ends a transfer in the device's plain dialect (identifier 5, answered with three
// bytes). Kept for completeness of the command family; no job sends it.
class EndTransferCommand : public BaseCommand
{
    Q_OBJECT

public:
    // `value` is sent only for a slideshow (type 2).
    EndTransferCommand(quint8 contentType, const QByteArray &id, quint16 value = 0,
                       QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    int resultKey() const override;
    QVariant result() const override;

private:
    const quint8 m_contentType;
    const QByteArray m_id;
    const quint16 m_value;
};
