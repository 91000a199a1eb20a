#pragma once

// What each child process does and what it reports: the copy's child makes one click of
// the table window, as the user would; the plain loop's child sends a file of statements
// one at a time. The words of their RESULT lines are written and read here alone.

#include "bench/Options.h"

#include <QList>
#include <QPair>
#include <QProcessEnvironment>

// The times a child was stopped: when, and when it went on (monotonicNanoseconds()).
using Pauses = QList<QPair<qint64, qint64>>;
// The seconds between from and to that a child ran.
double runningSeconds(qint64 from, qint64 to, const Pauses& pauses = {});

// What the copy's child reports: its CPU time and peak memory, and when its click began
// and ended, all on the monotonic clock.
struct TransferChild
{
    double cpuSeconds = 0;
    long peakKiB = 0;   // at the end
    long beforeKiB = 0; // before the click
    qint64 startedAt = 0;
    qint64 endedAt = 0;
    // The statements of the table's shape, after the rows: from the first of them (the
    // primary key) to the step after the last; 0 when none ran. keyEndedAt is the step
    // after the primary key's.
    qint64 shapeStartedAt = 0;
    qint64 keyEndedAt = 0;
    qint64 shapeEndedAt = 0;

    // The copy's rows alone (the click less its shape), its shape, and the click from its
    // start until the primary key is in place, each less the times it was stopped.
    double rowsSeconds(const Pauses& pauses = {}) const;
    double shapeSeconds(const Pauses& pauses = {}) const;
    double toKeySeconds(const Pauses& pauses = {}) const;
};

// The child of --child: the click, with the connection window's fields pointed at the
// servers' (or the proxies') ports of its environment. With refusals, the error reports of
// the rows the target refuses are expected; any other message box fails the child.
int runTransferChild(const Direction& direction, const QString& table, bool refusals);
// The parent's side: a copy's child that has ended.
TransferChild transferResult(QProcess& child, const char* what);
// One copy alone, through the servers of the environment; what names it in a failure.
TransferChild copyAlone(const Direction& direction, const QString& table,
                        const QProcessEnvironment& environment, const char* what, bool refusals = false);

// The child of --plain: the plain loop over the statement file. Once connected, it says
// "READY" and stops itself; the benchmark continues it for each slice of time it gives it,
// and SIGUSR1 ends the loop on the clock.
int runPlainLoopChild(const Direction& direction, const QString& file);
struct PlainLoopChild
{
    qint64 rows = 0; // sent on the clock
    double cpuSeconds = 0;
    qint64 endedAt = 0;     // when the loop on the clock ended
    bool wholeFile = false; // it ended because the file did
};
PlainLoopChild plainLoopResult(QProcess& child);
