// The PostgreSQL client: libpq, text results, UTF-8, UTC for time-zone-aware values.

#include "app/db/Backend.h"
#include "app/db/ConnectionString.h"
#include "app/db/DataTypeEnum.h"
#include "app/db/Error.h"
#include "app/db/SessionSettings.h"
#include "app/db/Waiting.h"

#include <libpq-fe.h>

#include <QDeadlineTimer>
#include <algorithm>
#include <atomic>
#include <deque>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <utility>
#include <vector>

namespace {

// How long a statement that passed its time-out may take to stop once it was asked to,
// and how long sending that request may take: a stalled server answers neither.
constexpr int kCancelMilliseconds = 5000;

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

QString trimmedMessage(const char* message)
{
    return QString::fromUtf8(message).trimmed();
}

struct ResultDeleter
{
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A failed statement's error, with its SQLSTATE; classes 22 (data exception) and 23
// (integrity constraint violation) are the values' own fault.
Error errorOf(const PGresult* result)
{
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const QString sqlState = QString::fromLatin1(state ? state : "");
    const bool values = sqlState.startsWith(QLatin1String("22")) || sqlState.startsWith(QLatin1String("23"));
    return Error(trimmedMessage(PQresultErrorMessage(result)),
                 values ? Error::Cause::Values : Error::Cause::Other, sqlState);
}

bool failed(const PGresult* result)
{
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR ||
           status == PGRES_PIPELINE_ABORTED;
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
        if (columns[c].type == adLongVarBinary)
            row[c] = Value::of(decodeBytea(text, length));
        else
            row[c].assign(text, length);
    }
}

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

private:
    Result m_result;
    QList<ColumnInfo> m_columns;
    int m_next = 0;
};

class StreamCursor;

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
        std::vector<const char*> keys;
        std::vector<const char*> values;
        auto add = [&](const char* key, const char* value) {
            keys.push_back(key);
            values.push_back(value);
        };
        // An empty field is left out, so that libpq's own default applies.
        if (!host.isEmpty())
            add("host", host.constData());
        if (!port.isEmpty())
            add("port", port.constData());
        if (!user.isEmpty())
            add("user", user.constData());
        add("password", password.constData());
        if (!database.isEmpty())
            add("dbname", database.constData());
        add("client_encoding", SessionSettings::kPostgreSQLClientEncoding);
        add("options", SessionSettings::kPostgreSQLOptions);
        add("application_name", SessionSettings::kPostgreSQLApplicationName);
        keys.push_back(nullptr);
        values.push_back(nullptr);

        // The handshake runs through the client's non-blocking interface, so that a silent
        // server leaves the windows painted and is given up after the connection time-out.
        m_connection = PQconnectStartParams(keys.data(), values.data(), 0);
        if (!m_connection)
            throw Error(QStringLiteral("Out of memory while connecting to PostgreSQL."));
        try {
            handshake(options.connectionTimeout);
            if (PQsetnonblocking(m_connection, 1) != 0)
                throw linkError();
        } catch (...) {
            PQfinish(m_connection);
            m_connection = nullptr;
            throw;
        }
        // Notices ("table does not exist, skipping" and the like) are not errors; the
        // client would print them on standard error.
        PQsetNoticeProcessor(
            m_connection, [](void*, const char*) {}, nullptr);
    }

    ~PostgreSQLBackend() override
    {
        detach();
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
    std::unique_ptr<StatementStream> statementStream() override;
    bool broken() const override { return m_lost || PQstatus(m_connection) != CONNECTION_OK; }

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
        refuseNul(sql);
        requireLink();
        if (!PQsendQuery(m_connection, sql.constData()))
            throw linkError();
        flush();
    }

    // Waits for every result of the statement sent last; a text of several statements has
    // one result each, and each may take its time.
    Result collect()
    {
        Result last;
        std::optional<Error> error;
        for (;;) {
            waitForResult();
            PGresult* next = PQgetResult(m_connection);
            if (!next)
                break;
            Result result(next);
            if (failed(next)) {
                if (!error)
                    error = errorOf(next);
            } else {
                last = std::move(result);
            }
        }
        if (error)
            throw *error;
        if (!last)
            throw linkError();
        return last;
    }

    // The client sends a statement as a C string: a NUL inside would cut it short.
    static void refuseNul(const QByteArray& sql)
    {
        if (sql.contains('\0'))
            throw Error(
                QStringLiteral("PostgreSQL cannot store the character NUL (0x00) in text; the statement "
                               "was not sent."),
                Error::Cause::Values, QStringLiteral("22021"));
    }

    void requireLink()
    {
        if (broken())
            throw Error(QStringLiteral("The connection to the PostgreSQL server was lost: ") +
                        trimmedMessage(PQerrorMessage(m_connection)));
    }

    Error linkError()
    {
        const QString message = trimmedMessage(PQerrorMessage(m_connection));
        return Error(message.isEmpty() ? QStringLiteral("The connection to the PostgreSQL server was lost.")
                                       : message);
    }

    // Waits until the socket is ready for the events, painting meanwhile; a statement that
    // outlives the command time-out is cancelled and reported as timed out.
    void waitOnSocket(short events, const QDeadlineTimer& deadline)
    {
        const short ready = Waiting::onSocket(PQsocket(m_connection), events, deadline);
        if (ready == 0)
            timedOut();
    }

    QDeadlineTimer commandDeadline() const
    {
        return m_commandTimeout > 0 ? QDeadlineTimer(qint64(m_commandTimeout) * 1000)
                                    : QDeadlineTimer(QDeadlineTimer::Forever);
    }

    PGconn* handle() const { return m_connection; }
    StreamCursor* m_ahead = nullptr; // the cursor whose next batch is on its way
    int m_cursorNumber = 0;

    // Asks the server, on a connection of its own, to stop the statement this connection
    // runs. The request may never be accepted by a stalled server, so it is sent from
    // another thread; the flag turns true once it went out (or could not).
    std::shared_ptr<std::atomic<bool>> requestCancel()
    {
        auto sent = std::make_shared<std::atomic<bool>>(false);
        PGcancel* request = PQgetCancel(m_connection);
        if (!request) {
            *sent = true;
            return sent;
        }
        std::thread([request, sent] {
            char message[256];
            PQcancel(request, message, sizeof message);
            PQfreeCancel(request);
            *sent = true;
        }).detach();
        return sent;
    }

    // Closes the socket under the client, which then reports the connection as bad.
    void giveUp()
    {
        m_lost = true;
        if (const int socket = PQsocket(m_connection); socket >= 0)
            shutdown(socket, SHUT_RDWR);
    }

