#include "bench/MemoryRecord.h"

#include <QFile>
#include <cstdio>

void recordMemory(const Options& options, const QList<Run>& runs)
{
    std::printf("\nmemory target: the peak RSS at 1000000 rows within %.0f MiB of that at 100000\n",
                kMemoryTargetMiB);
    if (options.memoryRecord.isEmpty() || options.revision.isEmpty()) {
        std::printf("  (no --memory-record and --revision: compare the peak RSS of the two runs by hand)\n");
        return;
    }
    QStringList kept;
    QFile file(options.memoryRecord);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        kept = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    file.close();
    for (const Direction& direction : kDirections) {
        long peak = 0;
        for (const Run& run : runs) {
            if (run.direction == &direction)
                peak = qMax(peak, run.transfer.peakKiB);
        }
        if (peak == 0)
            continue;
        auto keyOf = [&](qint64 rows) {
            return QStringLiteral("%1 %2 %3 ")
                .arg(options.revision, QLatin1String(direction.key), QString::number(rows));
        };
        const QString key = keyOf(options.rows);
        kept.removeIf([&](const QString& line) { return line.startsWith(key); });
        kept.append(key + QString::number(peak));
        auto peakAt = [&](qint64 rows) {
            const QString prefix = keyOf(rows);
            for (const QString& line : kept) {
                if (line.startsWith(prefix))
                    return line.mid(prefix.size()).toLong();
            }
            return 0L;
        };
        const long small = peakAt(100000);
        const long large = peakAt(1000000);
        if (small > 0 && large > 0) {
            const double grown = mib(large) - mib(small);
            std::printf("  %-20s %.1f MiB at 100000 rows, %.1f MiB at 1000000: %+.1f MiB, %s\n",
                        direction.label, mib(small), mib(large), grown,
                        grown <= kMemoryTargetMiB ? "met" : "MISSED");
        } else {
            std::printf("  %-20s %.1f MiB at %lld rows; run the other row count of revision %s to compare\n",
                        direction.label, mib(peak), static_cast<long long>(options.rows),
                        qPrintable(options.revision));
        }
    }
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        file.write((kept.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}
