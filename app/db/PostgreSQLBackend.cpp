// The PostgreSQL client: libpq, text results, UTF-8, UTC for time-zone-aware values.

#include "app/Error.h"
#include "app/db/Backend.h"
#include "app/db/ConnectionString.h"
#include "app/db/SessionSettings.h"

#include <libpq-fe.h>

#include <QElapsedTimer>
#include <poll.h>
#include <utility>
#include <vector>

namespace {

// Type OIDs of the built-in types, from the server's catalogue.
enum Oid_ : Oid {
    kBool = 16,
    kBytea = 17,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
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

int adoTypeOf(Oid type)
{
    switch (type) {
    case kInt2:
        return 2;
    case kInt4:
        return 3;
    case kInt8:
        return 20;
    case kNumeric:
        return 131;
    case kFloat4:
        return 4;
    case kFloat8:
        return 5;
    case kMoney:
        return 6;
    case kBool:
        return 11;
    case kBpchar:
        return 130;
    case kVarchar:
    case kName:
        return 202;
    case kUuid:
        return 72;
    case kDate:
        return 133;
    case kTime:
    case kTimetz:
        return 134;
    case kTimestamp:
    case kTimestamptz:
        return 135;
    case kBytea:
        return 205;
    default:
        return 203; // text and every other type read as text
    }
}

QString trimmedMessage(const char* message)
{
    return QString::fromUtf8(message).trimmed();
}

struct ResultDeleter
{
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

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

QList<ColumnInfo> columnsOf(const PGresult* result)
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

void readRow(const PGresult* result, int rowIndex, const QList<ColumnInfo>& columns, QList<Value>& row)
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
        if (columns[c].type == 205)
            row[c] = Value::of(decodeBytea(text, length));
        else
            row[c].assign(text, length);
    }
}

class PostgreSQLBackend;
class StreamCursor;

// A whole result, already on the client.
class StoredCursor : public Cursor
{
public:
    explicit StoredCursor(Result result) : m_result(std::move(result)), m_columns(columnsOf(m_result.get()))
    {}
    const QList<ColumnInfo>& columns() const override { return m_columns; }
    qint64 recordCount() const override { return PQntuples(m_result.get()); }
    bool fetch(QList<Value>& row) override
    {
        if (m_next >= PQntuples(m_result.get()))
            return false;
        readRow(m_result.get(), m_next++, m_columns, row);
        return true;
    }
    void close() override { m_result.reset(); }
    void abandon() override {}

private:
    Result m_result;
    QList<ColumnInfo> m_columns;
    int m_next = 0;
};

class PostgreSQLBackend : public Backend
{
public:
    PostgreSQLBackend(const ConnectionString& settings, const ConnectionOptions& options)
        : m_commandTimeout(options.commandTimeout)
    {
        const QByteArray host = settings.value({"server", "host", "servername"}).toUtf8();
        const QByteArray port = settings.value({"port"}).toUtf8();
        const QByteArray user = settings.value({"uid", "user", "username"}).toUtf8();
        const QByteArray password = settings.value({"pwd", "password"}).toUtf8();
        const QByteArray database = settings.value({"database", "dbname"}).toUtf8();
        const QByteArray timeout = QByteArray::number(options.connectionTimeout);
        std::vector<const char*> keys;
        std::vector<const char*> values;
        auto add = [&](const char* key, const QByteArray& value) {
            keys.push_back(key);
            values.push_back(value.constData());
        };
        // An empty field is left out, so that libpq's own default applies.
        if (!host.isEmpty())
            add("host", host);
        if (!port.isEmpty())
            add("port", port);
        if (!user.isEmpty())
            add("user", user);
        add("password", password);
        if (!database.isEmpty())
            add("dbname", database);
        if (options.connectionTimeout > 0)
            add("connect_timeout", timeout);
        static const QByteArray encoding(SessionSettings::kPostgreSQLClientEncoding);
        static const QByteArray sessionOptions(SessionSettings::kPostgreSQLOptions);
        static const QByteArray application(SessionSettings::kPostgreSQLApplicationName);
        add("client_encoding", encoding);
        add("options", sessionOptions);
        add("application_name", application);
        keys.push_back(nullptr);
        values.push_back(nullptr);

        m_connection = PQconnectdbParams(keys.data(), values.data(), 0);
        if (!m_connection)
            throw Error(QStringLiteral("Out of memory while connecting to PostgreSQL."));
        if (PQstatus(m_connection) != CONNECTION_OK) {
            const QString message = trimmedMessage(PQerrorMessage(m_connection));
            PQfinish(m_connection);
            m_connection = nullptr;
            throw Error(message);
        }
        // Notices ("table does not exist, skipping" and the like) are not errors; the
        // client would print them on standard error.
        PQsetNoticeProcessor(
            m_connection, [](void*, const char*) {}, nullptr);
    }

