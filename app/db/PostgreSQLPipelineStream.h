#pragma once

#include "app/db/Backend.h"
#include "app/db/Overtime.h"

#include <libpq-fe.h>

#include <QDeadlineTimer>
#include <deque>

class PostgreSQLBackend;

// Statements sent in the client's pipeline mode, each with its own sync point, so that
// a failing statement aborts nothing but itself. The session commits without waiting for
// the disk; finish() makes everything confirmed durable with one commit that waits. A lost
// link is the answer of the first statement not answered, which says how many rows the
// table holds; the statements behind it are lost with the connection.
class PostgreSQLPipelineStream : public StatementStream
{
public:
    // confirmedBefore: rows the table already holds from this session's other statements,
    // for the count a lost link's answer tells.
    explicit PostgreSQLPipelineStream(PostgreSQLBackend& backend, qint64 confirmedBefore = 0);
    ~PostgreSQLPipelineStream() override;

    void send(const QByteArray& statement, qint64 tag) override;
    bool next(Answer& answer, bool wait) override;
    // Every statement goes to the client as it is queued: nothing waits to be sent.
    void forgetUnsent() override {}
    void discard() override;
    void finish() override;

private:
    // Bounds on what is on its way, so that memory stays flat with large values; one
    // statement always goes, however large.
    static constexpr size_t kMostStatements = 1000;
    static constexpr qsizetype kMostBytes = 4 << 20;

    struct Entry
    {
        Answer answer;
        bool done = false;
        Overtime overtime; // of the statement's wait past its time-out
    };

    // A statement answered before it was sent; its answer comes in its turn.
    void answerUnsent(Entry entry, Error error);
    void leavePipeline();
    // Sends what the client holds, reads what the server sent and sorts the results to
    // their statements. With wait, returns only once at least one more answer is known.
    void pump(bool wait);
    // The statement at the front did not answer within the time-out. It is cancelled and
    // given a few seconds more; the statements behind it run on and are answered as
    // usual. A server that answers neither is given up: the statement is answered with
    // the time-out, and what was sent behind it is lost with the connection. False once
    // given up.
    bool stalled(PostgreSQLBackend& backend, QDeadlineTimer& deadline);
    // The link is lost, or given up: the first statement not answered carries the error.
    void lose(PostgreSQLBackend& backend, const Error& error);
    // Sorts the results that have come to their statements. Finished statements leave
    // the front at once, so the front is always the one the next result belongs to.
    void readResults(PGconn* connection);
    // Answers leave in the order of their statements.
    void takeFinished();

    std::shared_ptr<BackendLink> m_link;
    std::deque<Entry> m_due;
    std::deque<Answer> m_ready;
    qsizetype m_dueBytes = 0;
    qint64 m_confirmedRows = 0; // answered without an error
    bool m_piped = false;
};
