#include "bench/ContentHash.h"

#include "app/SqlText.h"
#include "tests/support/TestSupport.h"

QString contentOf(Connection& target, bool postgreSQL, const QString& table)
{
    return Sandbox::scalar(
        target,
        postgreSQL
            ? QStringLiteral(
                  "SELECT count(*) || ' ' || coalesce(sum(('x' || substr(md5(t::text), 1, 15))::bit(60)"
                  "::bigint), 0) FROM %1 AS t")
                  .arg(postgreSQLName(table))
            : QStringLiteral(
                  "SELECT CONCAT(COUNT(*), ' ', COALESCE(SUM(CONV(SUBSTR(MD5(CONCAT_WS('|', id, "
                  "qty, amount, name, created, ratio, ISNULL(name))), 1, 15), 16, 10)), 0)) FROM %1")
                  .arg(mySQLName(table)));
}

// The spellings are those of the columns of fillSources and the type rules: MySQL to
// PostgreSQL, every column but the numbers arrives as MySQL's text; PostgreSQL to MySQL,
// the timestamp arrives as a DATETIME(6). Both servers write a double's shortest text.
QString rowsAsCopied(Connection& connection, bool postgreSQL, const QString& table, bool sourceIsPostgreSQL)
{
    if (!postgreSQL)
        return Sandbox::scalar(
            connection,
            QStringLiteral("SELECT CONCAT(COUNT(*), ' ', COALESCE(SUM(CAST(CONV(SUBSTR(MD5(CONVERT("
                           "CONCAT_WS('|', id, qty, amount, IFNULL(CONCAT('=', name), '-'), created, "
                           "CAST(ratio AS CHAR(64))) USING utf8mb4)), 1, 15), 16, 10) AS UNSIGNED)), 0)) "
                           "FROM %1")
                .arg(mySQLName(table)));
    const QString created = sourceIsPostgreSQL
                                ? QStringLiteral("to_char(created, 'YYYY-MM-DD HH24:MI:SS.US')")
                                : QStringLiteral("created");
    return Sandbox::scalar(connection,
                           QStringLiteral("SELECT count(*) || ' ' || coalesce(sum(('x' || substr(md5("
                                          "concat_ws('|', id, qty, amount, coalesce('=' || name, '-'), %1, "
                                          "ratio)), 1, 15))::bit(60)::bigint), 0) FROM %2")
                               .arg(created, postgreSQLName(table)));
}

QString wideContent(Connection& connection, bool postgreSQL, const QString& table)
{
    return postgreSQL
               ? Sandbox::scalar(connection,
                                 QStringLiteral("SELECT count(*) || ' ' || sum(length(body)) || ' ' || "
                                                "md5(string_agg(md5(body), ',' ORDER BY id)) FROM %1")
                                     .arg(postgreSQLName(table)))
               : Sandbox::scalar(connection,
                                 QStringLiteral("SELECT CONCAT(COUNT(*), ' ', SUM(LENGTH(body)), ' ', "
                                                "MD5(GROUP_CONCAT(MD5(body) ORDER BY id))) FROM %1")
                                     .arg(mySQLName(table)));
}
