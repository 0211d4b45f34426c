#pragma once

#include "CommandList.h"
#include "TransferFrame.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QVector>

// Builders of the content transfer and store management lists. Identifiers are
// the 8-byte wire form (idToBytes) unless they are decimal texts.

// One transfer header for an image or GIF frame (group head, result key 6 with the
// identifier bytes) followed by the content in 48-byte upload parts; the last
// command of the list closes the group.
CommandList transferParts(const QByteArray &content, const QByteArray &id, int frameDuration);
// Empty for empty content.
CommandList imageTransferCommands(const QByteArray &id, const QByteArray &content);
// Empty without frames; else the container announcement, then every frame as a
// complete image transfer under the GIF's identifier.
CommandList gifTransferCommands(const QByteArray &id, const QVector<TransferFrame> &frames);
// The slideshow header (group head, result key 5) followed by the image
// identifiers packed six to a part.
CommandList slideshowTransferCommands(int interval, const QByteArray &id,
                                      const QList<QByteArray> &imageIds);
// One delete per distinct identifier: slideshows first, then GIFs, then images.
CommandList deleteCommands(const QStringList &imageIds, const QStringList &gifIds,
                           const QStringList &slideshowIds);
CommandList readContentCommands();
CommandList freeSlotsCommands();
CommandList eraseCommand();
CommandList cancelCommands();
