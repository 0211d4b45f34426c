#pragma once

#include "RawLink.h"
#include "SimProcess.h"
#include "TestFrames.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QVector>

#include <memory>

// tamo-devsim as a child process in a folder of its own, driven through its
// standard input and observed through its event lines and its files.
class DevsimProcess : public SimProcess
{
public:
    DevsimProcess() : SimProcess(program()) {}
    static QString program() { return QStringLiteral(TAMO_DEVSIM_BIN); }

    bool start(const QString &folder, const QStringList &arguments = QStringList())
    {
        m_folder = folder;
        return SimProcess::start(QStringList{QStringLiteral("--dir"), folder} + arguments, QStringLiteral("ready "));
    }
    bool ok(const QString &line) { return command(line).startsWith(QLatin1String("ok ")); }
    // A JSON file of the folder; empty when it is not there.
    QJsonObject json(const QString &name) const
    {
        QFile file(QDir(m_folder).filePath(name));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }
    QJsonObject portFile(const QString &serial) const { return json(serial + QStringLiteral(".port")); }
    QString portOf(const QString &serial) const { return portFile(serial).value(QStringLiteral("port")).toString(); }
    QJsonObject snapshot(const QString &serial) const { return json(serial + QStringLiteral(".json")); }
    QJsonObject identity(const QString &serial) const
    {
        return snapshot(serial).value(QStringLiteral("identity")).toObject();
    }

private:
    QString m_folder;
};

// What the simulator tests share: a folder and a simulator per test (or one
// simulator for the rows of a table that only read), a link to a device, and
// the byte sequences of a transfer.
struct DevsimFixture
{
    static constexpr quint8 kPing = 0, kReadImages = 1, kReadGifs = 2, kReadSlideshows = 3,
                            kReadSlideshowImages = 4, kNextPart = 5, kReadMac = 6, kDelete = 7,
                            kActivate = 8, kReadName = 9, kReadFw = 10, kFreeSlots = 11, kReadLog = 12,
                            kErase = 13, kReadBoard = 14, kReadSerial = 15, kReadPlant = 16,
                            kCleanUp = 17, kCancel = 18, kCharging = 19, kReadBrightness = 20,
                            kSetBrightness = 21, kReadDim = 24, kTransfer = 30, kReadBattery = 32;
    static constexpr quint8 kImage = 1, kSlideshow = 2, kGif = 3;
    static constexpr const char *kSerial = "TAMOSIM0001";

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<DevsimProcess> sim;
    QString problem; // why a simulator did not end cleanly
    bool shared = false;
    QStringList sharedArguments;

    // A fresh folder and simulator.
    bool start(const QStringList &arguments = QStringList())
    {
        end();
        dir.reset(new QTemporaryDir);
        sim.reset(new DevsimProcess);
        return dir->isValid() && sim->start(dir->path(), arguments);
    }

    // The simulator the previous row left running with the same arguments, for
    // rows that leave the device as they found it.
    bool share(const QStringList &arguments = QStringList())
    {
        if (shared && sim && sim->isRunning() && sharedArguments == arguments)
            return true;
        const bool started = start(arguments);
        shared = true;
        sharedArguments = arguments;
        return started;
    }

    // Ends the simulator (a shared one only when `all`); what went wrong when
    // one did not stop cleanly or a sanitizer spoke, else an empty text.
    QString cleanup(bool all = false)
    {
        if (!shared || all)
            end();
        QString found;
        found.swap(problem);
        return found;
    }

    void end()
    {
        if (!sim)
            return;
        const int code = sim->isRunning() ? sim->stop(SIGTERM) : 0;
        const QByteArray errors = sim->errors();
        if (sanitizerSpoke(errors) || code != 0)
            problem += QStringLiteral("the simulator ended with %1: %2").arg(code).arg(QString::fromLocal8Bit(errors));
        sim.reset();
        shared = false;
    }

    std::unique_ptr<RawLink> link(const QString &serial = QString::fromLatin1(kSerial)) const
    {
        return std::unique_ptr<RawLink>(new RawLink(sim->portOf(serial)));
    }

    static QByteArray imageHeader(quint64 id, quint32 size)
    {
        return TestFrames::le64(id) + TestFrames::le32(size) + QByteArray(1, char(kImage));
    }
    static QByteArray gifHeader(quint64 id, quint32 frames)
    {
        return TestFrames::le64(id) + TestFrames::le32(frames) + QByteArray(1, char(kGif));
    }
    static QByteArray slideshowHeader(quint64 id, quint16 count, quint16 interval)
    {
        return TestFrames::le64(id) + TestFrames::le16(count) + TestFrames::le16(interval)
            + QByteArray(1, char(kSlideshow));
    }
    static QByteArray deletion(quint8 type, quint64 id) { return QByteArray(1, char(type)) + TestFrames::le64(id); }

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
    // A still picture of a few bytes, stored whole.
    static bool store(RawLink &link, quint64 id, int size = 4)
    {
        return transfer(link, imageHeader(id, quint32(size)), pattern(size, 1)) == QVector<int>{5, 0};
    }

    // The payloads of a multi-part answer, following continuation answers.
    static QByteArray multiPart(RawLink &link, quint8 command, QVector<int> *statuses = nullptr,
                                QVector<int> *sizes = nullptr)
    {
        QByteArray all;
        TestFrames::Answer answer = link.exchange(command);
        for (int guard = 0; answer.complete && guard < 50; ++guard, answer = link.exchange(kNextPart)) {
            if (statuses)
                *statuses << answer.status;
            if (sizes)
                *sizes << answer.payload.size();
            all += answer.payload;
            if (answer.status != 5)
                break;
        }
        return all;
    }
    // Every identifier of a listing.
    static QVector<quint64> listing(RawLink &link, quint8 command, QVector<int> *statuses = nullptr,
                                    QVector<int> *sizes = nullptr)
    {
        const QByteArray all = multiPart(link, command, statuses, sizes);
        QVector<quint64> ids;
        for (int at = 0; at + 8 <= all.size(); at += 8)
            ids << TestFrames::readLe64(all, at);
        return ids;
    }
    static int freeSlots(RawLink &link)
    {
        const TestFrames::Answer answer = link.exchange(kFreeSlots);
        return answer.payload.size() == 1 ? static_cast<quint8>(answer.payload.at(0)) : -1;
    }

    static QString sha256(const QByteArray &bytes)
    {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    }

    QJsonObject snapshot() const { return sim->snapshot(QString::fromLatin1(kSerial)); }
    QJsonObject item(const QString &id) const
    {
        for (const QJsonValue &value : snapshot().value(QStringLiteral("items")).toArray())
            if (value.toObject().value(QStringLiteral("id")).toString() == id)
                return value.toObject();
        return QJsonObject();
    }
};
