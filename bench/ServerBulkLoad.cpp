#include "bench/ServerBulkLoad.h"

#include "app/SqlText.h"
#include "app/db/Connection.h"
#include "bench/ContentHash.h"
#include "bench/Measure.h"

#include <QFile>
#include <QProcess>
#include <stdexcept>

namespace {

// Runs one of the target server's client programs (psql, mariadb, mariadb-dump) on the
// servers of the environment, its standard input and output from and to files (or none).
void runClient(const QString& program, const QProcessEnvironment& servers, const QStringList& arguments,
               const QString& input = {}, const QString& output = {})
{
    QProcessEnvironment environment = servers;
    QStringList connection;
    if (program == QLatin1String("psql")) {
        connection = {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                      QStringLiteral("ON_ERROR_STOP=1")};
        environment.insert(QStringLiteral("PGHOST"), servers.value(QStringLiteral("QS_PG_HOST")));
        environment.insert(QStringLiteral("PGPORT"), servers.value(QStringLiteral("QS_PG_PORT")));
        environment.insert(QStringLiteral("PGUSER"), servers.value(QStringLiteral("QS_PG_USER")));
        environment.insert(QStringLiteral("PGPASSWORD"), servers.value(QStringLiteral("QS_PG_PASSWORD")));
        environment.insert(QStringLiteral("PGDATABASE"), servers.value(QStringLiteral("QS_PG_DATABASE")));
    } else {
        connection = {QStringLiteral("--no-defaults"), QStringLiteral("--protocol=tcp"),
                      QStringLiteral("--host=") + servers.value(QStringLiteral("QS_MY_HOST")),
                      QStringLiteral("--port=") + servers.value(QStringLiteral("QS_MY_PORT")),
                      QStringLiteral("--user=") + servers.value(QStringLiteral("QS_MY_USER"))};
        environment.insert(QStringLiteral("MYSQL_PWD"), servers.value(QStringLiteral("QS_MY_PASSWORD")));
    }
    QProcess client;
    client.setProcessEnvironment(environment);
    client.setStandardInputFile(input.isEmpty() ? QProcess::nullDevice() : input);
    client.setStandardOutputFile(output.isEmpty() ? QProcess::nullDevice() : output);
    client.start(program, connection + arguments);
    if (!client.waitForFinished(-1) || client.exitStatus() != QProcess::NormalExit || client.exitCode() != 0)
        throw std::runtime_error(
            QStringLiteral("%1 failed: %2%3")
                .arg(program, client.errorString(), QString::fromUtf8(client.readAllStandardError()))
                .toStdString());
}

void append(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(text.toUtf8()) < 0)
        throw std::runtime_error("cannot write " + path.toStdString());
}

} // namespace

ServerBulkLoad::ServerBulkLoad(const Direction& direction, Connection& target, const QString& folder)
    : m_direction(direction), m_target(target),
      m_table(QLatin1String(direction.table) + QStringLiteral("_bulk"))
{
    const QString table = direction.targetName(m_table);
    const QString plain = direction.targetName(QLatin1String(direction.plainTable));
    const QString addKey = QStringLiteral("ALTER TABLE %1 ADD PRIMARY KEY (%2);\n")
                               .arg(table, direction.targetName(QStringLiteral("id")));
    const QProcessEnvironment near = QProcessEnvironment::systemEnvironment();
    m_file = folder + QLatin1Char('/') + m_table + QStringLiteral(".sql");
    if (direction.toPostgreSQL) {
        // The rows in COPY's text format, and a script that makes the table, loads them and
        // adds the key.
        const QString rows = folder + QLatin1Char('/') + m_table + QStringLiteral(".copy");
        runClient(QStringLiteral("psql"), near,
                  {QStringLiteral("-c"), QStringLiteral("\\copy %1 TO %2").arg(plain, quotedText(rows))});
        append(m_file, QStringLiteral("CREATE TABLE %1 (LIKE %2);\n\\copy %1 FROM %3\n")
                               .arg(table, plain, quotedText(rows)) +
                           addKey);
        return;
    }
    // The dump of a table of the same rows, which makes the table itself, then the key.
    target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + table);
    target.Execute(QStringLiteral("CREATE TABLE %1 LIKE %2").arg(table, plain));
    target.Execute(QStringLiteral("INSERT INTO %1 SELECT * FROM %2").arg(table, plain));
    runClient(QStringLiteral("mariadb-dump"), near, {near.value(QStringLiteral("QS_MY_DATABASE")), m_table},
              {}, m_file);
    append(m_file, QStringLiteral("\n") + addKey);
    dropTable();
}

double ServerBulkLoad::load(const QProcessEnvironment& environment, const QString& content)
{
    dropTable();
    const qint64 start = monotonicNanoseconds();
    if (m_direction.toPostgreSQL)
        runClient(QStringLiteral("psql"), environment, {QStringLiteral("-f"), m_file});
    else
        runClient(QStringLiteral("mariadb"), environment,
                  {environment.value(QStringLiteral("QS_MY_DATABASE"))}, m_file);
    const double seconds = double(monotonicNanoseconds() - start) / 1e9;
    const QString loaded = contentOf(m_target, m_direction.toPostgreSQL, m_table);
    if (loaded != content)
        throw std::runtime_error(
            QStringLiteral("the server's own bulk load differs from the copy: %1 rows/hash "
                           "against %2")
                .arg(loaded, content)
                .toStdString());
    return seconds;
}

void ServerBulkLoad::dropTable()
{
    m_target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + m_direction.targetName(m_table));
}
