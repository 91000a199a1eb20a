// The MySQL client: MariaDB Connector/C over TCP (with TLS whenever the server offers it),
// utf8mb4, strict and without backslash escapes, so that a quoted literal arrives byte for
// byte. Statements go through the client's non-blocking interface, so that a long wait
// for the server leaves the windows painted and can be given up after the time-out.

#include "app/db/Backend.h"
#include "app/db/ConnectionString.h"
#include "app/db/DataTypeEnum.h"
#include "app/db/Error.h"
#include "app/db/SessionSettings.h"
#include "app/db/Waiting.h"

#include <mysql.h>

#include <QDeadlineTimer>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <functional>
#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr unsigned kBinaryCharset = 63;
// How long the request that stops a timed-out statement, and the statement's end after
// it, may take: a stalled server answers neither.
constexpr int kKillMilliseconds = 5000;

// The client's error numbers for a link that is gone or was never there.
enum ClientError : unsigned {
    kServerGone = 2006,
    kServerLost = 2013,
    kServerLostExtended = 2026, // the TLS layer failed
    kReadTimeout = 2055,
};

// The server's errors that lie in a statement's values rather than in the statement:
// another row's values may well be taken.
bool refusesValues(unsigned code, const char* sqlState)
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

QList<ColumnInfo> columnsOf(MYSQL_RES* result)
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

// A FLOAT read as a DOUBLE, written as the shortest text that reads back as the float.
QByteArray floatText(const char* text, unsigned long length)
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

short pollEventsFor(int status)
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

int statusFor(short ready)
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

// Sets up a client handle the way every connection of the program is set up.
MYSQL* newHandle()
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
    // The connection time-out is kept by the caller, which waits on the socket itself.
    return connection;
}

struct Address
{
    QByteArray host, user, password, database;
    unsigned port = 0;

    static Address of(const ConnectionString& settings)
    {
        const QString portText = settings.value({"port"});
        bool validPort = true;
        const unsigned port = portText.isEmpty() ? 0u : portText.toUInt(&validPort);
        if (!validPort || port > 65535)
            throw Error(
                QStringLiteral("Invalid port \"%1\": a port is a number from 1 to 65535.").arg(portText));
        const QByteArray host = settings.value({"server", "host"}).toUtf8();
        return {host.isEmpty() ? QByteArray("localhost") : host,
                settings.value({"user", "uid", "username"}).toUtf8(),
                settings.value({"password", "pwd"}).toUtf8(), settings.value({"database", "db"}).toUtf8(),
                port};
    }
};

class MySQLBackend;
MySQLBackend* backendOf(const std::shared_ptr<BackendLink>& link);

class MySQLBackend : public Backend
{
public:
    MySQLBackend(const ConnectionString& settings, const ConnectionOptions& options)
        : m_address(Address::of(settings)), m_options(options)
    {
        m_connection = newHandle();
        try {
            connect();
        } catch (...) {
            mysql_close(m_connection);
            m_connection = nullptr;
            throw;
        }
    }

    ~MySQLBackend() override
    {
        detach();
        if (m_connection)
            mysql_close(m_connection);
    }

    // Quoted literals are written for a session without backslash escapes. The server says
    // in every answer whether they are off; a statement whose backslashes it would read as
    // escapes is not sent.
    void requireLiteralQuoting(const QByteArray& sql) const
    {
        if (!backslashEscapesOff() && sql.contains('\\'))
            throw Error(kEscapingSession);
    }
    bool backslashEscapesOff() const
    {
        return (m_connection->server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES) != 0;
    }
    static inline const QString kEscapingSession = QStringLiteral(
        "The MySQL session reads backslashes in quoted values as escapes (its sql_mode lacks "
        "NO_BACKSLASH_ESCAPES), so nothing was sent: the values would not arrive as they are.");

    std::unique_ptr<Cursor> execute(const QByteArray& sql) override
    {
        requireLiteralQuoting(sql);
        query(sql);
        MYSQL_RES* result = storeResult();
        // Further results of a statement text with several statements are not wanted.
        while (mysql_more_results(m_connection))
            skipResult();
        if (!result)
            return nullptr;
        return storedCursor(result);
    }

    std::unique_ptr<Cursor> stream(const QString& sql) override;
    std::unique_ptr<StatementStream> statementStream() override;
    bool broken() const override { return m_broken; }

