#pragma once

// What a libpq result says: its columns with their ADO types, its values decoded, whether
// it failed and with which error; and a whole result walked as a cursor.

#include "app/db/Backend.h"

#include <libpq-fe.h>

#include <QList>
#include <memory>

namespace PostgreSQLResult {

struct Deleter
{
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, Deleter>;

// The client's and the server's messages end in a line break.
QString trimmedMessage(const char* message);
bool failed(const PGresult* result);
// A failed statement's error, with its SQLSTATE; classes 22 (data exception) and 23
// (integrity constraint violation) are the values' own fault.
Error errorOf(const PGresult* result);

QList<ColumnInfo> columnsOf(const PGresult* result);
// Fills row with the values of the result's row at rowIndex: text as it came, binary
// values as their raw bytes.
void readRow(const PGresult* result, int rowIndex, const QList<ColumnInfo>& columns, QList<Value>& row);

} // namespace PostgreSQLResult

// A whole result, already on the client.
class PostgreSQLStoredCursor : public Cursor
{
public:
    explicit PostgreSQLStoredCursor(PostgreSQLResult::Result result)
        : m_result(std::move(result)), m_columns(PostgreSQLResult::columnsOf(m_result.get()))
    {}
    const QList<ColumnInfo>& columns() const override { return m_columns; }
    qint64 recordCount() const override { return PQntuples(m_result.get()); }
    bool fetch(QList<Value>& row) override
    {
        if (m_next >= PQntuples(m_result.get()))
            return false;
        PostgreSQLResult::readRow(m_result.get(), m_next++, m_columns, row);
        return true;
    }
    void close() override { m_result.reset(); }

private:
    PostgreSQLResult::Result m_result;
    QList<ColumnInfo> m_columns;
    int m_next = 0;
};
