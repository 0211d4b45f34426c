#include "NetworkMetaTypes.h"

#include "ContentsInfo.h"
#include "ImageData.h"
#include "NetworkManager.h"
#include "SlideShowInfo.h"
#include "UrlData.h"
#include "UserInfo.h"
#include "requests/SendUploadStatusRequest.h"

#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QMetaType>
#include <QStringList>

void NetworkMetaTypes::registerAll()
{
    qRegisterMetaType<ImageData>("ImageData");
    qRegisterMetaType<QVector<SlideShowInfo>>("QVector<SlideShowInfo>");
    qRegisterMetaType<NetworkManager::DataType>("NetworkManager::DataType");
    qRegisterMetaType<SendUploadStatusRequest::Status>("SendUploadStatusRequest::Status");
    qRegisterMetaType<UrlData>("UrlData");
    qRegisterMetaType<ContentsInfo>("ContentsInfo");
    qRegisterMetaType<UserInfo *>("UserInfo*");
    // The containers of the facade's signals, for queued connections and spies.
    qRegisterMetaType<QHash<NetworkManager::DataType, QVariant>>("QHash<NetworkManager::DataType,QVariant>");
    qRegisterMetaType<QHash<QString, UrlData>>("QHash<QString,UrlData>");
    qRegisterMetaType<QMap<QDateTime, QString>>("QMap<QDateTime,QString>");
    qRegisterMetaType<QMap<QString, QStringList>>("QMap<QString,QStringList>");
}
