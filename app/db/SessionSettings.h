#pragma once

// How every session of the program is set up on each server. The benchmark's plain loop
// opens its sessions the same way, so that it measures the same server work.

namespace SessionSettings {

// PostgreSQL: the "options" and "client_encoding" connection parameters. Time-zone-aware
// values are read in UTC, quoted literals take backslashes as they are, dates come in ISO
// order, and floating-point numbers with every digit that names them.
inline constexpr const char* kPostgreSQLOptions = "-c TimeZone=UTC -c standard_conforming_strings=on "
                                                  "-c DateStyle=ISO,YMD -c extra_float_digits=3";
inline constexpr const char* kPostgreSQLClientEncoding = "UTF8";
inline constexpr const char* kPostgreSQLApplicationName = "Quillstone";

// MySQL: every character as utf8mb4; strict, so that a value that does not fit fails its
// row instead of being clipped; no backslash escapes, so that a quoted literal arrives
// byte for byte; UTC for TIMESTAMP columns.
inline constexpr const char* kMySQLCharacterSet = "utf8mb4";
inline constexpr const char* kMySQLInitCommand =
    "SET SESSION sql_mode = TRIM(BOTH ',' FROM CONCAT(@@SESSION.sql_mode, "
    "',NO_BACKSLASH_ESCAPES,STRICT_ALL_TABLES')), time_zone = '+00:00'";

} // namespace SessionSettings