    // Runs a call of the client's non-blocking interface to its end: start() begins it
    // and returns what it waits for, resume(ready) goes on once that is ready. Past the
    // command time-out the statement is stopped on the server and the call reported as
    // timed out.
    void complete(const std::function<int()>& start, const std::function<int(int)>& resume)
    {
        requireLink();
        try {
            int status = start();
            QDeadlineTimer deadline = commandDeadline();
            bool killed = false;
            while (status != 0) {
                const short ready =
                    Waiting::onSocket(mysql_get_socket(m_connection), pollEventsFor(status), deadline);
                if (ready != 0) {
                    status = resume(statusFor(ready));
                    continue;
                }
                if (killed)
                    giveUp();
                killed = true;
                m_timedOut = true;
                killStatement();
                deadline.setRemainingTime(kKillMilliseconds);
            }
        } catch (...) {
            // The client was left in the middle of a call; the connection is of no use.
            m_broken = true;
            throw;
        }
    }

    void query(const QByteArray& sql)
    {
        int error = 0;
        beginStatement();
        complete([&] { return mysql_real_query_start(&error, m_connection, sql.constData(), sql.size()); },
                 [&](int ready) { return mysql_real_query_cont(&error, m_connection, ready); });
        if (error != 0)
            throw failure();
    }

    // Opens the connection through the non-blocking interface, no longer than the
    // connection time-out, so that a silent server leaves the windows painted.
    void connect()
    {
        MYSQL* connected = nullptr;
        int status =
            mysql_real_connect_start(&connected, m_connection, m_address.host.constData(),
                                     m_address.user.constData(), m_address.password.constData(),
                                     m_address.database.isEmpty() ? nullptr : m_address.database.constData(),
                                     m_address.port, nullptr, 0);
        const QDeadlineTimer deadline = m_options.connectionTimeout > 0
                                            ? QDeadlineTimer(qint64(m_options.connectionTimeout) * 1000)
                                            : QDeadlineTimer(QDeadlineTimer::Forever);
        while (status != 0) {
            const short ready =
                Waiting::onSocket(mysql_get_socket(m_connection), pollEventsFor(status), deadline);
            if (ready == 0)
                throw Waiting::expired(
                    QStringLiteral("Can't connect to the MySQL server on '%1': no answer within %2 seconds.")
                        .arg(QString::fromUtf8(m_address.host))
                        .arg(m_options.connectionTimeout));
            status = mysql_real_connect_cont(&connected, m_connection, statusFor(ready));
        }
        if (!connected)
            throw Error(QString::fromUtf8(mysql_error(m_connection)));
    }

    // A statement stopped after its time-out fails as timed out, whichever of its calls
    // notices.
    void beginStatement() { m_timedOut = false; }

    // The rows of the statement just run, fetched whole; nullptr for a statement without.
    MYSQL_RES* storeResult()
    {
        MYSQL_RES* result = nullptr;
        complete([&] { return mysql_store_result_start(&result, m_connection); },
                 [&](int ready) { return mysql_store_result_cont(&result, m_connection, ready); });
        if (!result && mysql_field_count(m_connection) != 0)
            throw failure();
        return result;
    }

    // Moves on to the next result of a statement text; false when it failed.
    bool nextResult()
    {
        int status = 0;
        complete([&] { return mysql_next_result_start(&status, m_connection); },
                 [&](int ready) { return mysql_next_result_cont(&status, m_connection, ready); });
        return status <= 0;
    }

    void skipResult()
    {
        if (!nextResult())
            throw failure();
        if (MYSQL_RES* rows = storeResult())
            mysql_free_result(rows);
    }

    MYSQL_ROW fetchRow(MYSQL_RES* result)
    {
        MYSQL_ROW row = nullptr;
        complete([&] { return mysql_fetch_row_start(&row, result); },
                 [&](int ready) { return mysql_fetch_row_cont(&row, result, ready); });
        if (!row && mysql_errno(m_connection))
            throw failure();
        return row;
    }

    // Reads and drops the rows of a streamed result that were not walked.
    void freeResult(MYSQL_RES* result)
    {
        complete([&] { return mysql_free_result_start(result); },
                 [&](int ready) { return mysql_free_result_cont(result, ready); });
    }

