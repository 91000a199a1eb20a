#include "bench/PlainLoopInput.h"

#include "app/SqlText.h"
#include "app/db/Connection.h"
#include "bench/Children.h"
#include "bench/PlainLoop.h"
#include "transfer/Datatype.h"
#include "transfer/ValueText.h"

void makePlainTable(const Direction& direction, Connection& source, Connection& target,
                    const QProcessEnvironment& environment)
{
    const QString plain = QLatin1String(direction.plainTable);
    const QString table = QLatin1String(direction.table);
    target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + direction.targetName(plain));
    source.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + direction.sourceName(plain));
    source.Execute(direction.toPostgreSQL
                       ? QStringLiteral("CREATE TABLE %1 SELECT * FROM %2 LIMIT 0")
                             .arg(direction.sourceName(plain), direction.sourceName(table))
                       : QStringLiteral("CREATE TABLE %1 (LIKE %2)")
                             .arg(direction.sourceName(plain), direction.sourceName(table)));
    copyAlone(direction, plain, environment, "the copy of an empty table");
    source.Execute(QStringLiteral("DROP TABLE ") + direction.sourceName(plain));
}

qint64 writeStatements(const Direction& direction, Connection& source, const QString& path)
{
    StatementWriter out(path);
    Recordset rows;
    rows.Open(QStringLiteral("SELECT * FROM ") + direction.sourceName(QLatin1String(direction.table)),
              source);
    const Fields& fields = rows.Fields();
    QList<int> types;
    QList<bool> numeric;
    for (int c = 0; c < fields.Count(); ++c) {
        types.append(fields[c].Type());
        numeric.append(postgreSQLTypeFor(fields[c].Type()).numeric);
    }
    const QByteArray head = "INSERT INTO " +
                            direction.targetName(QLatin1String(direction.plainTable)).toUtf8() +
                            (direction.toPostgreSQL ? " VALUES(" : " VALUES('");
    qint64 count = 0;
    QByteArray statement;
    for (; !rows.Eof(); rows.MoveNext(), ++count) {
        statement = head;
        for (int c = 0; c < fields.Count(); ++c) {
            if (direction.toPostgreSQL)
                appendPostgreSQLValue(statement, fields[c].Value(), types[c], numeric[c]);
            else
                appendMySQLValue(statement, fields[c].Value(), types[c]);
        }
        statement.chop(direction.toPostgreSQL ? 2 : 3);
        statement += ')';
        out.write(statement);
    }
    rows.Close();
    return count;
}
