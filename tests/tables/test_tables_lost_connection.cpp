// A server connection lost while a delete or rename waits on the server: one report, the
// click ends, and the lists keep what was not done.

#include "tests/support/Servers.h"

#include <thread>

namespace {
// Waits, on a thread of its own, until a statement like the pattern waits for a lock on the
// server, then ends that session the way an administrator would.
std::thread endWhenBlocked(const Server& server, const QString& pattern)
{
    return std::thread([&server, pattern] {
        eventually(
            [&] {
                auto connection = server.connect();
                const QString id = Sandbox::scalar(*connection, server.lockWaits(pattern));
                if (!id.isEmpty())
                    Sandbox::exec(*connection, server.endSession(id));
                return !id.isEmpty();
            },
            50, 10000);
    });
}
} // namespace

class TestLostConnection : public ServerCase
{
    Q_OBJECT
private slots:

    void deleteStopsAtTheLostConnection_data() { perServer(); }
    void deleteStopsAtTheLostConnection()
    {
        const Server& side = server();
        const QStringList tables = {"lost_a", "lost_b", "lost_c"};
        side.createTables(tables);
        Form2& form = openTableWindow();

        // Another session holds lost_c, the first table the walk drops: its DROP waits.
        auto blocker = side.connect();
        Sandbox::exec(*blocker, QStringLiteral("BEGIN"));
        Sandbox::exec(*blocker, QStringLiteral("SELECT * FROM lost_c"));
        std::thread killer = endWhenBlocked(side, QStringLiteral("DROP TABLE ") + side.quoted("lost_c"));
        side.deleteTables(tables);
        killer.join();
        Sandbox::exec(*blocker, QStringLiteral("ROLLBACK"));

        QCOMPARE(shownBoxes(), QStringList{Server::report(side.deleteButton(), side.isMySQL() ? 120 : 112)});
        QCOMPARE(side.tables(), tables);
        QVERIFY(names(side.list()).contains("lost_a") && names(side.list()).contains("lost_c"));
        QCOMPARE(form.pointer().value(), 0);
    }

    void renameLeavesTheListWhenTheConnectionIsLost()
    {
        Server::postgreSQL().createTables({"held"});
        Form2& form = openTableWindow();
        auto blocker = Sandbox::postgreSQL();
        Sandbox::exec(*blocker, QStringLiteral("BEGIN"));
        Sandbox::exec(*blocker, QStringLiteral("SELECT * FROM held"));
        select(form.List2, {"held"});
        MessageBox::setNextInput(QStringLiteral("freed"));
        std::thread killer = endWhenBlocked(Server::postgreSQL(), QStringLiteral("ALTER TABLE \"held\"%"));
        form.PushButton7_Click();
        killer.join();
        Sandbox::exec(*blocker, QStringLiteral("ROLLBACK"));

        QStringList boxes = shownBoxes();
        QCOMPARE(boxes.size(), 2);
        QVERIFY(boxes[0].startsWith("Enter new name of held:"));
        QCOMPARE(boxes[1], QStringLiteral("report Form2.PushButton7_Click 120"));
        QVERIFY(names(form.List2).contains("held"));
        QVERIFY(!names(form.List2).contains("freed"));
        QCOMPARE(Server::postgreSQL().tables(), QStringList{"held"});
    }
};

QTEST_MAIN(TestLostConnection)
#include "test_tables_lost_connection.moc"