    // The error the client reports now. Every failure of the client passes here, so a
    // lost link is always noticed.
    Error failure()
    {
        const unsigned code = mysql_errno(m_connection);
        const char* sqlState = mysql_sqlstate(m_connection);
        if (code == kServerGone || code == kServerLost || code == kServerLostExtended || code == kReadTimeout)
            m_broken = true;
        if (std::exchange(m_timedOut, false))
            return Waiting::expired(QStringLiteral("Query timeout expired"));
        return Error(QString::fromUtf8(mysql_error(m_connection)),
                     refusesValues(code, sqlState) ? Error::Cause::Values : Error::Cause::Other,
                     QString::fromLatin1(sqlState), static_cast<int>(code));
    }

    void requireLink() const
    {
        if (m_broken)
            throw Error(QStringLiteral("The connection to the MySQL server was lost."));
    }

    // The largest statement the server takes, as it said when asked.
    qint64 largestStatement()
    {
        if (m_largestStatement == 0) {
            std::unique_ptr<Cursor> answer = execute("SELECT @@max_allowed_packet");
            QList<Value> row;
            if (!answer || !answer->fetch(row) || row.isEmpty())
                throw Error(QStringLiteral("The MySQL server did not tell its largest statement."));
            // The packet carries the statement after a command byte, and the server takes
            // only a packet shorter than its limit.
            m_largestStatement = row.first().bytes().toLongLong() - 2;
        }
        return m_largestStatement;
    }

    // Whether a table made now keeps its rows in transactions: the engine the server
    // makes tables with is InnoDB (or another with transactions), as it is by default.
    bool tablesHaveTransactions()
    {
        QByteArray engine = firstValue("SELECT @@default_storage_engine");
        // MariaDB may force an engine on every table made.
        try {
            if (const QByteArray forced = firstValue("SELECT @@enforce_storage_engine"); !forced.isEmpty())
                engine = forced;
        } catch (const Error&) {
            requireLink(); // only MariaDB knows the setting
        }
        const QByteArray name = engine.toLower();
        return name == "innodb" || name == "xtradb" || name == "rocksdb" || name == "tokudb";
    }

    // Whether a statement that waited too long for a lock undoes its whole transaction.
    bool lockTimeoutUndoesTransaction()
    {
        try {
            return firstValue("SELECT @@innodb_rollback_on_timeout") == "1";
        } catch (const Error&) {
            requireLink();
            return false;
        }
    }

    // The first column of a query's first row; empty for NULL or no row.
    QByteArray firstValue(const QByteArray& sql)
    {
        std::unique_ptr<Cursor> answer = execute(sql);
        QList<Value> row;
        if (!answer || !answer->fetch(row) || row.isEmpty())
            return {};
        return row.first().bytes();
    }

    // Several statements in one statement text, for the streams of the copies only.
    void allowStatementBatches()
    {
        if (m_batches)
            return;
        int error = 0;
        complete(
            [&] {
                return mysql_set_server_option_start(&error, m_connection, MYSQL_OPTION_MULTI_STATEMENTS_ON);
            },
            [&](int ready) { return mysql_set_server_option_cont(&error, m_connection, ready); });
        if (error != 0)
            throw failure();
        m_batches = true;
    }

    MYSQL* handle() const { return m_connection; }

private:
    std::unique_ptr<Cursor> storedCursor(MYSQL_RES* result);

    QDeadlineTimer commandDeadline() const
    {
        return m_options.commandTimeout > 0 ? QDeadlineTimer(qint64(m_options.commandTimeout) * 1000)
                                            : QDeadlineTimer(QDeadlineTimer::Forever);
    }

    // Asks the server, on a connection of its own, to stop this connection's statement.
    // Bounded in time: a stalled server does not answer.
    void killStatement() noexcept
    {
        MYSQL* killer = nullptr;
        try {
            killer = newHandle();
            const QDeadlineTimer deadline(kKillMilliseconds);
            MYSQL* connected = nullptr;
            auto finish = [&](int status, const std::function<int(int)>& resume) {
                while (status != 0) {
                    const short ready =
                        Waiting::onSocket(mysql_get_socket(killer), pollEventsFor(status), deadline);
                    if (ready == 0)
                        return false;
                    status = resume(statusFor(ready));
                }
                return true;
            };
            int status = mysql_real_connect_start(&connected, killer, m_address.host.constData(),
                                                  m_address.user.constData(), m_address.password.constData(),
                                                  nullptr, m_address.port, nullptr, 0);
            if (finish(status,
                       [&](int ready) { return mysql_real_connect_cont(&connected, killer, ready); }) &&
                connected) {
                const QByteArray kill = "KILL QUERY " + QByteArray::number(mysql_thread_id(m_connection));
                int error = 0;
                status = mysql_real_query_start(&error, killer, kill.constData(), kill.size());
                finish(status, [&](int ready) { return mysql_real_query_cont(&error, killer, ready); });
            }
        } catch (...) {
            // Without the request the statement is given up a little later.
        }
        if (killer)
            mysql_close(killer);
    }

