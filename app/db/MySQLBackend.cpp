// The MySQL client: MariaDB Connector/C over TCP, utf8mb4, strict and without backslash
// escapes, so that a quoted literal arrives byte for byte.

#include "app/Error.h"
#include "app/db/Backend.h"
#include "app/db/ConnectionString.h"
#include "app/db/SessionSettings.h"

#include <mysql.h>

#include <charconv>
#include <cstring>
#include <functional>

namespace {

constexpr unsigned kBinaryCharset = 63;

int adoTypeOf(const MYSQL_FIELD& field)
{
    const bool isUnsigned = field.flags & UNSIGNED_FLAG;
    const bool isBinary = field.charsetnr == kBinaryCharset;
    switch (field.type) {
    case MYSQL_TYPE_TINY:
        return isUnsigned ? 17 : 16;
    case MYSQL_TYPE_YEAR:
        return 2;
    case MYSQL_TYPE_SHORT:
        return isUnsigned ? 18 : 2;
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG:
        return isUnsigned ? 19 : 3;
    case MYSQL_TYPE_LONGLONG:
        return isUnsigned ? 21 : 20;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
        return 131;
    case MYSQL_TYPE_FLOAT:
        return 4;
    case MYSQL_TYPE_DOUBLE:
        return 5;
    case MYSQL_TYPE_BIT:
        return field.length == 1 ? 11 : 128;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
        return 133;
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_TIME2:
        return 134;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_DATETIME2:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2:
        return 135;
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
        return isBinary && !(field.flags & (ENUM_FLAG | SET_FLAG)) ? 128 : 130;
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
        return isBinary ? 204 : 202;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
        return isBinary ? 205 : 203;
    case MYSQL_TYPE_GEOMETRY:
        return 205;
    case MYSQL_TYPE_JSON:
        return 203;
    default:
        return 203;
    }
}

QList<ColumnInfo> columnsOf(MYSQL_RES* result)
{
    QList<ColumnInfo> columns;
    const unsigned count = mysql_num_fields(result);
    const MYSQL_FIELD* fields = mysql_fetch_fields(result);
    columns.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        const MYSQL_FIELD& field = fields[i];
        ColumnInfo column;
        column.name = QString::fromUtf8(field.name, static_cast<qsizetype>(field.name_length));
        column.type = adoTypeOf(field);
        if (column.type == 131) {
            // The display length counts the sign and the point.
            const int signAndPoint = (field.flags & UNSIGNED_FLAG ? 0 : 1) + (field.decimals > 0 ? 1 : 0);
            column.precision = static_cast<int>(field.length) - signAndPoint;
            column.scale = static_cast<int>(field.decimals);
        }
        columns.append(column);
    }
    return columns;
}

// A FLOAT read as a DOUBLE, written as the shortest text that reads back as the float.
QByteArray floatText(const char* text, unsigned long length)
{
    double wide = 0;
    const char* end = text + length;
    if (std::from_chars(text, end, wide).ptr != end)
        return QByteArray(text, static_cast<qsizetype>(length));
    char buffer[32];
    const std::to_chars_result written =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(wide));
    return QByteArray(buffer, written.ptr - buffer);
}

class MySQLBackend;

// Rows of a result, stored whole on the client or read from the server as they are
// walked; the count of a streamed result is taken beforehand.
class ResultCursor : public Cursor
{
public:
    // Columns given by the caller replace those of the result; their FLOAT columns come
    // as DOUBLE values.
    ResultCursor(Backend& backend, MYSQL_RES* result, qint64 count, std::function<void()> onClose,
                 QList<ColumnInfo> columns = {})
        : m_backend(backend), m_result(result),
          m_columns(columns.isEmpty() ? columnsOf(result) : std::move(columns)), m_count(count),
          m_onClose(std::move(onClose))
    {
        m_backend.track(this);
        const MYSQL_FIELD* fields = mysql_fetch_fields(result);
        for (int c = 0; c < m_columns.size(); ++c)
            m_floatAsDouble.append(fields[c].type == MYSQL_TYPE_DOUBLE && m_columns[c].type == kAdSingle);
    }
    ~ResultCursor() override
    {
        release();
        m_backend.untrack(this);
    }
    void abandon() override
    {
        if (!m_result)
            return;
        // Without its handle the result is freed without reading the rows still unread.
        m_result->handle = nullptr;
        mysql_free_result(m_result);
        m_result = nullptr;
        m_onClose = nullptr;
    }

