#pragma once

#include "BaseCommand.h"

#include <memory>

class NextPartRPCCommand;

// A command in the device's RPC framing.
//   request: 0x07, identifier, 0x00, payload length + 4, payload, CRC-32 (LSB first)
//   answer:  start, identifier echoed, status, L (signed), L - 4 payload bytes, CRC
// Status 0 is done, 5 accepted with more to follow, 7 busy; -1 means no valid
// answer came.
class RPCCommand : public BaseCommand
{
    Q_OBJECT

public:
    static constexpr char kStartByte = 0x07;
    static constexpr int kHeaderSize = 4;
    static constexpr int kCrcSize = 4;
    static constexpr int kMaxAnswerPayload = 123;
    // Byte 3 is read as a signed byte: at most 127, plus the CRC.
    static constexpr int kMaxAnswerSize = 127 + kCrcSize;

    enum Status {
        NoAnswer = -1,
        Done = 0,
        AlreadyUploaded = 1,
        InvalidParameter = 2,
        CrcMismatch = 3,
        UnknownError = 4,
        MoreToFollow = 5,
        NoFreeSpace = 6,
        Busy = 7,
    };

    explicit RPCCommand(QObject *parent = nullptr);
    ~RPCCommand() override;

    // The complete request frame for an identifier and a payload.
    static QByteArray frame(quint8 commandId, const QByteArray &payload);

    QByteArray request() const override;
    void processResponse(const QByteArray &answer) override;
    bool isBusy() const override;
    bool hasNextPart() const override;
    BaseCommand *nextPart() override;
    bool isComplete(const QByteArray &answer) const override;
    int maxAnswerSize() const override;
    int maxRetries() const override;

    // Decodes the payload received so far; overrides call this base first.
    virtual void parsePayload(const QByteArray &payload);
    QByteArray payload() const;

    // Called by the continuation command with each accepted answer: the part is
    // added to the payload and the whole payload decoded again.
    void appendPart(const QByteArray &answer);
    // Called by the continuation command when a part was not accepted, so that
    // this command's outcome says why the listing stopped.
    void partFailed(int status, const QString &errorText);

private:
    // Not a QObject child: the runner asks for it on its own thread.
    std::unique_ptr<NextPartRPCCommand> m_nextPartCommand;
    QByteArray m_payload;
};