    [[noreturn]] void giveUp()
    {
        m_broken = true;
        m_timedOut = false;
        if (const my_socket socket = mysql_get_socket(m_connection); socket >= 0)
            shutdown(socket, SHUT_RDWR);
        throw Waiting::expired(QStringLiteral(
            "Query timeout expired: the server did not answer, and the connection to it was closed."));
    }

    // Ending a read-only snapshot cannot lose anything; a lost connection ends it too.
    void endSnapshot(const char* statement) noexcept
    {
        try {
            query(statement);
        } catch (...) {
        }
    }

    qint64 countRows(const QByteArray& select)
    {
        query("SELECT COUNT(*) FROM (" + select + ") AS quillstone_count");
        MYSQL_RES* counted = storeResult();
        MYSQL_ROW row = counted ? mysql_fetch_row(counted) : nullptr;
        const qint64 count = row && row[0] ? QByteArray(row[0]).toLongLong() : 0;
        if (counted)
            mysql_free_result(counted);
        return count;
    }

    // The server writes a FLOAT with six significant digits, which can name another float
    // (16777216 comes as 16777200). When the rows hold FLOAT columns, the query is wrapped
    // to read them as DOUBLE, and columns gets the original columns; else the query stays.
    QByteArray withWholeFloats(const QByteArray& select, QList<ColumnInfo>& columns)
    {
        query("SELECT * FROM (" + select + ") AS quillstone_rows LIMIT 0");
        MYSQL_RES* shape = storeResult();
        if (!shape)
            throw failure();
        const unsigned fieldCount = mysql_num_fields(shape);
        const MYSQL_FIELD* fields = mysql_fetch_fields(shape);
        QByteArray list;
        bool floats = false;
        for (unsigned i = 0; i < fieldCount; ++i) {
            QByteArray name =
                "`" + QByteArray(fields[i].name, fields[i].name_length).replace('`', "``") + "`";
            if (fields[i].type == MYSQL_TYPE_FLOAT) {
                floats = true;
                name = "(" + name + " + 0e0)"; // a DOUBLE on every server version
            }
            list += (i == 0 ? "" : ", ") + name;
        }
        if (floats)
            columns = columnsOf(shape);
        mysql_free_result(shape);
        return floats ? "SELECT " + list + " FROM (" + select + ") AS quillstone_rows" : select;
    }

    Address m_address;
    ConnectionOptions m_options;
    MYSQL* m_connection = nullptr;
    bool m_broken = false;
    bool m_timedOut = false;
    bool m_batches = false;
    qint64 m_largestStatement = 0;
};

MySQLBackend* backendOf(const std::shared_ptr<BackendLink>& link)
{
    return static_cast<MySQLBackend*>(link->backend());
}

// Rows of a result, stored whole on the client or read from the server as they are
// walked; the count of a streamed result is taken beforehand.
class ResultCursor : public Cursor
{
public:
    // Columns given by the caller replace those of the result; their FLOAT columns come
    // as DOUBLE values. A streamed result reads its rows through the backend.
    ResultCursor(const std::shared_ptr<BackendLink>& link, MYSQL_RES* result, qint64 count, bool streamed,
                 std::function<void(MySQLBackend&)> onClose = nullptr, QList<ColumnInfo> columns = {})
        : m_link(link), m_result(result),
          m_columns(columns.isEmpty() ? columnsOf(result) : std::move(columns)), m_count(count),
          m_streamed(streamed), m_onClose(std::move(onClose))
    {
        const MYSQL_FIELD* fields = mysql_fetch_fields(result);
        for (int c = 0; c < m_columns.size(); ++c)
            m_floatAsDouble.append(fields[c].type == MYSQL_TYPE_DOUBLE && m_columns[c].type == adSingle);
    }
    ~ResultCursor() override
    {
        try {
            release();
        } catch (const Error&) {
            // The server went away while the rest of the rows were read.
        }
    }

