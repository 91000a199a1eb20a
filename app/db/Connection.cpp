#include "app/db/Connection.h"

#include "app/db/Backend.h"
#include "app/db/ConnectionString.h"
#include "app/db/Error.h"

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::Open(const QString& connectionString)
{
    if (m_backend)
        throw Error(QStringLiteral("Operation is not allowed when the object is open."));
    const ConnectionString settings = ConnectionString::parse(connectionString);
    const QString driver = settings.value({"driver"});
    const ConnectionOptions options{ConnectionTimeout, CommandTimeout};
    if (driver.compare(QLatin1String("MySQL ODBC 5.1 Driver"), Qt::CaseInsensitive) == 0)
        m_backend = openMySQL(settings, options);
    else if (driver.compare(QLatin1String("PostgreSQL Unicode"), Qt::CaseInsensitive) == 0)
        m_backend = openPostgreSQL(settings, options);
    else
        throw Error(QStringLiteral("Data source name not found: the driver \"%1\" is not known. "
                                   "Use {MySQL ODBC 5.1 Driver} or {PostgreSQL Unicode}.")
                        .arg(driver));
}

Recordset Connection::Execute(const QString& sql)
{
    return ExecuteUtf8(sql.toUtf8());
}

Recordset Connection::ExecuteUtf8(const QByteArray& sql)
{
    Recordset result;
    if (std::unique_ptr<Cursor> rows = backend().execute(sql))
        result.attach(std::move(rows));
    return result;
}

void Connection::Close()
{
    requireOpen(m_backend.get());
    m_backend.reset();
}

std::unique_ptr<StatementStream> Connection::openStatementStream()
{
    return backend().statementStream();
}

std::unique_ptr<StatementStream> Connection::openRowStream(const RowFormat& format)
{
    return backend().rowStream(format);
}

bool Connection::isBroken() const
{
    return m_backend && m_backend->broken();
}

Backend& Connection::backend()
{
    return requireOpen(m_backend.get());
}

const Field& Fields::Item(int index) const
{
    if (index < 0 || index >= m_fields.size())
        throw Error(
            QStringLiteral("Item cannot be found in the collection corresponding to the requested name "
                           "or ordinal."));
    return m_fields.at(index);
}

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;

void Recordset::Open(const QString& source, Connection& connection)
{
    if (m_cursor)
        throw Error(QStringLiteral("Operation is not allowed when the object is open."));
    // The connection's cursor location decides whether the rows are counted first.
    attach(connection.backend().stream(source, connection.CursorLocation == adUseClient));
}

void Recordset::attach(std::unique_ptr<Cursor> cursor)
{
    m_cursor = std::move(cursor);
    m_fields.m_fields.clear();
    for (const ColumnInfo& column : m_cursor->columns()) {
        Field field;
        field.m_name = column.name;
        field.m_type = column.type;
        field.m_precision = column.precision;
        field.m_scale = column.scale;
        m_fields.m_fields.append(field);
    }
    readRow();
}

void Recordset::readRow()
{
    m_eof = !m_cursor->fetch(m_row);
    // The fields take the new values, and the row keeps the old ones' buffers for the
    // next fetch to refill.
    for (int i = 0; i < m_fields.m_fields.size(); ++i) {
        if (m_eof || i >= m_row.size())
            m_fields.m_fields[i].m_value = Value();
        else
            std::swap(m_fields.m_fields[i].m_value, m_row[i]);
    }
}

const Fields& Recordset::Fields() const
{
    requireOpen(m_cursor.get());
    return m_fields;
}

qint64 Recordset::RecordCount() const
{
    return requireOpen(m_cursor.get()).recordCount();
}

void Recordset::MoveNext()
{
    requireOpen(m_cursor.get());
    if (m_eof)
        throw Error(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    readRow();
}

bool Recordset::Eof() const
{
    requireOpen(m_cursor.get());
    return m_eof;
}

void Recordset::Close()
{
    requireOpen(m_cursor.get());
    std::unique_ptr<Cursor> cursor = std::move(m_cursor);
    m_fields.m_fields.clear();
    m_row.clear();
    m_eof = true;
    cursor->close();
}
