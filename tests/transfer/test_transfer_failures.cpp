// A failed step of a copy never leaves data wrong or a list untrue: a table that cannot be
// dropped or created gets no rows, a source that cannot be read leaves its target as it
// was, a refused row is that row's loss alone, and a failure that would fail every row
// after it ends its table with one report.

#include "tests/transfer/TransferFixture.h"

class TransferFailuresTest : public ServerCase
{
    Q_OBJECT
private slots:
    void overwriteOfATableTheServerKeeps_data() { directions(); }
    void overwriteOfATableTheServerKeeps()
    {
        // The user says Yes, but the server refuses the DROP: a view depends on the
        // PostgreSQL table, a foreign key refers to the MySQL one.
        numbers(QStringLiteral("kept"), 3);
        if (toPostgreSQL()) {
            Sandbox::exec(target(), QStringLiteral("CREATE TABLE kept (id numeric, label text)"));
            Sandbox::exec(target(), QStringLiteral("CREATE VIEW kept_view AS SELECT * FROM kept"));
        } else {
            Sandbox::exec(target(),
                          QStringLiteral("CREATE TABLE kept (id BIGINT PRIMARY KEY, label LONGTEXT)"));
            Sandbox::exec(
                target(),
                QStringLiteral("CREATE TABLE child (kid BIGINT, FOREIGN KEY (kid) REFERENCES kept (id))"));
        }
        Sandbox::exec(target(), QStringLiteral("INSERT INTO kept VALUES (1, 'old')"));
        openTableWindow();
        MessageBox::setNextAnswer(MessageBox::Yes);
        send({QStringLiteral("kept")});

        QS_VERIFY_ONE_REPORT_ENDING(
            reportTail(procedure(), 144, QStringLiteral("DROP TABLE ") + server().other().quoted("kept")));
        QCOMPARE(Sandbox::rows(target(), QStringLiteral("SELECT id, label FROM kept")),
                 (QList<QStringList>{{"1", "old"}}));
        QCOMPARE(targetList()->findItems(QStringLiteral("kept"), Qt::MatchExactly).size(), 1);
    }

    void aFailedCreateIsReportedOnce()
    {
        // MySQL cannot make either table: one without columns (its rows have no values), one
        // with more columns than InnoDB takes. One report each, none per row.
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE no_columns ()"));
        Sandbox::exec(*m_pg, QStringLiteral("INSERT INTO no_columns DEFAULT VALUES"));
        Sandbox::exec(*m_pg, QStringLiteral("INSERT INTO no_columns DEFAULT VALUES"));
        QStringList columns;
        for (int c = 0; c < 1100; ++c)
            columns << QStringLiteral("c%1 int").arg(c);
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE wide (%1)").arg(columns.join(QLatin1Char(','))));
        Sandbox::exec(*m_pg, QStringLiteral("INSERT INTO wide (c0) SELECT generate_series(1, 5)"));
        openTableWindow();
        Server::postgreSQL().send({QStringLiteral("no_columns"), QStringLiteral("wide")});

        const QStringList shown = reports();
        QCOMPARE(shown.size(), 2);
        for (const QString& report : shown)
            QVERIFY2(report.contains(QStringLiteral(" at line 210\r\r")), qPrintable(report.left(300)));
        QCOMPARE(Sandbox::column(*m_my, QStringLiteral("SHOW TABLES")), QStringList());
        QCOMPARE(items(Windows::form2().List1), QStringList());
    }