    const QList<ColumnInfo>& columns() const override { return m_columns; }
    qint64 recordCount() const override { return m_count; }
    bool fetch(QList<Value>& row) override
    {
        if (!m_result)
            return false;
        MYSQL_ROW values = nullptr;
        if (m_streamed) {
            MySQLBackend* backend = backendOf(m_link);
            if (!backend)
                throw Error(QStringLiteral("Operation is not allowed when the object is closed."));
            values = backend->fetchRow(m_result);
        } else {
            values = mysql_fetch_row(m_result);
        }
        if (!values)
            return false;
        const unsigned long* lengths = mysql_fetch_lengths(m_result);
        const int count = static_cast<int>(m_columns.size());
        row.resize(count);
        for (int c = 0; c < count; ++c) {
            if (!values[c])
                row[c].setNull();
            else if (m_floatAsDouble[c])
                row[c] = Value::of(floatText(values[c], lengths[c]));
            else
                row[c].assign(values[c], static_cast<qsizetype>(lengths[c]));
        }
        return true;
    }
    void close() override { release(); }

private:
    void release()
    {
        MYSQL_RES* result = std::exchange(m_result, nullptr);
        if (!result)
            return;
        MySQLBackend* backend = backendOf(m_link);
        if (!m_streamed || !backend || backend->broken()) {
            // Without a live connection the rows still unread are not asked for.
            result->handle = nullptr;
            mysql_free_result(result);
            return;
        }
        backend->freeResult(result);
        if (auto onClose = std::exchange(m_onClose, nullptr))
            onClose(*backend);
    }

    std::shared_ptr<BackendLink> m_link;
    MYSQL_RES* m_result;
    QList<ColumnInfo> m_columns;
    QList<bool> m_floatAsDouble;
    qint64 m_count;
    bool m_streamed;
    std::function<void(MySQLBackend&)> m_onClose;
};

std::unique_ptr<Cursor> MySQLBackend::storedCursor(MYSQL_RES* result)
{
    // A stored result needs the connection no more.
    result->handle = nullptr;
    return std::make_unique<ResultCursor>(link(), result, static_cast<qint64>(mysql_num_rows(result)), false);
}

// Statements sent several to a packet, as one statement text, each packet one transaction:
//   [COMMIT;] START TRANSACTION; s1; ...; sn; COMMIT
// The server runs them in order and stops at the first that fails. InnoDB undoes that
// statement alone: the packet's statements before it wait in the open transaction, and the
// rest go out again in the next packet, which commits the waiting ones first. An answer is
// handed out only once its transaction committed, in the order the statements were sent,
// so a row counts as written when it is durable as the server's own setting makes commits.
// An error that undoes the whole transaction (a deadlock, a failed commit, a lock-wait
// time-out where the server rolls back on it) sends the transaction's statements again,
// once. With a target engine without transactions each statement commits on its own. One
// packet is on its way while the next is being filled.
class PacketStream : public StatementStream
{
public:
    explicit PacketStream(MySQLBackend& backend) : m_link(backend.link())
    {
        if (!backend.backslashEscapesOff())
            throw Error(MySQLBackend::kEscapingSession);
        backend.allowStatementBatches();
        m_largest = backend.largestStatement();
        m_packetBytes = qMin<qint64>(kPacketBytes, m_largest);
        m_transactional = backend.tablesHaveTransactions();
        m_timeoutUndoesAll = backend.lockTimeoutUndoesTransaction();
    }
    ~PacketStream() override
    {
        try {
            discard();
        } catch (...) {
            // The connection is lost; nothing more is read from it.
        }
    }

    void send(const QByteArray& statement, qint64 tag) override
    {
        Entry entry{{tag, statement, std::nullopt}, false};
        if (statement.size() > m_largest)
            entry.answer.error =
                Error(QStringLiteral(
                          "The statement is %1 bytes long, more than the %2 bytes the MySQL server takes "
                          "(max_allowed_packet); the row was not sent.")
                          .arg(statement.size())
                          .arg(m_largest),
                      Error::Cause::Values, QStringLiteral("22001"));
        m_queuedBytes += statement.size();
        m_queue.push_back(std::move(entry));
        if (m_queue.size() >= kPacketStatements || m_queuedBytes >= m_packetBytes) {
            completePacket();
            // After a failure that ends the table nothing more goes out before the caller
            // has seen it.
            if (std::none_of(m_ready.begin(), m_ready.end(), [](const Answer& answer) {
                    return answer.error && !answer.error->refusedValues();
                }))
                startPacket();
        }
    }

