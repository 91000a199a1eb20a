#include "app/db/MySQLPacketStream.h"

#include "app/db/Error.h"
#include "app/db/MySQLBackend.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {
Error tooLarge(qint64 size, qint64 largest)
{
    return Error(
        QStringLiteral("The statement is %1 bytes long, more than the %2 bytes the MySQL server takes "
                       "(max_allowed_packet); the row was not sent.")
            .arg(size)
            .arg(largest),
        Error::Cause::Values, QStringLiteral("22001"));
}
} // namespace

MySQLPacketStream::MySQLPacketStream(MySQLBackend& backend, const RowFormat* rows) : m_link(backend.link())
{
    if (!backend.backslashEscapesOff())
        throw Error(MySQLBackend::kEscapingSession);
    backend.allowStatementBatches();
    m_largest = backend.largestStatement();
    m_packetBytes = qMin<qint64>(kPacketBytes, m_largest);
    m_transactional = backend.tablesHaveTransactions();
    m_timeoutUndoesAll = backend.lockTimeoutUndoesTransaction();
    if (rows) {
        m_rows = *rows;
        m_insertHead = "INSERT INTO " + rows->table + " VALUES";
        m_packetBytes = qMin<qint64>(kRowPacketBytes, m_largest);
        if (!m_transactional)
            m_statementRows = PacketSize(1);
    }
}

void MySQLPacketStream::send(const QByteArray& statement, qint64 tag)
{
    if (m_rows) {
        queueRow(statement, tag);
    } else {
        Entry entry{{tag, statement, std::nullopt}, false, {}, {}};
        if (statement.size() > m_largest)
            entry.answer.error = tooLarge(statement.size(), m_largest);
        m_queuedBytes += statement.size();
        m_queue.push_back(std::move(entry));
    }
    if (packetDue())
        sendQueued();
}

bool MySQLPacketStream::packetDue() const
{
    return m_queue.size() >= kPacketStatements || m_queuedBytes >= m_packetBytes;
}

void MySQLPacketStream::sendQueued()
{
    completePacket();
    // After a failure that ends the table nothing more goes out before the caller has seen
    // it.
    if (std::none_of(m_ready.begin(), m_ready.end(),
                     [](const Answer& answer) { return answer.error && !answer.error->refusedValues(); }))
        startPacket();
}

void MySQLPacketStream::queueRow(const QByteArray& row, qint64 tag)
{
    const qint64 alone = m_insertHead.size() + row.size();
    if (alone > m_largest) {
        Entry entry{{tag, m_rows->singleStatement(row), tooLarge(alone, m_largest)}, false, {}, {}};
        m_queuedBytes += entry.answer.statement.size();
        m_queue.push_back(std::move(entry));
        return;
    }
    // A statement of several rows keeps to what a packet holds beside its transaction's words.
    const qint64 room = qMin(m_largest, m_packetBytes - kFrameBytes);
    if (!m_queue.empty()) {
        Entry& last = m_queue.back();
        QByteArray& statement = last.answer.statement;
        if (!last.tags.empty() && !last.answer.error && last.tags.size() < m_statementRows.next() &&
            statement.size() + 1 + row.size() <= room) {
            statement += ',';
            statement += row;
            last.tags.push_back(tag);
            last.ends.push_back(statement.size());
            m_queuedBytes += 1 + row.size();
            return;
        }
    }
    Entry entry{{tag, m_insertHead + row, std::nullopt}, false, {tag}, {}};
    entry.ends.push_back(entry.answer.statement.size());
    m_queuedBytes += entry.answer.statement.size();
    m_queue.push_back(std::move(entry));
}

qint64 MySQLPacketStream::rowsOf(const Entry& entry)
{
    return entry.tags.empty() ? 1 : qint64(entry.tags.size());
}

QByteArrayView MySQLPacketStream::rowOf(const Entry& entry, size_t row) const
{
    // Each row after the first follows a comma.
    const qsizetype begin = row == 0 ? m_insertHead.size() : entry.ends[row - 1] + 1;
    return QByteArrayView(entry.answer.statement).sliced(begin, entry.ends[row] - begin);
}