private:
    void settleAhead();

    // Drives the client's connection handshake to its end, waiting on the socket for what
    // it asks, no longer than the connection time-out.
    void handshake(int timeoutSeconds)
    {
        const QDeadlineTimer deadline = timeoutSeconds > 0 ? QDeadlineTimer(qint64(timeoutSeconds) * 1000)
                                                           : QDeadlineTimer(QDeadlineTimer::Forever);
        PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
        for (;;) {
            if (PQstatus(m_connection) == CONNECTION_BAD || polling == PGRES_POLLING_FAILED)
                throw Error(trimmedMessage(PQerrorMessage(m_connection)));
            if (polling == PGRES_POLLING_OK)
                return;
            const short events = polling == PGRES_POLLING_READING ? POLLIN : POLLOUT;
            if (Waiting::onSocket(PQsocket(m_connection), events, deadline) == 0)
                throw Waiting::expired(QStringLiteral("timeout expired"));
            polling = PQconnectPoll(m_connection);
        }
    }

    // Sends what the client holds of the statements. A full socket waits, painting, and the
    // answers the server writes meanwhile are read, so that neither side blocks the other.
    void flush()
    {
        const QDeadlineTimer deadline = commandDeadline();
        for (;;) {
            const int unsent = PQflush(m_connection);
            if (unsent == 0)
                return;
            if (unsent < 0)
                throw linkError();
            const short ready = Waiting::onSocket(PQsocket(m_connection), POLLOUT | POLLIN, deadline);
            if (ready == 0)
                timedOut();
            if ((ready & POLLIN) && !PQconsumeInput(m_connection))
                throw linkError();
        }
    }

    void waitForResult()
    {
        const QDeadlineTimer deadline = commandDeadline();
        while (PQisBusy(m_connection)) {
            waitOnSocket(POLLIN, deadline);
            if (!PQconsumeInput(m_connection))
                throw linkError();
        }
    }

    // The statement ran past its time-out: it is cancelled, and waited for no longer than
    // a few seconds more. A server that does not stop it in that time is given up, and this
    // connection with it.
    [[noreturn]] void timedOut()
    {
        const QString timeout = QStringLiteral("Query timeout expired");
        const std::shared_ptr<std::atomic<bool>> sent = requestCancel();
        QDeadlineTimer patience(kCancelMilliseconds);
        Waiting::until([&] { return sent->load(); }, patience);
        patience.setRemainingTime(kCancelMilliseconds);
        for (;;) {
            while (PQisBusy(m_connection)) {
                if (Waiting::onSocket(PQsocket(m_connection), POLLIN, patience) == 0 ||
                    !PQconsumeInput(m_connection)) {
                    giveUp();
                    throw Waiting::expired(timeout + QStringLiteral(": the server did not answer, and the "
                                                                    "connection to it was closed."));
                }
            }
            PGresult* rest = PQgetResult(m_connection);
            if (!rest)
                break;
            PQclear(rest);
        }
        throw Waiting::expired(timeout);
    }

    PGconn* m_connection = nullptr;
    int m_commandTimeout;
    bool m_lost = false;
    friend class StreamCursor;
};

