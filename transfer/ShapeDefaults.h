#pragma once

// Column defaults as each server's catalogue writes them, read into the kinds a copy
// carries; and the forms of value both servers read alike, which decide whether a copy's
// column takes a default.

#include "transfer/TableShape.h"

#include <QString>

class Value;

// A number as both servers write it: digits, a point, an exponent.
bool isPlainNumber(const QString& text);
// A date, or a date and time, that both servers read alike; a MySQL zero date is none.
bool isPlainDate(const QString& text);

// A MySQL column's default as information_schema.COLUMNS gives it, with the column's EXTRA,
// DATA_TYPE and COLUMN_TYPE in lower case; mariaDB: the server is MariaDB, whose catalogue
// writes defaults otherwise.
ShapeDefault mySQLDefault(const Value& value, const QString& extra, const QString& dataType,
                          const QString& columnType, bool mariaDB);
// A PostgreSQL column's default as pg_get_expr writes it; none for an auto-increment's
// nextval(...).
ShapeDefault postgreSQLDefault(const QString& expression);
