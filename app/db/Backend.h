#pragma once

// The interface between Connection/Recordset and the two client libraries. Only the
// backends include libpq or the MySQL client.

#include "app/db/Value.h"

#include <QList>
#include <QString>
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
    virtual qint64 recordCount() const = 0;
    // Fills row with the next row's values; false when there is no further row.
    virtual bool fetch(QList<Value>& row) = 0;
    virtual void close() = 0;
    // The connection is closing under the cursor: let go of everything without using it.
    virtual void abandon() = 0;
};

struct ConnectionOptions
{
    int connectionTimeout = 15; // seconds; 0 waits for ever
    int commandTimeout = 30;    // seconds; 0 waits for ever
};

class Backend
{
public:
    virtual ~Backend() = default;
    // Cursors that depend on the connection register here, so that closing the
    // connection first never leaves them pointing at a closed client handle.
    void track(Cursor* cursor) { m_cursors.append(cursor); }
    void untrack(Cursor* cursor) { m_cursors.removeOne(cursor); }

    // Runs one statement, in UTF-8; returns its rows fetched whole, or nullptr for a
    // statement without a result set.
    virtual std::unique_ptr<Cursor> execute(const QByteArray& sql) = 0;
    // Opens a query whose rows are read as they are walked. The exact row count comes
    // first, from the same snapshot as the rows.
    virtual std::unique_ptr<Cursor> stream(const QString& sql) = 0;
    // True once the link to the server is lost; nothing more can be done on it.
    virtual bool broken() const = 0;

protected:
    // Derived destructors call this before they close their client handle.
    void abandonCursors()
    {
        const QList<Cursor*> open = m_cursors;
        for (Cursor* cursor : open)
            cursor->abandon();
    }

private:
    QList<Cursor*> m_cursors;
};

class ConnectionString;
std::unique_ptr<Backend> openPostgreSQL(const ConnectionString& settings, const ConnectionOptions& options);
std::unique_ptr<Backend> openMySQL(const ConnectionString& settings, const ConnectionOptions& options);
