#pragma once

// The rows the benchmark copies, filled once per run on each server.

#include <QtGlobal>
#include <memory>

class Connection;

// The benchmark's own connection to the sandbox's server, without a statement time-out:
// filling a million rows takes a while.
std::unique_ptr<Connection> openBenchConnection(bool postgreSQL);

// bench_my (MySQL) and bench_pg (PostgreSQL), of the given rows each: integer, decimal,
// text (every fiftieth NULL), date-time and double columns; an auto-increment primary key,
// a NOT NULL column with a default and an index, which the copy adds after the rows.
void fillSources(Connection& my, Connection& pg, qint64 rows);
