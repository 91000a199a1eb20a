#pragma once

// A MySQL table's shape, read from information_schema.COLUMNS and STATISTICS.

#include "transfer/TableShape.h"

class Connection;

// statement holds the text of each query as it runs, for the report of one that fails. A
// table the catalogue does not know has an empty shape: the SELECT of its rows says what is
// wrong with it.
TableShape readMySQLShape(Connection& source, const QString& table, QString& statement);
