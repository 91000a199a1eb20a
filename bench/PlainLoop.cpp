#include "bench/PlainLoop.h"

#include "app/db/SessionSettings.h"

#include <QElapsedTimer>
#include <libpq-fe.h>
#include <mysql.h>
#include <stdexcept>

SandboxDetails SandboxDetails::fromEnvironment()
{
    auto env = [](const char* name) {
        const QByteArray value = qgetenv(name);
        if (value.isEmpty())
            throw std::runtime_error(std::string(name) +
                                     " is not set: source the env file of scripts/sandbox");
        return value;
    };
    return {env("QS_PG_HOST"),     env("QS_PG_PORT"),    env("QS_PG_USER"), env("QS_PG_PASSWORD"),
            env("QS_PG_DATABASE"), env("QS_MY_HOST"),    env("QS_MY_PORT"), env("QS_MY_USER"),
            env("QS_MY_PASSWORD"), env("QS_MY_DATABASE")};
}

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
    StatementReader(const QString& path, qint64 skip)
        : m_file(std::fopen(path.toLocal8Bit().constData(), "rb"))
    {
        if (!m_file)
            throw std::runtime_error("cannot read " + path.toStdString());
        std::setvbuf(m_file, nullptr, _IOFBF, 1 << 20);
        QByteArray statement;
        for (qint64 i = 0; i < skip; ++i) {
            if (!next(statement))
                throw std::runtime_error("the statement file is shorter than the part to skip");
        }
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

// Runs the timed loop: send(statement) for each statement until the file ends or the
// time limit is passed; the measurements cover exactly the loop.
template <typename Send>
void timedLoop(StatementReader& reader, double timeLimit, PlainResult& result, Send&& send)
{
    QByteArray statement;
    const ServerCpu serversBefore = ServerCpu::now();
    const double cpuBefore = ownCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = qint64(timeLimit * 1e9);
    while (clock.nsecsElapsed() < limit && reader.next(statement)) {
        send(statement);
        ++result.rows;
    }
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    result.cpuSeconds = ownCpuSeconds() - cpuBefore;
    result.servers = ServerCpu::now() - serversBefore;
}

} // namespace

PlainResult sendToPostgreSQL(const SandboxDetails& details, const PlainPart& part)
{
    // The session settings of the program's own PostgreSQL connections.
    const char* keys[] = {"host",    "port", "user", "password", "dbname", "client_encoding",
                          "options", nullptr};
    const char* values[] = {details.pgHost.constData(),          details.pgPort.constData(),
                            details.pgUser.constData(),          details.pgPassword.constData(),
                            details.pgDatabase.constData(),      SessionSettings::kPostgreSQLClientEncoding,
                            SessionSettings::kPostgreSQLOptions, nullptr};
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
    StatementReader reader(part.statementFile, part.skip);
    timedLoop(reader, part.timeLimit, result,
              [&](const QByteArray& statement) { exec(statement.constData()); });
    if (!part.finish) {
        PQfinish(connection);
        return result;
    }
    exec("BEGIN");
    for (QByteArray batch = reader.nextBatch(); !batch.isEmpty(); batch = reader.nextBatch())
        exec(batch.constData());
    exec("COMMIT");
    PQfinish(connection);
    return result;
}

PlainResult sendToMySQL(const SandboxDetails& details, const PlainPart& part)
{
    PlainResult result;
    MYSQL* connection = mysql_init(nullptr);
    // The session settings of the program's own MySQL connections.
    const unsigned protocol = MYSQL_PROTOCOL_TCP;
    mysql_optionsv(connection, MYSQL_OPT_PROTOCOL, &protocol);
    mysql_optionsv(connection, MYSQL_SET_CHARSET_NAME, SessionSettings::kMySQLCharacterSet);
    mysql_optionsv(connection, MYSQL_INIT_COMMAND, SessionSettings::kMySQLInitCommand);
    if (!mysql_real_connect(connection, details.myHost.constData(), details.myUser.constData(),
                            details.myPassword.constData(), details.myDatabase.constData(),
                            details.myPort.toUInt(), nullptr, 0)) {
        result.error = QString::fromUtf8(mysql_error(connection));
        mysql_close(connection);
        return result;
    }
    // Every result of a batch is taken in; the first error is kept.
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
    StatementReader reader(part.statementFile, part.skip);
    timedLoop(reader, part.timeLimit, result, [&](const QByteArray& statement) {
        if (mysql_real_query(connection, statement.constData(),
                             static_cast<unsigned long>(statement.size())) != 0 &&
            result.error.isEmpty())
            result.error = QString::fromUtf8(mysql_error(connection));
    });
    if (!part.finish) {
        mysql_close(connection);
        return result;
    }
    mysql_set_server_option(connection, MYSQL_OPTION_MULTI_STATEMENTS_ON);
    query("START TRANSACTION");
    for (QByteArray batch = reader.nextBatch(); !batch.isEmpty(); batch = reader.nextBatch())
        query(batch);
    query("COMMIT");
    mysql_close(connection);
    return result;
}
