#include "bench/Turns.h"

#include "app/db/Connection.h"
#include "bench/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <QDeadlineTimer>
#include <QThread>
#include <csignal>
#include <stdexcept>

namespace {

// Waits until the target server runs no statement of another session: what a stopped copy
// had sent is done. Data still in a proxy arrives within its delay.
void waitTargetIdle(Connection& target, bool postgreSQL, double delayMs)
{
    const QString busy =
        postgreSQL ? QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND "
                                    "pid <> pg_backend_pid() AND wait_event IS DISTINCT FROM 'ClientRead'")
                   : QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE COMMAND = "
                                    "'Query' AND ID <> CONNECTION_ID()");
    QThread::usleep(static_cast<unsigned long>(delayMs * 2000) + 1000);
    const QDeadlineTimer deadline(30000);
    int quiet = 0;
    while (quiet < 2 && !deadline.hasExpired()) {
        quiet = Sandbox::scalar(target, busy) == QLatin1String("0") ? quiet + 1 : 0;
        QThread::usleep(1000);
    }
}

} // namespace

// Slices of the copy and of the plain loop alternate while the copy runs and the plain
// loop has time left; what is left of its time comes after the copy.
Run measure(const Direction& direction, Place place, const Options& options,
            const QProcessEnvironment& environment, const QString& file, Connection& target)
{
    constexpr int kCopySliceMs = 2000;
    constexpr qint64 kPlainSliceNs = 500000000;
    Run run;
    run.direction = &direction;
    run.place = place;
    run.rows = options.rows;

    QProcess plain;
    startChild(plain, {QStringLiteral("--plain"), QLatin1String(direction.key), file}, environment);
    const QDeadlineTimer connecting(60000);
    while (!plain.canReadLine() && plain.state() == QProcess::Running && !connecting.hasExpired())
        plain.waitForReadyRead(100);
    if (!plain.canReadLine() || plain.readLine() != "READY\n")
        throw std::runtime_error("the plain loop did not connect");
    waitStopped(plain); // it stops itself once connected

    const qint64 budget = qint64(options.plainSeconds * 1e9);
    qint64 plainUsed = 0;
    bool plainEnded = false; // the file ended on the clock
    auto plainSlice = [&](qint64 length) {
        const ServerCpu before = ServerCpu::now();
        const qint64 start = monotonicNanoseconds();
        continueChild(plain);
        plainEnded = plain.waitForFinished(int(length / 1000000));
        if (!plainEnded)
            stopChild(plain);
        qint64 end = monotonicNanoseconds();
        if (plainEnded)
            end = qMin(end, plainLoopResult(plain).endedAt);
        plainUsed += end - start;
        run.plainServers = run.plainServers + (ServerCpu::now() - before);
    };

    const QString table = QLatin1String(direction.table);
    target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + direction.targetName(table));
    Pauses pauses;
    ServerCpu mark = ServerCpu::now();
    QProcess copy;
    startChild(copy, {QStringLiteral("--child"), QLatin1String(direction.key), table}, environment);
    for (;;) {
        const bool turns = !plainEnded && plainUsed < budget;
        if (copy.waitForFinished(turns ? kCopySliceMs : -1) || copy.state() == QProcess::NotRunning)
            break;
        if (!turns)
            continue;
        stopChild(copy);
        waitTargetIdle(target, direction.toPostgreSQL, options.delayOf(place).toDouble());
        const qint64 pausedAt = monotonicNanoseconds();
        run.transferServers = run.transferServers + (ServerCpu::now() - mark);
        plainSlice(qMin(kPlainSliceNs, budget - plainUsed));
        continueChild(copy);
        pauses.append({pausedAt, monotonicNanoseconds()});
        mark = ServerCpu::now();
    }
    run.transferServers = run.transferServers + (ServerCpu::now() - mark);
    run.transfer = transferResult(copy, "the transfer");
    if (run.transfer.shapeStartedAt == 0 || run.transfer.shapeEndedAt == 0)
        throw std::runtime_error("the transfer gave its table no keys");
    for (const auto& [from, to] : pauses)
        run.pauses += from < run.transfer.endedAt && to > run.transfer.startedAt;
    run.shapeSeconds = run.transfer.shapeSeconds(pauses);
    // The rows are set beside the plain loop's, which has no keys to build either.
    run.transferSeconds = run.transfer.rowsSeconds(pauses);
    run.toKeySeconds = run.transfer.toKeySeconds(pauses);

    while (!plainEnded && plainUsed < budget)
        plainSlice(qMin(kPlainSliceNs, budget - plainUsed));
    if (!plainEnded) { // it sends the rest of the file, off the clock
        kill(pid_t(plain.processId()), SIGUSR1);
        continueChild(plain);
        plain.waitForFinished(-1);
    }
    const PlainLoopChild sent = plainLoopResult(plain);
    run.plainRows = sent.rows;
    run.plainCpuSeconds = sent.cpuSeconds;
    run.plainSeconds = double(plainUsed) / 1e9;
    return run;
}
