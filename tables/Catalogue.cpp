#include "tables/Catalogue.h"

#include "app/SqlText.h"
#include "app/Windows.h"
#include "app/Yield.h"
#include "app/db/Connection.h"
#include "tables/TableList.h"

namespace {
// The table name first, as in MySQL's one column; then the schema, and 1 where the bare
// name finds this very table. A table of that name earlier on the search path, or a view
// or another relation there, shadows it; outside the search path nothing reaches it. The
// table itself is found by the names in the catalogue, not by a qualified name: naming a
// schema the account may not use would fail the whole query.
const QString kPostgreSQLTables = QStringLiteral(
    "select tablename, schemaname, coalesce(to_regclass(quote_ident(tablename))::oid = "
    "(select c.oid from pg_catalog.pg_class c join pg_catalog.pg_namespace n on n.oid = c.relnamespace "
    "where c.relname = tablename and n.nspname = schemaname), false)::int from pg_tables");

ListedTable postgreSQLTable(const Fields& fields)
{
    return {fields[1].Value().toString(), fields[0].Value().toString(),
            fields[2].Value().toString() == QLatin1String("1")};
}

// The list is cleared only once the statement has succeeded, so a failure leaves the
// previous names in place.
template <typename AddRow>
void fillTableList(TableList* list, const QString& connectionString, const QString& statement, AddRow addRow)
{
    Connection connection;
    connection.CursorLocation = adUseClient;
    connection.Open(connectionString);
    Recordset tables = connection.Execute(statement);
    list->clear();
    const qint64 count = tables.RecordCount();
    for (qint64 i = 1; i <= count; ++i) {
        YieldToEvents();
        addRow(tables.Fields());
        tables.MoveNext();
    }
    tables.Close();
    connection.Close();
}
} // namespace

void ListMySQLTables(TableList* list)
{
    ListMySQLTables(list, Windows::mySQLConnectionString());
}

void ListPostgreSQLTables(TableList* list)
{
    ListPostgreSQLTables(list, Windows::postgreSQLConnectionString());
}

void ListMySQLTables(TableList* list, const QString& connectionString)
{
    fillTableList(list, connectionString, QStringLiteral("SHOW TABLES;"),
                  [&](const Fields& fields) { list->addName(fields[0].Value().toString()); });
}

void ListPostgreSQLTables(TableList* list, const QString& connectionString)
{
    fillTableList(list, connectionString, kPostgreSQLTables + QLatin1Char(';'),
                  [&](const Fields& fields) { list->addTable(postgreSQLTable(fields)); });
}

void relistPostgreSQLTable(TableList* list, Connection& connection, const QString& name)
{
    QList<ListedTable> tables;
    Recordset rows = connection.Execute(kPostgreSQLTables + QStringLiteral(" where tablename = ") +
                                        quotedText(name) + QLatin1Char(';'));
    for (; !rows.Eof(); rows.MoveNext())
        tables.append(postgreSQLTable(rows.Fields()));
    rows.Close();
    list->setTablesNamed(name, tables);
}
