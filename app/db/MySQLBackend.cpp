// The MySQL client: MariaDB Connector/C over TCP (with TLS whenever the server offers it),
// utf8mb4, strict and without backslash escapes, so that a quoted literal arrives byte for
// byte. Statements go through the client's non-blocking interface, so that a long wait
// for the server leaves the windows painted and can be given up after the time-out.

#include "app/db/MySQLBackend.h"

#include "app/db/ConnectionString.h"
#include "app/db/Error.h"
#include "app/db/MySQLPacketStream.h"
#include "app/db/MySQLResultCursor.h"
#include "app/db/Overtime.h"
#include "app/db/SessionSettings.h"
#include "app/db/Waiting.h"

#include <sys/socket.h>

using namespace MySQLClient;

MySQLBackend::MySQLBackend(const ConnectionString& settings, const ConnectionOptions& options)
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

MySQLBackend::~MySQLBackend()
{
    detach();
    if (m_connection)
        mysql_close(m_connection);
}

void MySQLBackend::requireLiteralQuoting(const QByteArray& sql) const
{
    if (!backslashEscapesOff() && sql.contains('\\'))
        throw Error(kEscapingSession);
}

bool MySQLBackend::backslashEscapesOff() const
{
    return (m_connection->server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES) != 0;
}

std::unique_ptr<Cursor> MySQLBackend::execute(const QByteArray& sql)
{
    requireLiteralQuoting(sql);
    query(sql);
    MYSQL_RES* result = storeResult();
    // Further results of a statement text with several statements are not wanted.
    while (mysql_more_results(m_connection))
        skipResult();
    if (!result)
        return nullptr;
    // A stored result needs the connection no more.
    result->handle = nullptr;
    return std::make_unique<MySQLResultCursor>(link(), result, static_cast<qint64>(mysql_num_rows(result)),
                                               false);
}

// The rows of a query in a read-only snapshot, counted first when asked, read as they are
// walked.
std::unique_ptr<Cursor> MySQLBackend::stream(const QString& sql, bool counted)
{
    const QByteArray text = sql.toUtf8();
    query("START TRANSACTION WITH CONSISTENT SNAPSHOT, READ ONLY");
    try {
        const qint64 count = counted ? countRows(text) : -1;
        QList<ColumnInfo> columns;
        query(withWholeFloats(text, columns));
        MYSQL_RES* rows = mysql_use_result(m_connection);
        if (!rows)
            throw failure();
        return std::make_unique<MySQLResultCursor>(
            link(), rows, count, true, [](MySQLBackend& backend) { backend.endSnapshot("COMMIT"); },
            std::move(columns));
    } catch (...) {
        if (!m_broken)
            endSnapshot("ROLLBACK");
        throw;
    }
}

std::unique_ptr<StatementStream> MySQLBackend::statementStream()
{
    return std::make_unique<MySQLPacketStream>(*this);
}

std::unique_ptr<StatementStream> MySQLBackend::rowStream(const RowFormat& format)
{
    return std::make_unique<MySQLPacketStream>(*this, &format);
}

void MySQLBackend::complete(const std::function<int()>& start, const std::function<int(int)>& resume)
{
    requireLink();
    try {
        int status = start();
        QDeadlineTimer deadline = Waiting::deadlineAfter(m_options.commandTimeout);
        Overtime overtime;
        while (status != 0) {
            const short ready =
                Waiting::onSocket(mysql_get_socket(m_connection), pollEventsFor(status), deadline);
            if (ready != 0) {
                status = resume(statusFor(ready));
                continue;
            }
            m_timedOut = true;
            if (!overtime.extend(deadline, [this](const QDeadlineTimer& until) { killStatement(until); }))
                giveUp();
        }
    } catch (...) {
        // The client was left in the middle of a call; the connection is of no use.
        m_broken = true;
        throw;
    }
}

void MySQLBackend::query(const QByteArray& sql)
{
    int error = 0;
    beginStatement();
    complete([&] { return mysql_real_query_start(&error, m_connection, sql.constData(), sql.size()); },
             [&](int ready) { return mysql_real_query_cont(&error, m_connection, ready); });
    if (error != 0)
        throw failure();
}

void MySQLBackend::connect()
{
    MYSQL* connected = nullptr;
    const int status = startConnect(&connected, m_connection, m_address, true);
    if (!drive(
            m_connection, status,
            [&](int ready) { return mysql_real_connect_cont(&connected, m_connection, ready); },
            Waiting::deadlineAfter(m_options.connectionTimeout)))
        throw Waiting::expired(
            QStringLiteral("Can't connect to the MySQL server on '%1': no answer within %2 seconds.")
                .arg(QString::fromUtf8(m_address.host))
                .arg(m_options.connectionTimeout));
    if (!connected)
        throw Error(QString::fromUtf8(mysql_error(m_connection)));
    if (!mariadb_connection(m_connection)) {
        try {
            query(SessionSettings::kMySQLExecutionTime);
        } catch (const Error& error) {
            if (error.code() != kUnknownVariable)
                throw;
        }
    }
}

