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
        Sandbox::exec(*Sandbox::postgreSQL(),
                      Server::postgreSQL().numbersTable(QStringLiteral("near"), kRows));
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

    // The MySQL source session is killed in the middle of the first of two tables: one
    // report, and the click ends without trying the second.
    void theMySQLSourceGoesAwayWithTwoTablesSelected()
    {
        for (const char* table : {"first_rows", "second_rows"})
            Sandbox::exec(*Sandbox::mySQL(),
                          QStringLiteral("CREATE TABLE %1 (id INT, label VARCHAR(300)) SELECT seq AS id, "
                                         "CONCAT(REPEAT('x', 200), seq) AS label FROM seq_1_to_%2")
                              .arg(QLatin1String(table))
                              .arg(kRows));
        Form2& form = openTableWindow();
        select(form.List1, {QStringLiteral("first_rows"), QStringLiteral("second_rows")});
        // The source streams the rows of its SELECT; its session, the only other one of the
        // program's account, is killed from MySQL.
        std::thread killer = whenHolding(Server::postgreSQL(), QStringLiteral("second_rows"), 200, [] {
            auto my = Sandbox::mySQL();
            const QString id = Sandbox::scalar(
                *my, QStringLiteral("SELECT ID FROM information_schema.PROCESSLIST WHERE USER = "
                                    "SUBSTRING_INDEX(CURRENT_USER(), '@', 1) AND ID <> CONNECTION_ID()"));
            if (!id.isEmpty())
                Sandbox::exec(*my, Server::mySQL().endSession(id));
            return !id.isEmpty();
        });
        form.PushButton3_Click();
        killer.join();

        const QStringList reports = shownBoxes();
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports.constFirst().startsWith(QLatin1String("report Form2.PushButton3_Click ")),
                 qPrintable(reports.first()));
        QVERIFY(!Server::postgreSQL().tables().contains(QStringLiteral("first_rows")));
        QCOMPARE(form.pointer().value(), 0);
    }
};

QTEST_MAIN(LostConnectionTest)
#include "test_transfer_lost_connection.moc"