    bool next(Answer& answer, bool wait) override
    {
        if (m_ready.empty() && wait) {
            completePacket();
            // Statements still to send, or answers waiting for their commit.
            while (m_ready.empty() && (!m_queue.empty() || !m_held.empty() || m_open)) {
                startPacket();
                completePacket();
            }
        }
        return takeFirst(m_ready, answer);
    }

    void forgetUnsent() override
    {
        m_queue.clear();
        m_queuedBytes = 0;
    }

    // Rows answered but not committed are undone: nothing commits unseen.
    void discard() override
    {
        forgetUnsent();
        completePacket();
        // The packet's answers may have put statements back in the queue.
        forgetUnsent();
        m_held.clear();
        m_ready.clear();
        MySQLBackend* backend = backendOf(m_link);
        if (std::exchange(m_open, false) && backend && !backend->broken())
            backend->query("ROLLBACK");
    }

    // Each answer was handed out once its transaction committed.
    void finish() override {}

private:
    static constexpr size_t kPacketStatements = 5000;
    static constexpr qint64 kPacketBytes = 4 << 20;
    static constexpr QByteArrayView kCommit = "COMMIT";
    static constexpr QByteArrayView kBegin = "START TRANSACTION";

    struct Entry
    {
        Answer answer;
        bool retried = false; // sent again after its transaction was undone
    };
    // The results of a packet, in order: a commit of the transaction left open, the
    // beginning of the packet's own, its statements, its commit.
    enum class Part { CommitOpen, Begin, Statement, Commit };

    MySQLBackend& requireBackend() const
    {
        MySQLBackend* backend = backendOf(m_link);
        if (!backend)
            throw Error(QStringLiteral("Operation is not allowed when the object is closed."));
        return *backend;
    }

    // An answer leaves once every statement sent before it has.
    void settle(Entry entry)
    {
        if (m_open || !m_held.empty())
            m_held.push_back(std::move(entry));
        else
            m_ready.push_back(std::move(entry.answer));
    }

    qint64 heldRows() const
    {
        return std::count_if(m_held.begin(), m_held.end(),
                             [](const Entry& entry) { return !entry.answer.error; });
    }

    // The open transaction committed: its answers leave.
    void committed()
    {
        m_open = false;
        while (!m_held.empty()) {
            if (!m_held.front().answer.error)
                ++m_committedRows;
            m_ready.push_back(std::move(m_held.front().answer));
            m_held.pop_front();
        }
    }

    // Sends the statements at the front of the queue as one packet, without waiting; with
    // none, the commit of the answers that wait for one.
    void startPacket()
    {
        // A statement refused before it was sent is answered in its turn.
        while (!m_queue.empty() && m_queue.front().answer.error)
            settle(takeQueued());
        m_parts.clear();
        m_packet.clear();
        m_text.resize(0);
        // The client writes a large packet straight from this memory, and when the socket
        // is full it goes on writing from it later, in mysql_real_query_cont: the text
        // lives in the stream until the server has answered the packet.
        auto add = [&](Part part, QByteArrayView text) {
            if (!m_parts.empty())
                m_text += ';';
            m_text += text;
            m_parts.push_back(part);
        };
        if (m_open || !m_held.empty())
            add(Part::CommitOpen, kCommit);
        if (!m_queue.empty() && !m_queue.front().answer.error) {
            // The packet is one transaction when its statements and the words around them
            // fit; a statement too large for that goes alone, committing on its own.
            const qint64 frame = m_text.size() + 1 + kBegin.size() + 1 + kCommit.size();
            const bool wrap =
                m_transactional && frame + m_queue.front().answer.statement.size() <= m_packetBytes;
            if (wrap)
                add(Part::Begin, kBegin);
            // A statement alone always fits the server; beside others, the packet keeps to
            // its size.
            const qint64 room = m_packetBytes - (wrap ? kCommit.size() + 1 : 0);
            auto fits = [&](const QByteArray& next) {
                return m_parts.empty() || m_text.size() + 1 + next.size() <= room;
            };
            while (!m_queue.empty() && !m_queue.front().answer.error && m_packet.size() < kPacketStatements &&
                   fits(m_queue.front().answer.statement)) {
                add(Part::Statement, m_queue.front().answer.statement);
                m_packet.push_back(takeQueued());
            }
            if (wrap)
                add(Part::Commit, kCommit);
        }
        if (m_parts.empty())
            return;
        MySQLBackend& backend = requireBackend();
        backend.requireLink();
        backend.beginStatement();
        m_error = 0;
        m_status = mysql_real_query_start(&m_error, backend.handle(), m_text.constData(), m_text.size());
        m_inFlight = true;
    }

