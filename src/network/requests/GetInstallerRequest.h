#pragma once

#include "JsonRequest.h"

// GET "installation?type=...": the active installer of a kind (the facade asks
// for the firmware file, code 3).
class GetInstallerRequest : public JsonRequest
{
    Q_OBJECT

public:
    enum Type {
        Pc = 0,
        Mac = 1,
        UpgradeTool = 2,
        Dfu = 3,
    };

    explicit GetInstallerRequest(int type, QObject *parent = nullptr);

    // "pc", "mac", "upgrate tool", "dfu"; empty for any other code.
    static QString typeText(int type);

    void setFolder(const QString &folder) { m_folder = folder; }
    QString folder() const { return m_folder; }
    int type() const { return m_type; }
    QUrl fileUrl() const { return m_fileUrl; }
    // A bare file name: the server's "name" never chooses a folder.
    QString fileName() const { return m_fileName; }

    QUrl url() const override;
    Method method() const override { return Get; }

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    int m_type = Dfu;
    QString m_folder;
    QString m_fileName;
    QUrl m_fileUrl;
};
