#pragma once

#include "FirmwareLookupRequest.h"

// GET "installation?type=...": the active installer of a kind (the facade asks
// for the firmware file, code 3).
class GetInstallerRequest : public FirmwareLookupRequest
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

    int type() const { return m_type; }

    QUrl url() const override;

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    int m_type = Dfu;
};
