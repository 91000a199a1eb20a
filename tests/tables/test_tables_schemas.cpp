// Tables of one name in several schemas: each item of the PostgreSQL list sends, drops and
// renames the table it shows, and after each step the list shows what the server holds.

#include "tests/support/Servers.h"

namespace {
QString quoted(const QString& name)
{
    return Server::postgreSQL().quoted(name);
}

// The test account's schema, first on the search path as "$user".
QString userSchema()
{
    return Sandbox::env("QS_PG_USER");
}

// dup in public, in the account's schema and in other (off the search path); a table off
// the path whose schema and name hold dots; public.seen, which a view "$user".seen shadows.
// Every table holds one row naming its schema.
void createTables()
{
    auto pg = Sandbox::postgreSQL();
    for (const QString& schema : {userSchema(), QStringLiteral("other"), QStringLiteral("far.off")})
        Sandbox::exec(*pg, QStringLiteral("CREATE SCHEMA ") + quoted(schema));
    const QList<QStringList> tables{
        {"public", "dup"}, {userSchema(), "dup"}, {"other", "dup"}, {"far.off", "a.b"}, {"public", "seen"}};
    for (const QStringList& table : tables) {
        const QString name = quoted(table[0]) + QLatin1Char('.') + quoted(table[1]);
        Sandbox::exec(*pg, QStringLiteral("CREATE TABLE %1 (origin text)").arg(name));
        Sandbox::exec(*pg, QStringLiteral("INSERT INTO %1 VALUES ('%2')").arg(name, table[0]));
    }
    Sandbox::exec(
        *pg,
        QStringLiteral("CREATE VIEW %1.seen AS SELECT 'view'::text AS origin").arg(quoted(userSchema())));
}

// The items of the tables the test made, sorted.
QStringList userItems(const TableList* list)
{
    QStringList texts = items(list);
    texts.sort();
    return texts;
}

// "schema|name" of every table the server holds, sorted.
QStringList heldTables()
{
    QStringList tables = Sandbox::column(
        *Sandbox::postgreSQL(), QStringLiteral("SELECT schemaname || '|' || tablename FROM pg_tables"));
    tables.sort();
    return tables;
}

// Every table of the database is listed once, and under the name that reaches it: its bare
// name where a query by that name reads the table's own row, else schema.name. Every table
// the tests make holds a row.
void verifyListShowsServer(const TableList* list)
{
    QStringList listed;
    for (int i = 0; i < list->count(); ++i) {
        const ListedTable table = TableList::tableOf(*list->item(i));
        listed.append(table.schema + QLatin1Char('|') + table.name);
    }
    listed.sort();
    QCOMPARE(listed, heldTables());

    auto pg = Sandbox::postgreSQL();
    for (int i = 0; i < list->count(); ++i) {
        const ListedTable table = TableList::tableOf(*list->item(i));
        const QString qualified = table.schema + QLatin1Char('.') + table.name;
        if (isCatalogue(table)) {
            // pg_catalog comes first on every search path; information_schema is on none.
            QCOMPARE(list->item(i)->text(),
                     table.schema == QLatin1String("pg_catalog") ? table.name : qualified);
            continue;
        }
        // Which table the row comes from, by either name; nothing where the name finds no
        // table (none, a view, a schema the account may not use).
        auto rowSource = [&](const QString& name) {
            try {
                return Sandbox::scalar(*pg, QStringLiteral("SELECT tableoid FROM %1 LIMIT 1").arg(name));
            } catch (const Error&) {
                return QString();
            }
        };
        const QString viaBareName = rowSource(quoted(table.name));
        const bool reached =
            !viaBareName.isEmpty() &&
            viaBareName == rowSource(quoted(table.schema) + QLatin1Char('.') + quoted(table.name));
        QCOMPARE(list->item(i)->text(), reached ? table.name : qualified);
    }
}

QString originOf(Connection& connection, const QString& table)
{
    return Sandbox::scalar(connection, QStringLiteral("SELECT origin FROM ") + table);
}
} // namespace

class TestTablesSchemas : public ServerCase
{
    Q_OBJECT
    QStringList m_initial;

