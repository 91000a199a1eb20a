#pragma once

// Copies whose target refuses every n-th row (kRefusedEvery), set beside the clean copy:
// they tell what a refused row costs. The copy is the program's as it is; the rows and the
// target are arranged for it. To MySQL, the source holds 'infinity' as the date-time of
// those rows, which no DATETIME column takes. To PostgreSQL, whose columns take every MySQL
// value the copy writes, an event trigger (made by the server's superuser) gives each new
// table of those names a CHECK constraint that those rows break.

#include "bench/Options.h"

#include <QProcessEnvironment>
#include <QString>

class Connection;

// Not distant: the server runs nothing of a packet after a refused row, so today's copy to
// MySQL takes a round trip per refused row, and half a million of them would take hours.
inline bool refusedRowsAt(Place place)
{
    return place != Place::Distant;
}

// What a copy of the refused rows' tables came to: the seconds of its rows, and for a MySQL
// target the bytes the server received meanwhile (-1 for PostgreSQL, which does not count
// them).
struct RefusedCopy
{
    double seconds = 0;
    qint64 bytes = -1;
};

class RefusedRows
{
public:
    // Fills the sources, copies of bench_my and bench_pg, and makes the event trigger.
    RefusedRows(Connection& my, Connection& pg, qint64 rows);
    // Copies the direction's table whose every n-th row is refused (none for 0) through the
    // servers of the environment. Throws when the copy holds other rows than the ones not
    // refused.
    RefusedCopy copy(const Direction& direction, int every, const QProcessEnvironment& environment);
    // Drops the sources, the copies and the trigger.
    void dropAll();

private:
    Connection& m_my;
    Connection& m_pg;
    qint64 m_rows;
};
