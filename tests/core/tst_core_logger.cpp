// The log line layout, the activity-log categories and the buffer's flush
// rules, read back from the real log file.
#include "LogMessageHandler.h"
#include "Logger.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

Q_LOGGING_CATEGORY(lcTestDeviceManager, "DeviceManager")
Q_LOGGING_CATEGORY(lcTestContentManager, "ContentManager")
Q_LOGGING_CATEGORY(lcTestContentsChef, "ContentsChef")
Q_LOGGING_CATEGORY(lcTestLowerCase, "devicemanager")
Q_LOGGING_CATEGORY(lcTestOther, "DeviceManagerX")

class TestLogger : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

    QByteArray fileContents() const
    {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    Logger *logger() const { return Logger::instance(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("logs.txt"));
        QFile old(m_path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("a previous run's lines\n");
        old.close();

        Logger::setFilePath(m_path);
        qInstallMessageHandler(logMessageHandler);
        QCOMPARE(logger()->filePath(), m_path);
        // Creation empties the file, whether or not file logging is switched on.
        QCOMPARE(fileContents(), QByteArray());
        QVERIFY(!logger()->isFileLoggingEnabled());
    }

    void cleanup()
    {
        logger()->setFileLoggingEnabled(false);
        QFile::resize(m_path, 0);
    }

    void lineLayout()
    {
        const QDateTime when(QDate(2019, 7, 3), QTime(14, 25, 30));
        QCOMPARE(formatLogLine(QtInfoMsg, when, QStringLiteral("Connected 1 device(s)")),
                 QStringLiteral("19-07-03 14:25:30 Info     - Connected 1 device(s)"));
        // An unknown type still yields a line, just without a level text.
        QCOMPARE(formatLogLine(static_cast<QtMsgType>(42), when, QStringLiteral("x")),
                 QStringLiteral("19-07-03 14:25:30 - x"));
    }

    void linesReadBackFromTheFile()
    {
        logger()->setFileLoggingEnabled(true);
        qDebug("plain debug");
        qInfo() << QStringLiteral("streamed text"); // a streamed QString carries quotes
        qCWarning(lcTestDeviceManager, "Gerät ünplugged – café");
        qCritical("critical %d", 7);
        logger()->flush();

        const QByteArray bytes = fileContents();
        QVERIFY(bytes.endsWith('\n'));
        QVERIFY(!bytes.contains('\r'));
        const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 5); // four lines and the empty rest after the last line feed
        QVERIFY(lines.last().isEmpty());

        // After the time stamp (its layout is checked above), the same column on every line.
        const QStringList ends = {QStringLiteral(" Debug    - plain debug"), QStringLiteral(" Info     - \"streamed text\""),
                                  QStringLiteral(" Warning  - Gerät ünplugged – café"),
                                  QStringLiteral(" Critical - critical 7")};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(lines.at(i).mid(17), ends.at(i));
    }

    void nothingReachesTheFileWithoutTheOption()
    {
        qDebug("not for the file");
        logger()->flush();
        QCOMPARE(fileContents(), QByteArray());
    }

    void readableCategoriesAreCaseSensitive()
    {
        QSignalSpy spy(logger(), &Logger::readableMessageAdded);
        qCInfo(lcTestDeviceManager, "one");
        qCDebug(lcTestContentManager, "two");
        qCWarning(lcTestContentsChef, "three");
        qCInfo(lcTestLowerCase, "not readable: letter case differs");
        qCInfo(lcTestOther, "not readable: longer name");
        qInfo("not readable: default category");
        QCOMPARE(spy.count(), 3); // file logging is off: the activity log does not need it
        const QStringList expectedEnds = {QStringLiteral(" Info     - one"),
                                          QStringLiteral(" Debug    - two"),
                                          QStringLiteral(" Warning  - three")};
        for (int i = 0; i < 3; ++i) {
            const QString line = spy.at(i).at(0).toString();
            QVERIFY2(line.endsWith(expectedEnds.at(i)), qPrintable(line));
            QCOMPARE(line.size(), 17 + expectedEnds.at(i).size()); // whole line, time stamp first
        }
    }

    void bufferFlushesOnlyAboveTheThreshold()
    {
        logger()->setFileLoggingEnabled(true);
        QMessageLogContext context;
        // 99999 bytes and a line feed: exactly 100000 bytes, which is not "more than".
        const QString big(Logger::kFlushThreshold - 1, QLatin1Char('a'));
        logger()->writeMessage(context, big, false);
        QCOMPARE(QFileInfo(m_path).size(), qint64(0));

        logger()->writeMessage(context, QStringLiteral("b"), false);
        const QByteArray bytes = fileContents();
        QCOMPARE(bytes.size(), Logger::kFlushThreshold + 2);
        QVERIFY(bytes.endsWith("a\nb\n"));

        // The buffer was emptied by the flush: the next line waits again.
        logger()->writeMessage(context, QStringLiteral("c"), false);
        QCOMPARE(fileContents().size(), Logger::kFlushThreshold + 2);
        logger()->flush();
        QVERIFY(fileContents().endsWith("b\nc\n"));
    }

    void pendingLinesAreWrittenAt_data()
    {
        QTest::addColumn<bool>("fatal"); // else: file logging switched off
        QTest::newRow("a fatal line") << true;
        QTest::newRow("file logging switched off") << false;
    }

    void pendingLinesAreWrittenAt()
    {
        QFETCH(bool, fatal);
        logger()->setFileLoggingEnabled(true);
        QMessageLogContext context;
        logger()->writeMessage(context, QStringLiteral("pending"), false);
        QCOMPARE(QFileInfo(m_path).size(), qint64(0));
        if (fatal)
            logger()->writeMessage(context, QStringLiteral("fatal"), true);
        else
            logger()->setFileLoggingEnabled(false);
        QCOMPARE(fileContents(), fatal ? QByteArray("pending\nfatal\n") : QByteArray("pending\n"));
    }

    void anUnwritableFileKeepsTheBuffer()
    {
        logger()->setFileLoggingEnabled(true);
        QMessageLogContext context;
        logger()->writeMessage(context, QStringLiteral("kept"), false);
        // A folder in the file's place: the append fails, nothing is lost.
        QVERIFY(QFile::remove(m_path));
        QVERIFY(QDir().mkdir(m_path));
        logger()->flush();
        QVERIFY(QDir().rmdir(m_path));
        logger()->flush();
        QCOMPARE(fileContents(), QByteArray("kept\n"));
    }

    // A full disk (here /dev/full in the file's place) must not make the buffer
    // grow without bound: the newest lines are kept, and the file says how many
    // older ones are missing once it takes lines again.
    void aFullDiskDropsTheOldestLinesAndSaysSo()
    {
        logger()->setFileLoggingEnabled(true);
        QVERIFY(QFile::remove(m_path));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), m_path));
        QMessageLogContext context;
        const int total = 3 * Logger::kBufferLimit / 100;
        for (int i = 0; i < total; ++i)
            logger()->writeMessage(context, QStringLiteral("line %1 ").arg(i, 6, 10, QLatin1Char('0')).leftJustified(99, '.'), false);
        QVERIFY(QFile::remove(m_path));
        logger()->flush();

        const QByteArray bytes = fileContents();
        // What a failed attempt left, and the lines since then.
        QVERIFY2(bytes.size() <= Logger::kBufferLimit + Logger::kFlushThreshold + 200,
                 qPrintable(QString::number(bytes.size())));
        const QList<QByteArray> lines = bytes.split('\n');
        QVERIFY(lines.size() > 2);
        const QRegularExpression note(QStringLiteral(
            R"(^\d\d-\d\d-\d\d \d\d:\d\d:\d\d Warning  - (\d+) log line\(s\) dropped: the log file could not be written$)"));
        const QRegularExpressionMatch m = note.match(QString::fromUtf8(lines.first()));
        QVERIFY2(m.hasMatch(), lines.first().constData());
        const int dropped = m.captured(1).toInt();
        const int kept = lines.size() - 2; // the note, and the empty rest after the last line feed
        QCOMPARE(dropped + kept, total);
        // The newest lines, in order, none cut.
        for (int i = 0; i < kept; ++i)
            QCOMPARE(lines.at(i + 1).left(12), QStringLiteral("line %1 ").arg(dropped + i, 6, 10, QLatin1Char('0')).toUtf8());
        // Said once: the next flush adds only new lines.
        logger()->writeMessage(context, QStringLiteral("after"), false);
        logger()->flush();
        QCOMPARE(fileContents(), bytes + "after\n");
    }

    void linesFromManyThreadsStayWhole()
    {
        logger()->setFileLoggingEnabled(true);
        QVector<QThread *> threads;
        for (int t = 0; t < 4; ++t)
            threads << QThread::create([t] {
                for (int i = 0; i < 500; ++i)
                    qDebug("thread %d line %d %s", t, i, "................................................");
            });
        for (QThread *thread : threads)
            thread->start();
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(20000));
            delete thread;
        }
        logger()->flush();
        const QList<QByteArray> lines = fileContents().split('\n');
        QCOMPARE(lines.size(), 2001);
        const QRegularExpression layout(QStringLiteral(R"(^\d\d-\d\d-\d\d \d\d:\d\d:\d\d Debug    - thread (\d) line (\d+) \.{48}$)"));
        QHash<int, int> nextPerThread;
        for (int i = 0; i < 2000; ++i) {
            const QString line = QString::fromUtf8(lines.at(i));
            const QRegularExpressionMatch m = layout.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            // Each thread's lines keep their order.
            const int thread = m.captured(1).toInt();
            const int number = m.captured(2).toInt();
            QCOMPARE(number, nextPerThread.value(thread));
            nextPerThread[thread] = number + 1;
        }
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_core_logger.moc"
