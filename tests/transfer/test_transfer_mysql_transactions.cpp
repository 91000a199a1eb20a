// Copies to MySQL go a transaction per packet of rows. Another session that holds a lock
// the copy needs makes the server undo a statement or a whole transaction, or the copy's
// session ends mid-packet: no row is lost without a word, and what a report says the table
// holds is what it holds. A table of an engine without transactions keeps working.

#include "tests/transfer/TransferFixture.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>
#include <atomic>

namespace {
constexpr int kRows = 100000;

// InnoDB renews its list of transactions only when it was last read more than a tenth of
// a second ago: it is asked no more often than that.
constexpr unsigned long kTransactionsRenewed = 150;

// The thread id of the copy's session, or the id of its transaction, while it waits for a
// row lock; else empty.
QString waiting(Connection& watcher, const QString& except, const char* what = "trx_mysql_thread_id")
{
    return Sandbox::scalar(watcher, QStringLiteral("SELECT %1 FROM information_schema.INNODB_TRX WHERE "
                                                   "trx_state = 'LOCK WAIT' AND trx_mysql_thread_id <> %2")
                                        .arg(QLatin1String(what), except));
}

// Another session's work beside the copy, on a thread of its own; whatever it throws is
// kept for the test to see.
class Beside
{
public:
    explicit Beside(std::function<void()> work)
        : m_thread([this, work = std::move(work)] {
              try {
                  work();
              } catch (const std::exception& error) {
                  m_failure = QString::fromUtf8(error.what());
              }
          })
    {}
    ~Beside()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    Beside(const Beside&) = delete;
    Beside& operator=(const Beside&) = delete;
    QString failure()
    {
        m_thread.join();
        return m_failure;
    }

private:
    QString m_failure;
    std::thread m_thread;
};
} // namespace

class TransferMySQLTransactionsTest : public ServerCase
{
    Q_OBJECT
private slots:
    void init()
    {
        begin();
        // The test's other sessions watch the copy's session wait for its locks.
        setProcessPrivilege(QStringLiteral("GRANT PROCESS ON *.* TO"));
        Sandbox::exec(*m_pg, Server::postgreSQL().numbersTable(QStringLiteral("moving_rows"), kRows));
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE lockme (id INT PRIMARY KEY, n INT) ENGINE=InnoDB"));
        Sandbox::exec(*m_my, QStringLiteral("INSERT INTO lockme VALUES (1, 0), (2, 0)"));
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE heavy (id INT) ENGINE=InnoDB"));
    }

    void cleanup()
    {
        setProcessPrivilege(QStringLiteral("REVOKE PROCESS ON *.* FROM"));
        end();
    }
    void aDeadlockedPacketIsSentAgain()
    {
        // A heavier transaction holds lockme's second row and then asks for the first, which
        // the copy's transaction holds while it waits for the second: the server undoes the
        // copy's transaction, whose rows go out again and arrive.
        const QString before = deadlocks();
        auto heavy = heavyTransaction();
        const QString self = Sandbox::scalar(*heavy, QStringLiteral("SELECT CONNECTION_ID()"));
        copyBeside([&](Connection& watcher, const std::atomic<bool>&) {
            heavy->Execute(QStringLiteral("UPDATE lockme SET n = n WHERE id = 2"));
            if (!eventually([&] { return !waiting(watcher, self).isEmpty(); }, kTransactionsRenewed))
                throw Error(QStringLiteral("the copy never waited for the lock"));
            heavy->Execute(QStringLiteral("UPDATE lockme SET n = n WHERE id = 1"));
            heavy->Execute(QStringLiteral("COMMIT"));
        });
        QS_VERIFY_NO_BOXES();
        QCOMPARE(deadlocks().toInt(), before.toInt() + 1);
        QCOMPARE(
            Sandbox::scalar(*m_my, QStringLiteral("SELECT CONCAT(COUNT(*), ' ', COUNT(DISTINCT id), ' ', "
                                                  "MIN(id), ' ', MAX(id)) FROM moving_rows")),
            QStringLiteral("%1 %1 1 %1").arg(kRows));
    }

