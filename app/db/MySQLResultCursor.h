#pragma once

#include "app/db/Backend.h"

#include <mysql.h>

#include <functional>

class MySQLBackend;

// Rows of a result, stored whole on the client or read from the server as they are
// walked; the count of a streamed result is taken beforehand, or is -1.
class MySQLResultCursor : public Cursor
{
public:
    // Columns given by the caller replace those of the result; their FLOAT columns come
    // as DOUBLE values. A streamed result reads its rows through the backend, and onClose
    // runs on it once they are read or dropped.
    MySQLResultCursor(const std::shared_ptr<BackendLink>& link, MYSQL_RES* result, qint64 count,
                      bool streamed, std::function<void(MySQLBackend&)> onClose = nullptr,
                      QList<ColumnInfo> columns = {});
    ~MySQLResultCursor() override;

    const QList<ColumnInfo>& columns() const override { return m_columns; }
    qint64 recordCount() const override { return m_count; }
    bool fetch(QList<Value>& row) override;
    void close() override { release(); }

private:
    void release();

    std::shared_ptr<BackendLink> m_link;
    MYSQL_RES* m_result;
    QList<ColumnInfo> m_columns;
    QList<bool> m_floatAsDouble;
    qint64 m_count;
    bool m_streamed;
    std::function<void(MySQLBackend&)> m_onClose;
};
