#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// What the publishing benchmarks set up: a work folder with a certificate and
// the demo account's password file, a fixture of N devices each given the
// demo's first campaign, the cloud simulator serving it over HTTPS, the device
// simulator on a hub folder of its own, and the environment and arguments of
// `tamo-cli publish` against them. Any set-up failure ends the benchmark.
class PublishHub
{
public:
    static const QStringList CampaignItems; // the ids every device must end up holding

    static QString macOf(int index);    // c4:4f:33:0a:0b:01 for device 1
    static QString serialOf(int index); // TAMOSIM0001 for device 1
    // A running process's figures from /proc: VmHWM and VmRSS in MiB, open
    // descriptors, threads; -1 when the process is gone.
    static double peakRssMb(qint64 pid);
    static double rssMb(qint64 pid);
    static int openFds(qint64 pid);
    static int threads(qint64 pid);

    PublishHub();
    ~PublishHub();

    QString workPath() const;
    // Writes fixture-COUNT.json and returns its path.
    QString writeFixture(int count) const;
    // Starts the cloud simulator on the fixture; extra arguments add faults.
    void startCloud(const QString &fixture, const QStringList &extra = {});
    // Starts the device simulator with the fixture's devices in a fresh hub
    // folder; standard input stays open for control commands (control()).
    void startDevices(const QString &fixture, const QStringList &extra = {});
    // One control command; the simulator's answer is left unread.
    void control(const QString &command);
    void stopSimulators();

    // The hub folder tamo-cli sees (exists before startDevices()).
    QString hubPath() const;
    QProcessEnvironment cliEnvironment(const QString &timingScale) const;
    // `publish` with the demo account; options follow.
    QStringList publishArguments(const QStringList &options = {}) const;
    // The campaign items device `index` lacks, from the simulator's state file;
    // empty when it holds them all.
    QStringList missingItems(int index) const;

    QProcess &cloud() { return m_cloud; }
    QProcess &devices() { return m_devices; }

private:
    QTemporaryDir m_work;
    QTemporaryDir m_hub;  // in m_work
    QTemporaryDir m_home; // in m_work
    QString m_apiUrl;
    QProcess m_cloud;
    QProcess m_devices;
};
