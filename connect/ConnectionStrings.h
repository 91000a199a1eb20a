#pragma once

#include <QString>

// The two connection strings that every connection of the program is opened with.
// Values go in unchanged, except that a value which could not stand bare (it holds
// ";", "{" or "}", or starts or ends with a blank) is wrapped in braces.

struct MySQLDetails
{
    QString server, user, database, password, port;
};

struct PostgreSQLDetails
{
    QString server, port, user, password, database;
};

QString MySQLConnectionString(const MySQLDetails& details);
QString PostgreSQLConnectionString(const PostgreSQLDetails& details);

// The strings built from the connection window's fields as they are now.
QString MySQLConnectionString();
QString PostgreSQLConnectionString();

// Silent checks: true when a connection with the side's string opens. No message.
bool CanConnectPostgreSQL();
bool CanConnectMySQL();
// The same with a connection string built earlier.
bool CanConnectPostgreSQL(const QString& connectionString);
bool CanConnectMySQL(const QString& connectionString);