void MySQLPacketStream::release(Entry entry)
{
    if (entry.tags.empty()) {
        m_ready.push_back(std::move(entry.answer));
    } else if (entry.answer.error) {
        // The statement failed as a whole; its first row tells it.
        m_ready.push_back({entry.tags.front(), m_rows->singleStatement(rowOf(entry, 0)), entry.answer.error});
    } else {
        for (const qint64 tag : entry.tags)
            m_ready.push_back({tag, {}, std::nullopt});
    }
}

void MySQLPacketStream::sendRowsAlone(Entry entry)
{
    for (size_t row = entry.tags.size(); row > 0; --row) {
        Entry alone{{entry.tags[row - 1], m_rows->singleStatement(rowOf(entry, row - 1)), std::nullopt},
                    entry.retried,
                    {},
                    {}};
        m_queuedBytes += alone.answer.statement.size();
        m_queue.push_front(std::move(alone));
    }
}

bool MySQLPacketStream::next(Answer& answer, bool wait)
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

void MySQLPacketStream::forgetUnsent()
{
    m_queue.clear();
    m_queuedBytes = 0;
}

void MySQLPacketStream::discard()
{
    forgetUnsent();
    completePacket();
    // The packet's answers may have put statements back in the queue.
    forgetUnsent();
    m_held.clear();
    m_ready.clear();
    MySQLBackend* backend = m_link->backend<MySQLBackend>();
    const bool open = m_open;
    closeTransaction();
    if (open && backend && !backend->broken())
        backend->query("ROLLBACK");
}

void MySQLPacketStream::settle(Entry entry)
{
    if (m_open || !m_held.empty())
        m_held.push_back(std::move(entry));
    else
        release(std::move(entry));
}

qint64 MySQLPacketStream::heldRows() const
{
    qint64 rows = 0;
    for (const Entry& entry : m_held)
        rows += entry.answer.error ? 0 : rowsOf(entry);
    return rows;
}

void MySQLPacketStream::ranInTransaction(const Entry& entry)
{
    if (!m_open)
        return;
    ++m_openStatements;
    m_openBytes += entry.answer.statement.size() + 1;
}

void MySQLPacketStream::closeTransaction()
{
    m_open = false;
    m_openStatements = 0;
    m_openBytes = 0;
}

void MySQLPacketStream::committed()
{
    closeTransaction();
    while (!m_held.empty()) {
        if (!m_held.front().answer.error)
            m_committedRows += rowsOf(m_held.front());
        release(std::move(m_held.front()));
        m_held.pop_front();
    }
}

void MySQLPacketStream::startPacket()
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
    const bool statements = !m_queue.empty() && !m_queue.front().answer.error;
    // A transaction holds what one packet of its statements would, beside its words.
    const qint64 frame = kFrameBytes;
    const qint64 transactionRoom = m_packetBytes - frame;
    const qint64 first = statements ? m_queue.front().answer.statement.size() : 0;
    // The packet is one transaction when its statements and the words around them fit; a
    // statement too large for that goes alone, committing on its own.
    const bool wrap = statements && m_transactional && frame + first <= m_packetBytes;
    // The open transaction goes on in this packet while it has room for the next statement.
    const bool goOn =
        wrap && m_open && m_openStatements < kPacketStatements && m_openBytes + first + 1 <= transactionRoom;
    if ((m_open || !m_held.empty()) && !goOn)
        add(Part::CommitOpen, kCommit);
    if (statements) {
        if (wrap && !goOn)
            add(Part::Begin, kBegin);
        // A statement alone always fits the server; beside others, the packet keeps to
        // its size, and the transaction to its room.
        const qint64 room = m_packetBytes - (wrap ? kCommit.size() + 1 : 0);
        size_t inTransaction = goOn ? m_openStatements : 0;
        qint64 transactionBytes = goOn ? m_openBytes : 0;
        bool full = false;
        while (!m_queue.empty() && !m_queue.front().answer.error && m_packet.size() < m_size.next()) {
            const QByteArray& next = m_queue.front().answer.statement;
            if (!m_packet.empty() && (m_text.size() + 1 + next.size() > room ||
                                      (wrap && (inTransaction >= kPacketStatements ||
                                                transactionBytes + next.size() + 1 > transactionRoom)))) {
                full = true;
                break;
            }
            add(Part::Statement, next);
            ++inTransaction;
            transactionBytes += next.size() + 1;
            m_packet.push_back(takeQueued());
        }
        // A transaction that holds what a full packet holds commits with this packet; else
        // the next packet goes on with it.
        if (wrap && (full || inTransaction >= kPacketStatements))
            add(Part::Commit, kCommit);
    }
    if (m_parts.empty())
        return;
    MySQLBackend& backend = m_link->live<MySQLBackend>();
    try {
        backend.requireLink();
    } catch (const Error& error) {
        lose(0, error);
        return;
    }
    backend.beginStatement();
    m_error = 0;
    m_status = mysql_real_query_start(&m_error, backend.handle(), m_text.constData(), m_text.size());
    m_inFlight = true;
}

