#include "app/db/MySQLResultCursor.h"

#include "app/db/DataTypeEnum.h"
#include "app/db/Error.h"
#include "app/db/MySQLBackend.h"
#include "app/db/MySQLClient.h"

MySQLResultCursor::MySQLResultCursor(const std::shared_ptr<BackendLink>& link, MYSQL_RES* result,
                                     qint64 count, bool streamed, std::function<void(MySQLBackend&)> onClose,
                                     QList<ColumnInfo> columns)
    : m_link(link), m_result(result),
      m_columns(columns.isEmpty() ? MySQLClient::columnsOf(result) : std::move(columns)), m_count(count),
      m_streamed(streamed), m_onClose(std::move(onClose))
{
    const MYSQL_FIELD* fields = mysql_fetch_fields(result);
    for (int c = 0; c < m_columns.size(); ++c)
        m_floatAsDouble.append(fields[c].type == MYSQL_TYPE_DOUBLE && m_columns[c].type == adSingle);
}

MySQLResultCursor::~MySQLResultCursor()
{
    try {
        release();
    } catch (const Error&) {
        // The server went away while the rest of the rows were read.
    }
}

bool MySQLResultCursor::fetch(QList<Value>& row)
{
    if (!m_result)
        return false;
    MYSQL_ROW values =
        m_streamed ? m_link->live<MySQLBackend>().fetchRow(m_result) : mysql_fetch_row(m_result);
    if (!values)
        return false;
    const unsigned long* lengths = mysql_fetch_lengths(m_result);
    const int count = static_cast<int>(m_columns.size());
    row.resize(count);
    for (int c = 0; c < count; ++c) {
        if (!values[c])
            row[c].setNull();
        else if (m_floatAsDouble[c])
            row[c] = Value::of(MySQLClient::floatText(values[c], lengths[c]));
        else
            row[c].assign(values[c], static_cast<qsizetype>(lengths[c]));
    }
    return true;
}

void MySQLResultCursor::release()
{
    MYSQL_RES* result = std::exchange(m_result, nullptr);
    if (!result)
        return;
    MySQLBackend* backend = m_link->backend<MySQLBackend>();
    if (!m_streamed || !backend || backend->broken()) {
        // Without a live connection the rows still unread are not asked for.
        result->handle = nullptr;
        mysql_free_result(result);
        return;
    }
    backend->freeResult(result);
    if (auto onClose = std::exchange(m_onClose, nullptr))
        onClose(*backend);
}
