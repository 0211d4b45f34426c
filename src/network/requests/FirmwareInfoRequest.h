#pragma once

#include "JsonRequest.h"

// GET "setting/platform": the lowest firmware version the platform accepts.
class FirmwareInfoRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit FirmwareInfoRequest(QObject *parent = nullptr);

    QString minFwVersion() const { return m_minFwVersion; }

    QUrl url() const override;
    Method method() const override { return Get; }

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    QString m_minFwVersion;
};
