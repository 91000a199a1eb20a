#pragma once

class QString;
class TableList;

// The MySQL module's catalogue: fills the list with the tables of the MySQL database.
void ListMySQLTables(TableList* list);
// The PostgreSQL module's catalogue: fills the list with the tables of every schema of
// the PostgreSQL database, system catalogues included.
void ListPostgreSQLTables(TableList* list);
// The same with a connection string built earlier.
void ListMySQLTables(TableList* list, const QString& connectionString);
void ListPostgreSQLTables(TableList* list, const QString& connectionString);
