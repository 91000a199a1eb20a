#include "app/db/PostgreSQLResult.h"

#include "app/db/DataTypeEnum.h"
#include "app/db/Error.h"

namespace {

// Type OIDs of the built-in types, from the server's catalogue.
enum BuiltInType : Oid {
    kBool = 16,
    kBytea = 17,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kFloat4 = 700,
    kFloat8 = 701,
    kMoney = 790,
    kBpchar = 1042,
    kVarchar = 1043,
    kDate = 1082,
    kTime = 1083,
    kTimestamp = 1114,
    kTimestamptz = 1184,
    kTimetz = 1266,
    kNumeric = 1700,
    kUuid = 2950,
};

DataTypeEnum adoTypeOf(Oid type)
{
    switch (type) {
    case kInt2:
        return adSmallInt;
    case kInt4:
        return adInteger;
    case kInt8:
        return adBigInt;
    case kNumeric:
        return adNumeric;
    case kFloat4:
        return adSingle;
    case kFloat8:
        return adDouble;
    case kMoney:
        return adCurrency;
    case kBool:
        return adBoolean;
    case kBpchar:
        return adWChar;
    case kVarchar:
    case kName:
        return adVarWChar;
    case kUuid:
        return adGUID;
    case kDate:
        return adDBDate;
    case kTime:
    case kTimetz:
        return adDBTime;
    case kTimestamp:
    case kTimestamptz:
        return adDBTimeStamp;
    case kBytea:
        return adLongVarBinary;
    default:
        return adLongVarWChar; // text and every other type read as text
    }
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// bytea in the server's hex output form "\x0a1b..." to raw bytes.
QByteArray decodeBytea(const char* text, int length)
{
    if (length < 2 || text[0] != '\\' || text[1] != 'x') {
        size_t size = 0;
        unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
        if (!raw)
            throw Error(QStringLiteral("Out of memory while reading a binary value."));
        QByteArray bytes(reinterpret_cast<const char*>(raw), static_cast<qsizetype>(size));
        PQfreemem(raw);
        return bytes;
    }
    QByteArray bytes((length - 2) / 2, Qt::Uninitialized);
    char* out = bytes.data();
    for (int i = 2; i + 1 < length; i += 2)
        *out++ = static_cast<char>(hexDigit(text[i]) << 4 | hexDigit(text[i + 1]));
    return bytes;
}

} // namespace

QString PostgreSQLResult::trimmedMessage(const char* message)
{
    return QString::fromUtf8(message).trimmed();
}

bool PostgreSQLResult::failed(const PGresult* result)
{
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR ||
           status == PGRES_PIPELINE_ABORTED;
}

Error PostgreSQLResult::errorOf(const PGresult* result)
{
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const QString sqlState = QString::fromLatin1(state ? state : "");
    const bool values = sqlState.startsWith(QLatin1String("22")) || sqlState.startsWith(QLatin1String("23"));
    return Error(trimmedMessage(PQresultErrorMessage(result)),
                 values ? Error::Cause::Values : Error::Cause::Other, sqlState);
}

QList<ColumnInfo> PostgreSQLResult::columnsOf(const PGresult* result)
{
    QList<ColumnInfo> columns;
    const int count = PQnfields(result);
    columns.reserve(count);
    for (int i = 0; i < count; ++i) {
        ColumnInfo column;
        column.name = QString::fromUtf8(PQfname(result, i));
        const Oid type = PQftype(result, i);
        column.type = adoTypeOf(type);
        const int modifier = PQfmod(result, i);
        if (type == kNumeric && modifier >= 4) {
            column.precision = ((modifier - 4) >> 16) & 0xffff;
            column.scale = (modifier - 4) & 0xffff;
        }
        columns.append(column);
    }
    return columns;
}

void PostgreSQLResult::readRow(const PGresult* result, int rowIndex, const QList<ColumnInfo>& columns,
                               QList<Value>& row)
{
    const int count = static_cast<int>(columns.size());
    row.resize(count);
    for (int c = 0; c < count; ++c) {
        if (PQgetisnull(result, rowIndex, c)) {
            row[c].setNull();
            continue;
        }
        const char* text = PQgetvalue(result, rowIndex, c);
        const int length = PQgetlength(result, rowIndex, c);
        if (columns[c].type == adLongVarBinary)
            row[c] = Value::of(decodeBytea(text, length));
        else
            row[c].assign(text, length);
    }
}
