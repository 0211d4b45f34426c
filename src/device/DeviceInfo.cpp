#include "DeviceInfo.h"

#include <QSharedData>

class DeviceInfoData : public QSharedData
{
public:
    QHash<int, QVariant> fields;
};

DeviceInfo::DeviceInfo()
    : d(new DeviceInfoData)
{
}

DeviceInfo::DeviceInfo(const DeviceInfo &other) = default;
DeviceInfo &DeviceInfo::operator=(const DeviceInfo &other) = default;
DeviceInfo::~DeviceInfo() = default;

QVariant DeviceInfo::value(int key) const
{
    return d->fields.value(key);
}

void DeviceInfo::setValue(int key, const QVariant &value)
{
    d->fields.insert(key, value); // the non-const access detaches a shared body first
}

bool DeviceInfo::isEmpty() const
{
    return d->fields.isEmpty();
}

bool DeviceInfo::isSameDevice(const DeviceInfo &other) const
{
    return value(SerialNumber) == other.value(SerialNumber);
}

void DeviceInfo::registerMetaTypes()
{
    qRegisterMetaType<DeviceInfo>("DeviceInfo");
    qRegisterMetaType<QVector<DeviceInfo>>("QVector<DeviceInfo>");
    qRegisterMetaType<DeviceInfo::CurrentStatus>("DeviceInfo::CurrentStatus");
}
