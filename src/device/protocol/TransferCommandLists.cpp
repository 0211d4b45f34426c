#include "TransferCommandLists.h"

#include "CancelUploadRPCCommand.h"
#include "CleanUpRPCCommand.h"
#include "ContentIds.h"
#include "DeleteRPCCommand.h"
#include "EraseContentRPCCommand.h"
#include "FreeSlotsRPCCommand.h"
#include "NextPartRPCCommand.h"
#include "ReadImagesRPCCommand.h"
#include "ReadSlideshowRPCCommand.h"
#include "TransferRPCCommand.h"

#include <memory>

namespace {

void appendDeletes(CommandList &list, QStringList ids, quint8 type)
{
    ids.removeDuplicates();
    for (const QString &id : qAsConst(ids))
        list.append(std::make_unique<DeleteRPCCommand>(type, idToBytes(id)));
}

} // namespace

CommandList transferParts(const QByteArray &content, const QByteArray &id, int frameDuration)
{
    CommandList list;
    const quint16 duration = static_cast<quint16>(qBound(0, frameDuration, 0xFFFF));
    BaseCommand *header = list.append(std::make_unique<TransferRPCCommand>(
        TransferRPCCommand::imageHeader(id, quint32(content.size()), duration),
        BaseCommand::TransferredImageId, id));
    header->setGroupPosition(BaseCommand::GroupFirst);
    for (int offset = 0; offset < content.size(); offset += NextPartRPCCommand::kPartSize)
        list.append(std::make_unique<NextPartRPCCommand>(
            content.mid(offset, NextPartRPCCommand::kPartSize), true));
    list.last()->setGroupPosition(BaseCommand::GroupLast);
    return list;
}

CommandList imageTransferCommands(const QByteArray &id, const QByteArray &content)
{
    if (content.isEmpty())
        return CommandList();
    return transferParts(content, id, 0);
}

CommandList gifTransferCommands(const QByteArray &id, const QVector<TransferFrame> &frames)
{
    CommandList list;
    if (frames.isEmpty())
        return list;
    list.append(std::make_unique<TransferRPCCommand>(
        TransferRPCCommand::gifHeader(id, quint32(frames.size()))));
    for (const TransferFrame &frame : frames)
        list.append(
            transferParts(frame.data, id, TransferRPCCommand::frameDuration(frame.delayMs)));
    return list;
}

CommandList slideshowTransferCommands(int interval, const QByteArray &id,
                                      const QList<QByteArray> &imageIds)
{
    CommandList list;
    BaseCommand *header = list.append(std::make_unique<TransferRPCCommand>(
        TransferRPCCommand::slideshowHeader(id, static_cast<quint16>(imageIds.size()),
                                            static_cast<quint16>(interval)),
        BaseCommand::TransferredSlideshowId, id));
    header->setGroupPosition(BaseCommand::GroupFirst);
    QByteArray part;
    for (const QByteArray &imageId : imageIds) {
        if (part.size() + imageId.size() <= NextPartRPCCommand::kPartSize) {
            part += imageId;
            continue;
        }
        if (!part.isEmpty())
            list.append(std::make_unique<NextPartRPCCommand>(part, true));
        part = imageId;
    }
    if (!part.isEmpty())
        list.append(std::make_unique<NextPartRPCCommand>(part, true));
    return list;
}

CommandList deleteCommands(const QStringList &imageIds, const QStringList &gifIds,
                           const QStringList &slideshowIds)
{
    CommandList list;
    appendDeletes(list, slideshowIds, TransferRPCCommand::SlideshowContent);
    appendDeletes(list, gifIds, TransferRPCCommand::GifContent);
    appendDeletes(list, imageIds, TransferRPCCommand::ImageContent);
    return list;
}

CommandList readContentCommands()
{
    CommandList list;
    list.append(std::make_unique<CleanUpRPCCommand>());
    list.append(std::make_unique<ReadImagesRPCCommand>());
    list.append(std::make_unique<ReadSlideshowRPCCommand>());
    return list;
}

CommandList freeSlotsCommands()
{
    CommandList list;
    list.append(std::make_unique<FreeSlotsRPCCommand>());
    return list;
}

CommandList eraseCommand()
{
    CommandList list;
    list.append(std::make_unique<EraseContentRPCCommand>());
    return list;
}

CommandList cancelCommands()
{
    CommandList list;
    list.append(std::make_unique<CancelUploadRPCCommand>());
    return list;
}
