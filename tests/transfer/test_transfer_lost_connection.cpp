// A server connection lost in the middle of a copy: one report, the click ends and
// closes what it opened, the rows already copied stay, and the target list shows the
// table.

#include "tests/transfer/TransferFixture.h"

namespace {
constexpr int kRows = 100000;

// Ends the program's PostgreSQL sessions that the condition picks, as an administrator
// would; true when it ended one. The session may be busy at the moment rather than in the
// state asked for: the caller asks again until one was ended.
bool endPostgreSQLSessions(const QString& condition)
{
    return Sandbox::scalar(
               *Sandbox::postgreSQL(),
               QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE "
                              "application_name = 'Quillstone' AND pid <> pg_backend_pid()") +
                   condition)
               .toInt() > 0;
}
} // namespace

// The program's sessions are the only ones of its account that the cases leave open while
// they copy.
class LostConnectionTest : public QObject
{
    Q_OBJECT
    std::optional<ProgramUnderTest> m_program;

private slots:
    void init()
    {
        m_program.emplace();
        Sandbox::dropAllTables();
    }
    void cleanup() { m_program.reset(); }

    void theTargetGoesAwayDuringTheRows()
    {
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, Server::mySQL().numbersTable(QStringLiteral("far"), kRows));
        Form2& form = openTableWindow();
        select(form.List1, {QStringLiteral("far")});
        std::thread killer = whenHolding(Server::postgreSQL(), QStringLiteral("far"), 200, [] {
            return endPostgreSQLSessions(
                QStringLiteral(" AND (query LIKE 'INSERT INTO%' OR query LIKE 'COPY %')"));
        });
        form.PushButton3_Click();
        killer.join();

