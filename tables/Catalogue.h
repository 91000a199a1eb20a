#pragma once

class TableList;

// The MySQL module's catalogue: fills the list with the tables of the MySQL database.
void ListMySQLTables(TableList* list);
// The PostgreSQL module's catalogue: fills the list with the tables of every schema of
// the PostgreSQL database, system catalogues included.
void ListPostgreSQLTables(TableList* list);
