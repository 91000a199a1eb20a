// Both send buttons of the table window, each scenario run in both directions and
// checked on what the target server holds and what the window shows afterwards.

#include "tests/transfer/TransferFixture.h"

class TransferCommandsTest : public ServerCase
{
    Q_OBJECT
private slots:
    void overwriteQuestion_data() { directions(); }
    void overwriteQuestion()
    {
        // Mixed case: the list must name the table as the target's catalogue lists it.
        Sandbox::exec(source(), QStringLiteral("CREATE TABLE %1 (id INTEGER)").arg(sourceName("Orders")));
        Sandbox::exec(source(), QStringLiteral("INSERT INTO %1 VALUES (1), (2)").arg(sourceName("Orders")));
        Sandbox::exec(target(), QStringLiteral("CREATE TABLE %1 (old TEXT)").arg(targetName("Orders")));
        Sandbox::exec(target(), QStringLiteral("INSERT INTO %1 VALUES ('kept')").arg(targetName("Orders")));
        openTableWindow();

        MessageBox::setNextAnswer(MessageBox::No);
        send({QStringLiteral("Orders")});
        QCOMPARE(MessageBox::history().size(), 1);
        const MessageBox::Shown question = MessageBox::history().constFirst();
        QCOMPARE(question.text, QStringLiteral("Would you like to overwrite Orders?"));
        QCOMPARE(question.title, QStringLiteral("Overwrite?"));
        QCOMPARE(question.buttons, MessageBox::YesNo);
        QCOMPARE(question.icon, MessageBox::NoIcon);
        QCOMPARE(Sandbox::column(target(), QStringLiteral("SELECT old FROM %1").arg(targetName("Orders"))),
                 QStringList{"kept"});
        QCOMPARE(items(targetList()), QStringList{"Orders"});

        MessageBox::clearHistory();
        MessageBox::setNextAnswer(MessageBox::Yes);
        send({QStringLiteral("Orders")});
        QCOMPARE(shownTexts(), QStringList{"Would you like to overwrite Orders?"});
        QCOMPARE(Sandbox::rows(target(),
                               QStringLiteral("SELECT id FROM %1 ORDER BY id").arg(targetName("Orders"))),
                 (QList<QStringList>{{"1"}, {"2"}}));
        QCOMPARE(items(targetList()), QStringList{"Orders"});
        QCOMPARE(server().other().tables(), QStringList{"Orders"});
    }

    void selectedTablesBottomUp_data() { directions(); }
    void selectedTablesBottomUp()
    {
        for (const QString name : {"a", "b", "c"}) {
            Sandbox::exec(source(), QStringLiteral("CREATE TABLE %1 (v VARCHAR(10))").arg(name));
            Sandbox::exec(source(), QStringLiteral("INSERT INTO %1 VALUES ('new %1')").arg(name));
            Sandbox::exec(target(), QStringLiteral("CREATE TABLE %1 (v TEXT)").arg(name));
            Sandbox::exec(target(), QStringLiteral("INSERT INTO %1 VALUES ('old %1')").arg(name));
        }
        openTableWindow();
        send({QStringLiteral("a"), QStringLiteral("c")});
        QCOMPARE(shownTexts(),
                 (QStringList{"Would you like to overwrite c?", "Would you like to overwrite a?"}));
        QCOMPARE(
            Sandbox::column(target(), QStringLiteral("SELECT v FROM a UNION ALL SELECT v FROM b UNION ALL "
                                                     "SELECT v FROM c")),
            (QStringList{"new a", "old b", "new c"}));
        QCOMPARE(items(targetList()), (QStringList{"a", "b", "c"}));
    }

    void emptyTable_data() { directions(); }
    void emptyTable()
    {
        Sandbox::exec(source(), QStringLiteral("CREATE TABLE nothing (id INTEGER, name TEXT)"));
        Form2& form = openTableWindow();
        form.ProgressBar1->setValue(37);
        send({QStringLiteral("nothing")});
        QS_VERIFY_NO_BOXES();
        QCOMPARE(Sandbox::column(
                     target(),
                     toPostgreSQL()
                         ? QStringLiteral("SELECT column_name || ' ' || data_type FROM "
                                          "information_schema.columns WHERE table_name = 'nothing' "
                                          "ORDER BY ordinal_position")
                         : QStringLiteral("SELECT CONCAT(COLUMN_NAME, ' ', COLUMN_TYPE) FROM "
                                          "information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND "
                                          "TABLE_NAME = 'nothing' ORDER BY ORDINAL_POSITION")),
                 toPostgreSQL() ? (QStringList{"id numeric", "name text"})
                                : (QStringList{"id bigint(20)", "name longtext"}));
        QCOMPARE(Sandbox::scalar(target(), QStringLiteral("SELECT COUNT(*) FROM nothing")),
                 QStringLiteral("0"));
        QCOMPARE(form.ProgressBar1->value(), 0);
        QCOMPARE(form.ProgressBar1->format(), QStringLiteral("Progress Bar"));
        QCOMPARE(items(targetList()), QStringList{"nothing"});
    }