    void aSecondDeadlockEndsTheTableSayingWhatItHolds()
    {
        // The transaction sent again meets a second deadlock: the table ends with one report,
        // which says how many rows it holds, and it holds them.
        auto heavy = heavyTransaction();
        const QString self = Sandbox::scalar(*heavy, QStringLiteral("SELECT CONNECTION_ID()"));
        copyBeside([&](Connection& watcher, const std::atomic<bool>&) {
            heavy->Execute(QStringLiteral("UPDATE lockme SET n = n WHERE id = 2"));
            QString first;
            if (!eventually([&] { return !(first = waiting(watcher, self, "trx_id")).isEmpty(); },
                            kTransactionsRenewed))
                throw Error(QStringLiteral("the copy never waited for the lock"));
            heavy->Execute(QStringLiteral("UPDATE lockme SET n = n WHERE id = 1"));
            // The copy's transaction, sent again (a transaction of its own), waits for the first
            // row, and holds its own new row, which this transaction now asks for.
            if (!eventually(
                    [&] {
                        const QString again = waiting(watcher, self, "trx_id");
                        return !again.isEmpty() && again != first;
                    },
                    kTransactionsRenewed))
                throw Error(QStringLiteral("the copy did not send its rows again"));
            heavy->Execute(QStringLiteral("SELECT COUNT(*) FROM moving_rows FOR UPDATE"));
            heavy->Execute(QStringLiteral("ROLLBACK"));
        });
        verifyOneReportOfTheRowsHeld(QStringLiteral("Deadlock"));
    }

    void aLockWaitTimeOutEndsTheTableSayingWhatItHolds()
    {
        // The server gives up the copy's statement after a second of waiting for a lock and
        // undoes it alone: the rows before it are committed, and the report says so.
        GlobalSetting timeOut(Server::mySQL(), QStringLiteral("innodb_lock_wait_timeout"),
                              QStringLiteral("1"));
        copyWhileTheFirstRowIsHeld([](Connection&, const QString&) {});
        verifyOneReportOfTheRowsHeld(QStringLiteral("Lock wait timeout exceeded"));
    }

    void aSessionEndedMidPacketLeavesTheCommittedRows()
    {
        // The copy's session is ended by the server while a packet waits for a lock: the
        // packet's rows are undone with it, and the one report says how many rows the table
        // holds, which is what it holds.
        copyWhileTheFirstRowIsHeld([](Connection& watcher, const QString& holder) {
            QString copying;
            if (!eventually([&] { return !(copying = waiting(watcher, holder)).isEmpty(); },
                            kTransactionsRenewed))
                throw Error(QStringLiteral("the copy never waited for the lock"));
            watcher.Execute(QStringLiteral("KILL CONNECTION %1").arg(copying));
        });
        verifyOneReportOfTheRowsHeld(QStringLiteral("The table holds the"));
    }

    // Every second row has no MySQL value; the copy's session is killed midway. One report
    // tells the loss, how many rows the table holds, which it holds, and the first row lost:
    // the one after the rows committed.
    void aSessionKilledWhileRowsAreRefusedSaysWhatTheTableHolds()
    {
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE halves AS SELECT g AS id, CASE WHEN g % 2 = 0 THEN "
                                            "'infinity'::timestamp ELSE timestamp '2021-01-01' END AS ends "
                                            "FROM generate_series(1, 40000) g"));
        const QString mine = Sandbox::scalar(*m_my, QStringLiteral("SELECT CONNECTION_ID()"));
        std::thread killer = whenHolding(Server::mySQL(), QStringLiteral("halves"), 2000, [&mine] {
            auto my = Sandbox::mySQL();
            const QString copying = Sandbox::scalar(
                *my,
                QStringLiteral("SELECT ID FROM information_schema.PROCESSLIST WHERE COMMAND = 'Query' AND "
                               "ID NOT IN (CONNECTION_ID(), %1)")
                    .arg(mine));
            if (!copying.isEmpty())
                my->Execute(Server::mySQL().endSession(copying));
            return !copying.isEmpty();
        });
        openTableWindow();
        Server::postgreSQL().send({QStringLiteral("halves")});
        killer.join();
        const QStringList lost = reports().filter(QStringLiteral("The table holds the"));
        QCOMPARE(lost.size(), 1);
        static const QRegularExpression sent(
            QStringLiteral("\\rsql: INSERT INTO `halves` VALUES\\('(\\d+)'"));
        const int first = sent.match(lost[0]).captured(1).toInt();
        const int held = heldRows(lost[0]);
        QCOMPARE(held, first / 2);
        QCOMPARE(
            Sandbox::scalar(
                *m_my, QStringLiteral("SELECT CONCAT(COUNT(*), ' ', SUM(id < %1)) FROM halves").arg(first)),
            QStringLiteral("%1 %1").arg(held));
    }

    void aTableWithoutTransactionsKeepsEachRow()
    {
        // A server whose tables are made MyISAM: each row commits on its own, a refused row is
        // its own loss, and the others all arrive.
        GlobalSetting engine(Server::mySQL(), QStringLiteral("default_storage_engine"),
                             QStringLiteral("MyISAM"));
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE dated (id int, day date)"));
        Sandbox::exec(*m_pg,
                      QStringLiteral("INSERT INTO dated SELECT g, CASE WHEN g = 3000 THEN 'infinity'::date "
                                     "ELSE date '2020-01-01' + g END FROM generate_series(1, 5000) g"));
        openTableWindow();
        Server::postgreSQL().send({QStringLiteral("dated")});
        const QStringList shown = reports();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains(QStringLiteral("at row 3000")), qPrintable(shown[0].left(300)));
        QCOMPARE(Sandbox::scalar(*m_my, QStringLiteral("SELECT ENGINE FROM information_schema.TABLES WHERE "
                                                       "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'dated'")),
                 QStringLiteral("MyISAM"));
        QCOMPARE(Sandbox::scalar(*m_my, QStringLiteral("SELECT CONCAT(COUNT(*), ' ', SUM(id)) FROM dated")),
                 QStringLiteral("4999 %1").arg(5000 * 5001 / 2 - 3000));
    }

