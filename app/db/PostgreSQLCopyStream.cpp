#include "app/db/PostgreSQLCopyStream.h"

#include "app/db/Error.h"
#include "app/db/PostgreSQLBackend.h"
#include "app/db/PostgreSQLPipelineStream.h"
#include "app/db/PostgreSQLResult.h"
#include "app/db/Waiting.h"

#include <poll.h>

using namespace PostgreSQLResult;

void PostgreSQLCopyStream::Rows::append(QByteArrayView row, qint64 tag)
{
    m_lines.append(row);
    m_tags.push_back(tag);
    m_ends.push_back(m_lines.size());
}

void PostgreSQLCopyStream::Rows::takeFrom(Rows& from, int mostRows, qsizetype mostBytes)
{
    int count = 0;
    while (count < from.size() && count < mostRows &&
           (count == 0 && empty() ? true : bytes() + from.m_ends[size_t(count)] <= mostBytes))
        ++count;
    if (count == 0)
        return;
    const qsizetype taken = from.m_ends[size_t(count - 1)];
    const qsizetype base = m_lines.size();
    m_lines.append(from.m_lines.constData(), taken);
    for (int i = 0; i < count; ++i) {
        m_tags.push_back(from.m_tags[size_t(i)]);
        m_ends.push_back(base + from.m_ends[size_t(i)]);
    }
    from.m_lines.remove(0, taken);
    from.m_tags.erase(from.m_tags.begin(), from.m_tags.begin() + count);
    from.m_ends.erase(from.m_ends.begin(), from.m_ends.begin() + count);
    for (qsizetype& end : from.m_ends)
        end -= taken;
}

void PostgreSQLCopyStream::Rows::clear()
{
    m_lines.resize(0);
    m_tags.clear();
    m_ends.clear();
}

QByteArrayView PostgreSQLCopyStream::Rows::row(int i) const
{
    const qsizetype begin = i == 0 ? 0 : m_ends[size_t(i - 1)];
    return QByteArrayView(m_lines.constData() + begin, m_ends[size_t(i)] - begin);
}

PostgreSQLCopyStream::PostgreSQLCopyStream(PostgreSQLBackend& backend, RowFormat format)
    : m_link(backend.link()), m_format(std::move(format)), m_copy("COPY " + m_format.table + " FROM STDIN")
{
    backend.run("SET synchronous_commit = off");
}

PostgreSQLCopyStream::~PostgreSQLCopyStream()
{
    try {
        discard();
    } catch (...) {
        // The connection is lost; nothing more is read from it.
    }
}

bool PostgreSQLCopyStream::takesRow(qsizetype size) const
{
    if (m_state != State::Starting && m_state != State::Copying)
        return false;
    if (m_endBatch || !m_waiting.empty() || m_batch.size() >= limit())
        return false;
    return m_batch.empty() || m_batch.bytes() + size <= kBatchBytes;
}

void PostgreSQLCopyStream::send(const QByteArray& row, qint64 tag)
{
    if (m_lost) {
        m_ready.push_back({tag, m_format.singleStatement(row),
                           Error(QStringLiteral("The connection to the PostgreSQL server was lost; the row "
                                                "was not sent."))});
        return;
    }
    (takesRow(row.size()) ? m_batch : m_waiting).append(row, tag);
    m_unpumped += row.size();
    pump(false);
    while (!m_lost && m_waiting.bytes() > kMostWaitingBytes)
        pump(true);
}

bool PostgreSQLCopyStream::worthPumping() const
{
    // Each look at the connection costs two system calls: not one for every row.
    if (m_unpumped >= kPieceBytes || m_endBatch || m_abort)
        return true;
    if (m_state == State::Copying && m_batch.size() >= limit())
        return true;
    if (m_state == State::Idle && !m_waiting.empty() && m_batch.empty())
        return true;
    // Rows that come slowly still go, and answers are taken, a few times a second.
    return m_sincePump.isValid() && m_sincePump.elapsed() >= kLookMilliseconds;
}

