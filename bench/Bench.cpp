// quillstone_bench: copies a generated table of N rows each way through the table window's
// own send buttons, with the servers near (their own loopback ports), far (behind a delay
// proxy each) and far and narrow (behind a delay proxy that also limits the rate to 25 MB/s
// each way and the window to 64 KiB), and sets each copy's rate beside a plain
// client-library loop sending the same INSERT texts one at a time, and beside the server's
// own bulk path on the same rows; then it copies the table again with its target refusing
// every 100th row, and every second row.
//
//   quillstone_bench [--rows N] [--only near|far|narrow|distant] [--plain-seconds S] [--delay-ms D]
//                    [--memory-record FILE --revision R]
//   quillstone_bench --wide
//
// --wide copies tables of 10 MB values instead, of two sizes each way, and sets the copies'
// peak memory side by side.
//
// It reads the QS_* variables of scripts/sandbox. The copy and the plain loop each run in
// a fresh child process (bench/Children), so that what they cost in time and memory is
// their own, and take turns (bench/Turns).

#include "app/db/Connection.h"
#include "app/db/Error.h"
#include "bench/Children.h"
#include "bench/ContentHash.h"
#include "bench/Measure.h"
#include "bench/MemoryRecord.h"
#include "bench/Options.h"
#include "bench/PlaceLinks.h"
#include "bench/PlainLoopInput.h"
#include "bench/RefusedRows.h"
#include "bench/ServerBulkLoad.h"
#include "bench/SourceTables.h"
#include "bench/Summary.h"
#include "bench/Turns.h"
#include "bench/WideValues.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>

namespace {

// Each copy, checked against its plain loop's table and its source, then the server's own
// bulk path on its rows and the copies with refused rows, at each place.
void measurePlaces(const Direction& direction, const Options& options, const PlaceLinks& links,
                   Connection& source, Connection& target, std::optional<RefusedRows>& refused,
                   QList<Run>& runs)
{
    QTemporaryDir folder;
    const QString table = QLatin1String(direction.table);
    const QString plainTable = QLatin1String(direction.plainTable);
    const QString file = folder.filePath(QLatin1String(direction.key));
    if (writeStatements(direction, source, file) != options.rows)
        throw std::runtime_error("the source table does not hold the rows it was filled with");
    makePlainTable(direction, source, target, QProcessEnvironment::systemEnvironment());
    const QString original = rowsAsCopied(source, !direction.toPostgreSQL, table, !direction.toPostgreSQL);
    std::optional<ServerBulkLoad> bulk;
    for (const Place place : options.places) {
        target.Execute(QStringLiteral("TRUNCATE TABLE ") + direction.targetName(plainTable));
        Run run = measure(direction, place, options, links.environment(place), file, target);
        const QString copied = contentOf(target, direction.toPostgreSQL, table);
        const QString sent = contentOf(target, direction.toPostgreSQL, plainTable);
        if (copied != sent || !copied.startsWith(QString::number(options.rows) + QLatin1Char(' ')))
            throw std::runtime_error(QStringLiteral("the two copies differ: %1 rows/hash against %2")
                                         .arg(copied, sent)
                                         .toStdString());
        // Every value as its source has it, by hashes each server computes.
        const QString arrived = rowsAsCopied(target, direction.toPostgreSQL, table, !direction.toPostgreSQL);
        if (arrived != original)
            throw std::runtime_error(QStringLiteral("the copy differs from its source: %1 rows/hash "
                                                    "against %2")
                                         .arg(arrived, original)
                                         .toStdString());
        printRun(run);
        if (!bulk)
            bulk.emplace(direction, target, folder.path());
        run.bulkSeconds = bulk->load(links.environment(place), copied);
        printBulk(run);
        if (refused && refusedRowsAt(place))
            run.cleanBytes = refused->copy(direction, 0, links.environment(place)).bytes;
        for (size_t i = 0; refused && refusedRowsAt(place) && i < std::size(kRefusedEvery); ++i) {
            const RefusedCopy copied = refused->copy(direction, kRefusedEvery[i], links.environment(place));
            run.refusedSeconds[i] = copied.seconds;
            run.refusedBytes[i] = copied.bytes;
            printRefused(run, i);
        }
        runs.append(run);
    }
    if (bulk)
        bulk->dropTable();
}

int runBenchmark(const Options& options)
{
    auto my = openBenchConnection(false);
    auto pg = openBenchConnection(true);
    pg->Execute(QStringLiteral("SET client_min_messages = warning"));
    const bool durable = describeDurability(*my, *pg);
    if (!durable)
        std::printf("NOTE: the servers are not at their durable defaults (QS_SANDBOX_DURABLE=1 "
                    "scripts/sandbox start): the rates below are not those of users' servers\n");
    std::printf("Filling bench_my (MySQL) and bench_pg (PostgreSQL) with %lld rows...\n",
                static_cast<long long>(options.rows));
    std::fflush(stdout);
    fillSources(*my, *pg, options.rows);
    std::optional<RefusedRows> refused;
    if (std::any_of(options.places.begin(), options.places.end(), refusedRowsAt))
        refused.emplace(*my, *pg, options.rows);
    std::printf("load average: %s\n", qPrintable(loadAverage()));

    const PlaceLinks links(options);
    QList<Run> runs;
    for (const Direction& direction : kDirections) {
        measurePlaces(direction, options, links, direction.toPostgreSQL ? *my : *pg,
                      direction.toPostgreSQL ? *pg : *my, refused, runs);
    }
    printSummary(options, durable, runs);
    std::printf("load average: %s\n", qPrintable(loadAverage()));
    recordMemory(options, runs);

    if (refused)
        refused->dropAll();
    my->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_my, bench_pg, bench_my_plain, bench_pg_plain"));
    pg->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_pg, bench_my, bench_my_plain, bench_pg_plain"));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::optional<CommandLine> line = parseCommandLine(QCoreApplication::arguments());
    if (!line)
        return usage();
    try {
        if (line->child)
            return runTransferChild(*line->child, line->childArgument, line->refusals);
        if (line->plain)
            return runPlainLoopChild(*line->plain, line->childArgument);
        if (line->wide)
            return runWideValues();
        return runBenchmark(line->options);
    } catch (const Error& error) {
        std::fprintf(stderr, "quillstone_bench: %s\n", qPrintable(error.description()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillstone_bench: %s\n", error.what());
    }
    return 1;
}
