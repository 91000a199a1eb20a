#pragma once

// How one source value is written into an INSERT statement of each direction. The
// statements are built as UTF-8, as they are sent.

#include "app/db/Value.h"

#include <QByteArray>
#include <QByteArrayView>

// MySQL to PostgreSQL: appends the value and the ", " after it. NULL is NULL, a numeric
// column's number goes bare, binary becomes a bytea hex literal, everything else a
// quoted text with each apostrophe doubled. A MySQL zero date, which PostgreSQL has not,
// is written as NULL: then it returns true, the value was written by that rule.
bool appendPostgreSQLValue(QByteArray& statement, const Value& value, int typeCode, bool numeric);

// What a value of the MySQL to PostgreSQL copy is, before it is spelled: NULL, a number
// written bare, a text between apostrophes, or bytes written as bytea hex digits; and
// whether a type rule made it so (a zero date is NULL). The INSERT and COPY spellings both
// write it, so that a value arrives the same either way.
struct PostgreSQLText
{
    enum Form { Null, Bare, Quoted, Hex };
    Form form;
    QByteArrayView bytes;
    bool byRule;
};
PostgreSQLText postgreSQLText(const Value& value, int typeCode, bool numeric);
// The value as a literal of an INSERT statement: NULL, 5, 'O''Brien', '\x0a1b'.
void appendPostgreSQLLiteral(QByteArray& statement, const PostgreSQLText& text);
// Appends the bytes as hex digits.
void appendHex(QByteArray& text, QByteArrayView bytes);
// Digits with an optional sign and fraction: safe to write without quotes.
bool isPlainNumber(QByteArrayView text);

// PostgreSQL to MySQL: the statement already ends with the opening quote of this value's
// slot; appends the value and "', '". Date and date-time values are written as
// "yyyy-mm-dd hh:nn:ss", with ".ffffff" when the fraction is not zero; one that is not a
// date MySQL has (infinity, a date before Christ) is sent as it is, for the server to refuse.
// A decimal value (typeCode 131) with more non-zero digits after the point than the
// target column's scale is refused with an error rather than rounded by the server.
void appendMySQLValue(QByteArray& statement, const Value& value, int typeCode, int decimalScale = 30);
