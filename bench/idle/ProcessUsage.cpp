#include "ProcessUsage.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// utime + stime of /proc/PID/stat, in clock ticks; the fields follow the
// command name in parentheses, which may itself hold blanks.
qint64 cpuTicks(const QByteArray &stat)
{
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // After the name: state is field 3 of the file, utime 14 and stime 15.
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

qint64 contextSwitches(const QByteArray &status)
{
    qint64 total = 0;
    for (const QByteArray &line : status.split('\n'))
        if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
            total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    return total;
}

} // namespace

ProcessUsage ProcessUsage::of(qint64 pid)
{
    ProcessUsage usage;
    const QString root = QStringLiteral("/proc/%1").arg(pid);
    const QByteArray stat = readFile(root + QStringLiteral("/stat"));
    if (stat.isEmpty())
        return usage;
    usage.m_cpuTicks = cpuTicks(stat);
    const QStringList threads = QDir(root + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads)
        usage.m_switchesByThread.insert(thread.toLongLong(),
                                        contextSwitches(readFile(root + QStringLiteral("/task/%1/status").arg(thread))));
    usage.m_valid = true;
    return usage;
}

double ProcessUsage::cpuSecondsSince(const ProcessUsage &earlier) const
{
    return double(m_cpuTicks - earlier.m_cpuTicks) / double(::sysconf(_SC_CLK_TCK));
}

qint64 ProcessUsage::switchesSince(const ProcessUsage &earlier) const
{
    qint64 total = 0;
    for (auto it = m_switchesByThread.cbegin(); it != m_switchesByThread.cend(); ++it)
        total += qMax<qint64>(0, it.value() - earlier.m_switchesByThread.value(it.key(), 0));
    return total;
}
