#pragma once

// What one run of the benchmark measures: the two directions, the places the servers are
// at, the targets each copy is held to, and the command line that picks among them (the
// benchmark's own and that of its child processes).

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct Direction
{
    const char* key;
    const char* label;
    bool toPostgreSQL;
    const char* table; // the source table, and the transfer's target of the same name
    const char* plainTable;
    // The error report's lines of the send button: each statement of the table's shape, and
    // the step that follows the last of them.
    int shapeLine;
    int afterShapeLine;

    // A table's name quoted for the source server, and for the target.
    QString sourceName(const QString& name) const;
    QString targetName(const QString& name) const;
};
extern const Direction kDirections[2];
const Direction* directionNamed(const QString& key);

// Where the servers are: on their own loopback ports, or behind a proxy each; distant is
// another city, 10 ms each way, and is run on its own with a million rows (--only distant).
enum class Place { Near, Far, Narrow, Distant };
inline constexpr Place kPlaces[] = {Place::Near, Place::Far, Place::Narrow, Place::Distant};
const char* placeName(Place place);
inline constexpr const char* kDistantDelayMs = "10";
// The narrow link: a rate and a window such as a slow line to a server has.
inline constexpr const char* kNarrowRate = "25000000";
inline constexpr const char* kNarrowWindow = "65536";

// The copies whose target refuses rows: every 100th, and every second.
inline constexpr int kRefusedEvery[] = {100, 2};
// The same, and a copy of such a table that refuses none (0), whose bytes the others are set beside.
inline constexpr int kRefusedOrNot[] = {0, 100, 2};

// How many times the plain loop's rate the copy should reach; a floor. Distant has a
// target in time instead (0 here).
double plainLoopTarget(const Direction& direction, Place place);
// The share of the server's own bulk path (psql's COPY, the mariadb client loading a dump)
// that the copy should reach; 0 where there is no target.
double bulkTarget(const Direction& direction, Place place);
// Far (narrow or not), the copy should keep this share of its rate near.
inline constexpr double kFarOfNearTarget = 0.5;
// A million rows, each way, at 10 ms each way.
inline constexpr double kDistantTargetSeconds = 15;
// The peak memory at 1,000,000 rows within this of that at 100,000.
inline constexpr double kMemoryTargetMiB = 20;

struct Options
{
    qint64 rows = 100000;
    QList<Place> places{Place::Near, Place::Far, Place::Narrow};
    double plainSeconds = 20;
    QString delayMs = QStringLiteral("0.5");
    QString memoryRecord;
    QString revision;

    // Each way, in milliseconds, through the proxies of the place.
    QString delayOf(Place place) const;
};

struct CommandLine
{
    Options options;
    bool wide = false;
    // A child process: one copy (--child DIRECTION TABLE), or the plain loop over a file
    // of statements (--plain DIRECTION FILE).
    const Direction* child = nullptr;
    const Direction* plain = nullptr;
    QString childArgument;
    // --refusals: the copy's target refuses some of its rows, so its error reports are
    // expected.
    bool refusals = false;
};
// Empty when the command line is not one of the benchmark's; usage() says what is.
std::optional<CommandLine> parseCommandLine(const QStringList& arguments);
int usage();
