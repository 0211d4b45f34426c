#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A hub full of demo devices for the benchmarks that publish: the cloud
// simulator over HTTPS (a throw-away certificate made by openssl, a fixture with
// the demo's account and contents and N devices, each given the demo's first
// campaign) and the device simulator serving those N devices.
namespace BenchCloud {

QString macOf(int index);
QString serialOf(int index);
// The campaign's items, which every device must hold once published.
QStringList campaignItems();

// Writes the fixture for `count` devices into the folder; returns its path.
QString writeFixture(const QString &folder, int count);
// FOLDER/cloud.crt and FOLDER/cloud.key, for localhost and 127.0.0.1.
void makeCertificate(const QString &folder);
// Serves the fixture over HTTPS with the certificate of makeCertificate(folder);
// returns the API base URL. Extra arguments add latency and faults.
QString startCloud(QProcess &cloud, const QString &folder, const QString &fixture, const QStringList &extra = {});
// The connections the cloud simulator accepted and the TLS handshakes it did
// so far (this reading's own left out); -1 each when it cannot be read.
struct Connections {
    int accepted = -1;
    int tlsHandshakes = -1;
};
Connections connectionsOf(const QString &apiUrl, const QString &folder);
// Attaches the fixture's devices, with 2 ms link latency, in the port folder `hub`.
void startDevices(QProcess &devices, const QString &hub, const QString &fixture, const QStringList &extra = {});
// The campaign items device `index` lacks; empty when it holds them all.
QStringList missingItems(const QString &hub, int index);
// Fails unless every device holds the campaign.
void checkDevices(const QString &hub, int count);

// The first line a child prints that starts with the prefix, within 20 s.
QString lineStarting(QProcess &process, const QString &prefix, const QString &what);
void stop(QProcess &process);

} // namespace BenchCloud
