#pragma once

// What the benchmark measures beside the wall clock: memory and CPU time of this
// process, and CPU time of the servers and the delay proxies while a copy runs.

#include <QByteArray>
#include <QString>

// Peak resident memory of this process so far, in KiB.
long peakKiB();
// User and system time of this process so far.
double ownCpuSeconds();
// The system's monotonic clock, the same in every process.
qint64 monotonicNanoseconds();
inline double mib(long kib)
{
    return double(kib) / 1024.0;
}
// The machine's load average: on a shared machine it says how far the numbers can be
// trusted.
QString loadAverage();

// CPU seconds spent so far by the sandbox's PostgreSQL (the postmaster and every backend,
// also those that have ended), its MariaDB, and the delay proxies named in
// QS_BENCH_PROXY_PIDS. A server that cannot be found counts as -1.
struct ServerCpu
{
    double postgreSQL = -1;
    double mariaDB = -1;
    double proxies = 0;
    static ServerCpu now();
    ServerCpu operator-(const ServerCpu& earlier) const;
    ServerCpu operator+(const ServerCpu& other) const;
};

// The variable that names the proxies' process ids.
inline constexpr const char* kProxyPidsVariable = "QS_BENCH_PROXY_PIDS";