PostgreSQLBackend* backendOf(const std::shared_ptr<BackendLink>& link)
{
    return static_cast<PostgreSQLBackend*>(link->backend());
}

// Rows read in batches from a server-side cursor, inside a read-only snapshot that also
// gave the row count.
class StreamCursor : public Cursor
{
public:
    StreamCursor(PostgreSQLBackend& backend, const QString& sql) : m_link(backend.link())
    {
        m_name = "quillstone_rows_" + QByteArray::number(++backend.m_cursorNumber);
        const QByteArray query = sql.toUtf8();
        backend.run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        m_open = true;
        try {
            Result count = backend.run("SELECT count(*) FROM (" + query + ") AS quillstone_count");
            m_count = QByteArray(PQgetvalue(count.get(), 0, 0)).toLongLong();
            backend.run("DECLARE " + m_name + " NO SCROLL CURSOR FOR " + query);
            fetchBatch();
        } catch (...) {
            rollback();
            throw;
        }
    }
    ~StreamCursor() override
    {
        try {
            rollback();
        } catch (...) {
            // Nothing more can be done for a snapshot whose connection failed.
        }
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
        PostgreSQLBackend* backend = backendOf(m_link);
        if (m_open && (!backend || backend->broken()))
            m_open = false; // the server ended the snapshot with the connection
        if (m_open) {
            m_open = false;
            backend->run("CLOSE " + m_name);
            backend->run("COMMIT");
        }
    }

    // Takes in the batch sent ahead; its error, if any, is raised by the next fetch.
    void settle()
    {
        if (!m_inFlight)
            return;
        m_inFlight = false;
        PostgreSQLBackend* backend = backendOf(m_link);
        if (!backend)
            return;
        backend->m_ahead = nullptr;
        try {
            m_aheadBatch = backend->collect();
        } catch (const Error& error) {
            m_aheadError = error;
        }
    }

private:
    // A batch holds up to 2,000 rows and about 4 MiB, so that rows of 10 MB values come one
    // at a time and memory does not grow with the table. The first batch is one row; each
    // next one is sized by the bytes of the last, and asks for at most 16 times its rows.
    static constexpr int kMostBatchRows = 2000;
    static constexpr int kFirstBatchRows = 1;
    static constexpr size_t kGrowth = 16;
    static constexpr size_t kBatchBytes = 4 << 20;

    QByteArray fetchOf(int rows) const
    {
        return "FETCH FORWARD " + QByteArray::number(rows) + " FROM " + m_name;
    }

    int nextBatchRows(const PGresult* batch) const
    {
        const int rows = PQntuples(batch);
        const size_t bytesPerRow = std::max<size_t>(1, PQresultMemorySize(batch) / size_t(std::max(rows, 1)));
        const size_t fitting = std::max<size_t>(1, kBatchBytes / bytesPerRow);
        return int(std::min<size_t>({fitting, size_t(m_asked) * kGrowth, size_t(kMostBatchRows)}));
    }

    PostgreSQLBackend& requireBackend() const
    {
        PostgreSQLBackend* backend = backendOf(m_link);
        if (!backend)
            throw Error(QStringLiteral("Operation is not allowed when the object is closed."));
        return *backend;
    }

