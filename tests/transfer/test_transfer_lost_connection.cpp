// A server connection lost in the middle of a copy: one report, the click ends and
// closes what it opened, the rows already copied stay, and the target list shows the
// table.

#include "app/Windows.h"
#include "connect/Form1.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "tests/transfer/TransferFixture.h"

#include <QDeadlineTimer>
#include <QProgressBar>
#include <QTest>
#include <QThread>
#include <thread>

namespace {
constexpr int kRows = 100000;

// On a thread of its own: once the target holds some rows, end the chosen session of the
// copy the way an administrator would. The target table appears only once the copy has
// made it, so the count is asked for only then; nothing thrown here may leave the thread.
std::thread endSessionMidway(const QString& table, bool targetIsMySQL, const QString& sessionQuery)
{
    return std::thread([=] {
        const QString exists =
            targetIsMySQL
                ? QStringLiteral("SELECT count(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                                 "DATABASE() AND TABLE_NAME = '%1'")
                      .arg(table)
                : QStringLiteral("SELECT count(*) FROM pg_tables WHERE tablename = '%1'").arg(table);
        QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            try {
                auto target = targetIsMySQL ? Sandbox::mySQL() : Sandbox::postgreSQL();
                if (Sandbox::scalar(*target, exists) == QLatin1String("1") &&
                    Sandbox::scalar(*target, QStringLiteral("SELECT count(*) FROM ") + table).toInt() >=
                        200) {
                    // The session may be busy at this moment rather than in the state the
                    // query asks for: it is asked again until one was ended.
                    auto pg = Sandbox::postgreSQL();
                    if (Sandbox::scalar(*pg, sessionQuery).toInt() > 0)
                        return;
                }
            } catch (const std::exception& error) {
                qWarning("polling the copy: %s", error.what());
            }
            QThread::msleep(20);
        }
    });
}

} // namespace

class LostConnectionTest : public QObject
{
    Q_OBJECT
private slots:
    void theTargetGoesAwayDuringTheRows()
    {
        ProgramUnderTest program;
        Sandbox::dropAllTables();
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, QStringLiteral("CREATE TABLE far (id INT, label VARCHAR(20)) SELECT seq AS id, "
                                          "CONCAT('row ', seq) AS label FROM seq_1_to_%1")
                               .arg(kRows));
        Transfer::openTableWindow();
        Form2& form = Windows::form2();
        Transfer::select(form.List1, {QStringLiteral("far")});

        std::thread killer = endSessionMidway(
            QStringLiteral("far"), false,
            QStringLiteral(
                "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE application_name = "
                "'Quillstone' AND pid <> pg_backend_pid() AND query LIKE 'INSERT INTO%'"));
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
        ProgramUnderTest program;
        Sandbox::dropAllTables();
        Sandbox::exec(*Sandbox::postgreSQL(),
                      QStringLiteral("CREATE TABLE near AS SELECT g AS id, 'row ' || g AS label FROM "
                                     "generate_series(1, %1) g")
                          .arg(kRows));
        Transfer::openTableWindow();
        Form2& form = Windows::form2();
        Transfer::select(form.List2, {QStringLiteral("near")});

        // The source reads inside a snapshot, idle in its transaction between batches.
        std::thread killer = endSessionMidway(
            QStringLiteral("near"), true,
            QStringLiteral(
                "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE application_name = "
                "'Quillstone' AND pid <> pg_backend_pid() AND state LIKE 'idle in transaction%'"));
        form.PushButton4_Click();
        killer.join();

        const QStringList reports = shownBoxes();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first(), QStringLiteral("report Form2.PushButton4_Click 258"));
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
        ProgramUnderTest program;
        Sandbox::dropAllTables();
        Sandbox::exec(*Sandbox::postgreSQL(), QStringLiteral("CREATE TABLE asked (id int)"));
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, QStringLiteral("CREATE TABLE asked (old INT)"));
        Sandbox::exec(*my, QStringLiteral("INSERT INTO asked VALUES (42)"));
        Transfer::openTableWindow();
        Form2& form = Windows::form2();
        Transfer::select(form.List2, {QStringLiteral("asked")});
        MessageBox::setObserver([](const MessageBox::Shown& shown) {
            if (shown.title != QLatin1String("Overwrite?"))
                return;
            auto pg = Sandbox::postgreSQL();
            Sandbox::scalar(
                *pg, QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                    "WHERE application_name = 'Quillstone' AND pid <> pg_backend_pid()"));
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
        ProgramUnderTest program;
        Sandbox::dropAllTables();
        auto my = Sandbox::mySQL();
        for (const char* table : {"first_rows", "second_rows"})
            Sandbox::exec(*my,
                          QStringLiteral("CREATE TABLE %1 (id INT, label VARCHAR(300)) SELECT seq AS id, "
                                         "CONCAT(REPEAT('x', 200), seq) AS label FROM seq_1_to_%2")
                              .arg(QLatin1String(table))
                              .arg(kRows));
        my.reset();
        Transfer::openTableWindow();
        Form2& form = Windows::form2();
        Transfer::select(form.List1, {QStringLiteral("first_rows"), QStringLiteral("second_rows")});
        // The source streams the rows of its SELECT; its session, the only other one of the
        // program's account, is killed from MySQL.
        std::thread killer([] {
            QDeadlineTimer deadline(60000);
            while (!deadline.hasExpired()) {
                try {
                    auto pg = Sandbox::postgreSQL();
                    if (Sandbox::scalar(*pg,
                                        QStringLiteral("SELECT count(*) FROM pg_tables WHERE tablename = "
                                                       "'second_rows'")) == QLatin1String("1") &&
                        Sandbox::scalar(*pg, QStringLiteral("SELECT count(*) FROM second_rows")).toInt() >=
                            200) {
                        auto my = Sandbox::mySQL();
                        const QString id = Sandbox::scalar(
                            *my, QStringLiteral(
                                     "SELECT ID FROM information_schema.PROCESSLIST WHERE USER = "
                                     "SUBSTRING_INDEX(CURRENT_USER(), '@', 1) AND ID <> CONNECTION_ID()"));
                        if (!id.isEmpty()) {
                            my->Execute(QStringLiteral("KILL ") + id);
                            return;
                        }
                    }
                } catch (const std::exception& error) {
                    qWarning("killing the source: %s", error.what());
                }
                QThread::msleep(20);
            }
        });
        form.PushButton3_Click();
        killer.join();

        const QStringList reports = shownBoxes();
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports.constFirst().startsWith(QLatin1String("report Form2.PushButton3_Click ")),
                 qPrintable(reports.first()));
        QCOMPARE(
            Sandbox::scalar(*Sandbox::postgreSQL(),
                            QStringLiteral("SELECT count(*) FROM pg_tables WHERE tablename = 'first_rows'")),
            QStringLiteral("0"));
        QCOMPARE(form.pointer().value(), 0);
    }
};

QTEST_MAIN(LostConnectionTest)
#include "test_transfer_lost_connection.moc"
