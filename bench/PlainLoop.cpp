#include "bench/PlainLoop.h"

#include "app/db/SessionSettings.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <libpq-fe.h>
#include <mysql.h>
#include <stdexcept>

StatementWriter::StatementWriter(const QString& path)
    : m_file(std::fopen(path.toLocal8Bit().constData(), "wb"))
{
    if (!m_file)
        throw std::runtime_error("cannot write " + path.toStdString());
}

StatementWriter::~StatementWriter()
{
    std::fclose(m_file);
}

void StatementWriter::write(const QByteArray& statement)
{
    const quint32 size = static_cast<quint32>(statement.size());
    if (std::fwrite(&size, sizeof size, 1, m_file) != 1 ||
        std::fwrite(statement.constData(), 1, statement.size(), m_file) != size_t(statement.size()))
        throw std::runtime_error("cannot write the statement file");
}

namespace {

class StatementReader
{
public:
    explicit StatementReader(const QString& path) : m_file(std::fopen(path.toLocal8Bit().constData(), "rb"))
    {
        if (!m_file)
            throw std::runtime_error("cannot read " + path.toStdString());
        std::setvbuf(m_file, nullptr, _IOFBF, 1 << 20);
    }
    ~StatementReader() { std::fclose(m_file); }
    StatementReader(const StatementReader&) = delete;
    StatementReader& operator=(const StatementReader&) = delete;

    bool next(QByteArray& statement)
    {
        quint32 size = 0;
        if (std::fread(&size, sizeof size, 1, m_file) != 1)
            return false;
        statement.resize(size);
        return std::fread(statement.data(), 1, size, m_file) == size;
    }

    // The next statements joined by semicolons, about a megabyte of them; empty at the end.
    QByteArray nextBatch()
    {
        QByteArray batch;
        QByteArray statement;
        while (batch.size() < (1 << 20) && next(statement)) {
            batch += statement;
            batch += ';';
        }
        return batch;
    }

private:
    std::FILE* m_file;
};

volatile std::sig_atomic_t stopRequested = 0;

// The loop on the clock: send(statement) for each statement until the file ends or a stop
// is asked for.
template <typename Send> void timedLoop(StatementReader& reader, PlainResult& result, Send&& send)
{
    QByteArray statement;
    const double cpuBefore = ownCpuSeconds();
    while (!stopRequested) {
        if (!reader.next(statement)) {
            result.wholeFile = true;
            break;
        }
        send(statement);
        ++result.rows;
    }
    result.endedAt = monotonicNanoseconds();
    result.cpuSeconds = ownCpuSeconds() - cpuBefore;
}

} // namespace

void requestPlainStop()
{
    stopRequested = 1;
}

namespace {
QByteArray env(const char* name)
{
    return Sandbox::env(name).toUtf8();
}
} // namespace

PlainResult sendToPostgreSQL(const QString& statementFile, const std::function<void()>& ready)
{
    // The session settings of the program's own PostgreSQL connections.
    const char* keys[] = {"host",    "port", "user", "password", "dbname", "client_encoding",
                          "options", nullptr};
    const QByteArray host = env("QS_PG_HOST"), port = env("QS_PG_PORT"), user = env("QS_PG_USER"),
                     password = env("QS_PG_PASSWORD"), database = env("QS_PG_DATABASE");
    const char* values[] = {host.constData(),
                            port.constData(),
                            user.constData(),
                            password.constData(),
                            database.constData(),
                            SessionSettings::kPostgreSQLClientEncoding,
                            SessionSettings::kPostgreSQLOptions,
                            nullptr};
    PGconn* connection = PQconnectdbParams(keys, values, 0);
    PlainResult result;
    auto exec = [&](const char* sql) {
        PGresult* answer = PQexec(connection, sql);
        if (PQresultStatus(answer) != PGRES_COMMAND_OK && result.error.isEmpty())
            result.error = QString::fromUtf8(PQresultErrorMessage(answer));
        PQclear(answer);
    };
    if (PQstatus(connection) != CONNECTION_OK) {
        result.error = QString::fromUtf8(PQerrorMessage(connection));
        PQfinish(connection);
        return result;
    }
    StatementReader reader(statementFile);
    ready();
    timedLoop(reader, result, [&](const QByteArray& statement) { exec(statement.constData()); });
    exec("BEGIN");
    for (QByteArray batch = reader.nextBatch(); !batch.isEmpty(); batch = reader.nextBatch())
        exec(batch.constData());
    exec("COMMIT");
    PQfinish(connection);
    return result;
}

PlainResult sendToMySQL(const QString& statementFile, const std::function<void()>& ready)
{
    PlainResult result;
    MYSQL* connection = mysql_init(nullptr);
    // The session settings of the program's own MySQL connections.
    const unsigned protocol = MYSQL_PROTOCOL_TCP;
    mysql_optionsv(connection, MYSQL_OPT_PROTOCOL, &protocol);
    // TLS when the server offers it, as the program's own connections.
    mysql_ssl_set(connection, nullptr, nullptr, nullptr, nullptr, nullptr);
    const my_bool noCheck = 0;
    mysql_optionsv(connection, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &noCheck);
    mysql_optionsv(connection, MYSQL_SET_CHARSET_NAME, SessionSettings::kMySQLCharacterSet);
    mysql_optionsv(connection, MYSQL_INIT_COMMAND, SessionSettings::kMySQLInitCommand);
    mysql_optionsv(connection, MYSQL_INIT_COMMAND, SessionSettings::kMySQLTransactions);
    if (!mysql_real_connect(connection, env("QS_MY_HOST").constData(), env("QS_MY_USER").constData(),
                            env("QS_MY_PASSWORD").constData(), env("QS_MY_DATABASE").constData(),
                            env("QS_MY_PORT").toUInt(), nullptr, 0)) {
        result.error = QString::fromUtf8(mysql_error(connection));
        mysql_close(connection);
        return result;
    }
    StatementReader reader(statementFile);
    ready();
    timedLoop(reader, result, [&](const QByteArray& statement) {
        if (mysql_real_query(connection, statement.constData(),
                             static_cast<unsigned long>(statement.size())) != 0 &&
            result.error.isEmpty())
            result.error = QString::fromUtf8(mysql_error(connection));
    });
    // The rest in batches of statements; every result of a batch is taken in.
    auto query = [&](const QByteArray& sql) {
        int status = mysql_real_query(connection, sql.constData(), static_cast<unsigned long>(sql.size()));
        while (status == 0) {
            if (MYSQL_RES* rows = mysql_store_result(connection))
                mysql_free_result(rows);
            status = mysql_next_result(connection);
        }
        if (status > 0 && result.error.isEmpty())
            result.error = QString::fromUtf8(mysql_error(connection));
    };
    mysql_set_server_option(connection, MYSQL_OPTION_MULTI_STATEMENTS_ON);
    query("START TRANSACTION");
    for (QByteArray batch = reader.nextBatch(); !batch.isEmpty(); batch = reader.nextBatch())
        query(batch);
    query("COMMIT");
    mysql_close(connection);
    return result;
}