private:
    static void setProcessPrivilege(const QString& statement)
    {
        QStringList statements;
        for (const char* host : {"127.0.0.1", "localhost", "%"})
            statements << QStringLiteral("%1 '%2'@'%3'")
                              .arg(statement, Sandbox::env("QS_MY_USER"), QLatin1String(host));
        Sandbox::mySQLAdmin(statements.join(QLatin1Char(';')));
    }
    void copy()
    {
        openTableWindow();
        Server::postgreSQL().send({QStringLiteral("moving_rows")});
    }
    // Copies with another session's work beside it, once the copy's table is there and
    // each of its rows locks lockme's first two rows; the work is given a watching session
    // and whether the copy has ended.
    void copyBeside(const std::function<void(Connection& watcher, const std::atomic<bool>& copied)>& work)
    {
        std::atomic<bool> copied{false};
        Beside other([&] {
            auto watcher = Sandbox::mySQL();
            lockRowsWithEachInsert(*watcher);
            work(*watcher, copied);
        });
        copy();
        copied = true;
        QCOMPARE(other.failure(), QString());
    }
    // The same while a third session holds lockme's first row until the copy has ended; the
    // work is given that session's id.
    void
    copyWhileTheFirstRowIsHeld(const std::function<void(Connection& watcher, const QString& holder)>& work)
    {
        copyBeside([&](Connection& watcher, const std::atomic<bool>& copied) {
            auto holder = Sandbox::mySQL();
            holder->Execute(QStringLiteral("BEGIN"));
            holder->Execute(QStringLiteral("UPDATE lockme SET n = n WHERE id = 1"));
            work(watcher, Sandbox::scalar(*holder, QStringLiteral("SELECT CONNECTION_ID()")));
            eventually([&] { return copied.load(); });
            holder->Execute(QStringLiteral("ROLLBACK"));
        });
    }
    // Once the copy's table is there, every row it takes locks the first two rows of
    // lockme, in key order, through a trigger; the copy then waits for whoever holds them.
    static void lockRowsWithEachInsert(Connection& session)
    {
        if (!eventually(
                [&] {
                    return Sandbox::column(session, QStringLiteral("SHOW TABLES"))
                        .contains(QStringLiteral("moving_rows"));
                },
                5))
            throw Error(QStringLiteral("the copy's table never came"));
        session.Execute(QStringLiteral("CREATE TRIGGER moving_rows_lock AFTER INSERT ON moving_rows FOR EACH "
                                       "ROW UPDATE lockme SET n = n + 1 WHERE id IN (1, 2)"));
    }
    // A transaction that has written much more than a packet of the copy: of the two in a
    // deadlock, the server undoes the copy's.
    static std::unique_ptr<Connection> heavyTransaction()
    {
        auto heavy = Sandbox::mySQL();
        Sandbox::exec(*heavy, QStringLiteral("BEGIN"));
        Sandbox::exec(*heavy, QStringLiteral("INSERT INTO heavy SELECT seq FROM seq_1_to_100000"));
        return heavy;
    }
    QString deadlocks()
    {
        return Sandbox::scalar(*m_my,
                               QStringLiteral("SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
                                              "WHERE VARIABLE_NAME = 'INNODB_DEADLOCKS'"));
    }
    // One report, with the words given, that says how many rows the table holds; and it
    // holds them, fewer than all.
    void verifyOneReportOfTheRowsHeld(const QString& words)
    {
        const QStringList shown = reports();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains(words) && shown[0].contains(QStringLiteral(" at line 256\r\r")),
                 qPrintable(shown[0].left(400)));
        QCOMPARE(Sandbox::scalar(*m_my, QStringLiteral("SELECT COUNT(*) FROM moving_rows")).toInt(),
                 heldRows(shown[0]));
        QVERIFY(heldRows(shown[0]) < kRows);
        QVERIFY(items(Windows::form2().List1).contains(QStringLiteral("moving_rows")));
    }
    static int heldRows(const QString& report)
    {
        static const QRegularExpression holds(QStringLiteral("holds the (\\d+) rows"));
        return holds.match(report).captured(1).toInt();
    }
};

QTEST_MAIN(TransferMySQLTransactionsTest)
#include "test_transfer_mysql_transactions.moc"
