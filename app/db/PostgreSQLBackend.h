#pragma once

// The PostgreSQL backend: one libpq connection in non-blocking mode, and what its cursors
// and its stream ask of it. Seen only by the PostgreSQL files of the layer.

#include "app/db/Backend.h"
#include "app/db/PostgreSQLResult.h"

#include <libpq-fe.h>

#include <QDeadlineTimer>

class PostgreSQLStreamCursor;

class PostgreSQLBackend : public Backend
{
public:
    PostgreSQLBackend(const ConnectionString& settings, const ConnectionOptions& options);
    ~PostgreSQLBackend() override;

    std::unique_ptr<Cursor> execute(const QByteArray& sql) override;
    std::unique_ptr<Cursor> stream(const QString& sql, bool counted) override;
    std::unique_ptr<StatementStream> statementStream() override;
    std::unique_ptr<StatementStream> rowStream(const RowFormat& format) override;
    bool broken() const override;

    // Sends one statement and waits for its result, no longer than the command time-out.
    PostgreSQLResult::Result run(const QByteArray& sql);
    // Sends one statement without waiting; collect() waits for its result. A cursor's
    // batch that is still on its way is taken in first.
    void send(const QByteArray& sql);
    // Waits for every result of the statement sent last; a text of several statements has
    // one result each, and each may take its time.
    PostgreSQLResult::Result collect();
    // The client sends a statement as a C string: a NUL inside would cut it short.
    static void refuseNul(const QByteArray& sql);
    void requireLink();
    Error linkError();
    QDeadlineTimer commandDeadline() const;
    PGconn* handle() const { return m_connection; }

    // Names the server-side cursors of the connection apart.
    int nextCursorNumber() { return ++m_cursorNumber; }
    // The cursor whose next batch is on its way, to be taken in before any other statement.
    void setAhead(PostgreSQLStreamCursor* cursor) { m_ahead = cursor; }

    // Asks the server, on a connection of its own, to stop the statement this connection
    // runs, waiting no longer than until for the request to go out.
    void cancelStatement(const QDeadlineTimer& until);
    // Closes the socket under the client, which then reports the connection as bad.
    void giveUp();

private:
    void settleAhead();
    // Drives the client's connection handshake to its end, waiting on the socket for what
    // it asks, no longer than the connection time-out.
    void handshake(int timeoutSeconds);
    // Sends what the client holds of the statements. A full socket waits, painting, and the
    // answers the server writes meanwhile are read, so that neither side blocks the other.
    void flush();
    void waitForResult();
    // The statement ran past its time-out: it is cancelled, and waited for no longer than
    // a few seconds more. A server that does not stop it in that time is given up, and this
    // connection with it.
    [[noreturn]] void timedOut();

    PGconn* m_connection = nullptr;
    int m_commandTimeout;
    bool m_lost = false;
    PostgreSQLStreamCursor* m_ahead = nullptr;
    int m_cursorNumber = 0;
};
