#pragma once

// The two sandbox servers as a test case meets them, so that each case is written once and
// run for both through its _data() rows: a server's connections, quoting and statements,
// its list in the table window with the buttons under it, and what its catalogue says of
// the tables' shapes, foreign keys and comments.

#include "tests/support/ProgramWindows.h"

#include <QMetaType>
#include <QObject>
#include <functional>
#include <optional>

// What a server's catalogue says of the base tables of the test database (on PostgreSQL,
// of its public schema). Only the b-tree (and MySQL hash) indexes on plain columns count.
struct Catalogue
{
    struct Key
    {
        QString table;
        QString kind; // "primary key", "unique" or "index"
        QString name;
        QString columns; // "store, title(191)": a MySQL prefix follows its column
    };
    struct Column
    {
        QString table;
        QString name;
        bool notNull;
        bool autoIncrement;
        QString defaultText; // as the server writes it, empty for none
    };
    struct ForeignKey
    {
        QString table;
        QString name;
        QString definition; // "(a, b) REFERENCES t (x, y) ON DELETE CASCADE ON UPDATE NO ACTION"
    };
    QStringList tables;
    QList<Key> keys;
    QList<Column> columns; // table by table, in their order
    QList<ForeignKey> foreignKeys;
    QStringList comments; // "table: text" and "table.column: text", sorted
};

// One of the two servers; each hook says what it is on either, side by side.
class Server
{
public:
    static const Server& mySQL();
    static const Server& postgreSQL();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool isMySQL() const { return this == &mySQL(); }
    const Server& other() const { return isMySQL() ? postgreSQL() : mySQL(); }

    QString connectionString() const;
    std::unique_ptr<Connection> connect() const;
    // The character that quotes a name, and a name between two of them.
    QChar quote() const;
    QString quoted(const QString& name) const;
    // The tables of the test database (PostgreSQL: of the public schema), sorted.
    QStringList tables() const;
    // Tables of one column, id.
    void createTables(const QStringList& names) const;
    // A statement that makes a table of the numbers 1..rows in id, with a label "row n".
    QString numbersTable(const QString& table, int rows) const;
    QString sleep(int seconds) const;
    // A query of the ids of the sessions that wait for a lock in a statement like the pattern.
    QString lockWaits(const QString& pattern) const;
    // The statement that ends the session of that id, as an administrator would.
    QString endSession(const QString& id) const;
    // The processes that answer for the session: stopped, the server says nothing.
    QList<pid_t> processes(Connection& session) const;
    // Sets a setting as its administrator would, for the server or for the new sessions of
    // the test account; the function given back undoes it.
    std::function<void()> set(const QString& name, const QString& value, bool forNewSessions) const;
    Catalogue catalogue(Connection& connection) const;

    // The server's list in the table window, and the buttons under it: the send button
    // copies its selected tables to the other server.
    TableList* list() const;
    QPushButton* sendButton() const;
    QPushButton* deleteButton() const;
    QPushButton* renameButton() const;
    QPushButton* deselectAllButton() const;
    // The handler of a button, as an error report names it: "PushButton3_Click".
    static QString procedure(const QPushButton* button);
    // Its error report as shownBoxes() tells it.
    static QString report(const QPushButton* button, int line);
    QString sendProcedure() const { return procedure(sendButton()); }
    // Selects exactly the tables in the list and clicks the button.
    void send(const QStringList& tables) const;
    void deleteTables(const QStringList& tables) const;

private:
    Server() = default;
};

Q_DECLARE_METATYPE(const Server*)

// A setting of a server, or a default for the test account's new sessions, given back
// however the test ends; a failure there is told, not thrown from a destructor.
class GlobalSetting
{
public:
    GlobalSetting(const Server& server, const QString& name, const QString& value,
                  bool forNewSessions = false);
    ~GlobalSetting();
    GlobalSetting(const GlobalSetting&) = delete;
    GlobalSetting& operator=(const GlobalSetting&) = delete;

private:
    QString m_name;
    std::function<void()> m_undo;
};

// The ground of a test whose cases run once per server: a fresh program and empty
// databases per case (begin and end, which init and cleanup call unless the test has its
// own), a connection of the test's own to each server, and the case's server from its
// "server" column: the one whose list the case acts on, the source of a copy.
class ServerCase : public QObject
{
    Q_OBJECT
protected:
    // The column and a row for each server, tagged by the server or by the direction of a copy.
    static void perServer();
    static void directions();
    void begin();
    void end();
    static const Server& server();
    Connection& on(const Server& server) { return server.isMySQL() ? *m_my : *m_pg; }
    // A copy's two ends.
    Connection& source() { return on(server()); }
    Connection& target() { return on(server().other()); }
    static bool toPostgreSQL() { return server().isMySQL(); }
    static TableList* targetList() { return server().other().list(); }
    static QString procedure() { return server().sendProcedure(); }
    static void send(const QStringList& tables) { server().send(tables); }

    std::optional<ProgramUnderTest> m_program;
    std::unique_ptr<Connection> m_my;
    std::unique_ptr<Connection> m_pg;

private slots:
    void init() { begin(); }
    void cleanup() { end(); }
};
