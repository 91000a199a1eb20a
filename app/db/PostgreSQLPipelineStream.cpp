#include "app/db/PostgreSQLPipelineStream.h"

#include "app/db/Error.h"
#include "app/db/PostgreSQLBackend.h"
#include "app/db/PostgreSQLResult.h"
#include "app/db/Waiting.h"

#include <poll.h>

using namespace PostgreSQLResult;

PostgreSQLPipelineStream::PostgreSQLPipelineStream(PostgreSQLBackend& backend, qint64 confirmedBefore)
    : m_link(backend.link()), m_confirmedRows(confirmedBefore)
{
    backend.run("SET synchronous_commit = off");
    if (!PQenterPipelineMode(backend.handle()))
        throw backend.linkError();
    m_piped = true;
}

PostgreSQLPipelineStream::~PostgreSQLPipelineStream()
{
    try {
        discard();
        leavePipeline();
    } catch (...) {
        // The connection is lost; nothing more is read from it.
    }
}

void PostgreSQLPipelineStream::send(const QByteArray& statement, qint64 tag)
{
    PostgreSQLBackend& backend = m_link->live<PostgreSQLBackend>();
    Entry entry{{tag, statement, std::nullopt}, false, {}};
    try {
        PostgreSQLBackend::refuseNul(statement);
    } catch (const Error& error) {
        answerUnsent(std::move(entry), error);
        return;
    }
    while (!m_due.empty() && (m_due.size() >= kMostStatements || m_dueBytes + statement.size() > kMostBytes))
        pump(true);
    if (backend.broken() && !m_ready.empty()) {
        // The link was lost while this statement waited for room; the answers already
        // known come first, and say why.
        answerUnsent(std::move(entry),
                     Error(QStringLiteral("The connection to the PostgreSQL server was lost; "
                                          "the statement was not sent.")));
        return;
    }
    m_dueBytes += statement.size();
    m_due.push_back(std::move(entry));
    if (backend.broken() ||
        !PQsendQueryParams(backend.handle(), statement.constData(), 0, nullptr, nullptr, nullptr, nullptr,
                           0) ||
        !PQpipelineSync(backend.handle())) {
        lose(backend, backend.linkError());
        return;
    }
    pump(false);
}

void PostgreSQLPipelineStream::answerUnsent(Entry entry, Error error)
{
    entry.answer.error = std::move(error);
    entry.done = true;
    m_dueBytes += entry.answer.statement.size();
    m_due.push_back(std::move(entry));
    takeFinished();
}

bool PostgreSQLPipelineStream::next(Answer& answer, bool wait)
{
    while (m_ready.empty() && !m_due.empty()) {
        const size_t before = m_ready.size();
        pump(wait);
        if (!wait && m_ready.size() == before)
            break;
    }
    return takeFirst(m_ready, answer);
}

void PostgreSQLPipelineStream::discard()
{
    m_ready.clear();
    while (!m_due.empty()) {
        pump(true);
        m_ready.clear();
    }
}

void PostgreSQLPipelineStream::finish()
{
    PostgreSQLBackend& backend = m_link->live<PostgreSQLBackend>();
    leavePipeline();
    // A transaction that waits for the disk: once its commit is on disk, every commit
    // before it is too. The server flushes only a commit that wrote to the log, and a
    // transaction id alone writes nothing; a transactional message of no content does,
    // and changes no table.
    backend.run("BEGIN; SET LOCAL synchronous_commit = on; "
                "SELECT pg_logical_emit_message(true, 'quillstone', ''); COMMIT");
}

void PostgreSQLPipelineStream::leavePipeline()
{
    PostgreSQLBackend* backend = m_link->backend<PostgreSQLBackend>();
    if (!m_piped || !backend || backend->broken())
        return;
    m_piped = false;
    if (!PQexitPipelineMode(backend->handle()))
        throw backend->linkError();
}

void PostgreSQLPipelineStream::pump(bool wait)
{
    PostgreSQLBackend& backend = m_link->live<PostgreSQLBackend>();
    PGconn* connection = backend.handle();
    QDeadlineTimer deadline = backend.commandDeadline();
    const size_t known = m_ready.size();
    for (;;) {
        const int unsent = PQflush(connection);
        if (unsent < 0 || !PQconsumeInput(connection)) {
            lose(backend, backend.linkError());
            return;
        }
        readResults(connection);
        takeFinished();
        if (PQstatus(connection) != CONNECTION_OK) {
            lose(backend, backend.linkError());
            return;
        }
        if (!wait || m_ready.size() > known || m_due.empty())
            return;
        if (Waiting::onSocket(PQsocket(connection), static_cast<short>(POLLIN | (unsent > 0 ? POLLOUT : 0)),
                              deadline) == 0 &&
            !stalled(backend, deadline))
            return;
    }
}

bool PostgreSQLPipelineStream::stalled(PostgreSQLBackend& backend, QDeadlineTimer& deadline)
{
    Entry& front = m_due.front();
    if (front.overtime.extend(deadline, [&](const QDeadlineTimer& until) { backend.cancelStatement(until); }))
        return true;
    lose(backend, Overtime::givenUp());
    return false;
}

void PostgreSQLPipelineStream::lose(PostgreSQLBackend& backend, const Error& error)
{
    backend.giveUp();
    takeFinished();
    if (!m_due.empty()) {
        Answer& first = m_due.front().answer;
        first.error = lostWithTableRows(error, m_confirmedRows);
        m_ready.push_back(std::move(first));
    }
    m_due.clear();
    m_dueBytes = 0;
}

void PostgreSQLPipelineStream::readResults(PGconn* connection)
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
            if (entry.overtime.asked() && entry.answer.error)
                entry.answer.error = Overtime::timedOut();
            takeFinished();
        } else if (failed(result.get()) && !entry.answer.error) {
            entry.answer.error = errorOf(result.get());
        }
    }
}

void PostgreSQLPipelineStream::takeFinished()
{
    while (!m_due.empty() && m_due.front().done) {
        m_dueBytes -= m_due.front().answer.statement.size();
        if (!m_due.front().answer.error)
            ++m_confirmedRows;
        m_ready.push_back(std::move(m_due.front().answer));
        m_due.pop_front();
    }
}
