#include "UrlData.h"

QString UrlData::signedLink() const
{
    return link + QLatin1Char('?') + signature;
}