    // The rows of the cases that act on one item: its text, the table it stands for, and
    // the items of the test's tables once it is deleted, or renamed to fresh.
    static void items()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("afterDelete");
        QTest::addColumn<QStringList>("afterRename");
        auto row = [](const char* tag, const QString& item, const QString& schema, const QString& name,
                      const QStringList& afterDelete, const QStringList& afterRename) {
            QTest::newRow(tag) << item << schema << name << afterDelete << afterRename;
        };
        row("dup, reached", "dup", userSchema(), "dup", {"dup", "far.off.a.b", "other.dup", "public.seen"},
            {"dup", "far.off.a.b", "fresh", "other.dup", "public.seen"});
        row("public.dup", "public.dup", "public", "dup", {"dup", "far.off.a.b", "other.dup", "public.seen"},
            {"dup", "far.off.a.b", "fresh", "other.dup", "public.seen"});
        row("other.dup", "other.dup", "other", "dup", {"dup", "far.off.a.b", "public.dup", "public.seen"},
            {"dup", "far.off.a.b", "other.fresh", "public.dup", "public.seen"});
        row("dots", "far.off.a.b", "far.off", "a.b", {"dup", "other.dup", "public.dup", "public.seen"},
            {"dup", "far.off.fresh", "other.dup", "public.dup", "public.seen"});
        row("shadowed by a view", "public.seen", "public", "seen",
            {"dup", "far.off.a.b", "other.dup", "public.dup"},
            {"dup", "far.off.a.b", "fresh", "other.dup", "public.dup"});
    }

