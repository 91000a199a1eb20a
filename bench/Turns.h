#pragma once

// One copy and its plain loop at one place, taking turns: a durable commit waits for the
// disk, whose flush rate can change many times a minute on a shared machine, so the plain
// loop runs in slices spread over the copy, each while the copy is stopped and the server
// has finished what the copy had sent.

#include "bench/Children.h"
#include "bench/Measure.h"
#include "bench/Options.h"

#include <QProcessEnvironment>
#include <iterator>

class Connection;

struct Run
{
    const Direction* direction = nullptr;
    Place place = Place::Near;
    qint64 rows = 0; // copied by the transfer
    TransferChild transfer;
    double transferSeconds = 0; // the click, less the times it was stopped and the shape's
    double shapeSeconds = 0;    // the shape's statements after the rows, less the times stopped
    double toKeySeconds = 0;    // the click until its primary key is in place, less the times stopped
    ServerCpu transferServers{0, 0, 0};
    int pauses = 0;
    qint64 plainRows = 0;
    double plainSeconds = 0; // the slices it ran in
    double plainCpuSeconds = 0;
    ServerCpu plainServers{0, 0, 0};
    // The server's own bulk path on the same rows, from its client's start to its primary
    // key in place.
    double bulkSeconds = 0;
    // The rows alone of the copies whose target refused every kRefusedEvery[i]-th row.
    double refusedSeconds[std::size(kRefusedEvery)] = {};
    // The bytes a MySQL target received for the copy refusing none, and for each of those
    // (-1 for PostgreSQL).
    qint64 cleanBytes = -1;
    qint64 refusedBytes[std::size(kRefusedEvery)] = {-1, -1};

    double transferRate() const { return double(rows) / transferSeconds; }
    double plainRate() const { return double(plainRows) / plainSeconds; }
    double ratio() const { return transferRate() / plainRate(); }
    double target() const { return plainLoopTarget(*direction, place); }
    bool met() const
    {
        return place == Place::Distant ? transferSeconds < kDistantTargetSeconds : ratio() >= target();
    }
    double toKeyRate() const { return double(rows) / toKeySeconds; }
    double bulkRate() const { return double(rows) / bulkSeconds; }
    double bulkRatio() const { return toKeyRate() / bulkRate(); }
};

// The copy of the direction's table and the plain loop over the statement file, through
// the servers of the environment; target is the benchmark's own connection to the target.
Run measure(const Direction& direction, Place place, const Options& options,
            const QProcessEnvironment& environment, const QString& file, Connection& target);
