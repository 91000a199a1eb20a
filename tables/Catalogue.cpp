#include "tables/Catalogue.h"

#include "app/Windows.h"
#include "app/Yield.h"
#include "app/db/Connection.h"
#include "tables/TableList.h"

namespace {
// The list is cleared only once the statement has succeeded, so a failure leaves the
// previous names in place.
void fillTableList(TableList* list, const QString& connectionString, const QString& statement)
{
    Connection connection;
    connection.CursorLocation = adUseClient;
    connection.Open(connectionString);
    Recordset tables = connection.Execute(statement);
    list->clear();
    const qint64 count = tables.RecordCount();
    for (qint64 i = 1; i <= count; ++i) {
        YieldToEvents();
        list->addName(tables.Fields()[0].Value().toString());
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
    fillTableList(list, connectionString, QStringLiteral("SHOW TABLES;"));
}

void ListPostgreSQLTables(TableList* list, const QString& connectionString)
{
    fillTableList(list, connectionString, QStringLiteral("select tablename from pg_tables;"));
}