private slots:
    void init()
    {
        begin();
        createTables();
        m_initial = heldTables();
    }
    void cleanup()
    {
        end();
        Sandbox::dropAllTables();
    }

    void everyTableListedByTheNameThatReachesIt()
    {
        Form2& form = openTableWindow();
        QS_VERIFY_NO_BOXES();
        QCOMPARE(userItems(form.List2),
                 (QStringList{"dup", "far.off.a.b", "other.dup", "public.dup", "public.seen"}));
        verifyListShowsServer(form.List2);
    }

    // The table keeps its own name on MySQL, whatever its item reads.
    void eachItemSendsItsOwnTable_data() { items(); }
    void eachItemSendsItsOwnTable()
    {
        QFETCH(QString, item);
        QFETCH(QString, schema);
        QFETCH(QString, name);
        Form2& form = openTableWindow();
        const QStringList before = names(form.List2);
        select(form.List2, {item});
        form.PushButton4_Click();
        QS_VERIFY_NO_BOXES();
        QCOMPARE(originOf(*Sandbox::mySQL(), Server::mySQL().quoted(name)), schema);
        QCOMPARE(names(form.List1), QStringList{name});
        QCOMPARE(names(form.List2), before);
    }

    void eachItemDeletesItsOwnTable_data() { items(); }
    void eachItemDeletesItsOwnTable()
    {
        QFETCH(QString, item);
        QFETCH(QString, schema);
        QFETCH(QString, name);
        QFETCH(QStringList, afterDelete);
        Form2& form = openTableWindow();
        select(form.List2, {item});
        form.PushButton5_Click();
        QS_VERIFY_NO_BOXES();
        QStringList expected = m_initial;
        expected.removeOne(schema + QLatin1Char('|') + name);
        QCOMPARE(heldTables(), expected);
        QCOMPARE(userItems(form.List2), afterDelete);
        verifyListShowsServer(form.List2);
    }

    // The table stays in its schema; the prompt shows the item and proposes the table's
    // own name.
    void eachItemRenamesItsOwnTable_data() { items(); }
    void eachItemRenamesItsOwnTable()
    {
        QFETCH(QString, item);
        QFETCH(QString, schema);
        QFETCH(QString, name);
        QFETCH(QStringList, afterRename);
        Form2& form = openTableWindow();
        select(form.List2, {item});
        MessageBox::setNextInput(QStringLiteral("fresh"));
        form.PushButton7_Click();
        QCOMPARE(shownBoxes(), QStringList{QStringLiteral("Enter new name of %1:").arg(item)});
        QCOMPARE(MessageBox::history().constFirst().proposed, name);
        QStringList expected = m_initial;
        expected.replace(expected.indexOf(schema + QLatin1Char('|') + name),
                         schema + QStringLiteral("|fresh"));
        expected.sort();
        QCOMPARE(heldTables(), expected);
        QCOMPARE(originOf(*Sandbox::postgreSQL(), quoted(schema) + QStringLiteral(".fresh")), schema);
        QCOMPARE(userItems(form.List2), afterRename);
        verifyListShowsServer(form.List2);
    }

    // Walked from the bottom up: public.dup, other.dup, then the table "dup" reaches. The
    // MySQL list shows dup once the first has arrived, so the others ask by that name.
    void sendingEveryDupAsksByTheBareName()
    {
        Form2& form = openTableWindow();
        select(form.List2, {"dup", "other.dup", "public.dup"});
        MessageBox::setNextAnswer(MessageBox::Yes);
        MessageBox::setNextAnswer(MessageBox::Yes);
        form.PushButton4_Click();
        QCOMPARE(shownBoxes(),
                 (QStringList{"Would you like to overwrite dup?", "Would you like to overwrite dup?"}));
        QCOMPARE(originOf(*Sandbox::mySQL(), QStringLiteral("dup")), userSchema());
        QCOMPARE(names(form.List1), QStringList{"dup"});
    }

    void deletingEveryDupDropsThemAll()
    {
        Form2& form = openTableWindow();
        select(form.List2, {"dup", "other.dup", "public.dup"});
        form.PushButton5_Click();
        QS_VERIFY_NO_BOXES();
        QCOMPARE(userItems(form.List2), (QStringList{"far.off.a.b", "public.seen"}));
        verifyListShowsServer(form.List2);
    }

    // A MySQL dup sent over with Yes replaces the table "dup" reaches, and the other two
    // stay listed. Once that table is deleted, "dup" reaches public.dup: the next send
    // replaces it, and the new table lands in the account's schema.
    void overwriteFromMySQLKeepsEveryItem()
    {
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, QStringLiteral("CREATE TABLE dup (origin TEXT)"));
        Sandbox::exec(*my, QStringLiteral("INSERT INTO dup VALUES ('mysql')"));
        Form2& form = openTableWindow();
        auto pg = Sandbox::postgreSQL();
        const QString userDup = quoted(userSchema()) + QStringLiteral(".dup");
        auto sendDup = [&] {
            MessageBox::clearHistory();
            select(form.List1, {"dup"});
            MessageBox::setNextAnswer(MessageBox::Yes);
            form.PushButton3_Click();
            QCOMPARE(shownBoxes(), QStringList{"Would you like to overwrite dup?"});
            QCOMPARE(originOf(*pg, userDup), QStringLiteral("mysql"));
            verifyListShowsServer(form.List2);
        };

        sendDup();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(heldTables(), m_initial);
        QCOMPARE(userItems(form.List2),
                 (QStringList{"dup", "far.off.a.b", "other.dup", "public.dup", "public.seen"}));

        select(form.List2, {"dup"});
        form.PushButton5_Click();
        QCOMPARE(userItems(form.List2), (QStringList{"dup", "far.off.a.b", "other.dup", "public.seen"}));
        sendDup();
        if (QTest::currentTestFailed())
            return;
        QStringList expected = m_initial;
        expected.removeOne(QStringLiteral("public|dup"));
        QCOMPARE(heldTables(), expected);
        QCOMPARE(userItems(form.List2), (QStringList{"dup", "far.off.a.b", "other.dup", "public.seen"}));
    }

    // MySQL's table "other.dup" is not PostgreSQL's other.dup: nothing is asked or dropped,
    // and both are listed by that text.
    void aMySQLNameLikeAQualifiedOneReplacesNothing()
    {
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, QStringLiteral("CREATE TABLE `other.dup` (origin TEXT)"));
        Sandbox::exec(*my, QStringLiteral("INSERT INTO `other.dup` VALUES ('mysql')"));
        Form2& form = openTableWindow();
        select(form.List1, {"other.dup"});
        MessageBox::setNextAnswer(MessageBox::Yes);
        form.PushButton3_Click();
        QS_VERIFY_NO_BOXES();
        QCOMPARE(originOf(*Sandbox::postgreSQL(), QStringLiteral("other.dup")), QStringLiteral("other"));
        QCOMPARE(userItems(form.List2),
                 (QStringList{"dup", "far.off.a.b", "other.dup", "other.dup", "public.dup", "public.seen"}));
        verifyListShowsServer(form.List2);
    }

    // The account may not look into a schema: its table is listed all the same.
    void aSchemaTheAccountMayNotUseIsListed()
    {
        auto pg = Sandbox::postgreSQL();
        Sandbox::exec(*pg, QStringLiteral("CREATE SCHEMA locked"));
        Sandbox::exec(*pg, QStringLiteral("CREATE TABLE locked.dup (origin text)"));
        Sandbox::exec(*pg, QStringLiteral("INSERT INTO locked.dup VALUES ('locked')"));
        Sandbox::exec(*pg, QStringLiteral("REVOKE USAGE ON SCHEMA locked FROM ") + quoted(userSchema()));
        Form2& form = openTableWindow();
        QS_VERIFY_NO_BOXES();
        QCOMPARE(userItems(form.List2),
                 (QStringList{"dup", "far.off.a.b", "locked.dup", "other.dup", "public.dup", "public.seen"}));
        verifyListShowsServer(form.List2);
    }
};

QTEST_MAIN(TestTablesSchemas)
#include "test_tables_schemas.moc"
