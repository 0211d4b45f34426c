// The application executable as an operator meets it: one instance only (a
// second start brings the running window forward, or explains that the hub
// service holds the devices), the log file and its option, a clean end on
// SIGTERM, and a crash report on a crash.
#include "PtyPeer.h"
#include "SimPortFile.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef TAMO_SCREENSHOT_DIR
#error "TAMO_SCREENSHOT_DIR must name the folder for the screenshots"
#endif

namespace {

const QByteArray kStartedMarker = "Tamo 1.0.95 started";

// A virtual X server of the test's own; Xvfb picks a free display and names it.
QString startDisplay(QProcess &xvfb)
{
    xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted(10000))
        return QString();
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (!out.contains('\n') && timer.elapsed() < 15000 && xvfb.state() == QProcess::Running) {
        xvfb.waitForReadyRead(200);
        out += xvfb.readAllStandardOutput();
    }
    return out.contains('\n') ? QLatin1Char(':') + QString::fromLatin1(out.trimmed()) : QString();
}

// xdotool on that display: its standard output, trimmed.
QString xdotool(const QString &display, const QStringList &arguments, int timeoutMs = 15000)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(timeoutMs))
        tool.kill();
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

QString userName()
{
    const passwd *pw = ::getpwuid(::geteuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER");
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;

    QString dataHome() const { return m_home.filePath(QStringLiteral("data")); }
    QString tamoFolder() const { return dataHome() + QStringLiteral("/Tamo"); }
    QString logPath() const { return tamoFolder() + QStringLiteral("/logs.txt"); }
    QString previousLogPath() const { return tamoFolder() + QStringLiteral("/logs.previous.txt"); }

    // On `display` when one is given; offscreen otherwise.
    QProcess *launch(const QStringList &args, const QString &loggingRules = QString(),
                     const QString &display = QString())
    {
        auto *process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), display.isEmpty() ? QStringLiteral("offscreen")
                                                                        : QStringLiteral("xcb"));
        if (!display.isEmpty()) {
            env.insert(QStringLiteral("DISPLAY"), display);
            // No OpenGL in this window: the GL integration's driver set-up leaks at exit.
            env.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
        }
        env.remove(QStringLiteral("TAMO_SIM_DIR"));
        if (!loggingRules.isEmpty())
            env.insert(QStringLiteral("QT_LOGGING_RULES"), loggingRules);
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(TAMO_BIN), args);
        return process;
    }

    // Waits until the process has written its start line and then at least
    // `linesAfter` more lines on standard error.
    static bool waitStarted(QProcess *process, QByteArray *stdErr, int linesAfter = 0)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 15000) {
            process->waitForReadyRead(200);
            stdErr->append(process->readAllStandardError());
            const int at = stdErr->indexOf(kStartedMarker);
            if (at >= 0 && stdErr->mid(at).count('\n') > linesAfter)
                return true;
            if (process->state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }

    static bool terminate(QProcess *process, int sig)
    {
        ::kill(static_cast<pid_t>(process->processId()), sig);
        return process->waitForFinished(15000);
    }

    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // A thread of the process other than its main thread; 0 when none appears.
    static pid_t otherThread(pid_t pid)
    {
        QElapsedTimer timer;
        timer.start();
        do {
            const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
            for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                if (task.toInt() != pid)
                    return task.toInt();
            QTest::qWait(100);
        } while (timer.elapsed() < 10000);
        return 0;
    }

    QByteArray logContents() const { return readFile(logPath()); }

    static void verifyWellFormed(const QByteArray &log)
    {
        QVERIFY(log.isEmpty() || log.endsWith('\n'));
        const QRegularExpression layout(QStringLiteral(
            R"(^\d\d-\d\d-\d\d \d\d:\d\d:\d\d( Debug   | Info    | Warning | Critical| Fatal   ) - .*$)"));
        const QList<QByteArray> lines = log.split('\n');
        for (int i = 0; i + 1 < lines.size(); ++i)
            QVERIFY2(layout.match(QString::fromUtf8(lines.at(i))).hasMatch(), lines.at(i).constData());
    }

private slots:
    void init()
    {
        QDir(dataHome()).removeRecursively();
    }

    void secondInstanceLeavesTheFirstAlone()
    {
        QProcess *first = launch({QStringLiteral("-l")});
        QByteArray firstErr;
        QVERIFY2(waitStarted(first, &firstErr), firstErr.constData());

        // A line already in the running instance's file: a second start that
        // emptied the file would lose it.
        const QByteArray marker = "20-01-01 00:00:00 Info     - written before the second start\n";
        {
            QFile file(logPath());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
            file.write(marker);
        }

        QElapsedTimer timer;
        timer.start();
        QProcess *second = launch({QStringLiteral("-l")});
        QVERIFY(second->waitForFinished(5000));
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        const QByteArray secondErr = second->readAllStandardError();
        QVERIFY2(secondErr.contains(" Debug    - Other instance of the application already running\n"),
                 secondErr.constData());
        QVERIFY(!secondErr.contains(kStartedMarker));

        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(logContents(), marker);
        QVERIFY(!QFileInfo::exists(previousLogPath())); // nor did it move the file aside

        QVERIFY(terminate(first, SIGTERM));
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
        const QByteArray log = logContents();
        verifyWellFormed(log);
        QVERIFY(log.startsWith(marker));
        QVERIFY(log.contains(kStartedMarker));
        QVERIFY(!log.contains("Other instance"));
    }

    void secondStartBringsTheRunningWindowForward()
    {
        QProcess xvfb;
        const QString display = startDisplay(xvfb);
        QVERIFY(!display.isEmpty());
        QProcess *first = launch({}, QString(), display);
        QByteArray firstErr;
        QVERIFY2(waitStarted(first, &firstErr), firstErr.constData());
        const QString window =
            xdotool(display, {"search", "--sync", "--onlyvisible", "--name", "^TAMO Halvic"}).section(QLatin1Char('\n'), 0, 0);
        QVERIFY(!window.isEmpty());
        // No window manager runs here: nothing has given the window the focus.
        QVERIFY(xdotool(display, {"getwindowfocus"}) != window);

        QProcess *second = launch({}, QString(), display);
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        const QByteArray secondErr = second->readAllStandardError();
        QVERIFY2(secondErr.contains(" Debug    - Other instance of the application already running\n"),
                 secondErr.constData());
        QVERIFY(!secondErr.contains(kStartedMarker));
        QTRY_COMPARE_WITH_TIMEOUT(xdotool(display, {"getwindowfocus"}), window, 10000);
        QTRY_VERIFY((firstErr += first->readAllStandardError()).contains("Started again: the window comes to the front"));

        QVERIFY(terminate(first, SIGTERM));
        QCOMPARE(first->exitCode(), 0);
        xvfb.terminate();
        QVERIFY(xvfb.waitForFinished(10000));
    }

    void secondStartWhileTheHubHoldsTheDevicesExplains()
    {
        QProcess xvfb;
        const QString display = startDisplay(xvfb);
        QVERIFY(!display.isEmpty());
        // tamo-cli, as the hub service runs it, waiting for a device that is slow to answer.
        QVERIFY(QDir().mkpath(tamoFolder()));
        PtyPeer device;
        QVERIFY(device.isValid());
        QTemporaryDir ports;
        QVERIFY(writeSimPortFile(ports.path(), QStringLiteral("TAMOHUB0001"),
                                 simPort(device.portName(), QStringLiteral("TAMOHUB0001"))));
        QProcess hub;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        env.insert(QStringLiteral("TAMO_SIM_DIR"), ports.path());
        env.insert(QStringLiteral("TAMO_TIMING_SCALE"), QStringLiteral("100"));
        hub.setProcessEnvironment(env);
        hub.start(QStringLiteral(TAMO_CLI_BIN), {"devices", "--timeout", "3000"});
        QVERIFY(hub.waitForStarted(10000));
        const QString lock = tamoFolder() + QStringLiteral("/instance.lock");
        QTRY_VERIFY_WITH_TIMEOUT(readFile(lock).contains("\ntamo-cli\n"), 15000);

        QProcess *tamo = launch({}, QString(), display);
        QVERIFY(tamo->waitForStarted(10000));
        const QString box = xdotool(display, {"search", "--sync", "--onlyvisible", "--name", "^TAMO hub is running$"})
                                .section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(!box.isEmpty(), tamo->readAllStandardError().constData());
        QProcess import;
        QProcessEnvironment importEnv = QProcessEnvironment::systemEnvironment();
        importEnv.insert(QStringLiteral("DISPLAY"), display);
        import.setProcessEnvironment(importEnv);
        QVERIFY(QDir().mkpath(QStringLiteral(TAMO_SCREENSHOT_DIR)));
        import.start(QStringLiteral("import"), {"-window", box,
                                                QStringLiteral(TAMO_SCREENSHOT_DIR "/second-start-hub-running.png")});
        QVERIFY(import.waitForFinished(30000));
        QCOMPARE(import.exitCode(), 0);
        QCOMPARE(tamo->state(), QProcess::Running); // until the operator has read it

        xdotool(display, {"windowfocus", "--sync", box});
        xdotool(display, {"key", "Return"});
        QVERIFY(tamo->waitForFinished(10000));
        QCOMPARE(tamo->exitStatus(), QProcess::NormalExit);
        QCOMPARE(tamo->exitCode(), 0);
        const QByteArray err = tamo->readAllStandardError();
        QVERIFY2(err.contains(" Debug    - Other instance of the application already running\n"), err.constData());
        QVERIFY2(err.contains("systemctl --user stop tamo-hub"), err.constData());
        QVERIFY(!err.contains(kStartedMarker));
        QCOMPARE(hub.state(), QProcess::Running); // the hub is not disturbed

        ::kill(static_cast<pid_t>(hub.processId()), SIGTERM);
        QVERIFY(hub.waitForFinished(15000));
        xvfb.terminate();
        QVERIFY(xvfb.waitForFinished(10000));
    }

    void aKilledInstanceDoesNotBlockTheNextStart()
    {
        QProcess *first = launch({});
        QByteArray err;
        QVERIFY(waitStarted(first, &err));
        QVERIFY(terminate(first, SIGKILL));
        QVERIFY(QFileInfo::exists(tamoFolder() + QStringLiteral("/instance.lock")));

        QProcess *second = launch({});
        QByteArray secondErr;
        QVERIFY2(waitStarted(second, &secondErr), secondErr.constData());
        QVERIFY(!secondErr.contains("Other instance"));
        QVERIFY(terminate(second, SIGTERM));
        QCOMPARE(second->exitCode(), 0);
    }

    void onlyTheExactOptionSwitchesTheFileOn_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("previousRun"); // else the data folder is made by this start
        QTest::newRow("first start") << QStringList{QStringLiteral("-l")} << true << false;
        QTest::newRow("none") << QStringList{} << false << true;
        QTest::newRow("longer") << QStringList{QStringLiteral("-ll")} << false << true;
        QTest::newRow("after others") << QStringList{QStringLiteral("other"), QStringLiteral("-l")} << true << true;
    }

    void onlyTheExactOptionSwitchesTheFileOn()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, written);
        QFETCH(bool, previousRun);
        // A previous run's content must be gone from the log either way, and
        // kept as the previous log.
        QVERIFY(!QDir(dataHome()).exists());
        if (previousRun) {
            // As an earlier version left them: open to every user.
            QVERIFY(QDir().mkpath(tamoFolder()));
            QFile file(logPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("old run\n");
            QCOMPARE(::chmod(QFile::encodeName(tamoFolder()).constData(), 0755), 0);
            QCOMPARE(::chmod(QFile::encodeName(logPath()).constData(), 0644), 0);
        }
        QProcess *tamo = launch(args);
        QByteArray err;
        QVERIFY2(waitStarted(tamo, &err), err.constData());
        QVERIFY(QFileInfo(logPath()).isFile() || !written);
        QVERIFY(terminate(tamo, SIGTERM));
        QCOMPARE(tamo->exitStatus(), QProcess::NormalExit);
        QCOMPARE(tamo->exitCode(), 0);
        // The tail reached the file: SIGTERM ended the event loop the normal way.
        const QByteArray log = logContents();
        verifyWellFormed(log);
        QVERIFY(!log.contains("old run"));
        QCOMPARE(log.contains(kStartedMarker), written);
        QCOMPARE(log.contains("Terminating on signal 15"), written);
        if (!written)
            QCOMPARE(log, QByteArray());
        // They name the account and the devices: the owner's alone.
        struct stat facts{};
        QCOMPARE(::stat(QFile::encodeName(tamoFolder()).constData(), &facts), 0);
        QCOMPARE(facts.st_mode & 0777, 0700u);
        QCOMPARE(::stat(QFile::encodeName(logPath()).constData(), &facts), 0);
        QCOMPARE(facts.st_mode & 0777, 0600u);
        QCOMPARE(readFile(previousLogPath()), previousRun ? QByteArray("old run\n") : QByteArray("<missing>"));
        if (previousRun) {
            QCOMPARE(::stat(QFile::encodeName(previousLogPath()).constData(), &facts), 0);
            QCOMPARE(facts.st_mode & 0777, 0600u);
        }
    }

    void crashLeavesOneReport_data()
    {
        QTest::addColumn<int>("sig");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("inOtherThread");
        // Qt's own debug lines switched on: far more lines than a report keeps.
        QTest::addColumn<bool>("chatty");
        QTest::newRow("segmentation fault") << int(SIGSEGV) << QStringLiteral("SIGSEGV") << false << false;
        QTest::newRow("abort") << int(SIGABRT) << QStringLiteral("SIGABRT") << false << false;
        QTest::newRow("bus error") << int(SIGBUS) << QStringLiteral("SIGBUS") << false << false;
        QTest::newRow("in another thread") << int(SIGSEGV) << QStringLiteral("SIGSEGV") << true << false;
        QTest::newRow("more lines than kept") << int(SIGSEGV) << QStringLiteral("SIGSEGV") << false << true;
    }

    void crashLeavesOneReport()
    {
        QFETCH(int, sig);
        QFETCH(QString, name);
        QFETCH(bool, inOtherThread);
        QFETCH(bool, chatty);
        const QString crashes = tamoFolder() + QStringLiteral("/Crashes");
        QProcess *tamo = launch({QStringLiteral("-l")}, chatty ? QStringLiteral("qt.*.debug=true") : QString());
        QByteArray err;
        QVERIFY2(waitStarted(tamo, &err, chatty ? 2 * 50 : 0), err.constData());
        const auto pid = static_cast<pid_t>(tamo->processId());
        const pid_t thread = inOtherThread ? otherThread(pid) : pid;
        QVERIFY2(thread > 0, "the application runs no thread besides the main one");
        const QByteArray threadName = readFile(QStringLiteral("/proc/%1/task/%2/comm").arg(pid).arg(thread)).trimmed();

        // The name carries wall-clock time, which a freshly booted machine's time
        // service may still step while the test runs: the margin allows a step of
        // a few seconds, far less than any time zone's offset from UTC.
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-30);
        ::syscall(SYS_tgkill, pid, thread, sig);
        QVERIFY(tamo->waitForFinished(15000));
        const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(30);
        QCOMPARE(tamo->exitStatus(), QProcess::CrashExit);
        QCOMPARE(tamo->exitCode(), sig); // it died of the signal itself
        err += tamo->readAllStandardError();

        const QStringList reports = QDir(crashes).entryList(QDir::Files);
        QCOMPARE(reports.size(), 1);
        const QRegularExpression rule(QStringLiteral(R"(^Tamo_(\d{4}-\d\d-\d\d-\d{6})_(.+)\.txt$)"));
        const QRegularExpressionMatch m = rule.match(reports.first());
        QVERIFY2(m.hasMatch(), qPrintable(reports.first()));
        QCOMPARE(m.captured(2), userName());
        QDateTime stamp = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd-hhmmss"));
        stamp.setTimeSpec(Qt::UTC);
        QVERIFY2(stamp >= before && stamp <= after,
                 qPrintable(QStringLiteral("%1 not within %2 .. %3")
                                .arg(m.captured(1), before.toString(Qt::ISODateWithMs),
                                     after.toString(Qt::ISODateWithMs))));

        const QByteArray text = readFile(crashes + QLatin1Char('/') + reports.first());
        QVERIFY2(text.startsWith("Tamo crashed with signal " + QByteArray::number(sig) + " (" + name.toLatin1() + ")\n"),
                 text.constData());
        const QByteArray facts[] = {
            "\nApplication: Tamo 1.0.95\n",
            "\nQt: " + QByteArray(qVersion()) + " (built with ",
            "\nOperating system: " + QSysInfo::prettyProductName().toUtf8() + ", ",
            "\nTime (UTC): " + stamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toUtf8() + "\n",
            "\nProcess id: " + QByteArray::number(pid) + "\n",
            "\nThread: " + QByteArray::number(thread) + " \"" + threadName + "\" ("
                + (inOtherThread ? "not the main thread" : "the main thread") + ")\n",
            "\nSent by process " + QByteArray::number(QCoreApplication::applicationPid()) + "\n",
        };
        for (const QByteArray &fact : facts)
            QVERIFY2(text.contains(fact), (fact + "\nnot in:\n" + text).constData());

        const int backtraceAt = text.indexOf("\nBacktrace:\n");
        const int tailAt = text.indexOf("\nLast log lines (up to 50), oldest first:\n");
        QVERIFY2(backtraceAt > 0 && tailAt > backtraceAt, text.constData());
        QVERIFY2(text.mid(backtraceAt, tailAt - backtraceAt).count("[0x") >= 2, text.constData());

        // The tail is the log as it was written (hidden secrets stay hidden):
        // standard error ends with the very same lines, but for the last when the
        // crash came between its entry in the tail and its print.
        const QByteArray tail = text.mid(text.indexOf('\n', tailAt + 1) + 1);
        const QByteArray printed = tail.left(tail.lastIndexOf('\n', tail.size() - 2) + 1);
        QVERIFY2(tail.endsWith('\n') && (err.endsWith(tail) || err.endsWith(printed)),
                 (tail + "\n----\n" + err.right(4000)).constData());
        verifyWellFormed(tail.left(tail.indexOf('\n') + 1));
        QCOMPARE(tail.contains(kStartedMarker), !chatty);
        if (chatty)
            QVERIFY(tail.count('\n') >= 50);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_app_startup.moc"
