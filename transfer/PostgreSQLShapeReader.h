#pragma once

// A PostgreSQL table's shape, read from pg_attribute, pg_attrdef and pg_index.

#include "transfer/TableShape.h"

class Connection;

// relation: the table as the source's statements name it ("name" or "schema"."name").
// statement holds the text of each query as it runs, for the report of one that fails. A
// table that is not there has an empty shape: the SELECT of its rows says what is wrong
// with it.
TableShape readPostgreSQLShape(Connection& source, const QString& relation, QString& statement);
