#pragma once

#include "app/db/Error.h"

#include <QByteArray>
#include <optional>

// The answer to one statement of a stream.
struct Answer
{
    qint64 tag = 0;
    QByteArray statement;
    std::optional<Error> error; // empty when the statement succeeded
};

// Statements sent one after another without waiting for each answer; the answers are
// read as they come, in the order the statements were sent. A statement's answer comes
// once what it wrote is committed; a failed statement undoes nothing but itself.
class StatementStream
{
public:
    virtual ~StatementStream() = default;
    // Queues a statement. When too much is on its way it first waits for answers, which
    // next() then hands out. A lost link is an answer too: that of the first statement not
    // yet answered, which says how many rows the table holds; the statements behind it are
    // lost with the connection.
    virtual void send(const QByteArray& statement, qint64 tag) = 0;
    // The next answer. Without wait, only one that has already come; with wait, the next
    // one due, if any statement is still unanswered. False when there is none.
    virtual bool next(Answer& answer, bool wait) = 0;
    // Forgets the statements queued but not yet sent to the server; those sent are still
    // answered through next().
    virtual void forgetUnsent() = 0;
    // Reads and drops every answer still due, and forgets what was not yet sent.
    virtual void discard() = 0;
    // Once every answer was taken: makes what the server confirmed durable, so that it
    // outlives a crash of the server.
    virtual void finish() = 0;
};
