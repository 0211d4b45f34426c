#pragma once

// Registers the cloud client's types that travel in queued signals:
// "ImageData", "QVector<SlideShowInfo>", "NetworkManager::DataType",
// "SendUploadStatusRequest::Status", and the other argument types of the
// facade's signals.
// Safe to call more than once.
class NetworkMetaTypes
{
public:
    static void registerAll();
};
