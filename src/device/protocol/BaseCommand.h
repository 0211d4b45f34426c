#pragma once

#include "ActivityLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>

// One command to a device. It knows its identifier, the bytes it sends, when an
// answer is complete and what the answer means; it never touches a port. The
// runner calls these operations in a fixed order and owns the command.
//
// This base implements the plain exchange: the request is the identifier followed
// by the payload, the answer exactly three bytes (identifier, ignored, status).
class BaseCommand : public QObject
{
    Q_OBJECT

public:
    // Keys of the runner's result map; the values are part of the contract with
    // the devices manager.
    enum ResultKey {
        NoResult = 0,
        ImageUuids = 1,
        GifUuids = 2,
        SlideshowUuids = 3,
        SlideshowImageUuids = 4,
        TransferredSlideshowId = 5,
        TransferredImageId = 6,
        MacAddress = 7,
        DeviceName = 8,
        FwVersion = 9,
        FreeSlots = 10,
        BoardId = 11,
        DeviceSerial = 12,
        PlantNumber = 13,
        DeviceLogs = 14,
        Brightness = 15,
        Battery = 16,
        DimLevel = 17,
    };
    Q_ENUM(ResultKey)

    // Place in a retry group (the runner re-runs a whole group).
    enum GroupPosition {
        GroupFirst = 0,
        GroupLast = 1,
        Standalone = 2,
    };

    explicit BaseCommand(QObject *parent = nullptr);
    ~BaseCommand() override;

    virtual quint8 commandId() const = 0;
    virtual QByteArray request() const;
    virtual void processResponse(const QByteArray &answer);
    // The activity-log line after the command ran; an empty text for none.
    virtual ActivityLine message(const QString &macAddress) const;
    virtual QString logText() const;
    virtual QByteArray lastResponse() const;
    virtual int delayMs() const;
    virtual int timeoutMs() const;
    virtual int statusCode() const;
    virtual bool isBusy() const;
    virtual bool isSuccess() const;
    virtual bool hasNextPart() const;
    // The command that fetches the next part of a multi-part answer; null when
    // the command has no continuation. Owned by this command.
    virtual BaseCommand *nextPart();
    virtual int resultKey() const;
    virtual QVariant result() const;
    virtual bool isComplete(const QByteArray &answer) const;
    // The longest answer the command can get; a longer one fails the exchange.
    virtual int maxAnswerSize() const;
    virtual int maxRetries() const;
    virtual QString name() const = 0;
    virtual QByteArray requestPayload() const = 0;
    virtual QByteArray plainRequest() const;

    int groupPosition() const;
    void setGroupPosition(int position);
    int retryCount() const;
    void setRetryCount(int count);
    QString errorString() const;
    bool autoDelete() const;
    void setAutoDelete(bool on);

signals:
    void finished(int status);

public slots:
    void slotDelete();

protected:
    void setStatus(int status);
    void setErrorString(const QString &text);
    void setResponse(const QByteArray &answer);

private:
    QByteArray m_response;
    bool m_autoDelete = false;
    qint8 m_status = 0;
    QString m_errorString;
    int m_groupPosition = Standalone;
    int m_retryCount = 0;
};
