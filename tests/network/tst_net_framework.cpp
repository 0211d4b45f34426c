// Framework behaviour that no endpoint of the application uses today but that the
// request family offers: retries, multipart and device bodies. (The inactivity
// time-out is tested with the firmware downloads.)
#include "CloudSim.h"
#include "JsonHelpers.h"
#include "MultiPartRequest.h"
#include "UploadDataRequest.h"
#include "requests/FirmwareInfoRequest.h"

#include <QBuffer>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

class FormUpload : public MultiPartRequest
{
public:
    QUrl url() const override { return apiUrl(QStringLiteral("upload/form")); }
    RawHeaders headers() const override { return {}; }
    Method method() const override { return Post; }

protected:
    QHttpMultiPart *multiPart() override
    {
        auto *parts = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"file\""));
        part.setBody("0123456789");
        parts->append(part);
        return parts;
    }
    void parseAnswer(const QByteArray &) override {}
};

class DeviceUpload : public UploadDataRequest
{
public:
    QUrl url() const override { return apiUrl(QStringLiteral("upload/raw")); }
    RawHeaders headers() const override { return {{"Content-Type", "application/octet-stream"}}; }
    Method method() const override { return Put; }

protected:
    QIODevice *uploadDevice() override
    {
        auto *buffer = new QBuffer;
        buffer->setData(QByteArray(1000, 'x'));
        return buffer; // opened by the framework
    }
    void parseAnswer(const QByteArray &) override {}
};

QJsonObject fixture()
{
    return QJsonObject{{"minFWVersion", "1.5.28"}};
}

template <typename R>
bool finish(R &request, int ms = 5000)
{
    QSignalSpy finished(&request, &Request::finished);
    request.slotSend();
    return finished.wait(ms);
}

} // namespace

class TestNetFramework : public QObject
{
    Q_OBJECT

private slots:
    void attemptsRetryAFailedSend()
    {
        CloudSim sim(fixture(), {"--fail", "setting/platform@1=503"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.failure()));
        sim.useForClient();
        FirmwareInfoRequest retried;
        retried.setAttempts(2);
        retried.setNeedsAuthorization(false);
        QVERIFY(finish(retried));
        const QJsonArray calls = sim.requests("setting/platform");
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls.at(0).toObject().value("status").toInt(), 503);
        QCOMPARE(retried.httpStatusCode(), calls.at(1).toObject().value("status").toInt());
    }

    void bodiesFromObjectsAndDevices()
    {
        CloudSim sim(fixture());
        QVERIFY2(sim.isRunning(), qPrintable(sim.failure()));
        sim.useForClient();
        FormUpload form;
        QVERIFY(finish(form));
        DeviceUpload raw;
        QVERIFY(finish(raw));
        const QJsonObject formCall = sim.requests("upload/form").at(0).toObject();
        QCOMPARE(formCall.value("method").toString(), QStringLiteral("POST"));
        const QJsonObject formHeaders = formCall.value("headers").toObject();
        QVERIFY(formHeaders.value("Content-Type").toString().startsWith(QStringLiteral("multipart/form-data; boundary=")));
        QVERIFY(formHeaders.value("Content-Length").toString().toInt() > 10);
        const QJsonObject rawCall = sim.requests("upload/raw").at(0).toObject();
        QCOMPARE(rawCall.value("method").toString(), QStringLiteral("PUT"));
        QCOMPARE(rawCall.value("headers").toObject().value("Content-Length").toString(), QStringLiteral("1000"));
    }
};

QTEST_GUILESS_MAIN(TestNetFramework)
#include "tst_net_framework.moc"
