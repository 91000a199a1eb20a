#include "bench/Options.h"

#include "app/SqlText.h"

#include <cstdio>

const Direction kDirections[2] = {
    {"to-postgresql", "MySQL -> PostgreSQL", true, "bench_my", "bench_my_plain", 286, 274},
    {"to-mysql", "PostgreSQL -> MySQL", false, "bench_pg", "bench_pg_plain", 272, 260},
};

QString Direction::sourceName(const QString& name) const
{
    return toPostgreSQL ? mySQLName(name) : postgreSQLName(name);
}

QString Direction::targetName(const QString& name) const
{
    return toPostgreSQL ? postgreSQLName(name) : mySQLName(name);
}

const Direction* directionNamed(const QString& key)
{
    for (const Direction& direction : kDirections) {
        if (key == QLatin1String(direction.key))
            return &direction;
    }
    return nullptr;
}

const char* placeName(Place place)
{
    switch (place) {
    case Place::Near:
        return "near";
    case Place::Far:
        return "far";
    case Place::Narrow:
        return "far, narrow";
    case Place::Distant:
        return "distant";
    }
    return "";
}

namespace {
// The name --only takes.
const char* placeKey(Place place)
{
    return place == Place::Narrow ? "narrow" : placeName(place);
}
} // namespace

// Near, the plain loop waits for a durable commit per row; far, also for a round trip per
// row, narrow or not.
double plainLoopTarget(const Direction& direction, Place place)
{
    switch (place) {
    case Place::Near:
        return direction.toPostgreSQL ? 5 : 3;
    case Place::Far:
    case Place::Narrow:
        return direction.toPostgreSQL ? 30 : 20;
    case Place::Distant:
        break;
    }
    return 0;
}

double bulkTarget(const Direction& direction, Place place)
{
    if (place != Place::Near)
        return 0;
    return direction.toPostgreSQL ? 0.3 : 0.8;
}

QString Options::delayOf(Place place) const
{
    return place == Place::Distant ? QLatin1String(kDistantDelayMs) : delayMs;
}

std::optional<CommandLine> parseCommandLine(const QStringList& arguments)
{
    CommandLine line;
    Options& options = line.options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--rows") && hasValue) {
            options.rows = arguments[++i].toLongLong();
        } else if (argument == QLatin1String("--only") && hasValue) {
            const QString& name = arguments[++i];
            options.places.clear();
            for (const Place place : kPlaces) {
                if (name == QLatin1String(placeKey(place)))
                    options.places.append(place);
            }
        } else if (argument == QLatin1String("--plain-seconds") && hasValue) {
            options.plainSeconds = arguments[++i].toDouble();
        } else if (argument == QLatin1String("--delay-ms") && hasValue) {
            options.delayMs = arguments[++i];
        } else if (argument == QLatin1String("--memory-record") && hasValue) {
            options.memoryRecord = arguments[++i];
        } else if (argument == QLatin1String("--revision") && hasValue) {
            options.revision = arguments[++i];
        } else if (argument == QLatin1String("--wide")) {
            line.wide = true;
        } else if (argument == QLatin1String("--refusals")) {
            line.refusals = true;
        } else if ((argument == QLatin1String("--child") || argument == QLatin1String("--plain")) &&
                   i + 2 < arguments.size()) {
            (argument == QLatin1String("--child") ? line.child : line.plain) = directionNamed(arguments[++i]);
            line.childArgument = arguments[++i];
        } else {
            return std::nullopt;
        }
    }
    if (options.rows < 1 || options.plainSeconds <= 0 || options.places.isEmpty() ||
        options.delayMs.toDouble() <= 0)
        return std::nullopt;
    return line;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: quillstone_bench [--rows N] [--only near|far|narrow|distant] [--plain-seconds S] "
                 "[--delay-ms D] [--memory-record FILE --revision R]\n"
                 "       quillstone_bench --wide\n");
    return 2;
}
