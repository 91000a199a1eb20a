// "Next >" against the sandbox servers: both catalogues read into the table window,
// "< Back" and "Next >" again, an unreachable server and a failing catalogue.

#include "app/Settings.h"
#include "tests/support/Servers.h"

class TestTablesCatalogue : public ServerCase
{
    Q_OBJECT
private slots:

    void bothCataloguesListedInOrder()
    {
        Server::mySQL().createTables(
            {"beta", "Alpha", "gamma table", "Delta`q", "epsilon\"q", "zeta'q", "naïve"});
        Server::postgreSQL().createTables(
            {"Beta", "alpha", "gamma table", "delta\"q", "eps`q", "zeta'q", "naïve"});
        Form2& form = openTableWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QVERIFY(!Windows::form1().isVisible());
        QS_VERIFY_NO_BOXES();

        QCOMPARE(names(form.List1),
                 QStringList({"Alpha", "beta", "Delta`q", "epsilon\"q", "gamma table", "naïve", "zeta'q"}));
        const QStringList listed = names(form.List2);
        const QStringList user{"alpha", "Beta", "delta\"q", "eps`q", "gamma table", "naïve", "zeta'q"};
        QStringList listedUser = listed;
        listedUser.removeIf([&](const QString& name) { return !user.contains(name); });
        QCOMPARE(listedUser, user);
        QVERIFY(listed.contains(QStringLiteral("pg_class")) &&
                listed.contains(QStringLiteral("pg_statistic")));
        for (qsizetype i = 1; i < listed.size(); ++i)
            QVERIFY2(QString::compare(listed[i - 1], listed[i], Qt::CaseInsensitive) <= 0,
                     qPrintable(listed[i]));
        // Nothing is current until the user picks an item, even with the window active.
        QCOMPARE(form.List1->currentRow(), -1);
        QCOMPARE(form.List2->currentRow(), -1);
    }

    void backAndNextReadTheCataloguesAgain()
    {
        Server::mySQL().createTables({"m1", "m2"});
        Server::postgreSQL().createTables({"p1"});
        Form2& form = openTableWindow();
        select(form.List2, {"p1"});
        QTest::mouseClick(form.PushButton2, Qt::LeftButton);
        QVERIFY(Windows::form1().isVisible() && !form.isVisible());

        Sandbox::exec(*Sandbox::mySQL(), QStringLiteral("DROP TABLE m1, m2"));
        Server::postgreSQL().createTables({"p2"});
        QTest::mouseClick(Windows::form1().PushButton2, Qt::LeftButton);
        QVERIFY(form.isVisible() && !Windows::form1().isVisible());
        QVERIFY(names(form.List1).isEmpty());
        QCOMPARE(names(form.List2).count(QStringLiteral("p1")), 1);
        QCOMPARE(names(form.List2).count(QStringLiteral("p2")), 1);
        QCOMPARE(names(form.List2).size(),
                 Sandbox::column(*Sandbox::postgreSQL(), QStringLiteral("select tablename from pg_tables"))
                     .size());
        QVERIFY(selectedNames(form.List2).isEmpty());
        QCOMPARE(form.List2->currentRow(), -1);
        QS_VERIFY_NO_BOXES();
    }

    void unreachablePostgreSQLStopsQuietly()
    {
        Form1& connection = openConnectionWindow();
        connection.show();
        const int attempts = Sandbox::mySQLConnections();
        QTest::mouseClick(connection.PushButton2, Qt::LeftButton);
        // Our own connection that reads the count is the only one made.
        QCOMPARE(Sandbox::mySQLConnections(), attempts + 1);
        QS_VERIFY_NO_BOXES();
        QVERIFY(connection.isVisible());
        QVERIFY(!Windows::form2Exists() || !Windows::form2().isVisible());
        QCOMPARE(connection.pointer().value(), 0);
    }

    // The PostgreSQL catalogue fails once both checks passed: a table named pg_tables
    // that the database's search path finds before the system view.
    void failingCatalogueReportedByNext()
    {
        Server::mySQL().createTables({"m1"});
        Form2& form = openTableWindow();
        const QStringList before = names(form.List2);
        QTest::mouseClick(form.PushButton2, Qt::LeftButton);

        Server::mySQL().createTables({"m2"});
        auto pg = Sandbox::postgreSQL();
        const QString database = Sandbox::env("QS_PG_DATABASE");
        Sandbox::exec(*pg, QStringLiteral("CREATE TABLE public.pg_tables (x int)"));
        Sandbox::exec(*pg,
                      QStringLiteral("ALTER DATABASE %1 SET search_path = public, pg_catalog").arg(database));
        QTest::mouseClick(Windows::form1().PushButton2, Qt::LeftButton);
        Sandbox::exec(*pg, QStringLiteral("ALTER DATABASE %1 RESET search_path").arg(database));

        QCOMPARE(shownBoxes(), QStringList({"report Form1.PushButton2_Click 108"}));
        QVERIFY(MessageBox::history().first().text.contains(
            QStringLiteral("\r\nin Tablewright2021/08/31.Form1.PushButton2_Click at line 108\r\r")));
        QCOMPARE(names(form.List1), QStringList({"m1", "m2"}));
        QCOMPARE(names(form.List2), before);
        QVERIFY(form.isVisible() && !Windows::form1().isVisible());
    }
};

QTEST_MAIN(TestTablesCatalogue)
#include "test_tables_catalogue.moc"
