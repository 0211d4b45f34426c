// File names for downloads: the server never chooses a folder, and an existing
// file is never overwritten.
#include "DownloadFileNames.h"
#include "NetworkManager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestNetFileNames : public QObject
{
    Q_OBJECT

private slots:
    void serverNamesKeepOnlyTheLastComponent_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "fw_1.5.30.dfu" << "fw_1.5.30.dfu";
        QTest::newRow("relative up") << "../../.bashrc" << ".bashrc";
        QTest::newRow("absolute") << "/etc/passwd" << "passwd";
        QTest::newRow("backslashes") << "..\\..\\Windows\\evil.exe" << "evil.exe";
        QTest::newRow("mixed") << "a/b\\c.bin" << "c.bin";
        QTest::newRow("drive") << "C:evil.dfu" << "C_evil.dfu";
        QTest::newRow("controls") << QString("fw\n\t.dfu") << "fw__.dfu";
        QTest::newRow("empty") << "" << "firmware.dfu";
        QTest::newRow("dot") << "." << "firmware.dfu";
        QTest::newRow("dotdot") << ".." << "firmware.dfu";
        QTest::newRow("trailing slash") << "files/fw/" << "firmware.dfu";
        QTest::newRow("up at end") << "x/.." << "firmware.dfu";
        QTest::newRow("blank") << "   " << "firmware.dfu";
    }

    void serverNamesKeepOnlyTheLastComponent()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        QCOMPARE(DownloadFileNames::safeFileName(given), expected);
    }

    void uniqueNamesCountUp()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sep = QDir::separator();
        const QString first = NetworkManager::uniqueFilePath(dir.path(), QStringLiteral("fw.v2.dfu"));
        QCOMPARE(first, dir.path() + sep + "fw.v2.dfu");
        touch(first);
        touch(dir.path() + sep + "fw.v2(1).dfu");
        QCOMPARE(NetworkManager::uniqueFilePath(dir.path(), QStringLiteral("fw.v2.dfu")),
                 dir.path() + sep + "fw.v2(2).dfu");
    }

    void nameWithoutSuffixEndsInADot()
    {
        QTemporaryDir dir;
        const QString sep = QDir::separator();
        QCOMPARE(NetworkManager::uniqueFilePath(dir.path(), QStringLiteral("firmware")), dir.path() + sep + "firmware.");
        touch(dir.path() + sep + "firmware.");
        QCOMPARE(NetworkManager::uniqueFilePath(dir.path(), QStringLiteral("firmware")),
                 dir.path() + sep + "firmware(1).");
    }

private:
    static void touch(const QString &path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
};

QTEST_GUILESS_MAIN(TestNetFileNames)
#include "tst_net_filenames.moc"
