#include "GetInstallerRequest.h"

#include <QJsonArray>

GetInstallerRequest::GetInstallerRequest(int type, QObject *parent)
    : FirmwareLookupRequest(parent)
    , m_type(type)
{
    setNeedsAuthorization(true);
}

QString GetInstallerRequest::typeText(int type)
{
    switch (type) {
    case Pc:
        return QStringLiteral("pc");
    case Mac:
        return QStringLiteral("mac");
    case UpgradeTool:
        return QStringLiteral("upgrate tool");
    case Dfu:
        return QStringLiteral("dfu");
    default:
        return QString();
    }
}

QUrl GetInstallerRequest::url() const
{
    return apiUrl(QStringLiteral("installation?type=") + typeText(m_type));
}

void GetInstallerRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    const QJsonArray installers = jsonObject().value(QStringLiteral("data")).toArray();
    for (const QJsonValue &value : installers) {
        const QJsonObject installer = value.toObject();
        if (!installer.value(QStringLiteral("active")).toBool())
            continue;
        const QJsonObject link = installer.value(QStringLiteral("link")).toObject();
        setFile(link.value(QStringLiteral("link")).toString(), link.value(QStringLiteral("signature")).toString(),
                installer.value(QStringLiteral("name")).toString());
        return;
    }
}
