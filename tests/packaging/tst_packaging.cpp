// What a user installs: the Debian package built from this build tree, and the udev
// rules that let a normal user at the seat open a device.
#include "SimProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QString output; // standard output and error together
};

Run run(const QString &program, const QStringList &arguments)
{
    const ToolRun tool = runTool(program, arguments, {}, 300000);
    return {tool.exitCode, QString::fromLocal8Bit(tool.out + tool.err)};
}

} // namespace

class TestPackaging : public QObject
{
    Q_OBJECT

private slots:
    // udevadm cannot be exercised without the device (udevadm test needs its sysfs
    // path), so the rules are checked as text: a wrong id, an upper-case hex digit,
    // a missing tag or a file that sorts after 73-seat-late.rules all leave a
    // normal user without access, silently.
    void udevRulesGrantAccessAndKeepModemManagerAway_data()
    {
        QTest::addColumn<QString>("subsystem");
        QTest::addColumn<QString>("product");
        QTest::addColumn<bool>("modemManagerIgnores");
        QTest::newRow("device") << QStringLiteral("usb") << QStringLiteral("5740") << true;
        QTest::newRow("device's serial port") << QStringLiteral("tty") << QStringLiteral("5740") << true;
        QTest::newRow("DFU boot loader") << QStringLiteral("usb") << QStringLiteral("df11") << false;
    }