bool PostgreSQLCopyStream::next(Answer& answer, bool wait)
{
    if (m_ready.empty()) {
        // Nothing more comes before the answers are taken: the batch ends now.
        m_endBatch = wait;
        pump(wait);
        m_endBatch = false;
    }
    return takeFirst(m_ready, answer);
}

void PostgreSQLCopyStream::forgetUnsent()
{
    // The rows of a batch that began are on their way; the batch ends at the next look.
    m_waiting.clear();
    if (m_state == State::Idle || m_state == State::Singles) {
        m_batch.clear();
        m_singlesSent = 0;
    }
}

void PostgreSQLCopyStream::discard()
{
    m_waiting.clear();
    m_ready.clear();
    PostgreSQLBackend* backend = m_link->backend<PostgreSQLBackend>();
    if (m_lost || !backend || backend->broken()) {
        m_singles.reset();
        m_batch.clear();
        m_state = State::Idle;
        return;
    }
    // A batch that was not answered is undone: nothing commits unseen.
    m_abort = true;
    if (m_state == State::Idle || m_state == State::Singles)
        m_batch.clear();
    if (m_singles)
        m_singles->discard();
    m_singlesDue = 0;
    while (due()) {
        pump(true);
        m_ready.clear();
    }
    m_singles.reset();
    m_state = State::Idle;
    m_abort = false;
}

void PostgreSQLCopyStream::finish()
{
    PostgreSQLBackend& backend = m_link->live<PostgreSQLBackend>();
    m_singles.reset();
    // A transaction that waits for the disk: once its commit is on disk, every commit
    // before it is too.
    backend.run("BEGIN; SET LOCAL synchronous_commit = on; "
                "SELECT pg_logical_emit_message(true, 'quillstone', ''); COMMIT");
}

bool PostgreSQLCopyStream::due() const
{
    if (m_lost)
        return false;
    switch (m_state) {
    case State::Idle:
        return !m_batch.empty() || !m_waiting.empty();
    case State::Singles:
        return m_singlesDue > 0 || !m_batch.empty() || !m_waiting.empty();
    default:
        return true;
    }
}

void PostgreSQLCopyStream::pump(bool wait)
{
    if (m_lost || (!wait && !worthPumping()))
        return;
    m_unpumped = 0;
    m_sincePump.start();
    PostgreSQLBackend& backend = m_link->live<PostgreSQLBackend>();
    QDeadlineTimer deadline = backend.commandDeadline();
    const size_t known = m_ready.size();
    try {
        for (;;) {
            while (advance(backend)) {
                if (m_lost)
                    return;
            }
            if (!wait || m_ready.size() > known || !due())
                return;
            if (m_state == State::Singles)
                single(true);
            else
                waitOnSocket(backend, deadline);
        }
    } catch (const Error& error) {
        if (error.stopped() || !backend.broken())
            throw;
        lost(error);
    }
}

void PostgreSQLCopyStream::exchange(PostgreSQLBackend& backend)
{
    PGconn* connection = backend.handle();
    if (PQflush(connection) < 0 || !PQconsumeInput(connection))
        throw backend.linkError();
}

bool PostgreSQLCopyStream::advance(PostgreSQLBackend& backend)
{
    if (m_state != State::Singles)
        exchange(backend);
    PGconn* connection = backend.handle();
    switch (m_state) {
    case State::Idle:
        if (m_abort)
            return false;
        if (m_batch.empty())
            m_batch.takeFrom(m_waiting, limit(), kBatchBytes);
        if (m_batch.empty())
            return false;
        begin(backend);
        return true;
    case State::Starting:
        return started(connection);
    case State::Copying:
        return copy(connection);
    case State::Ending:
        return ended(connection);
    case State::Singles:
        return single(false);
    }
    return false;
}

