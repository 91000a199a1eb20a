#pragma once

// The interface between Connection/Recordset and the two client libraries. Only the
// files of the two backends (MySQL*, PostgreSQL*) include libpq or the MySQL client.

#include "app/db/BackendLink.h"
#include "app/db/RowFormat.h"
#include "app/db/StatementStream.h"
#include "app/db/Value.h"

#include <QList>
#include <QString>
#include <deque>
#include <memory>

struct ColumnInfo
{
    QString name;
    int type = 0;      // ADO DataTypeEnum code
    int precision = 0; // digits of a decimal column, 0 when not declared
    int scale = 0;     // digits after the point of a decimal column
};

// The rows of one statement.
class Cursor
{
public:
    virtual ~Cursor() = default;
    virtual const QList<ColumnInfo>& columns() const = 0;
    // The number of rows, or -1 where it is not known (rows streamed without a count).
    virtual qint64 recordCount() const = 0;
    // Fills row with the next row's values; false when there is no further row.
    virtual bool fetch(QList<Value>& row) = 0;
    virtual void close() = 0;
};

// Hands out the first of the answers a stream holds; false when it holds none.
inline bool takeFirst(std::deque<Answer>& answers, Answer& answer)
{
    if (answers.empty())
        return false;
    answer = std::move(answers.front());
    answers.pop_front();
    return true;
}

// A failure that ends a stream's table, its text followed by the sentence, which tells at
// %1 how many rows the table holds; a stop stays a stop.
inline Error withTableRows(const Error& error, const QString& sentence, qint64 rows)
{
    return Error(error.description() + QLatin1Char(' ') + sentence.arg(rows),
                 error.stopped() ? Error::Cause::Stopped : Error::Cause::Other, error.sqlState(),
                 error.code());
}
// The link to the server was lost, and what the server had not confirmed with it.
inline Error lostWithTableRows(const Error& error, qint64 rows)
{
    return withTableRows(error, QStringLiteral("The table holds the %1 rows committed before."), rows);
}

struct ConnectionOptions
{
    int connectionTimeout = 15; // seconds; 0 waits for ever
    int commandTimeout = 30;    // seconds; 0 waits for ever
};

class Backend
{
public:
    Backend() : m_link(std::make_shared<BackendLink>(this)) {}
    virtual ~Backend() { detach(); }
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    // Runs one statement, in UTF-8; returns its rows fetched whole, or nullptr for a
    // statement without a result set.
    virtual std::unique_ptr<Cursor> execute(const QByteArray& sql) = 0;
    // Opens a query whose rows are read as they are walked, in a read-only snapshot. When
    // counted, the exact row count comes first, from the same snapshot as the rows;
    // otherwise no count is asked for and the cursor's count is -1.
    virtual std::unique_ptr<Cursor> stream(const QString& sql, bool counted) = 0;
    // A stream of statements on this connection; nothing else may run on the connection
    // until the stream is gone.
    virtual std::unique_ptr<StatementStream> statementStream() = 0;
    // A stream of rows in the server's bulk form, each answered on its own; nothing else may
    // run on the connection until the stream is gone.
    virtual std::unique_ptr<StatementStream> rowStream(const RowFormat& format) = 0;
    // True once the link to the server is lost; nothing more can be done on it.
    virtual bool broken() const = 0;

    const std::shared_ptr<BackendLink>& link() const { return m_link; }

protected:
    // Derived destructors call this first, before they close their client handle.
    void detach() { m_link->m_backend = nullptr; }

private:
    std::shared_ptr<BackendLink> m_link;
};

class ConnectionString;
std::unique_ptr<Backend> openPostgreSQL(const ConnectionString& settings, const ConnectionOptions& options);
std::unique_ptr<Backend> openMySQL(const ConnectionString& settings, const ConnectionOptions& options);
