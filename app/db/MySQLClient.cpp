#include "app/db/MySQLClient.h"

#include "app/db/ConnectionString.h"
#include "app/db/DataTypeEnum.h"
#include "app/db/Error.h"
#include "app/db/SessionSettings.h"
#include "app/db/Waiting.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <poll.h>

namespace {

constexpr unsigned kBinaryCharset = 63;

// The error numbers of a link that is gone or was never there: the client's, and the
// server's last word to a session it ends (KILL CONNECTION, a shutdown).
enum LinkError : unsigned {
    kServerShutdown = 1053,
    kConnectionKilled = 1927,
    kServerGone = 2006,
    kServerLost = 2013,
    kServerLostExtended = 2026, // the TLS layer failed
    kReadTimeout = 2055,
};

DataTypeEnum adoTypeOf(const MYSQL_FIELD& field)
{
    const bool isUnsigned = field.flags & UNSIGNED_FLAG;
    const bool isBinary = field.charsetnr == kBinaryCharset;
    switch (field.type) {
    case MYSQL_TYPE_TINY:
        return isUnsigned ? adUnsignedTinyInt : adTinyInt;
    case MYSQL_TYPE_YEAR:
        return adSmallInt;
    case MYSQL_TYPE_SHORT:
        return isUnsigned ? adUnsignedSmallInt : adSmallInt;
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG:
        return isUnsigned ? adUnsignedInt : adInteger;
    case MYSQL_TYPE_LONGLONG:
        return isUnsigned ? adUnsignedBigInt : adBigInt;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
        return adNumeric;
    case MYSQL_TYPE_FLOAT:
        return adSingle;
    case MYSQL_TYPE_DOUBLE:
        return adDouble;
    case MYSQL_TYPE_BIT:
        return field.length == 1 ? adBoolean : adBinary;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
        return adDBDate;
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_TIME2:
        return adDBTime;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_DATETIME2:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2:
        return adDBTimeStamp;
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
        return isBinary && !(field.flags & (ENUM_FLAG | SET_FLAG)) ? adBinary : adWChar;
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
        return isBinary ? adVarBinary : adVarWChar;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
        return isBinary ? adLongVarBinary : adLongVarWChar;
    case MYSQL_TYPE_GEOMETRY:
        return adLongVarBinary;
    default:
        return adLongVarWChar; // JSON and anything newer read as text
    }
}

} // namespace

MYSQL* MySQLClient::newHandle()
{
    MYSQL* connection = mysql_init(nullptr);
    if (!connection)
        throw Error(QStringLiteral("Out of memory while connecting to MySQL."));
    mysql_optionsv(connection, MYSQL_OPT_NONBLOCK, 0);
    // TCP always, also for "localhost", so that the port is honoured.
    const unsigned protocol = MYSQL_PROTOCOL_TCP;
    mysql_optionsv(connection, MYSQL_OPT_PROTOCOL, &protocol);
    // TLS whenever the server offers it, plain only when it offers none; the certificate
    // is not checked, as most servers' certificates are their own.
    const my_bool noCheck = 0;
    mysql_optionsv(connection, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &noCheck);
    mysql_ssl_set(connection, nullptr, nullptr, nullptr, nullptr, nullptr);
    mysql_optionsv(connection, MYSQL_SET_CHARSET_NAME, SessionSettings::kMySQLCharacterSet);
    mysql_optionsv(connection, MYSQL_INIT_COMMAND, SessionSettings::kMySQLInitCommand);
    mysql_optionsv(connection, MYSQL_INIT_COMMAND, SessionSettings::kMySQLTransactions);
    // The connection time-out is kept by the caller, which waits on the socket itself.
    return connection;
}

MySQLClient::Address MySQLClient::Address::of(const ConnectionString& settings)
{
    const QString portText = settings.value({"port"});
    bool validPort = true;
    const unsigned port = portText.isEmpty() ? 0u : portText.toUInt(&validPort);
    if (!validPort || port > 65535)
        throw Error(QStringLiteral("Invalid port \"%1\": a port is a number from 1 to 65535.").arg(portText));
    const QByteArray host = settings.value({"server", "host"}).toUtf8();
    return {host.isEmpty() ? QByteArray("localhost") : host,
            settings.value({"user", "uid", "username"}).toUtf8(),
            settings.value({"password", "pwd"}).toUtf8(), settings.value({"database", "db"}).toUtf8(), port};
}

