#include "bench/Measure.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double ownCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

qint64 monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

namespace {

struct ProcessTimes
{
    long long parent = -1;  // the parent's process id
    long long own = 0;      // user and system clock ticks
    long long children = 0; // of ended children the process has waited for
};

// Fields 4, 14-17 of /proc/PID/stat; the name (field 2) may hold blanks, so fields are
// counted from its closing parenthesis.
bool readTimes(const QString& pid, ProcessTimes& times)
{
    QFile file(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray stat = file.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 15)
        return false;
    times.parent = fields[1].toLongLong();                              // field 4
    times.own = fields[11].toLongLong() + fields[12].toLongLong();      // 14, 15
    times.children = fields[13].toLongLong() + fields[14].toLongLong(); // 16, 17
    return true;
}

double ticksToSeconds(long long ticks)
{
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

QString firstLineOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readLine()).trimmed();
}

// A process and all of its children, counting ended children through the parent's own
// tally of them: the sum only grows, however backends come and go.
double treeSeconds(const QString& pid)
{
    ProcessTimes root;
    if (pid.isEmpty() || !readTimes(pid, root))
        return -1;
    long long ticks = root.own + root.children;
    const long long rootPid = pid.toLongLong();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        ProcessTimes child;
        if (entry.at(0).isDigit() && readTimes(entry, child) && child.parent == rootPid)
            ticks += child.own + child.children;
    }
    return ticksToSeconds(ticks);
}

} // namespace

ServerCpu ServerCpu::now()
{
    ServerCpu cpu;
    const QString sandbox = qEnvironmentVariable("QS_SANDBOX_DIR");
    if (!sandbox.isEmpty()) {
        cpu.postgreSQL = treeSeconds(firstLineOf(sandbox + QStringLiteral("/pg/data/postmaster.pid")));
        cpu.mariaDB = treeSeconds(firstLineOf(sandbox + QStringLiteral("/my/mariadbd.pid")));
    }
    const QStringList proxies =
        qEnvironmentVariable(kProxyPidsVariable).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& pid : proxies) {
        ProcessTimes times;
        if (readTimes(pid, times))
            cpu.proxies += ticksToSeconds(times.own);
    }
    return cpu;
}

ServerCpu ServerCpu::operator-(const ServerCpu& earlier) const
{
    ServerCpu delta;
    delta.postgreSQL = postgreSQL < 0 || earlier.postgreSQL < 0 ? -1 : postgreSQL - earlier.postgreSQL;
    delta.mariaDB = mariaDB < 0 || earlier.mariaDB < 0 ? -1 : mariaDB - earlier.mariaDB;
    delta.proxies = proxies - earlier.proxies;
    return delta;
}

ServerCpu ServerCpu::operator+(const ServerCpu& other) const
{
    ServerCpu sum;
    sum.postgreSQL = postgreSQL < 0 || other.postgreSQL < 0 ? -1 : postgreSQL + other.postgreSQL;
    sum.mariaDB = mariaDB < 0 || other.mariaDB < 0 ? -1 : mariaDB + other.mariaDB;
    sum.proxies = proxies + other.proxies;
    return sum;
}