    void anUnreadableSourceKeepsItsTarget_data() { directions(); }
    void anUnreadableSourceKeepsItsTarget()
    {
        // Three tables selected, the middle one unreadable: a MySQL view over a table that is
        // gone, a PostgreSQL table the program's account may not read. Its target, listed and
        // overwritten with Yes, stays as it was; the tables around it are copied.
        numbers(QStringLiteral("a"), 2);
        numbers(QStringLiteral("c"), 2);
        if (toPostgreSQL()) {
            Sandbox::exec(source(), QStringLiteral("CREATE TABLE gone (id INT)"));
            Sandbox::exec(source(), QStringLiteral("CREATE VIEW b AS SELECT * FROM gone"));
            Sandbox::exec(source(), QStringLiteral("DROP TABLE gone"));
        } else {
            auto admin = Sandbox::postgreSQLAdmin();
            Sandbox::exec(*admin, QStringLiteral("CREATE TABLE b (id int)"));
            Sandbox::exec(*admin, QStringLiteral("INSERT INTO b VALUES (1)"));
        }
        Sandbox::exec(target(), QStringLiteral("CREATE TABLE b (old INT)"));
        Sandbox::exec(target(), QStringLiteral("INSERT INTO b VALUES (7)"));
        openTableWindow();
        MessageBox::setNextAnswer(MessageBox::Yes);
        send({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});

        QS_VERIFY_ONE_REPORT_ENDING(
            reportTail(procedure(), 148, QStringLiteral("SELECT * FROM ") + server().quoted("b")));
        QCOMPARE(Sandbox::column(target(), QStringLiteral("SELECT old FROM b")), QStringList{"7"});
        QCOMPARE(
            Sandbox::column(target(), QStringLiteral("SELECT label FROM a UNION ALL SELECT label FROM c")),
            (QStringList{"row 1", "row 2", "row 1", "row 2"}));
        QCOMPARE(items(targetList()), (QStringList{"a", "b", "c"}));
    }