    void udevRulesGrantAccessAndKeepModemManagerAway()
    {
        QFETCH(QString, subsystem);
        QFETCH(QString, product);
        QFETCH(bool, modemManagerIgnores);

        // Access is granted in 73-seat-late.rules; a rules file sorting after it is too late.
        QVERIFY(QFileInfo(QStringLiteral(TAMO_RULES_FILE)).fileName() < QStringLiteral("73-seat-late.rules"));
        QFile file(QStringLiteral(TAMO_RULES_FILE));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QRegularExpression match(
            QStringLiteral("SUBSYSTEM==\"%1\",.*ATTRS?\\{idVendor\\}==\"0483\", ATTRS?\\{idProduct\\}==\"%2\",")
                .arg(subsystem, product));
        QString rule;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            if (!line.trimmed().startsWith(QLatin1Char('#')) && match.match(line).hasMatch())
                rule = line;
        }
        QVERIFY2(!rule.isEmpty(), "no rule for this device");
        QVERIFY(rule.contains(QStringLiteral("TAG+=\"uaccess\"")));
        QCOMPARE(rule.contains(QStringLiteral("ENV{ID_MM_DEVICE_IGNORE}=\"1\"")), modemManagerIgnores);
    }

    // Each option as systemd itself reads it: the offline security review marks
    // an option that is missing, misspelt or not in effect for a user unit.
    void hubServiceIsHardened_data()
    {
        QTest::addColumn<QString>("check"); // the name systemd-analyze security gives it
        for (const char *check : {"NoNewPrivileges=", "LockPersonality=", "RestrictRealtime=", "RestrictSUIDSGID=",
                                  "SystemCallArchitectures=", "SystemCallFilter=~@mount", "SystemCallFilter=~@debug",
                                  "SystemCallFilter=~@module", "SystemCallFilter=~@raw-io", "RestrictNamespaces=~user",
                                  "RestrictNamespaces=~net", "RestrictAddressFamilies=~AF_PACKET",
                                  "RestrictAddressFamilies=~…", "UMask="})
            QTest::newRow(check) << QString::fromUtf8(check);
    }

    void hubServiceIsHardened()
    {
        QFETCH(QString, check);
        if (QStandardPaths::findExecutable(QStringLiteral("systemd-analyze")).isEmpty())
            QSKIP("systemd-analyze is missing; scripts/setup.sh installs it");
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        // The unit as packaged, its tamo-cli this build's (systemd looks for a bare
        // name only in its own fixed folders).
        QFile source(QStringLiteral(TAMO_HUB_UNIT));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QByteArray unit = source.readAll();
        QVERIFY(unit.contains("\nExecStart=tamo-cli "));
        unit.replace("\nExecStart=tamo-cli ", "\nExecStart=" TAMO_CLI_BIN " ");
        const QString path = scratch.filePath(QStringLiteral("tamo-hub.service"));
        QFile copy(path);
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(unit) == unit.size());
        copy.close();
        const QString runtime = scratch.filePath(QStringLiteral("runtime"));
        QVERIFY(QDir().mkdir(runtime));
        QVERIFY(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        const QStringList env{QStringLiteral("XDG_RUNTIME_DIR=") + runtime};

        const ToolRun verify = runTool(QStringLiteral("systemd-analyze"),
                                       {QStringLiteral("verify"), QStringLiteral("--user"), QStringLiteral("--man=no"), path}, env);
        QVERIFY2(verify.exitCode == 0 && verify.out.isEmpty() && verify.err.isEmpty(), verify.out + verify.err);
        const ToolRun review = runTool(QStringLiteral("systemd-analyze"),
                                       {QStringLiteral("security"), QStringLiteral("--user"),
                                        QStringLiteral("--offline=yes"), path}, env);
        const QString report = QString::fromUtf8(review.out);
        const QRegularExpression line(QStringLiteral("^(✓|✗) %1\\s").arg(QRegularExpression::escape(check)),
                                      QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = line.match(report);
        QVERIFY2(m.hasMatch(), qPrintable(report));
        QVERIFY2(m.captured(1) == QStringLiteral("✓"), qPrintable(report.mid(m.capturedStart(), 160)));
    }

    // A refused password is not tried again and again: tamo-cli's own exit code
    // for it stops the restarts.
    void hubServiceDoesNotRestartOnRefusedCredentials()
    {
        QFile unit(QStringLiteral(TAMO_HUB_UNIT));
        QVERIFY(unit.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList prevent;
        QString restart;
        for (const QString &line : QString::fromUtf8(unit.readAll()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("RestartPreventExitStatus=")))
                prevent += line.section(QLatin1Char('='), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (line.startsWith(QLatin1String("Restart=")))
                restart = line.section(QLatin1Char('='), 1);
        }
        QCOMPARE(restart, QStringLiteral("on-failure"));
        QCOMPARE(prevent, QStringList{QStringLiteral("3")});
    }

    // udev is asked to look again at the maker's devices only, never at every USB
    // device and terminal of the machine.
    void maintainerScriptsTriggerOnlyTheVendorsDevices_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("argument");
        QTest::newRow("postinst") << "postinst" << "configure";
        QTest::newRow("postrm") << "postrm" << "remove";
    }

    void maintainerScriptsTriggerOnlyTheVendorsDevices()
    {
        QFETCH(QString, script);
        QFETCH(QString, argument);
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        // A udevadm that records how it was called.
        const QString calls = bin.filePath(QStringLiteral("calls"));
        QFile fake(bin.filePath(QStringLiteral("udevadm")));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\necho \"$*\" >> '" + calls.toUtf8() + "'\n");
        fake.close();
        QVERIFY(fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner));
        const ToolRun run = runTool(QStringLiteral("/bin/sh"), {QStringLiteral(TAMO_DEBIAN_DIR "/") + script, argument},
                                    {QStringLiteral("PATH=") + bin.path() + QStringLiteral(":/usr/bin:/bin")});
        QCOMPARE(run.exitCode, 0);
        QFile recorded(calls);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(recorded.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QStringLiteral("control --reload-rules"));
        const QStringList triggers = lines.filter(QRegularExpression(QStringLiteral("^trigger ")));
        QCOMPARE(triggers.size(), lines.size() - 1);
        QVERIFY(!triggers.isEmpty());
        for (const QString &trigger : triggers)
            QVERIFY2(trigger.contains(QRegularExpression(QStringLiteral("--(attr-match=idVendor|property-match=ID_VENDOR_ID)=0483( |$)"))),
                     qPrintable(trigger));
        QCOMPARE(triggers.filter(QStringLiteral("--subsystem-match=tty")).size(), 1);
        QCOMPARE(triggers.filter(QStringLiteral("--subsystem-match=usb")).size(), 1);
    }

    // What bash offers at Tab: the completion file the package installs,
    // sourced into a plain bash and asked the way bash asks it.
    void bashCompletes_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("commands") << "tamo-cli " << QStringList{"convert", "devices", "publish", "upgrade"};
        QTest::newRow("a command begun") << "tamo-cli up" << QStringList{"upgrade"};
        QTest::newRow("after an option's value") << "tamo-cli --timeout 5 de" << QStringList{"devices"};
        QTest::newRow("firmware files and folders") << "tamo-cli upgrade " << QStringList{"fw.dfu", "sub"};
        QTest::newRow("upgrade's options") << "tamo-cli upgrade fw.dfu --"
                                           << QStringList{"--json", "--log", "--serial", "--timeout"};
        QTest::newRow("a serial number is typed") << "tamo-cli upgrade fw.dfu --serial " << QStringList();
        QTest::newRow("a log file") << "tamo-cli devices --log no" << QStringList{"notes.txt"};
        QTest::newRow("publish's options") << "tamo-cli publish --w" << QStringList{"--watch"};
        QTest::newRow("the window's options") << "Tamo -" << QStringList{"--help", "--version", "-l"};
    }
    void bashCompletes()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, offered);
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("sub")));
        for (const char *name : {"fw.dfu", "notes.txt"}) {
            QFile file(folder.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QString script = QStringLiteral(
            "source \"$1\" || exit 3\n"
            "read -r -a COMP_WORDS <<< \"$2\"\n"
            "[[ $2 == *' ' ]] && COMP_WORDS+=('')\n"
            "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$2 COMP_POINT=${#2}\n"
            "function=$(complete -p \"${COMP_WORDS[0]}\" | sed -n 's/.* -F \\([^ ]*\\) .*/\\1/p')\n"
            "[[ -n $function ]] || exit 4\n"
            "\"$function\" \"${COMP_WORDS[0]}\" \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
            "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
        QProcess bash;
        bash.setWorkingDirectory(folder.path());
        bash.start(QStringLiteral("bash"), {QStringLiteral("--norc"), QStringLiteral("--noprofile"), QStringLiteral("-c"),
                                            script, QStringLiteral("bash"), QStringLiteral(TAMO_COMPLETION_FILE), line});
        QVERIFY(bash.waitForFinished(30000));
        QVERIFY2(bash.exitCode() == 0, bash.readAllStandardError().constData());
        QStringList completions = QString::fromUtf8(bash.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        completions.sort();
        QCOMPARE(completions, offered);
    }

    void packageHoldsWhatAUserRuns()
    {
        for (const char *tool : {"dpkg-deb", "dpkg-shlibdeps", "lintian", "appstreamcli", "desktop-file-validate"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is missing; scripts/setup.sh installs it").arg(QLatin1String(tool))));
        }
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());

        // cpack packs what this build tree has built; it does not compile anything.
        const Run pack = run(QStringLiteral(TAMO_CPACK),
                             {QStringLiteral("--config"), QStringLiteral(TAMO_CPACK_CONFIG), QStringLiteral("-B"),
                              scratch.path()});
        QVERIFY2(pack.exitCode == 0, qPrintable(pack.output));
        const QString arch = run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).output.trimmed();
        const QString deb = scratch.filePath(QStringLiteral("tamo-desktop_" TAMO_VERSION "_%1.deb").arg(arch));
        QVERIFY2(QFileInfo::exists(deb), qPrintable(pack.output));

        const QString depends = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")}).output;
        for (const char *package : {"dfu-util", "qt5-image-formats-plugins", "libc6", "libqt5core5a", "libqt5widgets5",
                                    "libqt5serialport5"})
            QVERIFY2(depends.contains(QRegularExpression(QStringLiteral("(^|, )%1( |,|$)").arg(QLatin1String(package)))),
                     qPrintable(package + QStringLiteral(" missing from: ") + depends));

        const Run lintian = run(QStringLiteral("lintian"), {QStringLiteral("--fail-on"), QStringLiteral("error"), deb});
        QVERIFY2(lintian.exitCode == 0, qPrintable(lintian.output));

        const QString root = scratch.filePath(QStringLiteral("root"));
        QCOMPARE(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root}).exitCode, 0);
        const QString desktopEntry = QStringLiteral("usr/share/applications/example.tamo.Tamo.desktop");
        const QString metainfo = QStringLiteral("usr/share/metainfo/example.tamo.Tamo.metainfo.xml");
        const QStringList installed = {
            desktopEntry,
            metainfo,
            QStringLiteral("usr/lib/udev/rules.d/60-tamo.rules"),
            QStringLiteral("usr/lib/systemd/user/tamo-hub.service"),
            QStringLiteral("usr/share/icons/hicolor/48x48/apps/example.tamo.Tamo.png"),
            QStringLiteral("usr/share/icons/hicolor/128x128/apps/example.tamo.Tamo.png"),
            QStringLiteral("usr/share/icons/hicolor/256x256/apps/example.tamo.Tamo.png"),
            QStringLiteral("usr/share/icons/hicolor/scalable/apps/example.tamo.Tamo.svg"),
            QStringLiteral("usr/share/man/man1/Tamo.1.gz"),
            QStringLiteral("usr/share/man/man1/tamo-cli.1.gz"),
            QStringLiteral("usr/share/doc/tamo-desktop/copyright"),
            QStringLiteral("usr/share/bash-completion/completions/tamo-cli"),
            QStringLiteral("usr/share/bash-completion/completions/Tamo"),
        };
        for (const QString &path : installed)
            QVERIFY2(QFileInfo::exists(root + QLatin1Char('/') + path), qPrintable(path));
        // The simulators and the tests stay out of the package.
        QCOMPARE(QDir(root + QStringLiteral("/usr/bin")).entryList(QDir::Files),
                 (QStringList{QStringLiteral("Tamo"), QStringLiteral("tamo-cli")}));

        const Run desktop = run(QStringLiteral("desktop-file-validate"), {root + QLatin1Char('/') + desktopEntry});
        QVERIFY2(desktop.exitCode == 0 && desktop.output.isEmpty(), qPrintable(desktop.output));
        const Run appstream = run(QStringLiteral("appstreamcli"),
                                  {QStringLiteral("validate"), QStringLiteral("--no-net"), root + QLatin1Char('/') + metainfo});
        QVERIFY2(appstream.exitCode == 0, qPrintable(appstream.output));

        // The unpacked executables run: every library they need is a declared dependency.
        const Run cliHelp = run(root + QStringLiteral("/usr/bin/tamo-cli"), {QStringLiteral("--help")});
        QCOMPARE(cliHelp.exitCode, 0);
        QVERIFY2(cliHelp.output.contains(QStringLiteral("upgrade FILE")), qPrintable(cliHelp.output));
        const Run version = run(root + QStringLiteral("/usr/bin/Tamo"), {QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.output, QStringLiteral("Tamo " TAMO_VERSION "\n"));
        const Run help = run(root + QStringLiteral("/usr/bin/Tamo"), {QStringLiteral("-l"), QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.output.contains(QStringLiteral("\n  -l ")), qPrintable(help.output));
    }
};

QTEST_GUILESS_MAIN(TestPackaging)
#include "tst_packaging.moc"
