// The logger in a real process: what reaches the file at a normal exit, while the
// process exits and on a fatal message, and what reaches standard error.
#include "SimProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestLogProcess : public QObject
{
    Q_OBJECT

private:
    // The probe's run and what it left in its log file.
    static ToolRun runProbe(const QStringList &options, QByteArray *file)
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("logs.txt"));
        const ToolRun run = runTool(QStringLiteral(TAMO_LOG_PROBE), QStringList{path} + options);
        QFile log(path);
        *file = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray("<missing>");
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
        QByteArray file;
        const ToolRun run = runProbe(options, &file);
        QCOMPARE(run.exitCode, 0);
        const QList<QByteArray> lines = file.split('\n');
        QCOMPARE(lines.size(), inFile.size() + 1);
        QVERIFY(lines.last().isEmpty()); // every line ends in a line feed
        for (int i = 0; i < inFile.size(); ++i) {
            QVERIFY2(lines.at(i).endsWith(" Info     - " + inFile.at(i).toUtf8()), lines.at(i).constData());
            QVERIFY(run.err.contains(lines.at(i) + '\n')); // the same line on standard error
        }
        QVERIFY(run.err.contains(" Info     - probe line"));
    }

    void fatalMessageIsInTheFileBeforeTheAbort()
    {
        QByteArray file;
        const ToolRun run = runProbe({"-l", "--lines", "1", "--fatal", "out of luck"}, &file);
        QCOMPARE(run.exitCode, -1); // aborted
        const QRegularExpression fatalLine(QStringLiteral(R"(^\d\d-\d\d-\d\d \d\d:\d\d:\d\d Fatal    - out of luck$)"),
                                           QRegularExpression::MultilineOption);
        QVERIFY2(fatalLine.match(QString::fromUtf8(file)).hasMatch(), file.constData());
        QVERIFY(file.contains(" Info     - probe line 0\n"));
        QVERIFY(fatalLine.match(QString::fromLocal8Bit(run.err)).hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestLogProcess)
#include "tst_core_logprocess.moc"
