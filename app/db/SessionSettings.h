#pragma once

// How every session of the program is set up on each server. The benchmark's plain loop
// opens its sessions the same way, so that it measures the same server work.

namespace SessionSettings {

// PostgreSQL: the "options" and "client_encoding" connection parameters. Time-zone-aware
// values are read in UTC, quoted literals take backslashes as they are, dates, intervals
// and binary values come in the server's standard forms, and floating-point numbers with
// every digit that names them. Time limits an administrator set for statements and idle
// transactions do not apply: a copy's snapshot waits while the user answers a question.
inline constexpr const char* kPostgreSQLOptions =
    "-c TimeZone=UTC -c standard_conforming_strings=on -c DateStyle=ISO,YMD -c IntervalStyle=postgres "
    "-c bytea_output=hex -c extra_float_digits=3 -c statement_timeout=0 "
    "-c idle_in_transaction_session_timeout=0";
inline constexpr const char* kPostgreSQLClientEncoding = "UTF8";
inline constexpr const char* kPostgreSQLApplicationName = "Quillstone";

// MySQL: every character as utf8mb4; a sql_mode of the session's own, whatever the
// server's administrator set: strict, so that a value that does not fit fails its row
// instead of being clipped; no backslash escapes, so that a quoted literal arrives byte for
// byte; a 0 in an auto-increment column stays 0; and none of the modes that change values on
// the way (EMPTY_STRING_IS_NULL, PAD_CHAR_TO_FULL_LENGTH, ORACLE, ...). Each statement
// commits, every row of a table is read, and TIMESTAMP columns are read in UTC.
inline constexpr const char* kMySQLCharacterSet = "utf8mb4";
inline constexpr const char* kMySQLInitCommand =
    "SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_BACKSLASH_ESCAPES,NO_AUTO_VALUE_ON_ZERO,"
    "NO_ENGINE_SUBSTITUTION', autocommit = 1, sql_select_limit = 18446744073709551615, "
    "sql_big_selects = 1, time_zone = '+00:00'";

} // namespace SessionSettings
