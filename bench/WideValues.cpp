#include "bench/WideValues.h"

#include "app/db/Connection.h"
#include "bench/Children.h"
#include "bench/ContentHash.h"
#include "bench/Measure.h"
#include "bench/SourceTables.h"
#include "bench/Summary.h"

#include <QMap>
#include <cstdio>
#include <stdexcept>

namespace {

// Values of 10 MB (10,000,000 bytes, under MariaDB's default max_allowed_packet of 16 MiB
// with room for the statement around them).
constexpr int kWideValueBytes = 10000000;
const int kWideRows[] = {8, 64};

void fillWideSources(Connection& my, Connection& pg, int rows)
{
    my.Execute(QStringLiteral("DROP TABLE IF EXISTS bench_wide_my, bench_wide_pg"));
    pg.Execute(QStringLiteral("DROP TABLE IF EXISTS bench_wide_pg, bench_wide_my"));
    my.Execute(QStringLiteral("CREATE TABLE bench_wide_my (id INT PRIMARY KEY, body LONGTEXT) "
                              "CHARACTER SET utf8mb4"));
    pg.Execute(QStringLiteral("CREATE TABLE bench_wide_pg (id int PRIMARY KEY, body text)"));
    // A row at a time: each value is one statement's work on a durable server.
    for (int id = 1; id <= rows; ++id) {
        my.Execute(QStringLiteral("INSERT INTO bench_wide_my VALUES (%1, REPEAT(LPAD(%1, 10, '0'), %2))")
                       .arg(id)
                       .arg(kWideValueBytes / 10));
        pg.Execute(QStringLiteral("INSERT INTO bench_wide_pg VALUES (%1, repeat(lpad('%1', 10, '0'), %2))")
                       .arg(id)
                       .arg(kWideValueBytes / 10));
    }
}

} // namespace

int runWideValues()
{
    auto my = openBenchConnection(false);
    auto pg = openBenchConnection(true);
    pg->Execute(QStringLiteral("SET client_min_messages = warning"));
    describeDurability(*my, *pg);
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const Direction wideDirections[] = {
        {"to-postgresql", "MySQL -> PostgreSQL", true, "bench_wide_my", "", 0, 0},
        {"to-mysql", "PostgreSQL -> MySQL", false, "bench_wide_pg", "", 0, 0},
    };
    QMap<QString, QList<double>> peaks; // per direction, per row count
    for (const int rows : kWideRows) {
        std::printf("Filling bench_wide_my and bench_wide_pg with %d values of %d bytes...\n", rows,
                    kWideValueBytes);
        std::fflush(stdout);
        fillWideSources(*my, *pg, rows);
        for (const Direction& direction : wideDirections) {
            Connection& source = direction.toPostgreSQL ? *my : *pg;
            Connection& target = direction.toPostgreSQL ? *pg : *my;
            const QString table = QLatin1String(direction.table);
            target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + direction.targetName(table));
            const TransferChild copied = copyAlone(direction, table, environment, "the copy of wide values");
            const QString original = wideContent(source, !direction.toPostgreSQL, table);
            const QString arrived = wideContent(target, direction.toPostgreSQL, table);
            if (arrived != original)
                throw std::runtime_error(QStringLiteral("the copy of wide values differs from its source: %1 "
                                                        "against %2")
                                             .arg(arrived, original)
                                             .toStdString());
            const double peak = mib(copied.peakKiB);
            const double seconds = double(copied.endedAt - copied.startedAt) / 1e9;
            peaks[QLatin1String(direction.label)].append(peak);
            std::printf("%-20s wide: %2d values of 10 MB in %.1f s (%.0f MB/s), peak memory %.1f MiB "
                        "(%.1f MiB before the click); same values as the source\n",
                        direction.label, rows, seconds, rows * kWideValueBytes / 1e6 / seconds, peak,
                        mib(copied.beforeKiB));
            std::fflush(stdout);
            target.Execute(QStringLiteral("DROP TABLE ") + direction.targetName(table));
        }
    }
    bool met = true;
    for (auto it = peaks.cbegin(); it != peaks.cend(); ++it) {
        const double growth = it.value().constLast() - it.value().constFirst();
        met = met && growth <= kMemoryTargetMiB;
        std::printf("%-20s wide: peak memory at %d values %.1f MiB, at %d %.1f MiB: %+.1f MiB (target: "
                    "within %.0f MiB) %s\n",
                    qPrintable(it.key()), kWideRows[0], it.value().constFirst(), kWideRows[1],
                    it.value().constLast(), growth, kMemoryTargetMiB,
                    growth <= kMemoryTargetMiB ? "met" : "MISSED");
    }
    my->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_wide_my, bench_wide_pg"));
    pg->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_wide_pg, bench_wide_my"));
    return met ? 0 : 1;
}
