#pragma once

// A small database access layer in the shape the windows use: a Connection opened from
// an ODBC-style connection string, and a Recordset that walks the rows of a query.
// Every failure throws Error with the server's or the client's description.

#include "app/db/DataTypeEnum.h"
#include "app/db/RowFormat.h"
#include "app/db/StatementStream.h"
#include "app/db/Value.h"

#include <QList>
#include <QString>
#include <memory>

class Backend;
class Cursor;
class Recordset;

// Where a recordset's cursor lives, as ADO names it. ADO knows a client cursor's row count
// from the start and not a server cursor's: here adUseClient counts the rows first, in the
// snapshot they are read from, and adUseServer streams them uncounted. Either way the rows
// are read as they are walked.
enum CursorLocationEnum { adUseServer = 2, adUseClient = 3 };

class Connection
{
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Read by each Recordset::Open on this connection: adUseClient counts the rows first.
    int CursorLocation = adUseServer;
    // Set before Open.
    int CommandTimeout = 30;    // seconds
    int ConnectionTimeout = 15; // seconds

    // DRIVER={MySQL ODBC 5.1 Driver} or Driver={PostgreSQL Unicode} picks the client.
    void Open(const QString& connectionString);
    // Runs one statement; a query's rows come back as a recordset, whole, and counted.
    Recordset Execute(const QString& sql);
    // The same for a statement already in UTF-8, as the transfers build their rows.
    Recordset ExecuteUtf8(const QByteArray& sql);
    void Close();
    // Statements whose answers are read as they come, for sending many rows; nothing else
    // may run on the connection while the stream lives.
    std::unique_ptr<StatementStream> openStatementStream();
    // Rows sent in bulk (COPY to PostgreSQL): each row is sent in the format's bulk
    // spelling, and answered on its own, a refused row with its own INSERT.
    std::unique_ptr<StatementStream> openRowStream(const RowFormat& format);
    bool isOpen() const { return m_backend != nullptr; }
    // True when the connection was open and its link to the server has been lost.
    bool isBroken() const;

private:
    friend class Recordset;
    Backend& backend();

    std::unique_ptr<Backend> m_backend;
};

class Field
{
public:
    const QString& Name() const { return m_name; }
    int Type() const { return m_type; }
    const ::Value& Value() const { return m_value; }
    int Precision() const { return m_precision; }
    int NumericScale() const { return m_scale; }

private:
    friend class Recordset;
    QString m_name;
    int m_type = 0;
    int m_precision = 0;
    int m_scale = 0;
    ::Value m_value;
};

class Fields
{
public:
    int Count() const { return static_cast<int>(m_fields.size()); }
    const Field& Item(int index) const;
    const Field& operator[](int index) const { return Item(index); }

private:
    friend class Recordset;
    QList<Field> m_fields;
};

class Recordset
{
public:
    Recordset();
    ~Recordset();
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;

    // Opens a query on the connection and stands on its first row. The rows are read as
    // the recordset moves, in a read-only snapshot, so a large table does not have to fit
    // in memory. On a connection whose CursorLocation is adUseClient the exact row count
    // is taken first, in the same snapshot.
    void Open(const QString& source, Connection& connection);
    const ::Fields& Fields() const;
    // The rows' count: exact for a recordset of Execute or of an adUseClient Open; -1 (ADO's
    // "unknown") for one opened with adUseServer.
    qint64 RecordCount() const;
    void MoveNext();
    bool Eof() const;
    void Close();
    bool isOpen() const { return m_cursor != nullptr; }

private:
    friend class Connection;
    void attach(std::unique_ptr<Cursor> cursor);
    void readRow();

    std::unique_ptr<Cursor> m_cursor;
    ::Fields m_fields;
    QList<Value> m_row;
    bool m_eof = true;
};
