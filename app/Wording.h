#pragma once

#include <QString>
#include <QStringList>

// Numbers and times in the words the windows show: "1,000 rows", "2 min 5 s".

// The number with thousands separators: 1234567 is "1,234,567".
QString thousands(qint64 number);
// The number and its noun, which is plural unless the number is one: "1 table", "3 tables".
QString counted(qint64 number, const QString& singular, const QString& plural);
// A time taken: "0.4 s", "12 s", "2 min 5 s", "1 h 3 min".
QString duration(qint64 milliseconds);

// The tables a click gave up on, and of those the ones it left holding part of their rows.
struct FailedTables
{
    qint64 count = 0;
    qint64 inPart = 0;
};

// The line that tells what a click did: "Done: " or "Stopped: ", what it did, the tables that
// failed if any, what else there is to say, and the time:
// "Done: 2 of 3 tables copied: ...; 1 table failed in part; in 2.1 s."
QString clickSummary(bool stopped, const QString& what, const FailedTables& failed, qint64 milliseconds,
                     const QStringList& more = {});
