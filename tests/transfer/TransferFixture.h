#pragma once

// What the transfer tests share beside the per-server ground of tests/support: their
// values, the reports of a copy, and acting while a copy runs.

#include "tests/support/Servers.h"

#include <QList>
#include <QStringList>
#include <functional>
#include <thread>

// Exactly one error report was shown, and it ends with the given text; else the test fails
// showing the reports.
#define QS_VERIFY_ONE_REPORT_ENDING(tail)                                                                    \
    QVERIFY2(reports().size() == 1 && reports().constFirst().endsWith(tail),                                 \
             qPrintable(reports().join(QStringLiteral("\n----\n"))))

// Rewrites the given columns, floating-point texts of either server, as the double they
// denote, so that two spellings of one value compare equal.
void asDoubles(QList<QStringList>& rows, const QList<int>& columns);
// Every byte value 0..255 once, as hex digits.
QString everyByteHex();
// The texts of the error reports shown so far.
QStringList reports();
// What an error report of a transfer shows after the error description.
QString reportTail(const QString& procedure, int line, const QString& statement);
// On a thread of its own, while a copy runs: once the table is on the server and holds at
// least that many rows, runs the action, again until it says it is done; no longer than a
// minute. Nothing thrown leaves the thread.
std::thread whenHolding(const Server& server, const QString& table, int rows, std::function<bool()> action);