void PostgreSQLCopyStream::begin(PostgreSQLBackend& backend)
{
    m_put = 0;
    m_error.reset();
    m_overtime = {};
    if (!batches()) {
        m_state = State::Singles;
        return;
    }
    backend.requireLink();
    if (!PQsendQuery(backend.handle(), m_copy.constData()))
        throw backend.linkError();
    m_state = State::Starting;
}

bool PostgreSQLCopyStream::started(PGconn* connection)
{
    if (PQisBusy(connection))
        return false;
    Result result(PQgetResult(connection));
    if (result && PQresultStatus(result.get()) == PGRES_COPY_IN) {
        m_state = State::Copying;
        m_batchClock.start();
        return true;
    }
    // The COPY did not begin (the table went away, a right is missing): its error, then the
    // end of its results.
    m_error = result ? errorOf(result.get()) : Error(trimmedMessage(PQerrorMessage(connection)));
    m_state = State::Ending;
    return true;
}

bool PostgreSQLCopyStream::copy(PGconn* connection)
{
    if (m_abort) {
        if (PQputCopyEnd(connection, "discarded") == 0)
            return false;
        m_state = State::Ending;
        return true;
    }
    bool moved = false;
    // Rows that came while the batch was starting, or after, join it while it has room.
    while (m_put < m_batch.bytes()) {
        const int piece = int(qMin(kPieceBytes, m_batch.bytes() - m_put));
        const int put = PQputCopyData(connection, m_batch.lines().constData() + m_put, piece);
        if (put == 0)
            return moved; // the client's buffer is full: the socket must take some first
        if (put < 0) {
            // The server ended the COPY (a refused row): its error is the batch's answer.
            m_state = State::Ending;
            return true;
        }
        m_put += piece;
        moved = true;
    }
    const bool full = m_batch.size() >= limit() || m_batch.bytes() >= kBatchBytes || !m_waiting.empty();
    if (!full && !m_endBatch && m_batchClock.elapsed() < kBatchMilliseconds)
        return moved;
    const int end = PQputCopyEnd(connection, nullptr);
    if (end == 0)
        return moved;
    m_state = State::Ending;
    return true;
}

bool PostgreSQLCopyStream::resultsDone(PGconn* connection)
{
    while (!PQisBusy(connection)) {
        Result result(PQgetResult(connection));
        if (!result)
            return true;
        if (PQresultStatus(result.get()) == PGRES_COPY_IN) {
            // The server still takes rows: the end of the batch has not gone out yet.
            PQputCopyEnd(connection, nullptr);
            return false;
        }
        if (failed(result.get()) && !m_error)
            m_error = errorOf(result.get());
    }
    return false;
}

bool PostgreSQLCopyStream::ended(PGconn* connection)
{
    if (!resultsDone(connection))
        return false;
    m_state = State::Idle;
    if (!m_error) {
        batchPassed();
        return true;
    }
    Error error = *m_error;
    if (m_overtime.asked())
        error = Overtime::timedOut();
    if (error.refusedValues())
        batchRefused();
    else
        batchFailed(error);
    return true;
}

void PostgreSQLCopyStream::batchPassed()
{
    for (int i = 0; i < m_batch.size(); ++i)
        m_ready.push_back({m_batch.tag(i), {}, std::nullopt});
    m_committed += m_batch.size();
    m_batch.clear();
    m_size.ran();
}

void PostgreSQLCopyStream::batchRefused()
{
    // The batch was undone whole: its rows go again one INSERT each, and the next batch is
    // smaller.
    m_size.refused(size_t(m_batch.size()));
    m_state = State::Singles;
    m_singlesSent = 0;
}

void PostgreSQLCopyStream::batchFailed(const Error& error)
{
    // A failure that is not the values' (the table went away, a right is missing, a stop):
    // the batch's first row tells it, and the rest of the batch is not answered, as nothing
    // more is sent after such a failure.
    if (!m_batch.empty())
        m_ready.push_back({m_batch.tag(0), m_format.singleStatement(m_batch.row(0)), error});
    m_batch.clear();
    m_waiting.clear();
}