    // The next batch is asked for as soon as one arrives, so that the server reads it
    // while the client copies this one.
    void fetchBatch()
    {
        settle();
        if (m_aheadError)
            throw *std::exchange(m_aheadError, std::nullopt);
        PostgreSQLBackend& backend = requireBackend();
        m_batch = m_aheadBatch ? std::move(m_aheadBatch) : backend.run(fetchOf(m_asked));
        if (m_columns.isEmpty())
            m_columns = columnsOf(m_batch.get());
        m_next = 0;
        m_done = PQntuples(m_batch.get()) < m_asked;
        if (!m_done) {
            m_asked = nextBatchRows(m_batch.get());
            backend.send(fetchOf(m_asked));
            m_inFlight = true;
            backend.m_ahead = this;
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
        PostgreSQLBackend* backend = backendOf(m_link);
        if (!backend)
            return;
        try {
            backend->run("ROLLBACK");
        } catch (...) {
            // The connection is gone; the server has ended the transaction itself.
        }
    }

    std::shared_ptr<BackendLink> m_link;
    QByteArray m_name;
    Result m_batch;
    Result m_aheadBatch;
    std::optional<Error> m_aheadError;
    bool m_inFlight = false;
    QList<ColumnInfo> m_columns;
    qint64 m_count = 0;
    int m_next = 0;
    int m_asked = kFirstBatchRows; // by the last FETCH sent
    bool m_done = false;
    bool m_open = false;
};

// Statements sent in the client's pipeline mode, each with its own sync point, so that
// a failing statement aborts nothing but itself. The session commits without waiting for
// the disk; finish() makes everything confirmed durable with one commit that waits.
class PipelineStream : public StatementStream
{
public:
    explicit PipelineStream(PostgreSQLBackend& backend) : m_link(backend.link())
    {
        backend.run("SET synchronous_commit = off");
        if (!PQenterPipelineMode(backend.handle()))
            throw backend.linkError();
        m_piped = true;
    }
    ~PipelineStream() override
    {
        try {
            discard();
            leavePipeline();
        } catch (...) {
            // The connection is lost; nothing more is read from it.
        }
    }

    void send(const QByteArray& statement, qint64 tag) override
    {
        PostgreSQLBackend& backend = requireBackend();
        Entry entry{{tag, statement, std::nullopt}, false};
        try {
            PostgreSQLBackend::refuseNul(statement);
        } catch (const Error& error) {
            // Not sent: its answer is known now, and comes in its turn.
            entry.answer.error = error;
            entry.done = true;
            m_dueBytes += statement.size();
            m_due.push_back(std::move(entry));
            takeFinished();
            return;
        }
        while (!m_due.empty() &&
               (m_due.size() >= kMostStatements || m_dueBytes + statement.size() > kMostBytes))
            pump(true);
        if (backend.broken() && !m_ready.empty()) {
            // The server was given up while this statement waited for room; the answers
            // already known come first, and say why.
            entry.answer.error = Error(QStringLiteral("The connection to the PostgreSQL server was lost; "
                                                      "the statement was not sent."));
            entry.done = true;
            m_due.push_back(std::move(entry));
            takeFinished();
            return;
        }
        backend.requireLink();
        if (!PQsendQueryParams(backend.handle(), statement.constData(), 0, nullptr, nullptr, nullptr, nullptr,
                               0) ||
            !PQpipelineSync(backend.handle()))
            throw backend.linkError();
        m_dueBytes += statement.size();
        m_due.push_back(std::move(entry));
        pump(false);
    }

    bool next(Answer& answer, bool wait) override
    {
        while (m_ready.empty() && !m_due.empty()) {
            const size_t before = m_ready.size();
            pump(wait);
            if (!wait && m_ready.size() == before)
                break;
        }
        return takeFirst(m_ready, answer);
    }

    // Every statement goes to the client as it is queued: nothing waits to be sent.
    void forgetUnsent() override {}

    void discard() override
    {
        m_ready.clear();
        while (!m_due.empty()) {
            pump(true);
            m_ready.clear();
        }
    }

    void finish() override
    {
        PostgreSQLBackend& backend = requireBackend();
        leavePipeline();
        // A transaction that waits for the disk: once its commit is on disk, every commit
        // before it is too. The server flushes only a commit that wrote to the log, and a
        // transaction id alone writes nothing; a transactional message of no content does,
        // and changes no table.
        backend.run("BEGIN; SET LOCAL synchronous_commit = on; "
                    "SELECT pg_logical_emit_message(true, 'quillstone', ''); COMMIT");
    }

private:
    // Bounds on what is on its way, so that memory stays flat with large values; one
    // statement always goes, however large.
    static constexpr size_t kMostStatements = 1000;
    static constexpr qsizetype kMostBytes = 4 << 20;