MySQLPacketStream::Entry MySQLPacketStream::takeQueued()
{
    Entry entry = std::move(m_queue.front());
    m_queue.pop_front();
    m_queuedBytes -= entry.answer.statement.size();
    return entry;
}

void MySQLPacketStream::completePacket()
{
    if (!std::exchange(m_inFlight, false))
        return;
    MySQLBackend& backend = m_link->live<MySQLBackend>();
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
    if (part == m_parts.size() && !m_packet.empty()) {
        m_size.ran();
        m_statementRows.ran();
    }
    requeue(statement);
}

void MySQLPacketStream::succeeded(Part part, size_t& statement)
{
    switch (part) {
    case Part::CommitOpen:
    case Part::Commit:
        committed();
        break;
    case Part::Begin:
        closeTransaction();
        m_open = true;
        break;
    case Part::Statement:
        ranInTransaction(m_packet[statement]);
        settle(std::move(m_packet[statement++]));
        break;
    }
}

void MySQLPacketStream::failed(size_t index, size_t statement, Error error, bool linkLost)
{
    const Part part = m_parts[index];
    if (linkLost) {
        lose(statement, error);
        return;
    }
    const bool undoesAll = part == Part::CommitOpen || part == Part::Commit || error.code() == kDeadlock ||
                           (error.code() == kLockWaitTimeout && m_timeoutUndoesAll);
    if (part == Part::Statement && !undoesAll && error.refusedValues() &&
        m_packet[statement].tags.size() > 1) {
        // A statement of several rows was undone: its rows go again alone, in the same
        // transaction, and the next statements carry fewer rows.
        Entry refused = std::move(m_packet[statement]);
        m_statementRows.refused(refused.tags.size());
        requeue(statement + 1);
        sendRowsAlone(std::move(refused));
        return;
    }
    if (part == Part::Statement && !undoesAll) {
        // That statement alone was undone; the transaction stays open. A failure that
        // is not the values' own ends the table: its answer says what the table holds.
        if (!error.refusedValues() && !error.stopped())
            error = withTableRows(error, QStringLiteral("The table holds the %1 rows written before."),
                                  m_committedRows + heldRows());
        const bool endsTable = !error.refusedValues();
        if (!endsTable)
            m_size.refused(m_packet.size());
        m_packet[statement].answer.error = std::move(error);
        ranInTransaction(m_packet[statement]);
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

void MySQLPacketStream::lose(size_t statement, const Error& error)
{
    Entry* first = !m_held.empty()               ? &m_held.front()
                   : statement < m_packet.size() ? &m_packet[statement]
                   : !m_queue.empty()            ? &m_queue.front()
                                                 : nullptr;
    if (first) {
        first->answer.error = lostWithTableRows(error, m_committedRows);
        release(std::move(*first));
    }
    m_held.clear();
    m_packet.clear();
    closeTransaction();
    forgetUnsent();
}

void MySQLPacketStream::commitNow()
{
    MySQLBackend& backend = m_link->live<MySQLBackend>();
    try {
        backend.query("COMMIT");
        committed();
    } catch (const Error& error) {
        m_parts = {Part::CommitOpen};
        m_packet.clear();
        failed(0, 0, error, backend.broken());
    }
}

void MySQLPacketStream::undone(Part part, size_t statement, const Error& error)
{
    closeTransaction();
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
        again.front().answer.error =
            withTableRows(error,
                          QStringLiteral("The transaction was undone a second time; "
                                         "the table holds the %1 rows committed before."),
                          m_committedRows);
        release(std::move(again.front()));
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

void MySQLPacketStream::requeue(size_t from)
{
    for (size_t i = m_packet.size(); i > from; --i) {
        m_queuedBytes += m_packet[i - 1].answer.statement.size();
        m_queue.push_front(std::move(m_packet[i - 1]));
    }
    m_packet.clear();
}
