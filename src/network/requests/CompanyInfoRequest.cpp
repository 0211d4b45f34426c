#include "CompanyInfoRequest.h"

CompanyInfoRequest::CompanyInfoRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(true);
}

QUrl CompanyInfoRequest::url() const
{
    return apiUrl(QStringLiteral("company/") + QString::number(m_companyId));
}

QString CompanyInfoRequest::title() const
{
    return jsonObject().value(QStringLiteral("data")).toObject().value(QStringLiteral("title")).toString();
}
