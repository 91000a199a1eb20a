#pragma once

#include "app/db/Backend.h"
#include "app/db/PostgreSQLResult.h"

#include <optional>

class PostgreSQLBackend;

// Rows read in batches from a server-side cursor, inside a read-only snapshot that also
// gave the row count when it was asked for.
class PostgreSQLStreamCursor : public Cursor
{
public:
    PostgreSQLStreamCursor(PostgreSQLBackend& backend, const QString& sql, bool counted);
    ~PostgreSQLStreamCursor() override;

    const QList<ColumnInfo>& columns() const override { return m_columns; }
    qint64 recordCount() const override { return m_count; }
    bool fetch(QList<Value>& row) override;
    void close() override;

    // Takes in the batch sent ahead; its error, if any, is raised by the next fetch.
    void settle();

private:
    // A batch holds up to 2,000 rows and about 4 MiB, so that rows of 10 MB values come one
    // at a time and memory does not grow with the table. The first batch is one row; each
    // next one is sized by the bytes of the last, and asks for at most 16 times its rows.
    static constexpr int kMostBatchRows = 2000;
    static constexpr int kFirstBatchRows = 1;
    static constexpr size_t kGrowth = 16;
    static constexpr size_t kBatchBytes = 4 << 20;

    QByteArray fetchOf(int rows) const;
    int nextBatchRows(const PGresult* batch) const;
    // The next batch is asked for as soon as one arrives, so that the server reads it
    // while the client copies this one.
    void fetchBatch();
    void rollback();

    std::shared_ptr<BackendLink> m_link;
    QByteArray m_name;
    PostgreSQLResult::Result m_batch;
    PostgreSQLResult::Result m_aheadBatch;
    std::optional<Error> m_aheadError;
    bool m_inFlight = false;
    QList<ColumnInfo> m_columns;
    qint64 m_count = -1;
    int m_next = 0;
    int m_asked = kFirstBatchRows; // by the last FETCH sent
    bool m_done = false;
    bool m_open = false;
};
