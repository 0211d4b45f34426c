// The logger in a real process: what reaches the file at a normal exit, while the
// process exits and on a fatal message, and what reaches standard error.
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
        run.file = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
        return run;
    }

    static QStringList probeLines(int count)
    {
        QStringList lines;
        for (int i = 0; i < count; ++i)
            lines << QStringLiteral("probe line %1").arg(i);
        return lines;
    }

private slots:
    void fileHoldsEveryLineOnceAfterANormalExit_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("inFile"); // messages, in order
        QTest::newRow("tail at exit") << QStringList{"-l", "--lines", "3"} << probeLines(3);
        QTest::newRow("without -l") << QStringList{"--lines", "3"} << QStringList();
        // Several flushes at the threshold, then the rest at exit.
        QTest::newRow("many flushes") << QStringList{"-l", "--lines", "6000"} << probeLines(6000);
        QTest::newRow("logged after main() by a static object")
            << QStringList{"-l", "--lines", "1", "--at-exit", "late words"}
            << (probeLines(1) << QStringLiteral("late words"));
    }

    void fileHoldsEveryLineOnceAfterANormalExit()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, inFile);
        const Run run = runProbe(options);
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        const QList<QByteArray> lines = run.file.split('\n');
        QCOMPARE(lines.size(), inFile.size() + 1);
        QVERIFY(lines.last().isEmpty()); // every line ends in a line feed
        for (int i = 0; i < inFile.size(); ++i) {
            QVERIFY2(lines.at(i).endsWith(" Info     - " + inFile.at(i).toUtf8()), lines.at(i).constData());
            QVERIFY(run.stdErr.contains(lines.at(i) + '\n')); // the same line on standard error
        }
        QVERIFY(run.stdErr.contains(" Info     - probe line"));
    }

    void fatalMessageIsInTheFileBeforeTheAbort()
    {
        const Run run = runProbe({QStringLiteral("-l"), QStringLiteral("--lines"), QStringLiteral("1"),
                                  QStringLiteral("--fatal"), QStringLiteral("out of luck")});
        QCOMPARE(run.status, QProcess::CrashExit);
        const QRegularExpression fatalLine(QStringLiteral(R"(^\d\d-\d\d-\d\d \d\d:\d\d:\d\d Fatal    - out of luck$)"),
                                           QRegularExpression::MultilineOption);
        QVERIFY2(fatalLine.match(QString::fromUtf8(run.file)).hasMatch(), run.file.constData());
        QVERIFY(run.file.contains(" Info     - probe line 0\n"));
        QVERIFY(fatalLine.match(QString::fromLocal8Bit(run.stdErr)).hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestLogProcess)
#include "tst_core_logprocess.moc"