    void refusedCreateGetsNoRows_data() { directions(); }
    void refusedCreateGetsNoRows()
    {
        Sandbox::exec(source(), QStringLiteral("CREATE TABLE people (id INTEGER, name VARCHAR(20))"));
        Sandbox::exec(source(), QStringLiteral("INSERT INTO people VALUES (1, 'Ann'), (2, NULL)"));
        openTableWindow();
        // Not listed, so nothing is asked or dropped.
        Sandbox::exec(target(), QStringLiteral("CREATE TABLE people (id INTEGER, name TEXT)"));
        Sandbox::exec(target(), QStringLiteral("INSERT INTO people VALUES (0, 'already there')"));
        send({QStringLiteral("people")});

        const QString create =
            toPostgreSQL()
                ? QStringLiteral(R"(CREATE TABLE "people"("id" NUMERIC,"name" TEXT))")
                : QStringLiteral(
                      "CREATE TABLE `people`(`id` BIGINT,`name` LONGTEXT) DEFAULT CHARSET=utf8mb4;");
        QS_VERIFY_ONE_REPORT_ENDING(reportTail(procedure(), toPostgreSQL() ? 200 : 210, create));
        // The rows would land on top of another table's: none are sent. The list now shows
        // the table the server holds, so the next send asks before overwriting it.
        QCOMPARE(Sandbox::rows(target(), QStringLiteral("SELECT id, name FROM people ORDER BY id")),
                 (QList<QStringList>{{"0", "already there"}}));
        QCOMPARE(items(targetList()), QStringList{"people"});
    }

    void failedRowIsReported_data() { directions(); }
    void failedRowIsReported()
    {
        // The middle row holds a value the target refuses: a date PostgreSQL does not have
        // (MySQL keeps it when told to), or more digits before the point than DECIMAL(65,30)
        // keeps (strict mode refuses the row instead of clipping the value).
        QString statement;
        if (toPostgreSQL()) {
            Sandbox::exec(source(), QStringLiteral(
                                        "SET SESSION sql_mode = CONCAT(@@sql_mode, ',ALLOW_INVALID_DATES')"));
            Sandbox::exec(source(), QStringLiteral("CREATE TABLE t (id INT, v DATE, name VARCHAR(20))"));
            Sandbox::exec(source(), QStringLiteral("INSERT INTO t VALUES (1, '2021-08-31', 'a'), "
                                                   "(2, '2021-02-30', 'O''Brien'), (3, NULL, '')"));
            statement = QStringLiteral(R"(INSERT INTO "t" VALUES(2, '2021-02-30', 'O''Brien'))");
        } else {
            Sandbox::exec(source(), QStringLiteral("CREATE TABLE t (id integer, v numeric, name text)"));
            Sandbox::exec(source(),
                          QStringLiteral("INSERT INTO t VALUES (1, 1.5, 'a'), (2, 1e40, 'O''Brien'), "
                                         "(3, NULL, '')"));
            statement =
                QStringLiteral("INSERT INTO `t` VALUES('2', '10000000000000000000000000000000000000000', "
                               "'O''Brien')");
        }
        openTableWindow();
        QList<int> progressAtReport;
        MessageBox::setObserver([&](const MessageBox::Shown&) {
            progressAtReport.append(Windows::form2().ProgressBar1->value());
        });
        send({QStringLiteral("t")});
        MessageBox::setObserver(nullptr);

        const QStringList shown = reports();
        QCOMPARE(shown.size(), 1);
        const QString& report = shown.constFirst();
        QVERIFY2(report.startsWith(toPostgreSQL()
                                       ? QStringLiteral("ERROR:  date/time field value out of range")
                                       : QStringLiteral("Out of range value for column 'v'")),
                 qPrintable(report));
        QCOMPARE(report.mid(report.indexOf(QStringLiteral("\r\n"))),
                 reportTail(procedure(), toPostgreSQL() ? 270 : 256, statement));
        QCOMPARE(progressAtReport, QList<int>{66});
        // The other rows arrive; the empty string stays an empty string.
        QCOMPARE(Sandbox::rows(target(), QStringLiteral("SELECT id, name FROM t ORDER BY id")),
                 (QList<QStringList>{{"1", "a"}, {"3", ""}}));
    }

