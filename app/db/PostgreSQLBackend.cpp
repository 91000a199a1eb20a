// The PostgreSQL client: libpq, text results, UTF-8, UTC for time-zone-aware values.

#include "app/db/PostgreSQLBackend.h"

#include "app/db/ConnectionString.h"
#include "app/db/Error.h"
#include "app/db/Overtime.h"
#include "app/db/PostgreSQLCopyStream.h"
#include "app/db/PostgreSQLPipelineStream.h"
#include "app/db/PostgreSQLStreamCursor.h"
#include "app/db/SessionSettings.h"
#include "app/db/Waiting.h"

#include <atomic>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

using namespace PostgreSQLResult;

PostgreSQLBackend::PostgreSQLBackend(const ConnectionString& settings, const ConnectionOptions& options)
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
        if (const QByteArray later = SessionSettings::postgreSQLLaterLimits(PQserverVersion(m_connection));
            !later.isEmpty())
            run(later);
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

PostgreSQLBackend::~PostgreSQLBackend()
{
    detach();
    if (m_connection)
        PQfinish(m_connection);
}

std::unique_ptr<Cursor> PostgreSQLBackend::execute(const QByteArray& sql)
{
    Result result = run(sql);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
        return nullptr;
    return std::make_unique<PostgreSQLStoredCursor>(std::move(result));
}

std::unique_ptr<Cursor> PostgreSQLBackend::stream(const QString& sql, bool counted)
{
    return std::make_unique<PostgreSQLStreamCursor>(*this, sql, counted);
}

std::unique_ptr<StatementStream> PostgreSQLBackend::statementStream()
{
    settleAhead();
    return std::make_unique<PostgreSQLPipelineStream>(*this);
}

std::unique_ptr<StatementStream> PostgreSQLBackend::rowStream(const RowFormat& format)
{
    settleAhead();
    return std::make_unique<PostgreSQLCopyStream>(*this, format);
}

bool PostgreSQLBackend::broken() const
{
    return m_lost || PQstatus(m_connection) != CONNECTION_OK;
}

Result PostgreSQLBackend::run(const QByteArray& sql)
{
    send(sql);
    return collect();
}

void PostgreSQLBackend::send(const QByteArray& sql)
{
    settleAhead();
    refuseNul(sql);
    requireLink();
    if (!PQsendQuery(m_connection, sql.constData()))
        throw linkError();
    flush();
}

Result PostgreSQLBackend::collect()
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

void PostgreSQLBackend::refuseNul(const QByteArray& sql)
{
    if (sql.contains('\0'))
        throw Error(QStringLiteral("PostgreSQL cannot store the character NUL (0x00) in text; the statement "
                                   "was not sent."),
                    Error::Cause::Values, QStringLiteral("22021"));
}

void PostgreSQLBackend::requireLink()
{
    if (broken())
        throw Error(QStringLiteral("The connection to the PostgreSQL server was lost: ") +
                    trimmedMessage(PQerrorMessage(m_connection)));
}

Error PostgreSQLBackend::linkError()
{
    const QString message = trimmedMessage(PQerrorMessage(m_connection));
    return Error(message.isEmpty() ? QStringLiteral("The connection to the PostgreSQL server was lost.")
                                   : message);
}

QDeadlineTimer PostgreSQLBackend::commandDeadline() const
{
    return Waiting::deadlineAfter(m_commandTimeout);
}

// A stalled server may never accept the request, so it is sent from another thread; the
// wait ends once it went out (or could not), or at until.
void PostgreSQLBackend::cancelStatement(const QDeadlineTimer& until)
{
    auto sent = std::make_shared<std::atomic<bool>>(false);
    if (PGcancel* request = PQgetCancel(m_connection)) {
        std::thread([request, sent] {
            char message[256];
            PQcancel(request, message, sizeof message);
            PQfreeCancel(request);
            *sent = true;
        }).detach();
    } else {
        *sent = true;
    }
    Waiting::until([&] { return sent->load(); }, until);
}

void PostgreSQLBackend::giveUp()
{
    m_lost = true;
    if (const int socket = PQsocket(m_connection); socket >= 0)
        shutdown(socket, SHUT_RDWR);
}

void PostgreSQLBackend::settleAhead()
{
    if (m_ahead)
        m_ahead->settle();
}

void PostgreSQLBackend::handshake(int timeoutSeconds)
{
    const QDeadlineTimer deadline = Waiting::deadlineAfter(timeoutSeconds);
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

void PostgreSQLBackend::flush()
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

void PostgreSQLBackend::waitForResult()
{
    const QDeadlineTimer deadline = commandDeadline();
    while (PQisBusy(m_connection)) {
        if (Waiting::onSocket(PQsocket(m_connection), POLLIN, deadline) == 0)
            timedOut();
        if (!PQconsumeInput(m_connection))
            throw linkError();
    }
}

void PostgreSQLBackend::timedOut()
{
    // The first extension of an overtime: the request to stop, then its grace.
    QDeadlineTimer patience;
    Overtime().extend(patience, [this](const QDeadlineTimer& until) { cancelStatement(until); });
    for (;;) {
        while (PQisBusy(m_connection)) {
            if (Waiting::onSocket(PQsocket(m_connection), POLLIN, patience) == 0 ||
                !PQconsumeInput(m_connection)) {
                giveUp();
                throw Overtime::givenUp();
            }
        }
        PGresult* rest = PQgetResult(m_connection);
        if (!rest)
            break;
        PQclear(rest);
    }
    throw Overtime::timedOut();
}

std::unique_ptr<Backend> openPostgreSQL(const ConnectionString& settings, const ConnectionOptions& options)
{
    return std::make_unique<PostgreSQLBackend>(settings, options);
}
