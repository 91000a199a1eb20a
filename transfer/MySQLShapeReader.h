#pragma once

// A MySQL table's shape, read from information_schema.COLUMNS, STATISTICS and TABLES, and
// foreign keys, from KEY_COLUMN_USAGE and REFERENTIAL_CONSTRAINTS.

#include "transfer/TableShape.h"

class Connection;

// statement holds the text of each query as it runs, for the report of one that fails. A
// table the catalogue does not know has an empty shape: the SELECT of its rows says what is
// wrong with it.
TableShape readMySQLShape(Connection& source, const QString& table, QString& statement);

// The table's foreign keys that refer to tables of the same database; with referring, those
// of the other tables that refer to it instead.
QList<ShapeForeignKey> readMySQLForeignKeys(Connection& connection, const QString& table, bool referring,
                                            QString& statement);