    const QList<ColumnInfo>& columns() const override { return m_columns; }
    qint64 recordCount() const override { return m_count; }
    bool fetch(QList<Value>& row) override
    {
        if (!m_result)
            return false;
        MYSQL_ROW values = mysql_fetch_row(m_result);
        if (!values) {
            MYSQL* connection = m_result->handle;
            if (connection && mysql_errno(connection))
                throw Error(QString::fromUtf8(mysql_error(connection)));
            return false;
        }
        const unsigned long* lengths = mysql_fetch_lengths(m_result);
        const int count = static_cast<int>(m_columns.size());
        row.resize(count);
        for (int c = 0; c < count; ++c) {
            if (!values[c])
                row[c].setNull();
            else if (m_floatAsDouble[c])
                row[c] = Value::of(floatText(values[c], lengths[c]));
            else
                row[c].assign(values[c], static_cast<qsizetype>(lengths[c]));
        }
        return true;
    }
    void close() override { release(); }

private:
    void release()
    {
        if (m_result) {
            mysql_free_result(m_result);
            m_result = nullptr;
            if (m_onClose) {
                auto onClose = std::move(m_onClose);
                m_onClose = nullptr;
                onClose();
            }
        }
    }

    static constexpr int kAdSingle = 4;

    Backend& m_backend;
    MYSQL_RES* m_result;
    QList<ColumnInfo> m_columns;
    QList<bool> m_floatAsDouble;
    qint64 m_count;
    std::function<void()> m_onClose;
};

