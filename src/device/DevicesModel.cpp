#include "DevicesModel.h"

#include <QSet>

namespace {

// Role 256 + i serves kRoleKeys[i].
constexpr int kRoleKeys[] = {0, 1, 2, 3, 5, 4, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17, 16, 18, 19, 20, 21};
constexpr int kRoleCount = sizeof kRoleKeys / sizeof kRoleKeys[0];

QString serialOf(const DeviceInfo &info)
{
    return info.value(DeviceInfo::SerialNumber).toString();
}

} // namespace

DevicesModel::DevicesModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

int DevicesModel::keyForRole(int role)
{
    const int i = role - SerialNumberRole;
    return i >= 0 && i < kRoleCount ? kRoleKeys[i] : -1;
}

int DevicesModel::roleForKey(int key)
{
    for (int i = 0; i < kRoleCount; ++i)
        if (kRoleKeys[i] == key)
            return SerialNumberRole + i;
    return -1;
}

QString DevicesModel::statusText(int status)
{
    switch (status) {
    case DeviceInfo::Connected: return tr("Connected");
    case DeviceInfo::Transferring: return tr("Transferring");
    case DeviceInfo::DeletingContent: return tr("Deleting content");
    case DeviceInfo::UpgradingFirmware: return tr("Upgrading device firmware");
    case DeviceInfo::Error: return tr("Error");
    case DeviceInfo::Restarting: return tr("Restarting");
    case DeviceInfo::WaitingForFirmware: return tr("Waiting for firmware");
    default: return QString();
    }
}

QString DevicesModel::spokenText(const DeviceInfo &info)
{
    QStringList parts;
    const QString name = info.value(DeviceInfo::Name).toString();
    parts << (name.isEmpty() ? tr("Device %1").arg(serialOf(info)) : name);
    const int status = info.value(DeviceInfo::Status).toInt();
    parts << tr("status: %1").arg(statusText(status).toLower());
    const QVariant done = info.value(DeviceInfo::JobDone);
    const int total = info.value(DeviceInfo::JobTotal).toInt();
    if (done.isValid() && total > 0)
        parts << (status == DeviceInfo::UpgradingFirmware
                      ? tr("firmware download %1%").arg(done.toInt() * 100 / total)
                      : tr("%1 of %2 items sent").arg(done.toInt()).arg(total));
    const QString error = info.value(DeviceInfo::LastError).toString();
    if (!error.isEmpty())
        parts << tr("last error: %1").arg(error);
    return parts.join(QStringLiteral(", "));
}

QModelIndex DevicesModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || row >= m_rows.size())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex DevicesModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

int DevicesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int DevicesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant DevicesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_rows.size())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        role = NameRole;
        break;
    case Qt::DecorationRole:
        return m_decoration;
    case Qt::FontRole:
        return m_font;
    case Qt::AccessibleTextRole:
        return spokenText(m_rows.at(index.row()));
    default:
        break;
    }
    const int key = keyForRole(role);
    return key < 0 ? QVariant() : m_rows.at(index.row()).value(key);
}

const QVector<DeviceInfo> &DevicesModel::devices() const
{
    return m_rows;
}

DeviceInfo DevicesModel::device(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : DeviceInfo();
}

void DevicesModel::addDevices(const QVector<DeviceInfo> &devices)
{
    QVector<DeviceInfo> fresh;
    QSet<QString> taken;
    for (const DeviceInfo &info : devices) {
        const QString serial = serialOf(info);
        // The device is back after an upgrade: the fresh record takes the kept
        // row's place, so the list does not reorder under the operator's eyes.
        if (m_keptWhileUpgrading.remove(serial) > 0) {
            const int row = findRow(DeviceInfo::SerialNumber, info.value(DeviceInfo::SerialNumber));
            if (row >= 0 && !taken.contains(serial)) {
                m_rows[row] = info;
                taken.insert(serial);
                emit dataChanged(index(row, 0), index(row, 0));
                continue;
            }
        }
        if (taken.contains(serial) || findRow(DeviceInfo::SerialNumber, info.value(DeviceInfo::SerialNumber)) >= 0)
            continue;
        taken.insert(serial);
        fresh.append(info);
    }
    if (fresh.isEmpty())
        return;
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size() + fresh.size() - 1);
    m_rows += fresh;
    endInsertRows();
}

void DevicesModel::removeDevice(const QString &serialNumber)
{
    const int row = findRow(DeviceInfo::SerialNumber, serialNumber);
    if (row < 0)
        return;
    const DeviceInfo &info = m_rows.at(row);
    if (info.value(DeviceInfo::Status).toInt() == DeviceInfo::UpgradingFirmware) {
        // The device drops off the bus while it is flashed; keep showing it.
        m_keptWhileUpgrading.insert(serialNumber, info);
        return;
    }
    m_keptWhileUpgrading.remove(serialNumber);
    dropRow(row);
}

void DevicesModel::removeDevices(const QVector<QString> &serialNumbers)
{
    for (const QString &serial : serialNumbers)
        removeDevice(serial);
}

int DevicesModel::findRow(int key, const QVariant &value) const
{
    for (int row = 0; row < m_rows.size(); ++row)
        if (m_rows.at(row).value(key) == value)
            return row;
    return -1;
}

QVariant DevicesModel::findValue(int searchRole, const QVariant &searchValue, int wantedRole) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        const QModelIndex idx = createIndex(row, 0);
        if (data(idx, searchRole) == searchValue)
            return data(idx, wantedRole);
    }
    return QVariant();
}

void DevicesModel::setValue(int searchKey, const QVariant &searchValue, int key, const QVariant &value)
{
    const int row = findRow(searchKey, searchValue);
    if (row < 0)
        return;
    if (m_rows.at(row).value(key) != value) {
        m_rows[row].setValue(key, value);
        const QModelIndex idx = createIndex(row, 0);
        const int role = roleForKey(key);
        emit dataChanged(idx, idx, role < 0 ? QVector<int>() : QVector<int>{role});
    }
    if (key == DeviceInfo::Status && value.toInt() == DeviceInfo::UpgradingFirmware) {
        const QString serial = serialOf(m_rows.at(row));
        if (m_keptWhileUpgrading.remove(serial) > 0) {
            // A stale row of the same device, other than the one just written.
            for (int other = m_rows.size() - 1; other >= 0; --other)
                if (other != row && serialOf(m_rows.at(other)) == serial) {
                    dropRow(other);
                    break;
                }
        }
    }
}

void DevicesModel::clear()
{
    m_keptWhileUpgrading.clear();
    if (m_rows.isEmpty())
        return;
    beginRemoveRows(QModelIndex(), 0, m_rows.size() - 1);
    m_rows.clear();
    endRemoveRows();
}

QList<QString> DevicesModel::keptSerialNumbers() const
{
    return m_keptWhileUpgrading.keys();
}

void DevicesModel::setDecoration(const QVariant &picture)
{
    m_decoration = picture;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows.size() - 1, 0), {Qt::DecorationRole});
}

void DevicesModel::setFont(const QVariant &font)
{
    m_font = font;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows.size() - 1, 0), {Qt::FontRole});
}

void DevicesModel::dropRow(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.remove(row);
    endRemoveRows();
}