bool PostgreSQLCopyStream::single(bool wait)
{
    if (!m_singles) {
        PostgreSQLBackend& backend = m_link->live<PostgreSQLBackend>();
        m_singles = std::make_unique<PostgreSQLPipelineStream>(backend, m_committed);
        m_singlesDue = 0;
    }
    bool moved = false;
    for (; m_singlesSent < m_batch.size(); ++m_singlesSent, moved = true) {
        m_singles->send(m_format.singleStatement(m_batch.row(m_singlesSent)), m_batch.tag(m_singlesSent));
        ++m_singlesDue;
    }
    if (!m_batch.empty()) {
        m_batch.clear();
        m_singlesSent = 0;
    }
    // While batches are not worth it, the next rows go one INSERT each as they come.
    if (!batches()) {
        for (int i = 0; i < m_waiting.size(); ++i, moved = true) {
            m_singles->send(m_format.singleStatement(m_waiting.row(i)), m_waiting.tag(i));
            ++m_singlesDue;
        }
        m_waiting.clear();
    }
    Answer answer;
    while (m_singlesDue > 0 && m_singles->next(answer, wait)) {
        --m_singlesDue;
        moved = true;
        wait = false;
        if (!answer.error) {
            ++m_committed;
            passed();
            answer.statement.clear();
        } else if (answer.error->refusedValues()) {
            refused();
        } else if (m_link->live<PostgreSQLBackend>().broken()) {
            // The pipeline told the loss with the row it was sending: nothing more goes.
            m_ready.push_back(std::move(answer));
            m_lost = true;
            m_batch.clear();
            m_waiting.clear();
            m_singles.reset();
            m_state = State::Idle;
            return true;
        }
        m_ready.push_back(std::move(answer));
    }
    if (m_singlesDue == 0 && batches()) {
        leaveSingles();
        moved = true;
    }
    return moved;
}

void PostgreSQLCopyStream::leaveSingles()
{
    m_singles.reset();
    m_state = State::Idle;
}

// Rows one INSERT each: as many passing in a row as a batch would hold make the next
// batch twice as large; a refusal halves it.
void PostgreSQLCopyStream::passed()
{
    if (batches() || ++m_passes < limit())
        return;
    m_size.ran();
    m_passes = 0;
}

void PostgreSQLCopyStream::refused()
{
    m_passes = 0;
    if (!batches())
        m_size.refused(size_t(limit()));
}

void PostgreSQLCopyStream::waitOnSocket(PostgreSQLBackend& backend, QDeadlineTimer& deadline)
{
    PGconn* connection = backend.handle();
    const int unsent = PQflush(connection);
    if (unsent < 0)
        throw backend.linkError();
    const short events = static_cast<short>(POLLIN | (unsent > 0 ? POLLOUT : 0));
    if (Waiting::onSocket(PQsocket(connection), events, deadline) != 0)
        return;
    if (m_overtime.extend(deadline, [&](const QDeadlineTimer& until) { backend.cancelStatement(until); }))
        return;
    backend.giveUp();
    lost(Overtime::givenUp());
}

void PostgreSQLCopyStream::lost(const Error& error)
{
    m_lost = true;
    m_singles.reset();
    const Rows& first = !m_batch.empty() ? m_batch : m_waiting;
    if (!first.empty()) {
        const Error told(
            error.description() +
                QStringLiteral(" The table holds the %1 rows committed before.").arg(m_committed),
            error.stopped() ? Error::Cause::Stopped : Error::Cause::Other, error.sqlState(), error.code());
        m_ready.push_back({first.tag(0), m_format.singleStatement(first.row(0)), told});
    }
    m_batch.clear();
    m_waiting.clear();
    m_state = State::Idle;
}
