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
        QTest::newRow("reserved characters") << "a<b>c\"d|e?f*g.dfu" << "a_b_c_d_e_f_g.dfu";
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

    void uniqueNamesCountUpBeforeTheLastDot_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << "fw.v2.dfu" << QStringList() << "fw.v2.dfu";
        QTest::newRow("two taken") << "fw.v2.dfu" << QStringList{"fw.v2.dfu", "fw.v2(1).dfu"} << "fw.v2(2).dfu";
        QTest::newRow("no suffix, dot kept") << "firmware" << QStringList{"firmware."} << "firmware(1).";
    }

    void uniqueNamesCountUpBeforeTheLastDot()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString &taken : existing) {
            QFile f(dir.filePath(taken));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(NetworkManager::uniqueFilePath(dir.path(), name), dir.path() + QDir::separator() + expected);
    }
};

QTEST_GUILESS_MAIN(TestNetFileNames)
#include "tst_net_filenames.moc"