    void failuresOfConnectionAndSource_data() { directions(); }
    void failuresOfConnectionAndSource()
    {
        Sandbox::exec(source(), QStringLiteral("CREATE TABLE a (v INTEGER)"));
        Sandbox::exec(source(), QStringLiteral("CREATE TABLE b (v INTEGER)"));
        Form2& form = openTableWindow();
        const QString otherSessions = QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = "
                                                     "current_database() AND pid <> pg_backend_pid()");

        // Both transfers open the MySQL connection second: one report, and the PostgreSQL
        // connection is closed again.
        Windows::form1().Text8->setText(QStringLiteral("not the password"));
        send({QStringLiteral("a"), QStringLiteral("b")});
        QS_VERIFY_ONE_REPORT_ENDING(reportTail(procedure(), toPostgreSQL() ? 124 : 126, QString()));
        QCOMPARE(form.pointer().value(), 0);
        QTRY_COMPARE(Sandbox::scalar(*m_pg, otherSessions), QStringLiteral("0"));

        // A listed table that is gone: its SELECT is reported with its text, and the copy
        // goes on with the next table.
        MessageBox::clearHistory();
        Windows::form1().Text8->setText(Sandbox::env("QS_MY_PASSWORD"));
        Sandbox::exec(source(), QStringLiteral("DROP TABLE b"));
        send({QStringLiteral("a"), QStringLiteral("b")});
        QS_VERIFY_ONE_REPORT_ENDING(
            reportTail(procedure(), 148, QStringLiteral("SELECT * FROM ") + sourceName("b")));
        QCOMPARE(form.pointer().value(), 0);
        QCOMPARE(server().other().tables(), QStringList{"a"});
        QCOMPARE(items(targetList()), QStringList{"a"});
        QTRY_COMPARE(Sandbox::scalar(*m_pg, otherSessions), QStringLiteral("0"));
    }

    void namesWithQuoteCharacters_data() { directions(); }
    void namesWithQuoteCharacters()
    {
        const QString name = QStringLiteral(R"(it's a `tick` and "quote")");
        // Its primary key and NOT NULL arrive too, by the same quoted names.
        Sandbox::exec(
            source(),
            QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY, %3 TEXT NOT NULL, %4 TEXT)")
                .arg(sourceName(name), sourceName("it's"), sourceName("a`b"), sourceName(R"(say "hi")")));
        Sandbox::exec(source(), QStringLiteral("INSERT INTO %1 VALUES (1, 'x', 'y')").arg(sourceName(name)));
        // Listed on both sides: the overwrite drops the target table by its quoted name.
        Sandbox::exec(target(), QStringLiteral("CREATE TABLE %1 (old INTEGER)").arg(targetName(name)));
        openTableWindow();
        send({name});
        QCOMPARE(shownTexts(),
                 QStringList{QStringLiteral("Would you like to overwrite ") + name + QLatin1Char('?')});
        QCOMPARE(items(targetList()), QStringList{name});
        QCOMPARE(Sandbox::rows(target(), QStringLiteral("SELECT %1, %2, %3 FROM %4")
                                             .arg(targetName("it's"), targetName("a`b"),
                                                  targetName(R"(say "hi")"), targetName(name))),
                 (QList<QStringList>{{"1", "x", "y"}}));
        QCOMPARE(
            Sandbox::column(
                target(), toPostgreSQL()
                              ? QStringLiteral("SELECT attname FROM pg_attribute WHERE attrelid = "
                                               "'%1'::regclass AND attnum > 0 AND attnotnull ORDER BY attnum")
                                    .arg(targetName(name).replace(QLatin1Char('\''), QLatin1String("''")))
                              : QStringLiteral("SELECT COLUMN_NAME FROM information_schema.COLUMNS "
                                               "WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '%1' "
                                               "AND IS_NULLABLE = 'NO' ORDER BY ORDINAL_POSITION")
                                    .arg(QString(name).replace(QLatin1Char('\''), QLatin1String("''")))),
            (QStringList{"it's", "a`b"}));
    }

private:
    // A name between the quote characters of the source or the target server.
    static QString sourceName(const QString& name) { return server().quoted(name); }
    static QString targetName(const QString& name) { return server().other().quoted(name); }
};

QTEST_MAIN(TransferCommandsTest)
#include "test_transfer_commands.moc"
