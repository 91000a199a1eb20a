#pragma once

#include <QString>

class Form1;
class Form2;

// The two windows. Each is created the first time anything refers to it and lives until
// the program ends; the table window runs its load steps when it is created.
namespace Windows {
Form1& form1();
Form2& form2();
bool form2Exists();
// Loads the connection window, which may move on to the table window by itself, and
// shows whichever is the first window.
void start();
// "< Back": the connection window comes back, as it was left.
void showConnectionWindow();
// "Next >": the table window's lists read from the catalogues (the window is made and
// loaded on first use), and the table window shown.
void listMySQLTables(const QString& connectionString);
void listPostgreSQLTables(const QString& connectionString);
void showTableWindow();
// The connection strings of the connection window's fields as they are now: what the
// table window's operations open their connections with.
QString mySQLConnectionString();
QString postgreSQLConnectionString();
// Tests start each case with fresh windows.
void destroyForTests();
} // namespace Windows
