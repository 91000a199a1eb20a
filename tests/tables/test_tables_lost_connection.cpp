// A server connection lost while a delete or rename waits on the server: one report, the
// click ends, and the lists keep what was not done.

#include "tests/tables/TablesTest.h"

#include <QThread>
#include <thread>

namespace {
// Waits, on a thread of its own, until a statement matching the pattern is blocked on
// the server, then ends that session the way an administrator would.
std::thread killWhenBlocked(bool mySQL, const QString& pattern)
{
    return std::thread([mySQL, pattern] {
        for (int attempt = 0; attempt < 200; ++attempt) {
            QThread::msleep(50);
            if (mySQL) {
                auto my = Sandbox::mySQL();
                const QString id = Sandbox::scalar(
                    *my, QStringLiteral("SELECT ID FROM information_schema.PROCESSLIST WHERE INFO LIKE '%1'")
                             .arg(pattern));
                if (!id.isEmpty()) {
                    my->Execute(QStringLiteral("KILL CONNECTION ") + id);
                    return;
                }
            } else {
                auto pg = Sandbox::postgreSQL();
                const QString ended = Sandbox::scalar(
                    *pg, QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE "
                                        "wait_event_type = 'Lock' AND query LIKE '%1'")
                             .arg(pattern));
                if (ended == QLatin1String("1"))
                    return;
            }
        }
    });
}
} // namespace

class TestLostConnection : public QObject
{
    Q_OBJECT
private slots:
    void deleteStopsAtTheLostConnection_data()
    {
        QTest::addColumn<bool>("mySQL");
        QTest::newRow("MySQL") << true;
        QTest::newRow("PostgreSQL") << false;
    }

    void deleteStopsAtTheLostConnection()
    {
        QFETCH(bool, mySQL);
        ProgramUnderTest program;
        Sandbox::dropAllTables();
        const QStringList tables = {"lost_a", "lost_b", "lost_c"};
        mySQL ? createMySQLTables(tables) : createPostgreSQLTables(tables);
        Form2& form = openTables(program);
        TableList* list = mySQL ? form.List1 : form.List2;

        // Another session holds lost_c, the first table the walk drops: its DROP waits.
        auto blocker = mySQL ? Sandbox::mySQL() : Sandbox::postgreSQL();
        Sandbox::exec(*blocker, mySQL ? QStringLiteral("START TRANSACTION") : QStringLiteral("BEGIN"));
        Sandbox::exec(*blocker, QStringLiteral("SELECT * FROM lost_c"));
        std::thread killer = killWhenBlocked(mySQL, mySQL ? "DROP TABLE `lost_c`" : "DROP TABLE \"lost_c\"");
        select(list, tables);
        mySQL ? form.PushButton1_Click() : form.PushButton5_Click();
        killer.join();
        Sandbox::exec(*blocker, QStringLiteral("ROLLBACK"));

        QCOMPARE(shownBoxes(), QStringList{mySQL ? "report Form2.PushButton1_Click 120"
                                                 : "report Form2.PushButton5_Click 112"});
        QCOMPARE(mySQL ? mySQLTables() : postgreSQLTables(), tables);
        QVERIFY(names(list).contains("lost_a") && names(list).contains("lost_c"));
        QCOMPARE(form.pointer().value(), 0);
    }

    void renameLeavesTheListWhenTheConnectionIsLost()
    {
        ProgramUnderTest program;
        Sandbox::dropAllTables();
        createPostgreSQLTables({"held"});
        Form2& form = openTables(program);
        auto blocker = Sandbox::postgreSQL();
        Sandbox::exec(*blocker, QStringLiteral("BEGIN"));
        Sandbox::exec(*blocker, QStringLiteral("SELECT * FROM held"));
        select(form.List2, {"held"});
        MessageBox::setNextInput(QStringLiteral("freed"));
        std::thread killer = killWhenBlocked(false, "ALTER TABLE \"held\"%");
        form.PushButton7_Click();
        killer.join();
        Sandbox::exec(*blocker, QStringLiteral("ROLLBACK"));

        QStringList boxes = shownBoxes();
        QCOMPARE(boxes.size(), 2);
        QVERIFY(boxes[0].startsWith("Enter new name of held:"));
        QCOMPARE(boxes[1], QStringLiteral("report Form2.PushButton7_Click 120"));
        QVERIFY(names(form.List2).contains("held"));
        QVERIFY(!names(form.List2).contains("freed"));
        QCOMPARE(postgreSQLTables(), QStringList{"held"});
    }
};

QTEST_MAIN(TestLostConnection)
#include "test_tables_lost_connection.moc"
