#pragma once

#include "DevsimProcess.h"
#include "RawLink.h"
#include "TestFrames.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QVector>

#include <csignal>
#include <memory>

// What the simulator tests share: a fresh folder and simulator per test, a link
// to a device, and the byte sequences of a complete transfer.
struct DevsimFixture
{
    static constexpr quint8 kPing = 0, kReadImages = 1, kReadGifs = 2, kReadSlideshows = 3,
                            kReadSlideshowImages = 4, kNextPart = 5, kReadMac = 6, kDelete = 7,
                            kActivate = 8, kReadName = 9, kReadFw = 10, kFreeSlots = 11, kReadLog = 12,
                            kErase = 13, kReadBoard = 14, kReadSerial = 15, kReadPlant = 16,
                            kCleanUp = 17, kCancel = 18, kCharging = 19, kReadBrightness = 20,
                            kSetBrightness = 21, kReadDim = 24, kSetDim = 25, kTransfer = 30,
                            kOpenDfu = 31, kReadBattery = 32;
    static constexpr const char *kSerial = "TAMOSIM0001";

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<DevsimProcess> sim;

    bool start(const QStringList &arguments = QStringList())
    {
        sim.reset();
        dir.reset(new QTemporaryDir);
        sim.reset(new DevsimProcess);
        return dir->isValid() && sim->start(dir->path(), arguments);
    }

    static bool sanitizerSpoke(const QString &errors)
    {
        return errors.contains(QLatin1String("Sanitizer")) || errors.contains(QLatin1String("runtime error:"));
    }

    // Ends the simulator of the test; false (with the reason) when it did not
    // stop cleanly or a sanitizer reported anything.
    bool finish(QString *why)
    {
        if (!sim)
            return true;
        const bool wasRunning = sim->isRunning();
        const int code = wasRunning ? sim->stop(SIGTERM) : 0;
        const QString errors = sim->standardError();
        sim.reset();
        if (sanitizerSpoke(errors)) {
            *why = errors;
            return false;
        }
        if (code != 0) {
            *why = QStringLiteral("the simulator ended with %1: %2").arg(code).arg(errors);
            return false;
        }
        return true;
    }

    std::unique_ptr<RawLink> link(const QString &serial = QString::fromLatin1(kSerial)) const
    {
        return std::unique_ptr<RawLink>(new RawLink(sim->portOf(serial)));
    }

    static QByteArray imageHeader(quint64 id, quint32 size)
    {
        return TestFrames::le64(id) + TestFrames::le32(size) + QByteArray(1, '\x01');
    }

    static QByteArray pattern(int size, int seed)
    {
        QByteArray bytes;
        for (int i = 0; i < size; ++i)
            bytes.append(static_cast<char>((i * 31 + seed * 7) & 0xFF));
        return bytes;
    }

    // Sends a header and the data in 48-byte parts; returns every answer's status.
    static QVector<int> transfer(RawLink &link, const QByteArray &header, const QByteArray &data)
    {
        QVector<int> statuses;
        const TestFrames::Answer first = link.exchange(kTransfer, header);
        statuses << (first.complete ? first.status : -1);
        for (int at = 0; at < data.size(); at += 48) {
            const TestFrames::Answer part = link.exchange(kNextPart, data.mid(at, 48));
            statuses << (part.complete ? part.status : -1);
        }
        return statuses;
    }

    // Every identifier of a listing, following continuation answers.
    static QVector<quint64> listing(RawLink &link, quint8 command, QVector<int> *statuses = nullptr,
                                    QVector<int> *sizes = nullptr)
    {
        QByteArray all;
        TestFrames::Answer answer = link.exchange(command);
        for (int guard = 0; answer.complete && guard < 50; ++guard) {
            if (statuses)
                *statuses << answer.status;
            if (sizes)
                *sizes << answer.payload.size();
            all += answer.payload;
            if (answer.status != 5)
                break;
            answer = link.exchange(kNextPart);
        }
        QVector<quint64> ids;
        for (int at = 0; at + 8 <= all.size(); at += 8)
            ids << TestFrames::readLe64(all, at);
        return ids;
    }

    static QString sha256(const QByteArray &bytes)
    {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    }

    QJsonObject item(const QString &id) const
    {
        const QJsonArray items = sim->snapshot(QString::fromLatin1(kSerial)).value(QStringLiteral("items")).toArray();
        for (const QJsonValue &value : items)
            if (value.toObject().value(QStringLiteral("id")).toString() == id)
                return value.toObject();
        return QJsonObject();
    }
};
