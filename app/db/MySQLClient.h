#pragma once

// What every MySQL connection of the layer shares with MariaDB Connector/C: how a client
// handle is set up, where it connects to, the ADO types of a result's columns, which
// errors lie in the values or lose the link, and the non-blocking interface's waits.

#include "app/db/Backend.h"

#include <mysql.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <functional>

class ConnectionString;

namespace MySQLClient {

// Sets up a client handle the way every connection of the program is set up.
MYSQL* newHandle();

// The server and account a connection string names.
struct Address
{
    QByteArray host, user, password, database;
    unsigned port = 0;

    static Address of(const ConnectionString& settings);
};

// Starts connecting the handle to the address, to its database when asked; drive() takes
// the call to its end.
int startConnect(MYSQL** connected, MYSQL* handle, const Address& address, bool toDatabase);

// The socket events a call of the non-blocking interface waits for, and its status for
// the events that are ready.
short pollEventsFor(int status);
int statusFor(short ready);
// Takes a started call of the non-blocking interface to its end, resuming it as its socket
// gets ready; false when the deadline passed first.
bool drive(MYSQL* handle, int status, const std::function<int(int)>& resume, const QDeadlineTimer& deadline);

// Whether the error number says the link to the server is gone.
bool losesLink(unsigned code);
// The server's errors that lie in a statement's values rather than in the statement:
// another row's values may well be taken.
bool refusesValues(unsigned code, const char* sqlState);

// The columns of a result, with their ADO types.
QList<ColumnInfo> columnsOf(MYSQL_RES* result);
// A FLOAT read as a DOUBLE, written as the shortest text that reads back as the float.
QByteArray floatText(const char* text, unsigned long length);

} // namespace MySQLClient
