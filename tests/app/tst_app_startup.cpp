// The application executable as an operator meets it: one instance only, the log
// file and its option, a clean end on SIGTERM, and a crash report on a crash.
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

const QByteArray kStartedMarker = "Tamo 1.0.95 started";

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;

    QString dataHome() const { return m_home.filePath(QStringLiteral("data")); }
    QString tamoFolder() const { return dataHome() + QStringLiteral("/Tamo"); }
    QString logPath() const { return tamoFolder() + QStringLiteral("/logs.txt"); }

    QProcess *launch(const QStringList &args)
    {
        auto *process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        env.remove(QStringLiteral("TAMO_SIM_DIR"));
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(TAMO_BIN), args);
        return process;
    }

    // Waits until the process has written its start line on standard error.
    static bool started(QProcess *process, QByteArray *errors)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 15000 && process->state() != QProcess::NotRunning) {
            process->waitForReadyRead(200);
            errors->append(process->readAllStandardError());
            if (errors->contains(kStartedMarker))
                return true;
        }
        return false;
    }

    static bool terminate(QProcess *process, int sig)
    {
        ::kill(static_cast<pid_t>(process->processId()), sig);
        return process->waitForFinished(15000);
    }

    QByteArray logContents() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static void verifyWellFormed(const QByteArray &log)
    {
        QVERIFY(log.endsWith('\n'));
        const QRegularExpression layout(
            QStringLiteral(R"(^\d\d-\d\d-\d\d \d\d:\d\d:\d\d( Debug   | Info    | Warning | Critical| Fatal   ) - .*$)"));
        for (const QByteArray &line : log.left(log.size() - 1).split('\n'))
            QVERIFY2(layout.match(QString::fromUtf8(line)).hasMatch(), line.constData());
    }

private slots:
    void init() { QDir(dataHome()).removeRecursively(); }

    void onlyTheExactOptionSwitchesTheFileOn_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("firstStart");
        QTest::newRow("first start") << QStringList{"-l"} << true << true;
        QTest::newRow("none") << QStringList{} << false << false;
        QTest::newRow("upper case") << QStringList{"-L"} << false << false;
        QTest::newRow("longer") << QStringList{"-ll"} << false << false;
        QTest::newRow("double dash") << QStringList{"--l"} << false << false;
        QTest::newRow("after others") << QStringList{"other", "-l"} << true << false;
    }
    void onlyTheExactOptionSwitchesTheFileOn()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, written);
        QFETCH(bool, firstStart);
        // A previous run's content must be gone either way.
        if (!firstStart) {
            QVERIFY(QDir().mkpath(tamoFolder()));
            QFile file(logPath());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old run\n") > 0);
        }
        QProcess *tamo = launch(args);
        QByteArray err;
        QVERIFY2(started(tamo, &err), err.constData());
        QVERIFY(QFileInfo(logPath()).isFile());
        QVERIFY(terminate(tamo, SIGTERM));
        QCOMPARE(tamo->exitStatus(), QProcess::NormalExit);
        QCOMPARE(tamo->exitCode(), 0);
        const QByteArray log = logContents();
        if (!written) {
            QCOMPARE(log, QByteArray());
            return;
        }
        verifyWellFormed(log);
        QVERIFY(log.contains(kStartedMarker));
        // The tail reached the file: SIGTERM ended the event loop the normal way.
        QVERIFY(log.contains("Terminating on signal 15"));
    }

    void secondInstanceLeavesTheFirstAlone()
    {
        QProcess *first = launch({QStringLiteral("-l")});
        QByteArray firstErr;
        QVERIFY2(started(first, &firstErr), firstErr.constData());
        // A line already in the running instance's file: a second start that
        // emptied the file would lose it.
        const QByteArray marker = "20-01-01 00:00:00 Info     - written before the second start\n";
        {
            QFile file(logPath());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(marker) > 0);
        }
        QProcess *second = launch({QStringLiteral("-l")});
        QVERIFY(second->waitForFinished(5000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        const QByteArray secondErr = second->readAllStandardError();
        QVERIFY(!secondErr.contains(kStartedMarker));
        QVERIFY2(secondErr.contains(" Debug    - Other instance of the application already running\n"), secondErr.constData());
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(logContents(), marker);

        QVERIFY(terminate(first, SIGTERM));
        QCOMPARE(first->exitCode(), 0);
        const QByteArray log = logContents();
        verifyWellFormed(log);
        QVERIFY(log.startsWith(marker));
        QVERIFY(log.contains(kStartedMarker));
        QVERIFY(!log.contains("Other instance"));
    }

    void aKilledInstanceDoesNotBlockTheNextStart()
    {
        QProcess *first = launch({});
        QByteArray err;
        QVERIFY2(started(first, &err), err.constData());
        QVERIFY(terminate(first, SIGKILL));
        QVERIFY(QFileInfo::exists(tamoFolder() + QStringLiteral("/instance.lock")));
        QProcess *second = launch({});
        QByteArray secondErr;
        QVERIFY2(started(second, &secondErr), secondErr.constData());
        QVERIFY(!secondErr.contains("Other instance"));
        QVERIFY(terminate(second, SIGTERM));
        QCOMPARE(second->exitCode(), 0);
    }

    void crashLeavesOneReport_data()
    {
        QTest::addColumn<int>("sig");
        QTest::addColumn<QString>("name");
        QTest::newRow("segmentation fault") << int(SIGSEGV) << QStringLiteral("SIGSEGV");
        QTest::newRow("abort") << int(SIGABRT) << QStringLiteral("SIGABRT");
        QTest::newRow("bus error") << int(SIGBUS) << QStringLiteral("SIGBUS");
    }
    void crashLeavesOneReport()
    {
        QFETCH(int, sig);
        QFETCH(QString, name);
        QProcess *tamo = launch({QStringLiteral("-l")});
        QByteArray err;
        QVERIFY2(started(tamo, &err), err.constData());
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        QVERIFY(terminate(tamo, sig));
        const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);
        QCOMPARE(tamo->exitStatus(), QProcess::CrashExit);
        QCOMPARE(tamo->exitCode(), sig); // it died of the signal itself

        const QDir crashes(tamoFolder() + QStringLiteral("/Crashes"));
        const QStringList reports = crashes.entryList(QDir::Files);
        QCOMPARE(reports.size(), 1);
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral(R"(^Tamo_(\d{4}-\d\d-\d\d-\d{6})_(.+)\.txt$)")).match(reports.first());
        QVERIFY2(m.hasMatch(), qPrintable(reports.first()));
        const passwd *pw = ::getpwuid(::geteuid());
        QCOMPARE(m.captured(2), pw ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER"));
        QDateTime stamp = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd-hhmmss"));
        stamp.setTimeSpec(Qt::UTC);
        QVERIFY2(stamp >= before && stamp <= after, qPrintable(m.captured(1)));

        QFile report(crashes.filePath(reports.first()));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QByteArray text = report.readAll();
        QVERIFY2(text.contains("signal " + QByteArray::number(sig) + " (" + name.toLatin1() + ")"), text.constData());
        QVERIFY2(text.mid(text.indexOf("Backtrace:\n")).count("[0x") >= 2, text.constData());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_app_startup.moc"