    Entry takeQueued()
    {
        Entry entry = std::move(m_queue.front());
        m_queue.pop_front();
        m_queuedBytes -= entry.answer.statement.size();
        return entry;
    }

    // Waits for the results of the packet on its way and sorts them to its statements.
    void completePacket()
    {
        if (!std::exchange(m_inFlight, false))
            return;
        MySQLBackend& backend = requireBackend();
        MYSQL* connection = backend.handle();
        size_t part = 0;
        size_t statement = 0; // the packet's statements answered so far
        try {
            int status = m_status;
            int error = m_error;
            backend.complete([&] { return status; },
                             [&](int ready) { return mysql_real_query_cont(&error, connection, ready); });
            for (; part < m_parts.size(); ++part) {
                if (part > 0) {
                    // Nothing more: the server stopped the packet at a failure.
                    if (!mysql_more_results(connection))
                        break;
                    error = backend.nextResult() ? 0 : 1;
                }
                if (error != 0) {
                    failed(part, statement, backend.failure(), backend.broken());
                    return;
                }
                if (MYSQL_RES* rows = backend.storeResult())
                    mysql_free_result(rows);
                succeeded(m_parts[part], statement);
            }
        } catch (const Error& error) {
            failed(part, statement, error, true);
            return;
        }
        requeue(statement);
    }

    void succeeded(Part part, size_t& statement)
    {
        switch (part) {
        case Part::CommitOpen:
        case Part::Commit:
            committed();
            break;
        case Part::Begin:
            m_open = true;
            break;
        case Part::Statement:
            settle(std::move(m_packet[statement++]));
            break;
        }
    }

    // The part of the packet at index failed. The server ran nothing after it.
    void failed(size_t index, size_t statement, Error error, bool linkLost)
    {
        const Part part = m_parts[index];
        if (linkLost) {
            // The open transaction is undone with the connection, and what was not yet
            // answered is lost with it: one answer says so, and how many rows are in.
            const QByteArray text = statement < m_packet.size() ? m_packet[statement].answer.statement
                                    : !m_held.empty()           ? m_held.front().answer.statement
                                                                : QByteArray();
            const qint64 tag = statement < m_packet.size() ? m_packet[statement].answer.tag : 0;
            m_held.clear();
            m_packet.clear();
            m_open = false;
            forgetUnsent();
            m_ready.push_back(
                {tag, text,
                 withTableRows(error, QStringLiteral("The table holds the %1 rows committed before."),
                               m_committedRows)});
            return;
        }
        const bool undoesAll = part == Part::CommitOpen || part == Part::Commit ||
                               error.code() == kDeadlock ||
                               (error.code() == kLockWaitTimeout && m_timeoutUndoesAll);
        if (part == Part::Statement && !undoesAll) {
            // That statement alone was undone; the transaction stays open. A failure that
            // is not the values' own ends the table: its answer says what the table holds.
            if (!error.refusedValues() && !error.stopped())
                error = withTableRows(error, QStringLiteral("The table holds the %1 rows written before."),
                                      m_committedRows + heldRows());
            const bool endsTable = !error.refusedValues();
            m_packet[statement].answer.error = std::move(error);
            settle(std::move(m_packet[statement]));
            requeue(statement + 1);
            // Such a failure is told at once, not a packet later.
            if (endsTable)
                commitNow();
            return;
        }
        if (part == Part::Begin) {
            m_packet.front().answer.error = std::move(error);
            settle(std::move(m_packet.front()));
            requeue(1);
            return;
        }
        undone(part, statement, error);
    }

