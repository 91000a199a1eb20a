#include "bench/Summary.h"

#include "bench/RefusedRows.h"
#include "tests/support/TestSupport.h"

#include <cstdio>

bool describeDurability(Connection& my, Connection& pg)
{
    const QString fsync = Sandbox::scalar(pg, QStringLiteral("SHOW fsync"));
    const QString synchronous = Sandbox::scalar(pg, QStringLiteral("SHOW synchronous_commit"));
    const QString pages = Sandbox::scalar(pg, QStringLiteral("SHOW full_page_writes"));
    const QString flush = Sandbox::scalar(my, QStringLiteral("SELECT @@innodb_flush_log_at_trx_commit"));
    const QString doublewrite = Sandbox::scalar(my, QStringLiteral("SELECT @@innodb_doublewrite"));
    std::printf("PostgreSQL: fsync %s, synchronous_commit %s, full_page_writes %s\n", qPrintable(fsync),
                qPrintable(synchronous), qPrintable(pages));
    std::printf("MariaDB: innodb_flush_log_at_trx_commit %s, innodb_doublewrite %s\n", qPrintable(flush),
                qPrintable(doublewrite));
    return fsync == QLatin1String("on") && synchronous == QLatin1String("on") &&
           pages == QLatin1String("on") && flush == QLatin1String("1") && doublewrite == QLatin1String("1");
}

namespace {

QString seconds(double value)
{
    return value < 0 ? QStringLiteral("n/a") : QString::number(value, 'f', 1);
}

const char* bulkPath(const Direction& direction)
{
    return direction.toPostgreSQL ? "psql \\copy" : "mariadb loading a mariadb-dump";
}

QString everyNth(int every)
{
    return every == 2 ? QStringLiteral("every second row") : QStringLiteral("every %1th row").arg(every);
}

// A ratio, its target and whether it is met, as three columns; the last two empty where
// there is no target.
QStringList judged(double ratio, double target)
{
    const QString value = QString::number(ratio, 'f', 2) + QLatin1Char('x');
    if (target <= 0)
        return {value, QString(), QString()};
    return {value, QString::number(target, 'f', 1) + QLatin1Char('x'),
            ratio >= target ? QStringLiteral("met") : QStringLiteral("MISSED")};
}

// The same direction's copy near, when the run had one.
const Run* nearRun(const QList<Run>& runs, const Run& run)
{
    for (const Run& other : runs) {
        if (other.direction == run.direction && other.place == Place::Near)
            return &other;
    }
    return nullptr;
}

void printBulkSummary(const QList<Run>& runs)
{
    std::printf("\nbeside the servers' own bulk paths (to PostgreSQL psql \\copy, to MySQL mariadb loading a "
                "mariadb-dump), the copy's click and the bulk load each to its primary key in place; and far "
                "beside near, the rows alone\n");
    std::printf("%-20s %-11s %14s %12s %9s %7s %7s %9s %7s %7s\n", "direction", "where", "to key rows/s",
                "bulk rows/s", "ratio", "target", "", "of near", "target", "");
    for (const Run& run : runs) {
        const QStringList bulk = judged(run.bulkRatio(), bulkTarget(*run.direction, run.place));
        const Run* near = nearRun(runs, run);
        const bool far = run.place == Place::Far || run.place == Place::Narrow;
        const QStringList ofNear = far && near
                                       ? judged(run.transferRate() / near->transferRate(), kFarOfNearTarget)
                                       : QStringList{QString(), QString(), QString()};
        std::printf("%-20s %-11s %14.0f %12.0f %9s %7s %7s %9s %7s %7s\n", run.direction->label,
                    placeName(run.place), run.toKeyRate(), run.bulkRate(), qPrintable(bulk[0]),
                    qPrintable(bulk[1]), qPrintable(bulk[2]), qPrintable(ofNear[0]), qPrintable(ofNear[1]),
                    qPrintable(ofNear[2]));
    }
    std::printf("\nrefused rows: the time of the transfer's rows alone, its target refusing none of them, or "
                "one in each n\n");
    std::printf("%-20s %-11s %9s %16s %16s\n", "direction", "where", "clean s",
                qPrintable(QStringLiteral("1 in %1 s").arg(kRefusedEvery[0])),
                qPrintable(QStringLiteral("1 in %1 s").arg(kRefusedEvery[1])));
    for (const Run& run : runs) {
        if (!refusedRowsAt(run.place))
            continue;
        std::printf("%-20s %-11s %9.2f %9.2f (%4.2fx) %9.2f (%4.2fx)\n", run.direction->label,
                    placeName(run.place), run.transferSeconds, run.refusedSeconds[0],
                    run.refusedSeconds[0] / run.transferSeconds, run.refusedSeconds[1],
                    run.refusedSeconds[1] / run.transferSeconds);
    }
}

} // namespace