class MySQLBackend : public Backend
{
public:
    MySQLBackend(const ConnectionString& settings, const ConnectionOptions& options)
    {
        const QString portText = settings.value({"port"});
        bool validPort = true;
        const unsigned port = portText.isEmpty() ? 0u : portText.toUInt(&validPort);
        if (!validPort || port > 65535)
            throw Error(
                QStringLiteral("Invalid port \"%1\": a port is a number from 1 to 65535.").arg(portText));

        m_connection = mysql_init(nullptr);
        if (!m_connection)
            throw Error(QStringLiteral("Out of memory while connecting to MySQL."));
        // TCP always, also for "localhost", so that the port is honoured.
        const unsigned protocol = MYSQL_PROTOCOL_TCP;
        mysql_optionsv(m_connection, MYSQL_OPT_PROTOCOL, &protocol);
        // TLS whenever the server offers it, plain when it offers none, like libpq's
        // sslmode=prefer; hosted servers often require it. The certificate is not checked,
        // as self-signed ones are common. (MYSQL_OPT_SSL_ENFORCE does no more than this
        // without verification, whatever its name says.)
        mysql_ssl_set(m_connection, nullptr, nullptr, nullptr, nullptr, nullptr);
        const my_bool verifyCertificate = 0;
        mysql_optionsv(m_connection, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verifyCertificate);
        mysql_optionsv(m_connection, MYSQL_SET_CHARSET_NAME, SessionSettings::kMySQLCharacterSet);
        mysql_optionsv(m_connection, MYSQL_INIT_COMMAND, SessionSettings::kMySQLInitCommand);
        if (options.connectionTimeout > 0) {
            const unsigned timeout = static_cast<unsigned>(options.connectionTimeout);
            mysql_optionsv(m_connection, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
        }
        if (options.commandTimeout > 0) {
            const unsigned timeout = static_cast<unsigned>(options.commandTimeout);
            mysql_optionsv(m_connection, MYSQL_OPT_READ_TIMEOUT, &timeout);
            mysql_optionsv(m_connection, MYSQL_OPT_WRITE_TIMEOUT, &timeout);
        }

        const QByteArray host = settings.value({"server", "host"}).toUtf8();
        const QByteArray user = settings.value({"user", "uid", "username"}).toUtf8();
        const QByteArray password = settings.value({"password", "pwd"}).toUtf8();
        const QByteArray database = settings.value({"database", "db"}).toUtf8();
        if (!mysql_real_connect(m_connection, host.isEmpty() ? "localhost" : host.constData(),
                                user.constData(), password.constData(),
                                database.isEmpty() ? nullptr : database.constData(), port, nullptr, 0)) {
            const QString message = QString::fromUtf8(mysql_error(m_connection));
            mysql_close(m_connection);
            m_connection = nullptr;
            throw Error(message);
        }
    }

    ~MySQLBackend() override
    {
        abandonCursors();
        if (m_connection)
            mysql_close(m_connection);
    }

    std::unique_ptr<Cursor> execute(const QByteArray& sql) override
    {
        query(sql);
        MYSQL_RES* result = mysql_store_result(m_connection);
        if (!result) {
            if (mysql_field_count(m_connection) != 0)
                fail();
            return nullptr;
        }
        return std::make_unique<ResultCursor>(*this, result, static_cast<qint64>(mysql_num_rows(result)),
                                              nullptr);
    }

    std::unique_ptr<Cursor> stream(const QString& sql) override
    {
        const QByteArray text = sql.toUtf8();
        // A slow reader must not be cut off by the server while it writes each row.
        query("SET SESSION net_write_timeout = 86400");
        query("START TRANSACTION WITH CONSISTENT SNAPSHOT, READ ONLY");
        try {
            const qint64 count = countRows(text);
            QList<ColumnInfo> columns;
            query(wholeFloats(text, columns));
            MYSQL_RES* result = mysql_use_result(m_connection);
            if (!result)
                fail();
            return std::make_unique<ResultCursor>(
                *this, result, count, [this] { endSnapshot("COMMIT"); }, std::move(columns));
        } catch (...) {
            endSnapshot("ROLLBACK");
            throw;
        }
    }

    bool broken() const override { return m_broken; }

private:
    void query(const QByteArray& sql)
    {
        if (mysql_real_query(m_connection, sql.constData(), static_cast<unsigned long>(sql.size())) != 0)
            fail();
    }

    [[noreturn]] void fail()
    {
        const unsigned code = mysql_errno(m_connection);
        // Server gone, lost during a query, or a read or write that timed out.
        if (code == 2006 || code == 2013 || code == 2026 || code == 2055)
            m_broken = true;
        throw Error(QString::fromUtf8(mysql_error(m_connection)));
    }

    qint64 countRows(const QByteArray& sql)
    {
        query("SELECT COUNT(*) FROM (" + sql + ") AS quillstone_count");
        MYSQL_RES* result = mysql_store_result(m_connection);
        if (!result)
            fail();
        MYSQL_ROW row = mysql_fetch_row(result);
        const qint64 count = row && row[0] ? QByteArray(row[0]).toLongLong() : 0;
        mysql_free_result(result);
        return count;
    }

    // The server writes a FLOAT with six significant digits, which can name another
    // float (16777216 comes as 16777200). When the rows hold FLOAT columns, the query is
    // wrapped to read them as DOUBLE, and columns receives the original columns.
    QByteArray wholeFloats(const QByteArray& sql, QList<ColumnInfo>& columns)
    {
        query("SELECT * FROM (" + sql + ") AS quillstone_rows LIMIT 0");
        MYSQL_RES* result = mysql_store_result(m_connection);
        if (!result)
            fail();
        const unsigned count = mysql_num_fields(result);
        const MYSQL_FIELD* fields = mysql_fetch_fields(result);
        QByteArray list;
        bool floats = false;
        for (unsigned i = 0; i < count; ++i) {
            QByteArray name =
                "`" + QByteArray(fields[i].name, fields[i].name_length).replace('`', "``") + "`";
            if (fields[i].type == MYSQL_TYPE_FLOAT) {
                floats = true;
                name = "CAST(" + name + " AS DOUBLE)";
            }
            list += (i == 0 ? "" : ", ") + name;
        }
        if (floats)
            columns = columnsOf(result);
        mysql_free_result(result);
        return floats ? "SELECT " + list + " FROM (" + sql + ") AS quillstone_rows" : sql;
    }

    void endSnapshot(const char* statement)
    {
        // Ending a read-only snapshot cannot lose anything; a lost connection ends it too.
        mysql_real_query(m_connection, statement, static_cast<unsigned long>(strlen(statement)));
    }

    MYSQL* m_connection = nullptr;
    bool m_broken = false;
};

} // namespace

std::unique_ptr<Backend> openMySQL(const ConnectionString& settings, const ConnectionOptions& options)
{
    return std::make_unique<MySQLBackend>(settings, options);
}