        QCOMPARE(shownBoxes(), QStringList{"report Form2.PushButton3_Click 270"});
        QVERIFY(MessageBox::history().first().text.contains(
            QStringLiteral("\r\rsql: INSERT INTO \"far\" VALUES(")));
        const int copied =
            Sandbox::scalar(*Sandbox::postgreSQL(), QStringLiteral("SELECT count(*) FROM far")).toInt();
        QVERIFY2(copied > 0 && copied < kRows, qPrintable(QString::number(copied)));
        QVERIFY(MessageBox::history().first().text.contains(
            QStringLiteral("The table holds the %1 rows committed before.").arg(copied)));
        QVERIFY(!form.List2->findItems(QStringLiteral("far"), Qt::MatchExactly).isEmpty());
        QCOMPARE(form.pointer().value(), 0);
        QCOMPARE(form.ProgressBar1->value(), 0);
        // The MySQL source session is gone too.
        QCOMPARE(
            Sandbox::scalar(*my, QStringLiteral("SELECT count(*) FROM information_schema.PROCESSLIST WHERE "
                                                "INFO LIKE 'SELECT * FROM `far`%'")),
            QStringLiteral("0"));
    }

    void theSourceGoesAwayDuringTheRows()
    {
        // Rows wide enough that the source reads them in many batches, the last one long
        // after the session is ended.
        Sandbox::exec(
            *Sandbox::postgreSQL(),
            QStringLiteral("CREATE TABLE near AS SELECT g AS id, repeat('x', 1000) || g AS label FROM "
                           "generate_series(1, %1) g")
                .arg(kRows));
        Form2& form = openTableWindow();
        select(form.List2, {QStringLiteral("near")});
        // The source reads inside a snapshot, idle in its transaction between batches.
        std::thread killer = whenHolding(Server::mySQL(), QStringLiteral("near"), 200, [] {
            return endPostgreSQLSessions(QStringLiteral(" AND state LIKE 'idle in transaction%'"));
        });
        form.PushButton4_Click();
        killer.join();

        QCOMPARE(shownBoxes(), QStringList{"report Form2.PushButton4_Click 258"});
        const int copied =
            Sandbox::scalar(*Sandbox::mySQL(), QStringLiteral("SELECT count(*) FROM near")).toInt();
        QVERIFY2(copied > 0 && copied < kRows, qPrintable(QString::number(copied)));
        QVERIFY(MessageBox::history().constFirst().text.contains(
            QStringLiteral("could not all be read; the table holds the %1 rows written before.")
                .arg(copied)));
        QVERIFY(!form.List1->findItems(QStringLiteral("near"), Qt::MatchExactly).isEmpty());
        QCOMPARE(form.pointer().value(), 0);
    }

    // The PostgreSQL source session is ended while the user reads "Overwrite?": opening
    // the rows fails, once, and the MySQL table the user agreed to lose is still there.
    void theSourceGoesAwayWhileTheQuestionIsOpen()
    {
        Sandbox::exec(*Sandbox::postgreSQL(), QStringLiteral("CREATE TABLE asked (id int)"));
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, QStringLiteral("CREATE TABLE asked (old INT)"));
        Sandbox::exec(*my, QStringLiteral("INSERT INTO asked VALUES (42)"));
        Form2& form = openTableWindow();
        select(form.List2, {QStringLiteral("asked")});
        MessageBox::setObserver([](const MessageBox::Shown& shown) {
            if (shown.title == QLatin1String("Overwrite?"))
                endPostgreSQLSessions(QString());
        });
        MessageBox::setNextAnswer(MessageBox::Yes);
        form.PushButton4_Click();
        MessageBox::setObserver(nullptr);

        QCOMPARE(shownBoxes(),
                 (QStringList{"Would you like to overwrite asked?", "report Form2.PushButton4_Click 148"}));
        QCOMPARE(Sandbox::column(*my, QStringLiteral("SELECT old FROM asked")), QStringList{"42"});
        QCOMPARE(form.pointer().value(), 0);
    }

    // The MySQL source's statement is stopped on its server (KILL QUERY), or its session killed,
    // in the middle of the first of two tables: one report, which says that the source could
    // not be read to its end and how many rows the copy holds; the copy gets no key, and the
    // table counts as failed in part. With its session gone the click ends without trying the
    // second table; else the second is copied.
    void theMySQLSourceStopsWithTwoTablesSelected_data()
    {
        QTest::addColumn<QString>("kill");
        QTest::newRow("its statement stopped") << QStringLiteral("KILL QUERY %1");
        QTest::newRow("its session killed") << QStringLiteral("KILL CONNECTION %1");
    }
    void theMySQLSourceStopsWithTwoTablesSelected()
    {
        QFETCH(QString, kill);
        for (const char* table : {"first_rows", "second_rows"}) {
            Sandbox::exec(
                *Sandbox::mySQL(),
                QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, label VARCHAR(300)) SELECT seq AS "
                               "id, CONCAT(REPEAT('x', 200), seq) AS label FROM seq_1_to_%2")
                    .arg(QLatin1String(table))
                    .arg(kRows));
        }
        Form2& form = openTableWindow();
        select(form.List1, {QStringLiteral("first_rows"), QStringLiteral("second_rows")});
        // The source streams the rows of its SELECT: the program's only session of its
        // account that runs one.
        std::thread killer = whenHolding(Server::postgreSQL(), QStringLiteral("second_rows"), 200, [kill] {
            auto my = Sandbox::mySQL();
            const QString id = Sandbox::scalar(
                *my,
                QStringLiteral("SELECT ID FROM information_schema.PROCESSLIST WHERE USER = "
                               "SUBSTRING_INDEX(CURRENT_USER(), '@', 1) AND ID <> CONNECTION_ID() AND INFO "
                               "LIKE 'SELECT%second_rows%'"));
            if (!id.isEmpty())
                Sandbox::exec(*my, kill.arg(id));
            return !id.isEmpty();
        });
        form.PushButton3_Click();
        killer.join();

        const bool lost = kill.startsWith(QLatin1String("KILL CONNECTION"));
        QCOMPARE(shownBoxes(), QStringList{"report Form2.PushButton3_Click 272"});
        const QString report = MessageBox::history().constFirst().text;
        const qint64 copied =
            Sandbox::scalar(*Sandbox::postgreSQL(), QStringLiteral("SELECT count(*) FROM second_rows"))
                .toLongLong();
        QVERIFY2(copied > 0 && copied < kRows, qPrintable(QString::number(copied)));
        QVERIFY2(
            report.contains(QStringLiteral("The source's rows could not all be read; the table holds the %1 "
                                           "rows written before.\r\n")
                                .arg(copied)),
            qPrintable(report.left(400)));
        QVERIFY2(report.endsWith(QStringLiteral("\r\rsql: SELECT * FROM `second_rows`")), qPrintable(report));
        QCOMPARE(
            Sandbox::scalar(
                *Sandbox::postgreSQL(),
                QStringLiteral("SELECT count(*) FROM pg_index WHERE indrelid = 'second_rows'::regclass")),
            QStringLiteral("0"));
        QCOMPARE(Server::postgreSQL().tables().contains(QStringLiteral("first_rows")), !lost);
        const QString summary = form.summaryLine()->text();
        QVERIFY2(summary.startsWith(QStringLiteral("Done: %1 of 2 tables copied: ").arg(lost ? 0 : 1)) &&
                     summary.contains(QStringLiteral("; 1 table failed in part; in ")),
                 qPrintable(summary));
        QCOMPARE(form.pointer().value(), 0);
    }
};

QTEST_MAIN(LostConnectionTest)
#include "test_transfer_lost_connection.moc"
