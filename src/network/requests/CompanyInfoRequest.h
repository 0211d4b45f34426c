#pragma once

#include "JsonRequest.h"

// GET "company/<id>": the company's title.
class CompanyInfoRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit CompanyInfoRequest(QObject *parent = nullptr);

    void setCompanyId(int id) { m_companyId = id; }
    int companyId() const { return m_companyId; }

    QUrl url() const override;
    Method method() const override { return Get; }

    QString title() const;

private:
    int m_companyId = 0;
};