int MySQLClient::startConnect(MYSQL** connected, MYSQL* handle, const Address& address, bool toDatabase)
{
    const bool database = toDatabase && !address.database.isEmpty();
    return mysql_real_connect_start(
        connected, handle, address.host.constData(), address.user.constData(), address.password.constData(),
        database ? address.database.constData() : nullptr, address.port, nullptr, 0);
}

short MySQLClient::pollEventsFor(int status)
{
    short events = 0;
    if (status & MYSQL_WAIT_READ)
        events |= POLLIN;
    if (status & MYSQL_WAIT_WRITE)
        events |= POLLOUT;
    if (status & MYSQL_WAIT_EXCEPT)
        events |= POLLPRI;
    return events;
}

int MySQLClient::statusFor(short ready)
{
    int status = 0;
    if (ready & (POLLIN | POLLHUP | POLLERR | POLLNVAL))
        status |= MYSQL_WAIT_READ;
    if (ready & (POLLOUT | POLLHUP | POLLERR))
        status |= MYSQL_WAIT_WRITE;
    if (ready & POLLPRI)
        status |= MYSQL_WAIT_EXCEPT;
    return status;
}

bool MySQLClient::drive(MYSQL* handle, int status, const std::function<int(int)>& resume,
                        const QDeadlineTimer& deadline)
{
    while (status != 0) {
        const short ready = Waiting::onSocket(mysql_get_socket(handle), pollEventsFor(status), deadline);
        if (ready == 0)
            return false;
        status = resume(statusFor(ready));
    }
    return true;
}

bool MySQLClient::losesLink(unsigned code)
{
    return code == kServerShutdown || code == kConnectionKilled || code == kServerGone ||
           code == kServerLost || code == kServerLostExtended || code == kReadTimeout;
}

bool MySQLClient::refusesValues(unsigned code, const char* sqlState)
{
    static constexpr unsigned valueErrors[] = {
        1048, // column cannot be null
        1062, // duplicate entry
        1263, // NULL supplied to a NOT NULL column
        1264, // out of range value
        1265, // data truncated
        1292, // incorrect date, time or number value
        1365, // division by zero
        1366, // incorrect value for the column
        1367, // illegal value
        1406, // data too long
        1411, // incorrect value for a function
        1416, // not a geometry value
        1451, // referenced by a foreign key
        1452, // no row for a foreign key
        1690, // value out of range
        4025, // CHECK constraint failed
    };
    if (std::find(std::begin(valueErrors), std::end(valueErrors), code) != std::end(valueErrors))
        return true;
    return sqlState && (std::strncmp(sqlState, "22", 2) == 0 || std::strncmp(sqlState, "23", 2) == 0);
}

QList<ColumnInfo> MySQLClient::columnsOf(MYSQL_RES* result)
{
    QList<ColumnInfo> columns;
    const unsigned count = mysql_num_fields(result);
    const MYSQL_FIELD* fields = mysql_fetch_fields(result);
    columns.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        const MYSQL_FIELD& field = fields[i];
        ColumnInfo column;
        column.name = QString::fromUtf8(field.name, static_cast<qsizetype>(field.name_length));
        column.type = adoTypeOf(field);
        if (column.type == adNumeric) {
            // The display length counts the sign and the point.
            const int signAndPoint = (field.flags & UNSIGNED_FLAG ? 0 : 1) + (field.decimals > 0 ? 1 : 0);
            column.precision = static_cast<int>(field.length) - signAndPoint;
            column.scale = static_cast<int>(field.decimals);
        }
        columns.append(column);
    }
    return columns;
}

QByteArray MySQLClient::floatText(const char* text, unsigned long length)
{
    double wide = 0;
    const char* end = text + length;
    if (std::from_chars(text, end, wide).ptr != end)
        return QByteArray(text, static_cast<qsizetype>(length));
    char buffer[32];
    const std::to_chars_result written =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(wide));
    return QByteArray(buffer, written.ptr - buffer);
}
