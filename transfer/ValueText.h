#pragma once

// How one source value is written into an INSERT statement of each direction.

#include "app/db/Value.h"

#include <QString>

// MySQL to PostgreSQL: appends the value and the ", " after it. NULL is NULL, a numeric
// column's number goes bare, binary becomes a bytea hex literal, everything else a
// quoted text with each apostrophe doubled.
void appendPostgreSQLValue(QString& statement, const Value& value, int typeCode, bool numeric);

// PostgreSQL to MySQL: the statement already ends with the opening quote of this value's
// slot; appends the value and "', '". Date and date-time values are written as
// "yyyy-mm-dd hh:nn:ss", with ".ffffff" when the fraction is not zero.
void appendMySQLValue(QString& statement, const Value& value, int typeCode);

// A PostgreSQL date or timestamp text in MySQL's form; the text unchanged when it is not
// one (infinity, a date before Christ), so that the server reports it.
QString mySQLDateTime(const QString& text);