    ~PostgreSQLBackend() override
    {
        abandonCursors();
        if (m_connection)
            PQfinish(m_connection);
    }

    std::unique_ptr<Cursor> execute(const QByteArray& sql) override
    {
        Result result = run(sql);
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
            return nullptr;
        return std::make_unique<StoredCursor>(std::move(result));
    }

    std::unique_ptr<Cursor> stream(const QString& sql) override;
    bool broken() const override { return PQstatus(m_connection) != CONNECTION_OK; }

    // Sends one statement and waits for its result, no longer than the command time-out.
    Result run(const QByteArray& sql)
    {
        send(sql);
        return collect();
    }

    // Sends one statement without waiting; collect() waits for its result. A cursor's
    // batch that is still on its way is taken in first.
    void send(const QByteArray& sql)
    {
        settleAhead();
        // The client sends a statement as a C string: a NUL inside would cut it short.
        if (sql.contains('\0'))
            throw Error(
                QStringLiteral("PostgreSQL cannot store the character NUL (0x00) in text; the statement "
                               "was not sent."));
        if (PQstatus(m_connection) != CONNECTION_OK)
            throw Error(QStringLiteral("The connection to the PostgreSQL server was lost: ") +
                        trimmedMessage(PQerrorMessage(m_connection)));
        if (!PQsendQuery(m_connection, sql.constData()))
            throw Error(trimmedMessage(PQerrorMessage(m_connection)));
    }

    Result collect()
    {
        waitForResult();
        Result last;
        QString error;
        while (PGresult* next = PQgetResult(m_connection)) {
            Result result(next);
            const ExecStatusType status = PQresultStatus(next);
            if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE ||
                status == PGRES_NONFATAL_ERROR) {
                if (error.isEmpty())
                    error = trimmedMessage(PQresultErrorMessage(next));
            } else {
                last = std::move(result);
            }
        }
        if (!error.isEmpty())
            throw Error(error);
        if (!last)
            throw Error(trimmedMessage(PQerrorMessage(m_connection)));
        return last;
    }

private:
    void settleAhead();

    void waitForResult()
    {
        QElapsedTimer clock;
        clock.start();
        const qint64 limit = qint64(m_commandTimeout) * 1000;
        while (PQisBusy(m_connection)) {
            int wait = -1;
            if (limit > 0) {
                const qint64 left = limit - clock.elapsed();
                if (left <= 0) {
                    cancel();
                    throw Error(QStringLiteral("Query timeout expired"));
                }
                wait = static_cast<int>(qMin<qint64>(left, 1000 * 60));
            }
            pollfd socket{PQsocket(m_connection), POLLIN, 0};
            if (socket.fd < 0)
                throw Error(trimmedMessage(PQerrorMessage(m_connection)));
            const int ready = poll(&socket, 1, wait);
            if (ready < 0 && errno != EINTR)
                throw Error(QStringLiteral("Lost the connection to the PostgreSQL server."));
            if (!PQconsumeInput(m_connection))
                throw Error(trimmedMessage(PQerrorMessage(m_connection)));
        }
    }

    // Asks the server to stop the statement and drops whatever it still sends.
    void cancel()
    {
        if (PGcancel* request = PQgetCancel(m_connection)) {
            char message[256];
            PQcancel(request, message, sizeof message);
            PQfreeCancel(request);
        }
        while (PGresult* rest = PQgetResult(m_connection))
            PQclear(rest);
    }

    PGconn* m_connection = nullptr;
    int m_commandTimeout;
    int m_cursorNumber = 0;
    StreamCursor* m_ahead = nullptr; // the cursor whose next batch is on its way
    friend class StreamCursor;
};

