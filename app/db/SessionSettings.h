#pragma once

// How every session of the program is set up on each server, whatever defaults the
// administrator gave the server or the account. The benchmark's plain loop opens its
// sessions the same way, so that it measures the same server work.
//
// No time limit an administrator set ends a statement or a session of ours: a copy's
// statement runs as long as its rows take, and its sessions wait while the user answers
// the overwrite question or reads a report. Only the command time-out the connection was
// opened with stops a statement. Waits for another session's locks are left as the
// administrator set them: a copy that waits for a lock longer than that is told why.

#include <QByteArray>

namespace SessionSettings {

// PostgreSQL: the "options" and "client_encoding" connection parameters. Time-zone-aware
// values are read in UTC, quoted literals take backslashes as they are, dates, intervals
// and binary values come in the server's standard forms, and floating-point numbers with
// every digit that names them.
// - statement_timeout=0: a source's SELECT and a long shape statement run to their end.
// - idle_in_transaction_session_timeout=0: a copy's snapshot stays open while the target
//   takes the rows and while a report is read.
// - default_transaction_read_only=off: a target takes its writes even where the account's
//   sessions start read-only.
inline constexpr const char* kPostgreSQLOptions =
    "-c TimeZone=UTC -c standard_conforming_strings=on -c DateStyle=ISO,YMD -c IntervalStyle=postgres "
    "-c bytea_output=hex -c extra_float_digits=3 -c statement_timeout=0 "
    "-c idle_in_transaction_session_timeout=0 -c default_transaction_read_only=off";
inline constexpr const char* kPostgreSQLClientEncoding = "UTF8";
inline constexpr const char* kPostgreSQLApplicationName = "Quillstone";

// PostgreSQL limits newer than the oldest server the program talks to. A server fails the
// connection on a parameter it does not know, so these are set once connected, on the
// versions that have them (PQserverVersion).
// - idle_session_timeout (14): a session waits, idle, while the overwrite question is open.
// - transaction_timeout (17): a source's snapshot lasts as long as its rows take.
inline QByteArray postgreSQLLaterLimits(int serverVersion)
{
    QByteArray set;
    if (serverVersion >= 140000)
        set += "SET idle_session_timeout = 0;";
    if (serverVersion >= 170000)
        set += "SET transaction_timeout = 0;";
    return set;
}

// MySQL: every character as utf8mb4; a sql_mode of the session's own: strict, so that a
// value that does not fit fails its row instead of being clipped; no backslash escapes, so
// that a quoted literal arrives byte for byte; a 0 in an auto-increment column stays 0; and
// none of the modes that change values on the way (EMPTY_STRING_IS_NULL,
// PAD_CHAR_TO_FULL_LENGTH, ORACLE, ...). Each statement commits, every row of a table is
// read, and TIMESTAMP columns are read in UTC. The limits, at 31536000 seconds (a year,
// the most both servers take) or 0 (none):
// - wait_timeout: a session waits, idle, while the overwrite question is open.
//   (interactive_timeout only gives an interactive client its wait_timeout at login.)
// - net_read_timeout: a packet of rows, half written when the client shows a report,
//   waits for the rest.
// - net_write_timeout: a source whose reader waits (for the target, or for the user) is
//   not cut off while the server writes its rows.
// - max_statement_time (MariaDB 10.1.1 on; the executable comment runs on MariaDB alone):
//   a source's SELECT lasts as long as its rows take.
// - idle_transaction_timeout, idle_readonly_transaction_timeout and
//   idle_write_transaction_timeout (MariaDB 10.3 on): a target's transaction stays open
//   across its packets while the client builds rows or shows a report.
// MySQL's max_execution_time, which MariaDB does not know, is set once connected
// (kMySQLExecutionTime): MariaDB runs MySQL's executable comments as well.
inline constexpr const char* kMySQLCharacterSet = "utf8mb4";
inline constexpr const char* kMySQLInitCommand =
    "SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_BACKSLASH_ESCAPES,NO_AUTO_VALUE_ON_ZERO,"
    "NO_ENGINE_SUBSTITUTION', autocommit = 1, sql_select_limit = 18446744073709551615, "
    "sql_big_selects = 1, time_zone = '+00:00', wait_timeout = 31536000, net_read_timeout = 31536000, "
    "net_write_timeout = 31536000 /*M!100101 , max_statement_time = 0 */"
    "/*M!100300 , idle_transaction_timeout = 0, idle_readonly_transaction_timeout = 0, "
    "idle_write_transaction_timeout = 0 */";
// Transactions see a snapshot and may write, whatever the server's default: a source's
// consistent snapshot needs REPEATABLE READ (READ COMMITTED would ignore it, SERIALIZABLE
// would lock every row read), and a target whose sessions start read-only takes no row.
// (Servers before MySQL 5.6.5 know no READ WRITE here, and skip it.)
inline constexpr const char* kMySQLTransactions =
    "SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ /*!50605 , READ WRITE */";
// MySQL 5.7.8 and later: a limit on each SELECT, which would cut a source's rows. Set on a
// server that is not MariaDB; an older MySQL does not know it.
inline constexpr const char* kMySQLExecutionTime = "SET SESSION max_execution_time = 0";

} // namespace SessionSettings
