#pragma once

// A PostgreSQL table's shape, read from pg_attribute, pg_attrdef, pg_index and pg_description,
// and foreign keys, from pg_constraint.

#include "transfer/TableShape.h"

class Connection;

// relation: the table as the source's statements name it ("name" or "schema"."name").
// statement holds the text of each query as it runs, for the report of one that fails. A
// table that is not there has an empty shape: the SELECT of its rows says what is wrong
// with it.
TableShape readPostgreSQLShape(Connection& source, const QString& relation, QString& statement);

// The table's foreign keys, each naming the table it refers to by its bare name; with
// referring, those of the other tables that refer to it instead, each with its schema.
QList<ShapeForeignKey> readPostgreSQLForeignKeys(Connection& connection, const QString& relation,
                                                 bool referring, QString& statement);
