// Device answers to every command of the catalogue, judged the way the runner
// judges them: bytes are added to an answer until the command calls it complete
// (what is left is the device's next answer), a busy device is pinged until it
// is back and the command judges the last ping answer, and a listing of several
// parts is continued through its next-part command, which hands every part to
// the listing (id lists, logs). The input is what the device sent, so the
// command is the one whose identifier the first answer echoes (byte 1); byte 0,
// which the judging ignores, chooses among commands sharing an identifier.
#include "FuzzSupport.h"

#include "CommandLists.h"
#include "ContentIds.h"
#include "EndTransferCommand.h"
#include "OpenDfuRPCCommand.h"
#include "PingRPCCommand.h"
#include "ReadGifsRPCCommand.h"
#include "ReadSlideshowImagesRPCCommand.h"
#include "TransferCommandLists.h"

#include <memory>

using FuzzSupport::keep;

namespace {

// Every command the system can send, including those no job list uses yet.
CommandList catalogue()
{
    const QByteArray id = idToBytes(QStringLiteral("42"));
    CommandList list;
    list << pingCommand() << deviceInfoCommands() << batteryCommands() << brightnessCommand(80)
         << dimLevelCommand(30) << logCommands() << activateCommands(id) << chargingDisplayCommands(id, id)
         << readContentCommands() << freeSlotsCommands() << eraseCommand() << cancelCommands()
         << imageTransferCommands(id, QByteArray(100, 'x'))
         << gifTransferCommands(id, {TransferFrame{QByteArray(10, 'x'), 75}})
         << slideshowTransferCommands(5, id, {id, id})
         << deleteCommands({QStringLiteral("1")}, {QStringLiteral("2")}, {QStringLiteral("3")});
    list.append(std::make_unique<ReadGifsRPCCommand>());
    list.append(std::make_unique<ReadSlideshowImagesRPCCommand>());
    list.append(std::make_unique<OpenDfuRPCCommand>());
    list.append(std::make_unique<EndTransferCommand>(2, id, 7));
    return list;
}

BaseCommand *chosen(const CommandList &list, const QByteArray &input)
{
    if (input.size() < 2)
        return list.at(0);
    QVector<BaseCommand *> matching;
    for (int i = 0; i < list.size(); ++i)
        if (list.at(i)->commandId() == static_cast<quint8>(input.at(1)))
            matching.append(list.at(i));
    if (matching.isEmpty())
        return list.at(static_cast<quint8>(input.at(1)) % list.size());
    return matching.at(static_cast<quint8>(input.at(0)) % matching.size());
}

class Device
{
public:
    explicit Device(const QByteArray &sent)
        : m_sent(sent)
    {
    }

    // The runner reads at least once, then until the answer is complete or
    // nothing more comes.
    QByteArray answerFor(const BaseCommand &command)
    {
        QByteArray answer;
        do {
            if (m_at >= m_sent.size())
                break;
            answer.append(m_sent.at(m_at++));
        } while (!command.isComplete(answer));
        return answer;
    }

private:
    const QByteArray m_sent;
    int m_at = 0;
};

void exchange(BaseCommand *command, PingRPCCommand *ping, Device *device)
{
    command->processResponse(device->answerFor(*command));
    if (!command->isBusy())
        return;
    QByteArray pingAnswer;
    do {
        pingAnswer = device->answerFor(*ping);
        ping->processResponse(pingAnswer);
    } while (ping->isBusy());
    command->processResponse(pingAnswer);
}

void readOutcome(BaseCommand *command)
{
    const QVariant result = command->result();
    keep(command->isSuccess(), command->statusCode(), command->resultKey(), command->errorString().size(),
         command->logText().size(), command->message(QStringLiteral("c4:4f:33:0a:0b:01")).text().size(),
         command->lastResponse().size(), result.toString().size(), result.toStringList().size(),
         result.toInt(), result.toByteArray().size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray sent = FuzzSupport::bytes(data, size);
    const CommandList list = catalogue();
    BaseCommand *command = chosen(list, sent);
    PingRPCCommand ping;
    Device device(sent);

    exchange(command, &ping, &device);
    if (!command->isSuccess() && command->hasNextPart()) {
        if (BaseCommand *next = command->nextPart()) {
            do
                exchange(next, &ping, &device);
            while (!next->isSuccess() && next->hasNextPart());
            readOutcome(next);
        }
    }
    readOutcome(command);
    FuzzSupport::deliverPostedEvents();
    return 0;
}
