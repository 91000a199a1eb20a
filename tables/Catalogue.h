#pragma once

class Connection;
class QString;
class TableList;

// The MySQL module's catalogue: fills the list with the tables of the MySQL database.
void ListMySQLTables(TableList* list);
// The PostgreSQL module's catalogue: fills the list with the tables of every schema of
// the PostgreSQL database, system catalogues included, each under the name that reaches
// it: the bare name where that finds it, else schema.name.
void ListPostgreSQLTables(TableList* list);
// The same with a connection string built earlier.
void ListMySQLTables(TableList* list, const QString& connectionString);
void ListPostgreSQLTables(TableList* list, const QString& connectionString);
// Reads again which schemas hold a table of this bare name and which of them the name
// reaches, and makes the list's items of that name match. Throws when the catalogue
// cannot be read; the list is then as it was.
void relistPostgreSQLTable(TableList* list, Connection& connection, const QString& name);