    // A failure that ends the table, its text followed by what the table holds; a stop stays
    // a stop.
    static Error withTableRows(const Error& error, const QString& sentence, qint64 rows)
    {
        return Error(error.description() + QLatin1Char(' ') + sentence.arg(rows),
                     error.stopped() ? Error::Cause::Stopped : Error::Cause::Other, error.sqlState(),
                     error.code());
    }

    // Commits the open transaction now, as the head of the next packet would.
    void commitNow()
    {
        MySQLBackend& backend = requireBackend();
        try {
            backend.query("COMMIT");
            committed();
        } catch (const Error& error) {
            m_parts = {Part::CommitOpen};
            m_packet.clear();
            failed(0, 0, error, backend.broken());
        }
    }

    // The whole transaction was undone: its statements go out again, once, before those
    // the packet did not run. A second time ends the table, with one answer that says how
    // many rows are in.
    void undone(Part part, size_t statement, const Error& error)
    {
        m_open = false;
        std::deque<Entry> again = std::move(m_held);
        m_held.clear();
        size_t notRun = statement;
        if (part == Part::Statement) {
            again.push_back(std::move(m_packet[statement]));
            notRun = statement + 1;
        }
        requeue(notRun);
        if (again.empty())
            return;
        if (std::any_of(again.begin(), again.end(), [](const Entry& entry) { return entry.retried; })) {
            forgetUnsent();
            Answer& first = again.front().answer;
            first.error = withTableRows(error,
                                        QStringLiteral("The transaction was undone a second time; the table "
                                                       "holds the %1 rows committed before."),
                                        m_committedRows);
            m_ready.push_back(std::move(first));
            return;
        }
        for (Entry& entry : again) {
            entry.retried = true;
            entry.answer.error.reset();
            m_queuedBytes += entry.answer.statement.size();
        }
        m_queue.insert(m_queue.begin(), std::make_move_iterator(again.begin()),
                       std::make_move_iterator(again.end()));
    }

    // The packet's statements from the index on were not run: they go out again first.
    void requeue(size_t from)
    {
        for (size_t i = m_packet.size(); i > from; --i) {
            m_queuedBytes += m_packet[i - 1].answer.statement.size();
            m_queue.push_front(std::move(m_packet[i - 1]));
        }
        m_packet.clear();
    }

    static constexpr int kDeadlock = 1213;
    static constexpr int kLockWaitTimeout = 1205;

    std::shared_ptr<BackendLink> m_link;
    qint64 m_largest = 0;
    qint64 m_packetBytes = 0;
    bool m_transactional = true;
    bool m_timeoutUndoesAll = false;
    std::deque<Entry> m_queue;
    qint64 m_queuedBytes = 0;
    std::vector<Part> m_parts;  // of the packet on its way
    std::deque<Entry> m_packet; // its statements
    QByteArray m_text;          // its text
    std::deque<Entry> m_held;   // answered in the open transaction, waiting for its commit
    bool m_open = false;        // a transaction is open on the server
    std::deque<Answer> m_ready;
    qint64 m_committedRows = 0;
    bool m_inFlight = false;
    int m_status = 0;
    int m_error = 0;
};

std::unique_ptr<StatementStream> MySQLBackend::statementStream()
{
    return std::make_unique<PacketStream>(*this);
}

// The rows of a query in a read-only snapshot, counted first, read as they are walked.
std::unique_ptr<Cursor> MySQLBackend::stream(const QString& sql)
{
    const QByteArray text = sql.toUtf8();
    // A slow reader must not be cut off by the server while it writes each row.
    query("SET SESSION net_write_timeout = 86400");
    query("START TRANSACTION WITH CONSISTENT SNAPSHOT, READ ONLY");
    try {
        const qint64 count = countRows(text);
        QList<ColumnInfo> columns;
        query(withWholeFloats(text, columns));
        MYSQL_RES* rows = mysql_use_result(m_connection);
        if (!rows)
            throw failure();
        return std::make_unique<ResultCursor>(
            link(), rows, count, true, [](MySQLBackend& backend) { backend.endSnapshot("COMMIT"); },
            std::move(columns));
    } catch (...) {
        if (!m_broken)
            endSnapshot("ROLLBACK");
        throw;
    }
}

} // namespace

std::unique_ptr<Backend> openMySQL(const ConnectionString& settings, const ConnectionOptions& options)
{
    return std::make_unique<MySQLBackend>(settings, options);
}
