// The logger in a real process: what reaches the file at a normal exit and on a
// fatal message, and what reaches standard error.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestLogProcess : public QObject
{
    Q_OBJECT

private:
    struct Run {
        int exitCode = -1;
        QProcess::ExitStatus status = QProcess::NormalExit;
        QByteArray stdErr;
        QByteArray file;
    };

    Run runProbe(const QStringList &options)
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("logs.txt"));
        QProcess probe;
        probe.start(QStringLiteral(TAMO_LOG_PROBE), QStringList{path} + options);
        Run run;
        if (!probe.waitForFinished(20000))
            return run;
        run.exitCode = probe.exitCode();
        run.status = probe.exitStatus();
        run.stdErr = probe.readAllStandardError();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            run.file = file.readAll();
        else
            run.file = "<missing>";
        return run;
    }

private slots:
    void tailIsWrittenAtExit()
    {
        const Run run = runProbe({QStringLiteral("-l"), QStringLiteral("--lines"), QStringLiteral("3")});
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        const QList<QByteArray> lines = run.file.split('\n');
        QCOMPARE(lines.size(), 4);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(lines.at(i).endsWith(" Info     - probe line " + QByteArray::number(i)),
                     lines.at(i).constData());
        QVERIFY(lines.at(3).isEmpty());
        // Standard error received the same lines.
        for (int i = 0; i < 3; ++i)
            QVERIFY(run.stdErr.contains(lines.at(i) + '\n'));
    }

    void withoutTheOptionTheFileStaysEmpty()
    {
        const Run run = runProbe({QStringLiteral("--lines"), QStringLiteral("3")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.file, QByteArray());
        QVERIFY(run.stdErr.contains(" Info     - probe line 2\n"));
    }

    void manyLinesLeaveEveryLineOnce()
    {
        // Several flushes at the threshold, then the rest at exit.
        const Run run = runProbe({QStringLiteral("-l"), QStringLiteral("--lines"), QStringLiteral("6000")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.file.size() > 2 * 100000);
        const QList<QByteArray> lines = run.file.split('\n');
        QCOMPARE(lines.size(), 6001);
        for (int i = 0; i < 6000; ++i)
            QVERIFY(lines.at(i).endsWith(" - probe line " + QByteArray::number(i)));
    }

    void fatalMessageIsInTheFileBeforeTheAbort()
    {
        const Run run = runProbe({QStringLiteral("-l"), QStringLiteral("--lines"), QStringLiteral("1"),
                                  QStringLiteral("--fatal"), QStringLiteral("out of luck")});
        QCOMPARE(run.status, QProcess::CrashExit);
        const QRegularExpression fatalLine(QStringLiteral(R"(^\d\d-\d\d-\d\d \d\d:\d\d:\d\d Fatal    - out of luck$)"),
                                           QRegularExpression::MultilineOption);
        QVERIFY2(fatalLine.match(QString::fromUtf8(run.file)).hasMatch(), run.file.constData());
        QVERIFY(run.file.startsWith(run.file.split('\n').first()));
        QVERIFY(run.file.contains(" Info     - probe line 0\n"));
        QVERIFY(fatalLine.match(QString::fromLocal8Bit(run.stdErr)).hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestLogProcess)
#include "tst_core_logprocess.moc"