void printRun(const Run& run)
{
    std::printf("%-20s %-11s: transfer %lld rows in %.1f s = %.0f rows/s (stopped %d times for the "
                "plain loop), then %.2f s for its keys and indexes; plain loop %lld rows in %.1f s = "
                "%.0f rows/s; %.2fx (target %.1fx) %s; same rows as the source\n",
                run.direction->label, placeName(run.place), static_cast<long long>(run.rows),
                run.transferSeconds, run.transferRate(), run.pauses, run.shapeSeconds,
                static_cast<long long>(run.plainRows), run.plainSeconds, run.plainRate(), run.ratio(),
                run.target(), run.met() ? "met" : "MISSED");
    std::fflush(stdout);
}

void printBulk(const Run& run)
{
    const QStringList bulk = judged(run.bulkRatio(), bulkTarget(*run.direction, run.place));
    std::printf("%-20s %-11s: transfer to its primary key %.1f s = %.0f rows/s; %s and the primary key "
                "%.1f s = %.0f rows/s; %s; same rows as the transfer\n",
                run.direction->label, placeName(run.place), run.toKeySeconds, run.toKeyRate(),
                bulkPath(*run.direction), run.bulkSeconds, run.bulkRate(),
                qPrintable(bulk[1].isEmpty()
                               ? bulk[0]
                               : QStringLiteral("%1 (target %2) %3").arg(bulk[0], bulk[1], bulk[2])));
    std::fflush(stdout);
}

void printRefused(const Run& run, size_t i)
{
    const int every = kRefusedEvery[i];
    const qint64 written = run.rows - run.rows / every;
    const QString bytes =
        run.cleanBytes > 0 && run.refusedBytes[i] >= 0
            ? QStringLiteral("; the server received %1 MiB, %2x the %3 MiB of a copy refusing none")
                  .arg(double(run.refusedBytes[i]) / (1 << 20), 0, 'f', 1)
                  .arg(double(run.refusedBytes[i]) / double(run.cleanBytes), 0, 'f', 2)
                  .arg(double(run.cleanBytes) / (1 << 20), 0, 'f', 1)
            : QString();
    std::printf("%-20s %-11s: %s refused: %lld rows written in %.1f s = %.0f rows/s, %.2fx the time of the "
                "clean transfer's rows (%.1f s)%s\n",
                run.direction->label, placeName(run.place), qPrintable(everyNth(every)),
                static_cast<long long>(written), run.refusedSeconds[i],
                double(written) / run.refusedSeconds[i], run.refusedSeconds[i] / run.transferSeconds,
                run.transferSeconds, qPrintable(bytes));
    std::fflush(stdout);
}

void printSummary(const Options& options, bool durable, const QList<Run>& runs)
{
    std::printf(
        "\n%lld rows, servers %s; far: %s ms each way through a proxy in front of each server; "
        "narrow: the same at %s bytes/s each way with a window of %s bytes; distant: %s ms each way\n",
        static_cast<long long>(options.rows), durable ? "durable" : "NOT durable",
        qPrintable(options.delayMs), kNarrowRate, kNarrowWindow, kDistantDelayMs);
    std::printf("%-20s %-11s %16s %13s %9s %8s %7s %13s %13s %9s\n", "direction", "where", "transfer rows/s",
                "plain rows/s", "ratio", "target", "", "peak RSS MiB", "before click", "shape s");
    for (const Run& run : runs)
        std::printf("%-20s %-11s %16.0f %13.0f %8.2fx %7.1fx %7s %13.1f %13.1f %9.2f\n", run.direction->label,
                    placeName(run.place), run.transferRate(), run.plainRate(), run.ratio(), run.target(),
                    run.met() ? "met" : "MISSED", mib(run.transfer.peakKiB), mib(run.transfer.beforeKiB),
                    run.shapeSeconds);
    std::printf("(transfer rows/s: the rows alone; shape s: the keys, NOT NULL, indexes, auto-increment and "
                "defaults added after them)\n");
    for (const Run& run : runs) {
        if (run.place == Place::Distant)
            std::printf("%-20s distant: %lld rows in %.1f s (target under %.0f s) %s\n", run.direction->label,
                        static_cast<long long>(run.rows), run.transferSeconds, kDistantTargetSeconds,
                        run.met() ? "met" : "MISSED");
    }
    printBulkSummary(runs);

    std::printf("\nwhere the time goes, in seconds (the plain loop's only while it ran on the clock)\n");
    std::printf("%-20s %-11s %-8s %9s %9s %11s %9s %9s\n", "direction", "where", "run", "wall", "program",
                "PostgreSQL", "MariaDB", "proxies");
    auto line = [](const Run& run, const char* what, double wall, double cpu, const ServerCpu& servers) {
        std::printf("%-20s %-11s %-8s %9.1f %9.1f %11s %9s %9.1f\n", run.direction->label,
                    placeName(run.place), what, wall, cpu, qPrintable(seconds(servers.postgreSQL)),
                    qPrintable(seconds(servers.mariaDB)), servers.proxies);
    };
    for (const Run& run : runs) {
        line(run, "transfer", run.transferSeconds, run.transfer.cpuSeconds, run.transferServers);
        line(run, "plain", run.plainSeconds, run.plainCpuSeconds, run.plainServers);
    }
}
