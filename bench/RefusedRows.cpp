#include "bench/RefusedRows.h"

#include "app/db/Connection.h"
#include "bench/Children.h"
#include "tests/support/TestSupport.h"

#include <stdexcept>

namespace {

QString tableOf(const Direction& direction, int every)
{
    return QStringLiteral("%1_every_%2").arg(QLatin1String(direction.table)).arg(every);
}

// The names of the copies to PostgreSQL end in the n of every n-th row.
const QString kCheckEveryNthRow = QStringLiteral(R"(
CREATE OR REPLACE FUNCTION bench_refuse_rows() RETURNS event_trigger LANGUAGE plpgsql AS $$
DECLARE
    made record;
BEGIN
    FOR made IN SELECT object_identity FROM pg_event_trigger_ddl_commands()
                WHERE command_tag = 'CREATE TABLE' AND object_type = 'table' LOOP
        IF made.object_identity ~ '\.bench_my_every_[1-9][0-9]*$' THEN
            EXECUTE format('ALTER TABLE %s ADD CHECK (id %% %s <> 0)', made.object_identity,
                           substring(made.object_identity FROM '[0-9]+$'));
        END IF;
    END LOOP;
END $$;
DROP EVENT TRIGGER IF EXISTS bench_refuse_rows;
CREATE EVENT TRIGGER bench_refuse_rows ON ddl_command_end WHEN TAG IN ('CREATE TABLE')
    EXECUTE FUNCTION bench_refuse_rows();
)");

} // namespace

RefusedRows::RefusedRows(Connection& my, Connection& pg, qint64 rows) : m_my(my), m_pg(pg), m_rows(rows)
{
    dropAll();
    for (const int every : kRefusedOrNot) {
        const QString mySource = tableOf(kDirections[0], every);
        my.Execute(QStringLiteral("CREATE TABLE %1 LIKE bench_my").arg(mySource));
        my.Execute(QStringLiteral("INSERT INTO %1 SELECT * FROM bench_my").arg(mySource));
        const QString pgSource = tableOf(kDirections[1], every);
        pg.Execute(QStringLiteral("CREATE TABLE %1 (LIKE bench_pg INCLUDING ALL)").arg(pgSource));
        pg.Execute(QStringLiteral("INSERT INTO %1 SELECT id, qty, amount, name, CASE WHEN %2 > 0 AND id % "
                                  "greatest(%2, 1) = 0 THEN 'infinity' ELSE created END, ratio FROM bench_pg")
                       .arg(pgSource)
                       .arg(every));
        pg.Execute(QStringLiteral("ANALYZE ") + pgSource);
    }
    Sandbox::exec(*Sandbox::postgreSQLAdmin(), kCheckEveryNthRow);
}

RefusedCopy RefusedRows::copy(const Direction& direction, int every, const QProcessEnvironment& environment)
{
    const QString table = tableOf(direction, every);
    Connection& target = direction.toPostgreSQL ? m_pg : m_my;
    target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + table);
    const auto received = [&] {
        return Sandbox::scalar(m_my,
                               QStringLiteral("SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
                                              "WHERE VARIABLE_NAME = 'BYTES_RECEIVED'"))
            .toLongLong();
    };
    const qint64 before = direction.toPostgreSQL ? 0 : received();
    const TransferChild copied =
        copyAlone(direction, table, environment, "the copy with refused rows", every > 0);
    RefusedCopy result{copied.rowsSeconds(), direction.toPostgreSQL ? -1 : received() - before};
    const QString held = Sandbox::scalar(target, QStringLiteral("SELECT COUNT(*) FROM ") + table);
    if (held != QString::number(every > 0 ? m_rows - m_rows / every : m_rows))
        throw std::runtime_error(
            QStringLiteral("the copy of %1 holds %2 of its %3 rows, but every %4th was to "
                           "be refused")
                .arg(table, held)
                .arg(m_rows)
                .arg(every)
                .toStdString());
    return result;
}

void RefusedRows::dropAll()
{
    QStringList mine;
    QStringList theirs;
    for (const int every : kRefusedOrNot) {
        mine << tableOf(kDirections[0], every) << tableOf(kDirections[1], every);
        theirs << tableOf(kDirections[1], every) << tableOf(kDirections[0], every);
    }
    m_my.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + mine.join(QLatin1Char(',')));
    m_pg.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + theirs.join(QLatin1Char(',')));
    Sandbox::exec(*Sandbox::postgreSQLAdmin(),
                  QStringLiteral("DROP EVENT TRIGGER IF EXISTS bench_refuse_rows; "
                                 "DROP FUNCTION IF EXISTS bench_refuse_rows()"));
}
