#pragma once

#include "JsonRequest.h"

// GET "tamo_device_usb/upgrade": the current firmware file, without a login.
class GetDfuRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit GetDfuRequest(QObject *parent = nullptr);

    void setFolder(const QString &folder) { m_folder = folder; }
    QString folder() const { return m_folder; }
    QUrl fileUrl() const { return m_fileUrl; }
    // A bare file name: the server's link never chooses a folder.
    QString fileName() const { return m_fileName; }

    QUrl url() const override;
    Method method() const override { return Get; }

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    QUrl m_fileUrl;
    QString m_fileName;
    QString m_folder;
};
