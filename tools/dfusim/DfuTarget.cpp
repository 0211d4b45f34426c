#include "DfuTarget.h"

#include "FirmwareImage.h"
#include "FolderLock.h"

#include <QFile>
#include <QSaveFile>

QVector<DfuState> DfuTarget::available(const QString &folder)
{
    QVector<DfuState> present;
    if (folder.isEmpty())
        return present;
    FolderLock lock(folder);
    for (const DfuState &state : DfuState::list(folder))
        if (state.ownerAlive())
            present.append(state);
    return present;
}

DfuTarget::DfuTarget(const QString &folder, const DfuState &state)
    : m_folder(folder)
    , m_state(state)
{
}

bool DfuTarget::isPresent() const
{
    FolderLock lock(m_folder);
    DfuState now;
    return DfuState::read(DfuState::statePath(m_folder, m_state.serialNumber), &now)
        && now.simulatorPid == m_state.simulatorPid && now.ownerAlive();
}

bool DfuTarget::update(const std::function<void(DfuState &)> &change)
{
    FolderLock lock(m_folder);
    DfuState now;
    if (!DfuState::read(DfuState::statePath(m_folder, m_state.serialNumber), &now)
        || now.simulatorPid != m_state.simulatorPid || !now.ownerAlive())
        return false;
    change(now);
    if (!now.write(m_folder))
        return false;
    m_state = now;
    return true;
}

QByteArray DfuTarget::flashImage() const
{
    QFile file(DfuState::flashPath(m_folder, m_state.serialNumber));
    if (file.open(QIODevice::ReadOnly))
        return file.readAll();
    // The firmware the device came with, as its maker would have built it.
    if (m_state.firmwareValid && FirmwareImage::isValidVersion(m_state.firmwareVersion))
        return FirmwareImage::make(m_state.firmwareVersion);
    return QByteArray();
}

bool DfuTarget::writeFlash(const QByteArray &image)
{
    FolderLock lock(m_folder);
    DfuState now;
    if (!DfuState::read(DfuState::statePath(m_folder, m_state.serialNumber), &now)
        || now.simulatorPid != m_state.simulatorPid)
        return false;
    QSaveFile file(DfuState::flashPath(m_folder, m_state.serialNumber));
    return file.open(QIODevice::WriteOnly) && file.write(image) == image.size() && file.commit();
}

void DfuTarget::eraseFlash()
{
    FolderLock lock(m_folder);
    QFile::remove(DfuState::flashPath(m_folder, m_state.serialNumber));
}
