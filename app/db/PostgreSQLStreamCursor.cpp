#include "app/db/PostgreSQLStreamCursor.h"

#include "app/db/Error.h"
#include "app/db/PostgreSQLBackend.h"

#include <algorithm>

using namespace PostgreSQLResult;

PostgreSQLStreamCursor::PostgreSQLStreamCursor(PostgreSQLBackend& backend, const QString& sql, bool counted)
    : m_link(backend.link())
{
    m_name = "quillstone_rows_" + QByteArray::number(backend.nextCursorNumber());
    const QByteArray query = sql.toUtf8();
    backend.run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    m_open = true;
    try {
        if (counted) {
            Result count = backend.run("SELECT count(*) FROM (" + query + ") AS quillstone_count");
            m_count = QByteArray(PQgetvalue(count.get(), 0, 0)).toLongLong();
        }
        backend.run("DECLARE " + m_name + " NO SCROLL CURSOR FOR " + query);
        fetchBatch();
    } catch (...) {
        rollback();
        throw;
    }
}

PostgreSQLStreamCursor::~PostgreSQLStreamCursor()
{
    try {
        rollback();
    } catch (...) {
        // Nothing more can be done for a snapshot whose connection failed.
    }
}

bool PostgreSQLStreamCursor::fetch(QList<Value>& row)
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

void PostgreSQLStreamCursor::close()
{
    m_batch.reset();
    settle();
    m_aheadBatch.reset();
    PostgreSQLBackend* backend = m_link->backend<PostgreSQLBackend>();
    if (m_open && (!backend || backend->broken()))
        m_open = false; // the server ended the snapshot with the connection
    if (m_open) {
        m_open = false;
        backend->run("CLOSE " + m_name);
        backend->run("COMMIT");
    }
}

void PostgreSQLStreamCursor::settle()
{
    if (!m_inFlight)
        return;
    m_inFlight = false;
    PostgreSQLBackend* backend = m_link->backend<PostgreSQLBackend>();
    if (!backend)
        return;
    backend->setAhead(nullptr);
    try {
        m_aheadBatch = backend->collect();
    } catch (const Error& error) {
        m_aheadError = error;
    }
}

QByteArray PostgreSQLStreamCursor::fetchOf(int rows) const
{
    return "FETCH FORWARD " + QByteArray::number(rows) + " FROM " + m_name;
}

int PostgreSQLStreamCursor::nextBatchRows(const PGresult* batch) const
{
    const int rows = PQntuples(batch);
    const size_t bytesPerRow = std::max<size_t>(1, PQresultMemorySize(batch) / size_t(std::max(rows, 1)));
    const size_t fitting = std::max<size_t>(1, kBatchBytes / bytesPerRow);
    return int(std::min<size_t>({fitting, size_t(m_asked) * kGrowth, size_t(kMostBatchRows)}));
}

void PostgreSQLStreamCursor::fetchBatch()
{
    settle();
    if (m_aheadError)
        throw *std::exchange(m_aheadError, std::nullopt);
    PostgreSQLBackend& backend = m_link->live<PostgreSQLBackend>();
    m_batch = m_aheadBatch ? std::move(m_aheadBatch) : backend.run(fetchOf(m_asked));
    if (m_columns.isEmpty())
        m_columns = columnsOf(m_batch.get());
    m_next = 0;
    m_done = PQntuples(m_batch.get()) < m_asked;
    if (!m_done) {
        m_asked = nextBatchRows(m_batch.get());
        backend.send(fetchOf(m_asked));
        m_inFlight = true;
        backend.setAhead(this);
    }
}

void PostgreSQLStreamCursor::rollback()
{
    if (!m_open)
        return;
    m_open = false;
    m_batch.reset();
    settle();
    m_aheadBatch.reset();
    PostgreSQLBackend* backend = m_link->backend<PostgreSQLBackend>();
    if (!backend)
        return;
    try {
        backend->run("ROLLBACK");
    } catch (...) {
        // The connection is gone; the server has ended the transaction itself.
    }
}
