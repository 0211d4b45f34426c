// The two preferences in settings.ini, and the timing table that tests shrink.
#include "AppPaths.h"
#include "LocalSettings.h"
#include "Timings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path()));
        QCOMPARE(AppPaths::settingsFilePath(), m_home.path() + QStringLiteral("/Tamo/settings.ini"));
    }

    void init()
    {
        QFile::remove(AppPaths::settingsFilePath());
    }

    void defaultsWithoutAFile()
    {
        QCOMPARE(LocalSettings::defaultLocation(), QString());
        QCOMPARE(LocalSettings::showHelpTip(), true);
        QVERIFY(!QFileInfo::exists(AppPaths::settingsFilePath()));
    }

    void writesReachTheFileAtOnce()
    {
        // The framework creates the folder as needed.
        QVERIFY(!QFileInfo::exists(AppPaths::dataFolder()) || QDir(AppPaths::dataFolder()).exists());
        LocalSettings::setShowHelpTip(false);
        LocalSettings::setDefaultLocation(QStringLiteral("Hall 3, Stand B"));

        QFile file(AppPaths::settingsFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray ini = file.readAll();
        QVERIFY2(ini.contains("[General]"), ini.constData());
        QVERIFY2(ini.contains("ShowHelpTip=false"), ini.constData());
        QVERIFY2(ini.contains("DefaultLocation="), ini.constData());

        // Another reader (a fresh settings object each time) sees both values.
        QCOMPARE(LocalSettings::showHelpTip(), false);
        QCOMPARE(LocalSettings::defaultLocation(), QStringLiteral("Hall 3, Stand B"));
    }

    void roundTrips_data()
    {
        QTest::addColumn<QString>("location");
        QTest::newRow("empty") << QString();
        QTest::newRow("plain") << QStringLiteral("Reception");
        QTest::newRow("commas and quotes") << QStringLiteral("Floor 2, \"Blue\" room; desk=4");
        QTest::newRow("non-ASCII") << QStringLiteral("Zürich – Bahnhofstraße 1");
        QTest::newRow("leading blanks") << QStringLiteral("  indented");
    }

    void roundTrips()
    {
        QFETCH(QString, location);
        LocalSettings::setDefaultLocation(QStringLiteral("something else first"));
        LocalSettings::setDefaultLocation(location);
        QCOMPARE(LocalSettings::defaultLocation(), location);
    }

    void deletingTheFileRestoresTheDefaults()
    {
        LocalSettings::setShowHelpTip(false);
        LocalSettings::setDefaultLocation(QStringLiteral("Lobby"));
        QVERIFY(QFile::remove(AppPaths::settingsFilePath()));
        QCOMPARE(LocalSettings::showHelpTip(), true);
        QCOMPARE(LocalSettings::defaultLocation(), QString());
    }

    void keysAreTheFileFormatsNames()
    {
        // Written by hand, as an older run or an operator would leave it.
        QVERIFY(QDir().mkpath(AppPaths::dataFolder()));
        QFile file(AppPaths::settingsFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nDefaultLocation=Dock 7\nShowHelpTip=false\n");
        file.close();
        QCOMPARE(LocalSettings::defaultLocation(), QStringLiteral("Dock 7"));
        QCOMPARE(LocalSettings::showHelpTip(), false);
    }

    void timingsKeepTheirValuesUnlessShrunk()
    {
        QCOMPARE(Timings::ms(Timings::DeviceStartDelay), 10000);
        QCOMPARE(Timings::ms(Timings::CommandWait), 8000);
        QCOMPARE(Timings::ms(Timings::PortResetClosed), 2000);
        QCOMPARE(Timings::ms(Timings::HeartbeatInterval), 30000);
        QCOMPARE(Timings::ms(Timings::DiscoveryPollInterval), 1000);

        Timings::setScale(0.001);
        QCOMPARE(Timings::ms(Timings::CommandWait), 8);
        QCOMPARE(Timings::ms(Timings::ReadLogDelay), 1); // never rounded down to "no wait"
        Timings::set(Timings::CommandWait, 250);
        QCOMPARE(Timings::ms(Timings::CommandWait), 250);
        Timings::setScale(-1.0); // ignored
        QCOMPARE(Timings::ms(Timings::CommandWait), 250);
        Timings::restoreDefaults();
        for (int i = 0; i < Timings::Count; ++i) {
            const auto id = static_cast<Timings::Id>(i);
            QCOMPARE(Timings::ms(id), Timings::defaultMs(id));
            QVERIFY(qstrlen(Timings::name(id)) > 0);
        }
    }

    void timingsScaleForChildProcesses()
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TAMO_TIMING_SCALE"), QStringLiteral("0.01"));
        child.setProcessEnvironment(env);
        child.start(QStringLiteral(TAMO_TIMINGS_PROBE), {QStringLiteral("CommandWait")});
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("80"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_core_settings.moc"