    // Rows of two thousand refused by the target among the others in their batch: a CHECK
    // that an event trigger adds to each new PostgreSQL table, a number past DECIMAL(65,30)
    // for MySQL (the middle row also carries a megabyte of text, which the report leaves out).
    // Each refused row is its own loss, the first reported with its own INSERT.
    void aRowRefusedInItsBatchIsItsOwnLoss_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<QString>("refusedIds"); // which ids, as an SQL condition
        QTest::addColumn<int>("first");
        for (const Server* from : {&Server::mySQL(), &Server::postgreSQL()}) {
            const QString to = from->isMySQL() ? QStringLiteral("to PostgreSQL") : QStringLiteral("to MySQL");
            QTest::newRow(qPrintable(to + QStringLiteral(", the middle row"))) << from << "id = 777" << 777;
            QTest::newRow(qPrintable(to + QStringLiteral(", the first row"))) << from << "id = 1" << 1;
            QTest::newRow(qPrintable(to + QStringLiteral(", the last row"))) << from << "id = 2000" << 2000;
            QTest::newRow(qPrintable(to + QStringLiteral(", every second row"))) << from << "id % 2 = 0" << 2;
        }
    }
    void aRowRefusedInItsBatchIsItsOwnLoss()
    {
        QFETCH(QString, refusedIds);
        QFETCH(int, first);
        constexpr int kRows = 2000;
        std::unique_ptr<Connection> admin;
        QString refused;
        if (toPostgreSQL()) {
            numbers(QStringLiteral("piped"), kRows);
            admin = Sandbox::postgreSQLAdmin();
            Sandbox::exec(*admin, QStringLiteral(R"(CREATE FUNCTION refuse_rows() RETURNS event_trigger
                LANGUAGE plpgsql AS $$ BEGIN
                  IF EXISTS (SELECT 1 FROM pg_event_trigger_ddl_commands() WHERE object_identity = 'public.piped')
                  THEN ALTER TABLE public.piped ADD CHECK (NOT (%1)); END IF; END $$)")
                                      .arg(refusedIds));
            Sandbox::exec(*admin,
                          QStringLiteral("CREATE EVENT TRIGGER refuse_rows ON ddl_command_end WHEN TAG "
                                         "IN ('CREATE TABLE') EXECUTE FUNCTION refuse_rows()"));
            refused = QStringLiteral("INSERT INTO \"piped\" VALUES(%1, 'row %1')").arg(first);
        } else {
            Sandbox::exec(source(),
                          QStringLiteral("CREATE TABLE piped AS SELECT g AS id, g::numeric AS amount, "
                                         "'row ' || g AS label FROM generate_series(1, %1) g")
                              .arg(kRows));
            Sandbox::exec(source(),
                          QStringLiteral("UPDATE piped SET amount = 1e40 WHERE %1").arg(refusedIds));
            Sandbox::exec(source(),
                          QStringLiteral("UPDATE piped SET label = repeat('x', 1048576) WHERE id = 777 "
                                         "AND %1")
                              .arg(refusedIds));
            refused = QStringLiteral(
                          "INSERT INTO `piped` VALUES('%1', '10000000000000000000000000000000000000000', "
                          "'%2")
                          .arg(first)
                          .arg(first == 777 ? QStringLiteral("xxxx") : QStringLiteral("row %1").arg(first));
        }
        const QString kept = Sandbox::scalar(
            source(), QStringLiteral("SELECT CONCAT(COUNT(*), ':', SUM(id)) FROM piped WHERE NOT (%1)")
                          .arg(refusedIds));
        openTableWindow();
        send({QStringLiteral("piped")});
        if (admin)
            Sandbox::exec(*admin, QStringLiteral("DROP EVENT TRIGGER refuse_rows"));

        // The first refused row is reported; the others of its kind are counted in one more box.
        const QStringList shown = reports();
        QCOMPARE(shown.size(), refusedIds.startsWith(QLatin1String("id =")) ? 1 : 2);
        const QString& report = shown.constFirst();
        const QString tail = report.mid(report.indexOf(QStringLiteral("\r\n")));
        QVERIFY2(tail.startsWith(reportTail(procedure(), line(270, 256), refused)),
                 qPrintable(tail.left(400)));
        if (!toPostgreSQL() && first == 777)
            QVERIFY2(tail.endsWith(QStringLiteral("… (1046658 more characters)")),
                     qPrintable(tail.right(100)));
        // Every other row, and nothing left on its way: a new connection sees them all.
        auto fresh = toPostgreSQL() ? Sandbox::postgreSQL() : Sandbox::mySQL();
        QCOMPARE(Sandbox::scalar(*fresh, QStringLiteral("SELECT CONCAT(COUNT(*), ':', SUM(id)) FROM piped")),
                 kept);
    }

    void aTargetThatGoesAwayEndsItsTable_data() { directions(); }
    void aTargetThatGoesAwayEndsItsTable()
    {
        // Dropped from outside in the middle of its rows: one report, not one per row left;
        // the list does not show it, and the next selected table is copied.
        constexpr int kRows = 100000;
        numbers(QStringLiteral("z_big"), kRows);
        numbers(QStringLiteral("a_small"), 3);
        openTableWindow();
        const Server& to = server().other();
        std::thread dropper = whenHolding(to, QStringLiteral("z_big"), 200, [&to] {
            to.connect()->Execute(QStringLiteral("DROP TABLE z_big"));
            return true;
        });
        send({QStringLiteral("a_small"), QStringLiteral("z_big")});
        dropper.join();

        // The rows already on their way when the table went fail the same way: they are
        // counted in one more box, not shown one by one.
        const QStringList shown = reports();
        QVERIFY2(shown.size() == 1 || shown.size() == 2, qPrintable(shown.join(QStringLiteral("\n----\n"))));
        QVERIFY2(shown.constFirst().contains(QStringLiteral(" at line %1\r\r").arg(line(270, 256))),
                 qPrintable(shown.constFirst().left(300)));
        if (shown.size() == 2)
            QVERIFY2(shown.constLast().startsWith(QStringLiteral("These failures happened more than once")) &&
                         shown.constLast().contains(QStringLiteral("\r\nz_big: ")),
                     qPrintable(shown.constLast()));
        QCOMPARE(items(targetList()), QStringList{"a_small"});
        QCOMPARE(Sandbox::scalar(target(), QStringLiteral("SELECT COUNT(*) FROM a_small")),
                 QStringLiteral("3"));
    }

    void aRowTooLargeForTheServerIsNotSent()
    {
        // A row whose statement is larger than the server takes would cost the connection and
        // every row after it: it is reported and left out, and the copy goes on.
        GlobalSetting limit(Server::mySQL(), QStringLiteral("max_allowed_packet"), QStringLiteral("1048576"));
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE photos (id int, picture bytea)"));
        Sandbox::exec(*m_pg, QStringLiteral("INSERT INTO photos VALUES (1, '\\x01'), "
                                            "(2, decode(repeat('ab', 700000), 'hex')), (3, '\\x03')"));
        openTableWindow();
        Server::postgreSQL().send({QStringLiteral("photos")});

        const QStringList shown = reports();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(
            shown.constFirst().startsWith(QStringLiteral("The statement is 1400037 bytes long, more than the "
                                                         "1048574 bytes the MySQL server takes")),
            qPrintable(shown.constFirst().left(300)));
        QVERIFY(shown.constFirst().contains(QStringLiteral(" at line 256\r\r")));
        QCOMPARE(Sandbox::column(*Sandbox::mySQL(),
                                 QStringLiteral("SELECT CONCAT(id, ':', HEX(picture)) FROM photos "
                                                "ORDER BY id")),
                 (QStringList{"1:01", "3:03"}));
    }

    void manyRefusedRowsAreOneReportAndOneList()
    {
        // "infinity", PostgreSQL's "no end date", has no MySQL value: 300 rows of one table and
        // 3 of another are refused in one click. The first refused row is reported with its
        // row of the table; the rest are counted, and listed per table when the click ends.
        Sandbox::exec(
            *m_pg, QStringLiteral("CREATE TABLE many_ends AS SELECT g AS id, CASE WHEN g % 10 IN (3, 4, 5) "
                                  "THEN 'infinity'::timestamp ELSE timestamp '2021-01-01' + g * interval "
                                  "'1 hour' END AS ends FROM generate_series(1, 1000) g"));
        Sandbox::exec(*m_pg,
                      QStringLiteral("CREATE TABLE few_ends AS SELECT g AS id, CASE WHEN g IN (7, 8, 9) THEN "
                                     "'infinity'::timestamp ELSE timestamp '2021-01-01' END AS ends FROM "
                                     "generate_series(1, 10) g"));
        openTableWindow();
        // The list is worked from the bottom up: many_ends first.
        Server::postgreSQL().send({QStringLiteral("few_ends"), QStringLiteral("many_ends")});

        const QStringList shown = reports();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown.constFirst().startsWith(QStringLiteral("Incorrect datetime value: 'infinity'")) &&
                     shown.constFirst().contains(QStringLiteral(" at row 3\r\nin Tablewright")),
                 qPrintable(shown.constFirst().left(300)));
        const QString& list = shown.constLast();
        QVERIFY2(list.startsWith(QStringLiteral("These failures happened more than once")), qPrintable(list));
        QVERIFY2(
            list.contains(QStringLiteral("\r\nAt line 256, 303 times:\r\nmany_ends: 300 times, the first: "
                                         "Incorrect datetime value: 'infinity'")),
            qPrintable(list));
        QVERIFY2(
            list.contains(QStringLiteral("\r\nsql: INSERT INTO `many_ends` VALUES('3', 'infinity')\r\n")),
            qPrintable(list));
        QVERIFY2(
            list.contains(QStringLiteral("\r\nfew_ends: 3 times, the first: Incorrect datetime value")) &&
                list.contains(
                    QStringLiteral(" at row 7\r\nsql: INSERT INTO `few_ends` VALUES('7', 'infinity')")),
            qPrintable(list));
        // Behind "Show Details...": every refused row, by its table and row, with its statement.
        const QString details = MessageBox::history().constLast().details;
        QVERIFY2(details.startsWith(QStringLiteral("303 refused rows, each with")),
                 qPrintable(details.left(300)));
        QCOMPARE(details.count(QStringLiteral("\r\nmany_ends: Incorrect datetime value")), 300);
        for (const int row : {3, 4, 5, 13, 995})
            QVERIFY2(details.contains(
                         QStringLiteral("`ends` at row %1\r\nsql: INSERT INTO `many_ends` VALUES('%1', "
                                        "'infinity')\r\n")
                             .arg(row)),
                     qPrintable(details.left(600)));
        QCOMPARE(Sandbox::scalar(*m_my, QStringLiteral("SELECT COUNT(*) FROM many_ends")),
                 QStringLiteral("700"));
        QCOMPARE(Sandbox::scalar(*m_my, QStringLiteral("SELECT COUNT(*) FROM few_ends")),
                 QStringLiteral("7"));
        QCOMPARE(items(Windows::form2().List1), (QStringList{"few_ends", "many_ends"}));
        const QString summary = Windows::form2().summaryLine()->text();
        QVERIFY2(summary.startsWith(
                     QStringLiteral("Done: 2 of 2 tables copied: 707 rows written, 303 refused; in ")),
                 qPrintable(summary));
    }

private:
    int line(int toPostgreSQLLine, int toMySQLLine) const
    {
        return toPostgreSQL() ? toPostgreSQLLine : toMySQLLine;
    }
    // A source table of the numbers 1..rows, with a label.
    void numbers(const QString& table, int rows)
    {
        Sandbox::exec(source(), server().numbersTable(table, rows));
    }
};

QTEST_MAIN(TransferFailuresTest)
#include "test_transfer_failures.moc"
