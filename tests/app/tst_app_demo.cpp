// The one-command demo, end to end: scripts/demo.sh on this test's virtual X
// server, an operator typing the demo account into the window, the campaigns
// reaching the simulated cloud's record, the window closed, nothing left behind.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <xcb/xcb.h>

namespace {

// xdotool drives the keyboard through the XTEST extension, as a person would.
QString xdotool(const QStringList &arguments, int timeoutMs = 30000)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        return QString();
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

// What a window manager sends when its close button is pressed. The round trip
// at the end matters: an X server that sees the connection hang up before it has
// read the request closes it unread, and the close would never reach the window.
bool askWindowToClose(quint32 window)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    auto atom = [connection](const char *name) {
        xcb_intern_atom_reply_t *reply =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, qstrlen(name), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return value;
    };
    bool sent = false;
    if (!xcb_connection_has_error(connection)) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        const xcb_void_cookie_t request = xcb_send_event_checked(
            connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
        xcb_generic_error_t *error = xcb_request_check(connection, request);
        sent = !error && event.type != XCB_ATOM_NONE;
        free(error);
    }
    xcb_disconnect(connection);
    return sent;
}

// MACs whose campaign the simulated cloud has recorded as uploaded.
QStringList uploadedMacs(const QString &stateFile)
{
    QFile file(stateFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonArray statuses =
        QJsonDocument::fromJson(file.readAll()).object().value("record").toObject().value("uploadStatus").toArray();
    QStringList macs;
    for (const QJsonValue &entry : statuses)
        if (entry.toObject().value("status").toString() == QLatin1String("success"))
            macs << entry.toObject().value("macAddress").toString().toLower();
    macs.removeDuplicates();
    macs.sort();
    return macs;
}

// Processes whose command line or environment names the folder: the demo's
// simulators name it in their arguments, the application in TAMO_SIM_DIR.
QStringList processesUsing(const QString &folder)
{
    QStringList found;
    const QByteArray needle = QFile::encodeName(folder);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (pid.toLongLong() <= 0 || pid.toLongLong() == QCoreApplication::applicationPid())
            continue;
        for (const char *name : {"cmdline", "environ"}) {
            QFile file(QStringLiteral("/proc/%1/%2").arg(pid, QLatin1String(name)));
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle)) {
                found << pid;
                break;
            }
        }
    }
    return found;
}

