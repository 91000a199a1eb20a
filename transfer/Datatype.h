#pragma once

#include <QString>

// The Datatype module: names of ADO type codes, and the two ordered lists of substring
// rules that choose a target column type from such a name. The first rule whose
// substring occurs in the lower-cased name decides.

// The DataTypeEnum name of an ADO type code, or the empty text for an unknown code.
QString AdoTypeName(int typeCode);

struct PostgreSQLColumnType
{
    QString word;         // TEXT, NUMERIC, DATE, BOOL or BYTEA
    bool numeric = false; // values are written without quotes
};
PostgreSQLColumnType PostgreSQLTypeRules(const QString& lowerCaseName);

// The MySQL column type for a lower-cased type name. Decimal columns keep the source's
// precision and scale when MySQL can hold them.
QString MySQLTypeRules(const QString& lowerCaseName, int precision = 0, int scale = 0);

// The digits after the point of the DECIMAL column MySQLTypeRules makes for a source
// column of that precision and scale.
int mySQLDecimalScale(int precision, int scale);

// The rule lists applied to a code, in the order the transfers use.
inline PostgreSQLColumnType postgreSQLTypeFor(int typeCode)
{
    return PostgreSQLTypeRules(AdoTypeName(typeCode).toLower());
}
inline QString mySQLTypeFor(int typeCode, int precision = 0, int scale = 0)
{
    return MySQLTypeRules(AdoTypeName(typeCode).toLower(), precision, scale);
}
