#pragma once

// What a bench table holds, as its server computes it: the benchmark compares copies by
// these texts, never by reading the rows itself.

#include <QString>

class Connection;

// Row count and an order-free sum of row hashes of a table, computed by the target server.
QString contentOf(Connection& target, bool postgreSQL, const QString& table);
// The row count and an order-free sum of row hashes of a bench table, computed by its
// server over each row's values as texts: the source's values spelled as the copy holds
// them, so that a copy and its source give the same answer only when every value arrived.
QString rowsAsCopied(Connection& connection, bool postgreSQL, const QString& table, bool sourceIsPostgreSQL);
// Rows, bytes and a hash of every value in order, of a table of wide values.
QString wideContent(Connection& connection, bool postgreSQL, const QString& table);