// What the application's threads are doing, when gdb is there to ask: a window
// that outlives its close is stuck somewhere, and the stacks say where.
QString stacksOfTheApplication(const QStringList &pids)
{
    if (QStandardPaths::findExecutable(QStringLiteral("gdb")).isEmpty())
        return QStringLiteral("(no gdb to show the application's stacks)");
    QString stacks;
    for (const QString &pid : pids) {
        QFile exe(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!exe.open(QIODevice::ReadOnly) || !exe.readAll().contains("/Tamo"))
            continue;
        QProcess gdb;
        gdb.setProcessChannelMode(QProcess::MergedChannels);
        gdb.start(QStringLiteral("gdb"), {QStringLiteral("-p"), pid, QStringLiteral("-batch"), QStringLiteral("-ex"),
                                          QStringLiteral("thread apply all bt 30")});
        if (!gdb.waitForFinished(90000))
            gdb.kill();
        stacks += QString::fromLocal8Bit(gdb.readAll()).right(20000);
    }
    return stacks;
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT

private slots:
    void loginPublishesTheDemoAndClosingStopsEverything()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        QProcess demo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TAMO_DEMO_BUILD"), QStringLiteral(TAMO_BUILD_DIR));
        env.insert(QStringLiteral("TAMO_DEMO_DIR"), work.path());
        // A device is read 5 s after it appears, the heartbeat comes every 15 s.
        env.insert(QStringLiteral("TAMO_TIMING_SCALE"), QStringLiteral("0.5"));
        demo.setProcessEnvironment(env);
        demo.setProcessChannelMode(QProcess::MergedChannels);
        const QString said = work.filePath(QStringLiteral("demo.txt"));
        demo.setStandardOutputFile(said);
        demo.start(QStringLiteral("bash"), {QStringLiteral(TAMO_SOURCE_DIR "/scripts/demo.sh")});
        QVERIFY(demo.waitForStarted());
        // Also on a failed check: its traps stop what it started.
        const auto stopDemo = qScopeGuard([&demo] {
            demo.terminate();
            demo.waitForFinished(30000);
        });

        const QString windows = xdotool({"search", "--sync", "--onlyvisible", "--name", "^TAMO Halvic"}, 60000);
        qDebug().noquote() << "Windows of the application:" << windows.simplified();
        const QString window = windows.section(QLatin1Char('\n'), 0, 0);
        QFile output(said);
        QVERIFY(output.open(QIODevice::ReadOnly));
        const QByteArray text = output.readAll();
        QVERIFY2(!window.isEmpty(), text.constData());
        QVERIFY2(text.contains("demo.manager@tamo.example"), text.constData());
        // The e-mail field has the focus: type, Tab to the password, Return logs in.
        xdotool({"windowfocus", "--sync", window});
        xdotool({"type", "--delay", "15", "demo.manager@tamo.example"});
        xdotool({"key", "Tab"});
        xdotool({"type", "--delay", "15", "TamoDemo-2024"});
        xdotool({"key", "Return"});

        // TAMO 2's firmware is too old for campaigns; TAMO 3 is erased first.
        const QStringList expected{"c4:4f:33:0a:0b:01", "c4:4f:33:0a:0b:03"};
        const QString stateFile = work.filePath(QStringLiteral("cloud-state.json"));
        QTRY_COMPARE_WITH_TIMEOUT(uploadedMacs(stateFile), expected, 150000);

        // A device job started by the heartbeat makes the guard ask, and Yes stops
        // it: the question is answered whenever it shows, until the demo has ended.
        QVERIFY(askWindowToClose(window.toUInt()));
        QDeadlineTimer deadline(120000);
        while (!demo.waitForFinished(1000) && !deadline.hasExpired()) {
            const QString box =
                xdotool({"search", "--onlyvisible", "--name", "^Error$"}, 5000).section(QLatin1Char('\n'), 0, 0);
            if (box.isEmpty())
                continue;
            qDebug().noquote() << "The question shows:" << box;
            xdotool({"windowfocus", "--sync", box}, 5000);
            xdotool({"key", "y"}, 5000);
        }
        {
            QFile all(said);
            if (all.open(QIODevice::ReadOnly))
                for (const QByteArray &line : all.readAll().split('\n'))
                    if (line.contains("Closing the window") || line.contains("Terminat") || line.contains("Stopp"))
                        qDebug().noquote() << "Said:" << line;
        }
        if (demo.state() != QProcess::NotRunning) {
            const QStringList left = processesUsing(work.path());
            QProcess ps;
            ps.start(QStringLiteral("ps"), {QStringLiteral("-o"), QStringLiteral("pid,stat,etime,args"), QStringLiteral("-p"),
                                            left.join(QLatin1Char(','))});
            ps.waitForFinished(10000);
            QFAIL(qPrintable(QString::fromLocal8Bit(ps.readAllStandardOutput()) + QLatin1Char('\n')
                             + QString::fromUtf8(output.readAll().right(6000)) + QLatin1Char('\n')
                             + stacksOfTheApplication(left)));
        }
        if (demo.exitStatus() != QProcess::NormalExit || demo.exitCode() != 0)
            QFAIL(qPrintable(QStringLiteral("The demo ended with %1; its last words:\n").arg(demo.exitCode())
                             + QString::fromUtf8(output.readAll().right(6000))));
        QCOMPARE(processesUsing(work.path()), QStringList());
        QCOMPARE(QDir(work.filePath(QStringLiteral("sim"))).entryList({QStringLiteral("*.port")}, QDir::Files),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_app_demo.moc"
