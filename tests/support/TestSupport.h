#pragma once

// Shared ground for the tests: a clean program state per test (scripted message boxes,
// a temporary settings store, no browser, no exit, fresh windows) and access to the
// sandbox servers that scripts/test starts.

#include "app/MessageBox.h"
#include "app/db/Connection.h"
#include "app/db/Error.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <sys/types.h>

class QWidget;
class Settings;

// Resets the program's global state for one test and restores it afterwards.
class ProgramUnderTest
{
public:
    ProgramUnderTest();
    ~ProgramUnderTest();

    Settings& settings() { return *m_settings; }
    QString settingsFile() const;
    QString appFolder() const { return m_folder.path(); }
    int endCalls() const { return m_endCalls; }
    QStringList browserOpens() const { return m_opened; }
    void setDraw(int value) { m_draw = value; }
    // Points the connection window's fields at the sandbox servers before anything is
    // loaded: by the settings store, as a user's last run would have left them.
    void rememberSandbox();

private:
    QTemporaryDir m_folder;
    std::unique_ptr<Settings> m_settings;
    int m_endCalls = 0;
    int m_draw = 50;
    QStringList m_opened;
};

// The sandbox servers.
namespace Sandbox {
QString env(const char* name); // fails the test run when the sandbox is not there
QString postgreSQLConnectionString();
QString mySQLConnectionString();
// Writes the sandbox's details into the settings store, as the connection window keeps them.
void remember(Settings& store);
// A connection of the test's own, for setting up and checking server contents.
std::unique_ptr<Connection> postgreSQL();
std::unique_ptr<Connection> mySQL();
void exec(Connection& connection, const QString& sql);
// The servers' administrators, for what the program's account may not do (event
// triggers, server settings): PostgreSQL's superuser over the sandbox's socket, and
// MariaDB's through its own client as the user who started the sandbox.
std::unique_ptr<Connection> postgreSQLAdmin();
void mySQLAdmin(const QString& sql);
// Every row of a query, every column as text ("NULL" for a NULL); its first column; the
// first column of its first row.
QList<QStringList> rows(Connection& connection, const QString& sql);
QStringList column(Connection& connection, const QString& sql);
QString scalar(Connection& connection, const QString& sql);
// Connections the MySQL server has seen, the one that asks included.
int mySQLConnections();
// Drops every table of the sandbox databases: on PostgreSQL, the public schema and every
// schema the test account owns, public made anew.
void dropAllTables();
} // namespace Sandbox

// Server processes stopped as a debugger or an overloaded host would stop them, and
// started again however the test ends. The constructor returns once every thread of them
// has stopped.
class StoppedProcesses
{
public:
    explicit StoppedProcesses(QList<pid_t> pids);
    ~StoppedProcesses();
    StoppedProcesses(const StoppedProcesses&) = delete;
    StoppedProcesses& operator=(const StoppedProcesses&) = delete;

private:
    bool allStopped() const;

    QList<pid_t> m_pids;
};

namespace Sandbox {
// What answers for a server: for PostgreSQL the session's backend (of the given process
// id) and the postmaster, which takes cancel requests; for MariaDB its one process.
QList<pid_t> postgreSQLProcesses(pid_t backend);
QList<pid_t> mySQLProcesses();
} // namespace Sandbox

// Texts of the message boxes shown so far.
QStringList shownTexts();
// Every box shown so far, error reports as "report <window>.<procedure> <line>".
QStringList shownBoxes();

// The mouse moves onto the widget, as the window system tells it.
void moveOver(QWidget* widget);

// No message box was shown; else the test fails showing their texts.
#define QS_VERIFY_NO_BOXES()                                                                                 \
    QVERIFY2(MessageBox::history().isEmpty(), qPrintable(shownTexts().join(QStringLiteral("\n----\n"))))

// Asks again every few milliseconds until the condition holds; false once the time is up.
bool eventually(const std::function<bool()>& condition, unsigned long everyMilliseconds = 20,
                int forMilliseconds = 60000);