// Rows read in batches from a server-side cursor, inside a read-only snapshot that also
// gave the row count.
class StreamCursor : public Cursor
{
public:
    StreamCursor(PostgreSQLBackend& backend, const QString& sql) : m_backend(backend)
    {
        m_backend.track(this);
        m_name = "quillstone_rows_" + QByteArray::number(++backend.m_cursorNumber);
        const QByteArray query = sql.toUtf8();
        m_backend.run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        try {
            Result count = m_backend.run("SELECT count(*) FROM (" + query + ") AS quillstone_count");
            m_count = QByteArray(PQgetvalue(count.get(), 0, 0)).toLongLong();
            m_backend.run("DECLARE " + m_name + " NO SCROLL CURSOR FOR " + query);
            fetchBatch();
        } catch (...) {
            rollback();
            m_backend.untrack(this);
            throw;
        }
    }
    ~StreamCursor() override
    {
        rollback();
        m_backend.untrack(this);
    }
    void abandon() override
    {
        m_open = false;
        m_done = true;
        m_batch.reset();
        m_aheadBatch.reset();
        m_inFlight = false;
    }

    const QList<ColumnInfo>& columns() const override { return m_columns; }
    qint64 recordCount() const override { return m_count; }
    bool fetch(QList<Value>& row) override
    {
        if (m_next >= PQntuples(m_batch.get())) {
            if (m_done)
                return false;
            fetchBatch();
            if (m_next >= PQntuples(m_batch.get()))
                return false;
        }
        readRow(m_batch.get(), m_next++, m_columns, row);
        return true;
    }
    void close() override
    {
        m_batch.reset();
        settle();
        m_aheadBatch.reset();
        if (m_open && m_backend.broken())
            m_open = false; // the server ended the snapshot with the connection
        if (m_open) {
            m_open = false;
            m_backend.run("CLOSE " + m_name);
            m_backend.run("COMMIT");
        }
    }

    // Takes in the batch sent ahead; its error, if any, is raised by the next fetch.
    void settle()
    {
        if (!m_inFlight)
            return;
        m_inFlight = false;
        m_backend.m_ahead = nullptr;
        try {
            m_aheadBatch = m_backend.collect();
        } catch (const Error& error) {
            m_aheadError = error.description();
        }
    }

private:
    static constexpr int kBatchRows = 2000;

    // The next batch is asked for as soon as one arrives, so that the server reads it
    // while the client copies this one.
    void fetchBatch()
    {
        const QByteArray fetchNext = "FETCH FORWARD " + QByteArray::number(kBatchRows) + " FROM " + m_name;
        settle();
        if (!m_aheadError.isEmpty())
            throw Error(std::exchange(m_aheadError, QString()));
        m_batch = m_aheadBatch ? std::move(m_aheadBatch) : m_backend.run(fetchNext);
        if (m_columns.isEmpty())
            m_columns = columnsOf(m_batch.get());
        m_next = 0;
        m_done = PQntuples(m_batch.get()) < kBatchRows;
        if (!m_done) {
            m_backend.send(fetchNext);
            m_inFlight = true;
            m_backend.m_ahead = this;
        }
    }

    void rollback()
    {
        if (!m_open)
            return;
        m_open = false;
        m_batch.reset();
        settle();
        m_aheadBatch.reset();
        try {
            m_backend.run("ROLLBACK");
        } catch (const Error&) {
            // The connection is gone; the server has ended the transaction itself.
        }
    }

    PostgreSQLBackend& m_backend;
    QByteArray m_name;
    Result m_batch;
    Result m_aheadBatch;
    QString m_aheadError;
    bool m_inFlight = false;
    QList<ColumnInfo> m_columns;
    qint64 m_count = 0;
    int m_next = 0;
    bool m_done = false;
    bool m_open = true;
};

std::unique_ptr<Cursor> PostgreSQLBackend::stream(const QString& sql)
{
    return std::make_unique<StreamCursor>(*this, sql);
}

void PostgreSQLBackend::settleAhead()
{
    if (m_ahead)
        m_ahead->settle();
}

} // namespace

std::unique_ptr<Backend> openPostgreSQL(const ConnectionString& settings, const ConnectionOptions& options)
{
    return std::make_unique<PostgreSQLBackend>(settings, options);
}
