#include "tests/support/Servers.h"

namespace {
Form2& form()
{
    return Windows::form2();
}
} // namespace

const Server& Server::mySQL()
{
    static const Server server;
    return server;
}

const Server& Server::postgreSQL()
{
    static const Server server;
    return server;
}

QString Server::connectionString() const
{
    return isMySQL() ? Sandbox::mySQLConnectionString() : Sandbox::postgreSQLConnectionString();
}

std::unique_ptr<Connection> Server::connect() const
{
    return isMySQL() ? Sandbox::mySQL() : Sandbox::postgreSQL();
}

QChar Server::quote() const
{
    return isMySQL() ? QLatin1Char('`') : QLatin1Char('"');
}

QString Server::quoted(const QString& name) const
{
    return quote() + QString(name).replace(quote(), QString(2, quote())) + quote();
}

QStringList Server::tables() const
{
    QStringList names = Sandbox::column(
        *connect(), isMySQL()
                        ? QStringLiteral("SHOW TABLES")
                        : QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = 'public'"));
    names.sort();
    return names;
}

void Server::createTables(const QStringList& names) const
{
    auto connection = connect();
    for (const QString& name : names)
        Sandbox::exec(*connection, QStringLiteral("CREATE TABLE %1 (id int)").arg(quoted(name)));
}

QString Server::numbersTable(const QString& table, int rows) const
{
    return (isMySQL() ? QStringLiteral("CREATE TABLE %1 (id INT, label VARCHAR(30)) SELECT seq AS id, "
                                       "CONCAT('row ', seq) AS label FROM seq_1_to_%2")
                      : QStringLiteral("CREATE TABLE %1 AS SELECT g AS id, 'row ' || g AS label FROM "
                                       "generate_series(1, %2) g"))
        .arg(table)
        .arg(rows);
}

QString Server::sleep(int seconds) const
{
    return (isMySQL() ? QStringLiteral("SELECT SLEEP(%1)") : QStringLiteral("SELECT pg_sleep(%1)"))
        .arg(seconds);
}

QString Server::lockWaits(const QString& pattern) const
{
    return (isMySQL() ? QStringLiteral("SELECT ID FROM information_schema.PROCESSLIST WHERE STATE = 'Waiting "
                                       "for table metadata lock' AND INFO LIKE '%1'")
                      : QStringLiteral("SELECT pid FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND "
                                       "query LIKE '%1'"))
        .arg(pattern);
}

QString Server::endSession(const QString& id) const
{
    return (isMySQL() ? QStringLiteral("KILL CONNECTION %1")
                      : QStringLiteral("SELECT pg_terminate_backend(%1)"))
        .arg(id);
}

QList<pid_t> Server::processes(Connection& session) const
{
    if (isMySQL())
        return Sandbox::mySQLProcesses();
    return Sandbox::postgreSQLProcesses(
        static_cast<pid_t>(Sandbox::scalar(session, QStringLiteral("SELECT pg_backend_pid()")).toLong()));
}

// A MySQL global setting is the default of every new session. PostgreSQL's processes read a
// setting of the server again a moment after the reload.
std::function<void()> Server::set(const QString& name, const QString& value, bool forNewSessions) const
{
    if (isMySQL()) {
        QString old = Sandbox::scalar(*connect(), QStringLiteral("SELECT @@GLOBAL.%1").arg(name));
        bool number = false;
        old.toDouble(&number);
        if (!number)
            old = QLatin1Char('\'') + old + QLatin1Char('\'');
        Sandbox::mySQLAdmin(QStringLiteral("SET GLOBAL %1 = %2").arg(name, value));
        return [=] { Sandbox::mySQLAdmin(QStringLiteral("SET GLOBAL %1 = %2").arg(name, old)); };
    }
    auto admin = std::shared_ptr<Connection>(forNewSessions ? connect() : Sandbox::postgreSQLAdmin());
    const QString alter =
        forNewSessions ? QStringLiteral("ALTER ROLE CURRENT_USER") : QStringLiteral("ALTER SYSTEM");
    auto reload = [=] {
        if (!forNewSessions)
            admin->Execute(QStringLiteral("SELECT pg_reload_conf()"));
    };
    admin->Execute(QStringLiteral("%1 SET %2 = %3").arg(alter, name, value));
    reload();
    return [=] {
        admin->Execute(QStringLiteral("%1 RESET %2").arg(alter, name));
        reload();
    };
}

// The catalogue's base tables; its keys (table, kind, name, columns); its columns (table,
// name, 1 or 0 for NOT NULL and for auto-increment, the default or NULL). MariaDB writes a
// text default quoted, and a default of NULL as NULL. Then its foreign keys and comments.
Catalogue Server::catalogue(Connection& connection) const
{
    const QString ours = QStringLiteral(" WHERE TABLE_SCHEMA = DATABASE()");
    const QString baseTables = ours + QStringLiteral(" AND TABLE_TYPE = 'BASE TABLE'");
    const QStringList queries =
        isMySQL()
            ? QStringList{QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES") + baseTables,
                          QStringLiteral(
                              "SELECT TABLE_NAME, IF(INDEX_NAME = 'PRIMARY', 'primary key', "
                              "IF(NON_UNIQUE = 0, 'unique', 'index')), INDEX_NAME, "
                              "GROUP_CONCAT(COLUMN_NAME, IFNULL(CONCAT('(', SUB_PART, ')'), '') ORDER "
                              "BY SEQ_IN_INDEX SEPARATOR ', ') FROM information_schema.STATISTICS") +
                              ours +
                              QStringLiteral(" AND INDEX_TYPE IN ('BTREE', 'HASH') GROUP BY TABLE_NAME, "
                                             "INDEX_NAME, NON_UNIQUE"),
                          QStringLiteral(
                              "SELECT c.TABLE_NAME, COLUMN_NAME, IS_NULLABLE = 'NO', EXTRA LIKE "
                              "'%auto_increment%', COLUMN_DEFAULT FROM information_schema.COLUMNS c "
                              "JOIN information_schema.TABLES t USING (TABLE_SCHEMA, TABLE_NAME)") +
                              baseTables + QStringLiteral(" ORDER BY c.TABLE_NAME, ORDINAL_POSITION")}
            : QStringList{
                  QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = 'public'"),
                  QStringLiteral(
                      "SELECT t.relname, CASE WHEN i.indisprimary THEN 'primary key' WHEN i.indisunique THEN "
                      "'unique' ELSE 'index' END, x.relname, (SELECT string_agg(a.attname, ', ' ORDER BY "
                      "k.n) "
                      "FROM unnest(i.indkey::int2[]) WITH ORDINALITY k(attnum, n) JOIN pg_attribute a ON "
                      "a.attrelid = i.indrelid AND a.attnum = k.attnum WHERE k.n <= i.indnkeyatts) FROM "
                      "pg_index i JOIN pg_class t ON t.oid = i.indrelid JOIN pg_class x ON x.oid = "
                      "i.indexrelid JOIN pg_am am ON am.oid = x.relam WHERE t.relnamespace = "
                      "'public'::regnamespace AND am.amname = 'btree' AND i.indexprs IS NULL AND i.indpred "
                      "IS "
                      "NULL"),
                  QStringLiteral(
                      "SELECT c.relname, a.attname, a.attnotnull::int, (a.attidentity <> '' OR "
                      "coalesce(pg_get_expr(d.adbin, d.adrelid), '') LIKE 'nextval(%')::int, "
                      "pg_get_expr(d.adbin, d.adrelid) FROM pg_attribute a JOIN pg_class c ON c.oid = "
                      "a.attrelid LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
                      "WHERE "
                      "c.relnamespace = 'public'::regnamespace AND c.relkind IN ('r', 'p') AND a.attnum > 0 "
                      "AND "
                      "NOT a.attisdropped ORDER BY c.relname, a.attnum")};
    const QString rule = QStringLiteral(R"(CASE c.conf%1type WHEN 'c' THEN 'CASCADE' WHEN 'n' THEN 'SET NULL'
        WHEN 'd' THEN 'SET DEFAULT' WHEN 'r' THEN 'RESTRICT' ELSE 'NO ACTION' END)");
    const QString columns =
        QStringLiteral(R"((SELECT string_agg(a.attname, ', ' ORDER BY k.i) FROM unnest(c.%1)
        WITH ORDINALITY k(n, i) JOIN pg_attribute a ON a.attrelid = c.%2 AND a.attnum = k.n))");
    const QStringList more =
        isMySQL()
            ? QStringList{QStringLiteral(R"(SELECT k.TABLE_NAME, k.CONSTRAINT_NAME, CONCAT('(',
                        GROUP_CONCAT(k.COLUMN_NAME ORDER BY k.ORDINAL_POSITION SEPARATOR ', '), ') REFERENCES ',
                        k.REFERENCED_TABLE_NAME, ' (', GROUP_CONCAT(k.REFERENCED_COLUMN_NAME ORDER BY
                        k.ORDINAL_POSITION SEPARATOR ', '), ') ON DELETE ', r.DELETE_RULE, ' ON UPDATE ', r.UPDATE_RULE)
                    FROM information_schema.KEY_COLUMN_USAGE k JOIN information_schema.REFERENTIAL_CONSTRAINTS r
                    USING (CONSTRAINT_SCHEMA, CONSTRAINT_NAME, TABLE_NAME) WHERE k.TABLE_SCHEMA = DATABASE()
                    GROUP BY k.TABLE_NAME, k.CONSTRAINT_NAME, r.DELETE_RULE, r.UPDATE_RULE)"),
                          QStringLiteral(R"(SELECT CONCAT(TABLE_NAME, ': ', TABLE_COMMENT) FROM
                    information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND TABLE_TYPE = 'BASE TABLE' AND
                    TABLE_COMMENT <> '' UNION ALL SELECT CONCAT(TABLE_NAME, '.', COLUMN_NAME, ': ', COLUMN_COMMENT)
                    FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND COLUMN_COMMENT <> '')")}
            : QStringList{QStringLiteral(R"(SELECT t.relname, c.conname, '(' || %1 || ') REFERENCES ' ||
                    f.relname || ' (' || %2 || ') ON DELETE ' || %3 || ' ON UPDATE ' || %4 FROM pg_constraint c
                    JOIN pg_class t ON t.oid = c.conrelid JOIN pg_class f ON f.oid = c.confrelid
                    WHERE c.contype = 'f' AND t.relnamespace = 'public'::regnamespace)")
                              .arg(columns.arg("conkey", "conrelid"), columns.arg("confkey", "confrelid"),
                                   rule.arg("del"), rule.arg("upd")),
                          QStringLiteral(R"(SELECT c.relname || coalesce('.' || a.attname, '') || ': ' ||
                    d.description FROM pg_description d JOIN pg_class c ON c.oid = d.objoid LEFT JOIN pg_attribute a
                    ON a.attrelid = c.oid AND a.attnum = d.objsubid AND d.objsubid > 0 WHERE d.classoid =
                    'pg_class'::regclass AND c.relnamespace = 'public'::regnamespace AND c.relkind IN ('r', 'p'))")};
    Catalogue catalogue;
    catalogue.tables = Sandbox::column(connection, queries[0]);
    for (const QStringList& key : Sandbox::rows(connection, queries[1]))
        catalogue.keys.append({key[0], key[1], key[2], key[3]});
    for (const QStringList& column : Sandbox::rows(connection, queries[2]))
        catalogue.columns.append({column[0], column[1], column[2] == QLatin1String("1"),
                                  column[3] == QLatin1String("1"),
                                  column[4] == QLatin1String("NULL") ? QString() : column[4]});
    for (const QStringList& key : Sandbox::rows(connection, more[0]))
        catalogue.foreignKeys.append({key[0], key[1], key[2]});
    catalogue.comments = Sandbox::column(connection, more[1]);
    catalogue.comments.sort();
    return catalogue;
}

TableList* Server::list() const
{
    return isMySQL() ? form().List1 : form().List2;
}

QPushButton* Server::sendButton() const
{
    return isMySQL() ? form().PushButton3 : form().PushButton4;
}

QPushButton* Server::deleteButton() const
{
    return isMySQL() ? form().PushButton1 : form().PushButton5;
}

QPushButton* Server::renameButton() const
{
    return isMySQL() ? form().PushButton6 : form().PushButton7;
}

QPushButton* Server::deselectAllButton() const
{
    return isMySQL() ? form().PushButton11 : form().PushButton9;
}

QString Server::procedure(const QPushButton* button)
{
    return button->objectName() + QStringLiteral("_Click");
}

QString Server::report(const QPushButton* button, int line)
{
    return QStringLiteral("report Form2.%1 %2").arg(procedure(button)).arg(line);
}

void Server::send(const QStringList& tables) const
{
    select(list(), tables);
    sendButton()->click();
}

void Server::deleteTables(const QStringList& tables) const
{
    select(list(), tables);
    deleteButton()->click();
}

GlobalSetting::GlobalSetting(const Server& server, const QString& name, const QString& value,
                             bool forNewSessions)
    : m_name(name), m_undo(server.set(name, value, forNewSessions))
{}

GlobalSetting::~GlobalSetting()
{
    try {
        m_undo();
    } catch (const std::exception& error) {
        qWarning("giving back %s: %s", qPrintable(m_name), error.what());
    }
}

void ServerCase::perServer()
{
    QTest::addColumn<const Server*>("server");
    QTest::newRow("MySQL") << &Server::mySQL();
    QTest::newRow("PostgreSQL") << &Server::postgreSQL();
}

void ServerCase::directions()
{
    QTest::addColumn<const Server*>("server");
    QTest::newRow("to PostgreSQL") << &Server::mySQL();
    QTest::newRow("to MySQL") << &Server::postgreSQL();
}

void ServerCase::begin()
{
    m_program.emplace();
    Sandbox::dropAllTables();
    m_my = Server::mySQL().connect();
    m_pg = Server::postgreSQL().connect();
}

void ServerCase::end()
{
    m_my.reset();
    m_pg.reset();
    m_program.reset();
}

const Server& ServerCase::server()
{
    QFETCH(const Server*, server);
    return *server;
}