    struct Entry
    {
        Answer answer;
        bool done = false;
        bool cancelled = false; // stopped after its time-out
    };

    PostgreSQLBackend& requireBackend() const
    {
        PostgreSQLBackend* backend = backendOf(m_link);
        if (!backend)
            throw Error(QStringLiteral("Operation is not allowed when the object is closed."));
        return *backend;
    }

    void leavePipeline()
    {
        PostgreSQLBackend* backend = backendOf(m_link);
        if (!m_piped || !backend || backend->broken())
            return;
        m_piped = false;
        if (!PQexitPipelineMode(backend->handle()))
            throw backend->linkError();
    }

    // Sends what the client holds, reads what the server sent and sorts the results to
    // their statements. With wait, returns only once at least one more answer is known.
    void pump(bool wait)
    {
        PostgreSQLBackend& backend = requireBackend();
        PGconn* connection = backend.handle();
        QDeadlineTimer deadline = backend.commandDeadline();
        const size_t known = m_ready.size();
        for (;;) {
            const int unsent = PQflush(connection);
            if (unsent < 0 || !PQconsumeInput(connection))
                throw backend.linkError();
            readResults(connection);
            takeFinished();
            if (!wait || m_ready.size() > known || m_due.empty())
                return;
            if (Waiting::onSocket(PQsocket(connection),
                                  static_cast<short>(POLLIN | (unsent > 0 ? POLLOUT : 0)), deadline) == 0 &&
                !stalled(backend, deadline))
                return;
        }
    }

    // The statement at the front did not answer within the time-out. It is cancelled and
    // given a few seconds more; the statements behind it run on and are answered as
    // usual. A server that answers neither is given up: the statement is answered with
    // the time-out, and what was sent behind it is lost with the connection. False once
    // given up.
    bool stalled(PostgreSQLBackend& backend, QDeadlineTimer& deadline)
    {
        Entry& front = m_due.front();
        if (!front.cancelled) {
            front.cancelled = true;
            const std::shared_ptr<std::atomic<bool>> sent = backend.requestCancel();
            Waiting::until([&] { return sent->load(); }, QDeadlineTimer(kCancelMilliseconds));
            deadline.setRemainingTime(kCancelMilliseconds);
            return true;
        }
        backend.giveUp();
        front.answer.error =
            Waiting::expired(QStringLiteral("Query timeout expired: the server did not answer, and the "
                                            "connection to it was closed."));
        front.done = true;
        takeFinished();
        m_due.clear();
        m_dueBytes = 0;
        return false;
    }

    // Sorts the results that have come to their statements. Finished statements leave
    // the front at once, so the front is always the one the next result belongs to.
    void readResults(PGconn* connection)
    {
        takeFinished();
        int nulls = 0;
        while (!m_due.empty() && !PQisBusy(connection)) {
            Result result(PQgetResult(connection));
            if (!result) {
                // One comes after each statement's results; two in a row: nothing more yet.
                if (++nulls > 1)
                    return;
                continue;
            }
            nulls = 0;
            Entry& entry = m_due.front();
            const ExecStatusType status = PQresultStatus(result.get());
            if (status == PGRES_PIPELINE_SYNC) {
                entry.done = true;
                if (entry.cancelled && entry.answer.error)
                    entry.answer.error = Waiting::expired(QStringLiteral("Query timeout expired"));
                takeFinished();
            } else if (failed(result.get()) && !entry.answer.error) {
                entry.answer.error = errorOf(result.get());
            }
        }
    }

    // Answers leave in the order of their statements.
    void takeFinished()
    {
        while (!m_due.empty() && m_due.front().done) {
            m_dueBytes -= m_due.front().answer.statement.size();
            m_ready.push_back(std::move(m_due.front().answer));
            m_due.pop_front();
        }
    }

    std::shared_ptr<BackendLink> m_link;
    std::deque<Entry> m_due;
    std::deque<Answer> m_ready;
    qsizetype m_dueBytes = 0;
    bool m_piped = false;
};

std::unique_ptr<Cursor> PostgreSQLBackend::stream(const QString& sql)
{
    return std::make_unique<StreamCursor>(*this, sql);
}

std::unique_ptr<StatementStream> PostgreSQLBackend::statementStream()
{
    settleAhead();
    return std::make_unique<PipelineStream>(*this);
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
