#pragma once

// The MySQL backend: one client handle, its statements run through the client's
// non-blocking interface, and what its cursors and its stream ask of it. Seen only by
// the MySQL files of the layer.

#include "app/db/Backend.h"
#include "app/db/MySQLClient.h"

#include <mysql.h>

#include <QDeadlineTimer>
#include <functional>

class MySQLBackend : public Backend
{
public:
    MySQLBackend(const ConnectionString& settings, const ConnectionOptions& options);
    ~MySQLBackend() override;

    bool broken() const override { return m_broken; }
    std::unique_ptr<Cursor> execute(const QByteArray& sql) override;
    std::unique_ptr<Cursor> stream(const QString& sql, bool counted) override;
    std::unique_ptr<StatementStream> statementStream() override;
    std::unique_ptr<StatementStream> rowStream(const RowFormat& format) override;

    // Quoted literals are written for a session without backslash escapes. The server says
    // in every answer whether they are off; a statement whose backslashes it would read as
    // escapes is not sent.
    void requireLiteralQuoting(const QByteArray& sql) const;
    bool backslashEscapesOff() const;
    static inline const QString kEscapingSession = QStringLiteral(
        "The MySQL session reads backslashes in quoted values as escapes (its sql_mode lacks "
        "NO_BACKSLASH_ESCAPES), so nothing was sent: the values would not arrive as they are.");

    // Runs a call of the client's non-blocking interface to its end: start() begins it
    // and returns what it waits for, resume(ready) goes on once that is ready. Past the
    // command time-out the statement is stopped on the server and the call reported as
    // timed out.
    void complete(const std::function<int()>& start, const std::function<int(int)>& resume);
    void query(const QByteArray& sql);
    // A statement stopped after its time-out fails as timed out, whichever of its calls
    // notices.
    void beginStatement() { m_timedOut = false; }
    // The rows of the statement just run, fetched whole; nullptr for a statement without.
    MYSQL_RES* storeResult();
    // Moves on to the next result of a statement text; false when it failed.
    bool nextResult();
    MYSQL_ROW fetchRow(MYSQL_RES* result);
    // Reads and drops the rows of a streamed result that were not walked.
    void freeResult(MYSQL_RES* result);
    // The error the client reports now. Every failure of the client passes here, so a
    // lost link is always noticed.
    Error failure();
    void requireLink() const;

    // The largest statement the server takes, as it said when asked.
    qint64 largestStatement();
    // Whether a table made now keeps its rows in transactions: the engine the server
    // makes tables with is InnoDB (or another with transactions), as it is by default.
    bool tablesHaveTransactions();
    // Whether a statement that waited too long for a lock undoes its whole transaction.
    bool lockTimeoutUndoesTransaction();
    // Several statements in one statement text, for the streams of the copies only.
    void allowStatementBatches();

    MYSQL* handle() const { return m_connection; }

private:
    // Opens the connection through the non-blocking interface, no longer than the
    // connection time-out, so that a silent server leaves the windows painted, and sets up
    // what the session's first statements could not (SessionSettings).
    void connect();
    static constexpr int kUnknownVariable = 1193;
    void skipResult();
    // The first column of a query's first row; empty for NULL or no row.
    QByteArray firstValue(const QByteArray& sql);
    // Asks the server, on a connection of its own, to stop this connection's statement.
    void killStatement(const QDeadlineTimer& until) noexcept;
    [[noreturn]] void giveUp();
    // Ending a read-only snapshot cannot lose anything; a lost connection ends it too.
    void endSnapshot(const char* statement) noexcept;
    qint64 countRows(const QByteArray& select);
    QByteArray withWholeFloats(const QByteArray& select, QList<ColumnInfo>& columns);

    MySQLClient::Address m_address;
    ConnectionOptions m_options;
    MYSQL* m_connection = nullptr;
    bool m_broken = false;
    bool m_timedOut = false;
    bool m_batches = false;
    qint64 m_largestStatement = 0;
};