MYSQL_RES* MySQLBackend::storeResult()
{
    MYSQL_RES* result = nullptr;
    complete([&] { return mysql_store_result_start(&result, m_connection); },
             [&](int ready) { return mysql_store_result_cont(&result, m_connection, ready); });
    if (!result && mysql_field_count(m_connection) != 0)
        throw failure();
    return result;
}

bool MySQLBackend::nextResult()
{
    int status = 0;
    complete([&] { return mysql_next_result_start(&status, m_connection); },
             [&](int ready) { return mysql_next_result_cont(&status, m_connection, ready); });
    return status <= 0;
}

void MySQLBackend::skipResult()
{
    if (!nextResult())
        throw failure();
    if (MYSQL_RES* rows = storeResult())
        mysql_free_result(rows);
}

MYSQL_ROW MySQLBackend::fetchRow(MYSQL_RES* result)
{
    MYSQL_ROW row = nullptr;
    complete([&] { return mysql_fetch_row_start(&row, result); },
             [&](int ready) { return mysql_fetch_row_cont(&row, result, ready); });
    if (!row && mysql_errno(m_connection))
        throw failure();
    return row;
}

void MySQLBackend::freeResult(MYSQL_RES* result)
{
    complete([&] { return mysql_free_result_start(result); },
             [&](int ready) { return mysql_free_result_cont(result, ready); });
}

Error MySQLBackend::failure()
{
    const unsigned code = mysql_errno(m_connection);
    const char* sqlState = mysql_sqlstate(m_connection);
    if (losesLink(code))
        m_broken = true;
    if (std::exchange(m_timedOut, false))
        return Overtime::timedOut();
    return Error(QString::fromUtf8(mysql_error(m_connection)),
                 refusesValues(code, sqlState) ? Error::Cause::Values : Error::Cause::Other,
                 QString::fromLatin1(sqlState), static_cast<int>(code));
}

void MySQLBackend::requireLink() const
{
    if (m_broken)
        throw Error(QStringLiteral("The connection to the MySQL server was lost."));
}

qint64 MySQLBackend::largestStatement()
{
    if (m_largestStatement == 0) {
        const QByteArray largest = firstValue("SELECT @@max_allowed_packet");
        if (largest.isEmpty())
            throw Error(QStringLiteral("The MySQL server did not tell its largest statement."));
        // The packet carries the statement after a command byte, and the server takes
        // only a packet shorter than its limit.
        m_largestStatement = largest.toLongLong() - 2;
    }
    return m_largestStatement;
}

bool MySQLBackend::tablesHaveTransactions()
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

bool MySQLBackend::lockTimeoutUndoesTransaction()
{
    try {
        return firstValue("SELECT @@innodb_rollback_on_timeout") == "1";
    } catch (const Error&) {
        requireLink();
        return false;
    }
}

QByteArray MySQLBackend::firstValue(const QByteArray& sql)
{
    std::unique_ptr<Cursor> answer = execute(sql);
    QList<Value> row;
    if (!answer || !answer->fetch(row) || row.isEmpty())
        return {};
    return row.first().bytes();
}

void MySQLBackend::allowStatementBatches()
{
    if (m_batches)
        return;
    int error = 0;
    complete(
        [&] { return mysql_set_server_option_start(&error, m_connection, MYSQL_OPTION_MULTI_STATEMENTS_ON); },
        [&](int ready) { return mysql_set_server_option_cont(&error, m_connection, ready); });
    if (error != 0)
        throw failure();
    m_batches = true;
}

// The request is bounded in time: a stalled server does not answer.
void MySQLBackend::killStatement(const QDeadlineTimer& until) noexcept
{
    MYSQL* killer = nullptr;
    try {
        killer = newHandle();
        MYSQL* connected = nullptr;
        if (drive(
                killer, startConnect(&connected, killer, m_address, false),
                [&](int ready) { return mysql_real_connect_cont(&connected, killer, ready); }, until) &&
            connected) {
            const QByteArray kill = "KILL QUERY " + QByteArray::number(mysql_thread_id(m_connection));
            int error = 0;
            drive(
                killer, mysql_real_query_start(&error, killer, kill.constData(), kill.size()),
                [&](int ready) { return mysql_real_query_cont(&error, killer, ready); }, until);
        }
    } catch (...) {
        // Without the request the statement is given up a little later.
    }
    if (killer)
        mysql_close(killer);
}

void MySQLBackend::giveUp()
{
    m_broken = true;
    m_timedOut = false;
    if (const my_socket socket = mysql_get_socket(m_connection); socket >= 0)
        shutdown(socket, SHUT_RDWR);
    throw Overtime::givenUp();
}

void MySQLBackend::endSnapshot(const char* statement) noexcept
{
    try {
        query(statement);
    } catch (...) {
    }
}

qint64 MySQLBackend::countRows(const QByteArray& select)
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
QByteArray MySQLBackend::withWholeFloats(const QByteArray& select, QList<ColumnInfo>& columns)
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
        QByteArray name = "`" + QByteArray(fields[i].name, fields[i].name_length).replace('`', "``") + "`";
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

std::unique_ptr<Backend> openMySQL(const ConnectionString& settings, const ConnectionOptions& options)
{
    return std::make_unique<MySQLBackend>(settings, options);
}
