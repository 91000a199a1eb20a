// A server that stops answering in the middle of a statement: the statement is given up
// after its time-out, within a bound even when the server does not answer the request
// to stop it either, and the program's windows are painted all the while.

#include "app/db/Waiting.h"
#include "tests/support/Servers.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <sys/types.h>

namespace {
std::atomic<int> g_waits{0};

void countWait()
{
    ++g_waits;
}

// Runs the statement on a connection whose server is then stopped; returns the error.
Error timedOut(Connection& connection, const QList<pid_t>& serverProcesses, int& milliseconds)
{
    StoppedProcesses stopped(serverProcesses);
    g_waits = 0;
    QElapsedTimer clock;
    clock.start();
    try {
        connection.Execute(QStringLiteral("SELECT 1"));
    } catch (const Error& error) {
        milliseconds = static_cast<int>(clock.elapsed());
        return error;
    }
    milliseconds = static_cast<int>(clock.elapsed());
    return Error(QStringLiteral("no error"));
}
} // namespace

class PausedServerTest : public ServerCase
{
    Q_OBJECT
private slots:
    void init() { Waiting::setHook(&countWait); }
    void cleanup() { Waiting::setHook(nullptr); }

    // The PostgreSQL cancel request goes to the postmaster, which is stopped too.
    void aStoppedServerIsGivenUp_data() { perServer(); }
    void aStoppedServerIsGivenUp()
    {
        Connection connection;
        connection.CommandTimeout = 1;
        connection.Open(server().connectionString());
        int milliseconds = 0;
        const Error error = timedOut(connection, server().processes(connection), milliseconds);
        QVERIFY2(error.description().startsWith(QLatin1String("Query timeout expired")),
                 qPrintable(error.description()));
        QVERIFY2(milliseconds < 20000, qPrintable(QString::number(milliseconds)));
        QVERIFY2(g_waits > 50, qPrintable(QString::number(g_waits)));
        QVERIFY(connection.isBroken());
        QCOMPARE(Sandbox::scalar(*server().connect(), QStringLiteral("SELECT 1")), QStringLiteral("1"));
    }

    // A statement that merely takes long is stopped on the server, and the connection
    // stays usable.
    void aSlowStatementIsStoppedOnTheServer_data() { perServer(); }
    void aSlowStatementIsStoppedOnTheServer()
    {
        Connection connection;
        connection.CommandTimeout = 1;
        connection.Open(server().connectionString());
        QElapsedTimer clock;
        clock.start();
        try {
            connection.Execute(server().sleep(30));
            QFAIL("no time-out");
        } catch (const Error& error) {
            QCOMPARE(error.description(), QStringLiteral("Query timeout expired"));
        }
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!connection.isBroken());
        QCOMPARE(Sandbox::scalar(connection, QStringLiteral("SELECT 3")), QStringLiteral("3"));
    }

    // Rows streamed to a table, one of them held by another session's lock: it is stopped
    // after the time-out and answered with the time-out and its own statement; the rows
    // sent behind it are answered as usual, and the connection stays.
    void aStreamedStatementPastItsTimeOutAnswersWithItsOwnText_data() { perServer(); }
    void aStreamedStatementPastItsTimeOutAnswersWithItsOwnText()
    {
        auto setUp = server().connect();
        Sandbox::exec(*setUp, QStringLiteral("DROP TABLE IF EXISTS held"));
        Sandbox::exec(*setUp, QStringLiteral("CREATE TABLE held (id INT PRIMARY KEY)"));
        auto holder = server().connect();
        Sandbox::exec(*holder, QStringLiteral("BEGIN"));
        Sandbox::exec(*holder, QStringLiteral("INSERT INTO held VALUES (50)"));

        Connection connection;
        connection.CommandTimeout = 1;
        connection.Open(server().connectionString());
        std::unique_ptr<StatementStream> stream = connection.openStatementStream();
        QStringList failures;
        int answered = 0;
        Answer answer;
        auto take = [&] {
            ++answered;
            if (answer.error)
                failures << QStringLiteral("%1 %2: %3")
                                .arg(answer.tag)
                                .arg(QString::fromUtf8(answer.statement), answer.error->description());
        };
        for (int id = 1; id <= 100; ++id) {
            stream->send("INSERT INTO held VALUES (" + QByteArray::number(id) + ")", id);
            while (stream->next(answer, false))
                take();
        }
        while (stream->next(answer, true))
            take();
        QCOMPARE(answered, 100);
        // MySQL's answer also says how many rows its table holds.
        QCOMPARE(failures.size(), 1);
        QVERIFY2(
            failures[0].startsWith(QStringLiteral("50 INSERT INTO held VALUES (50): Query timeout expired")),
            qPrintable(failures[0]));
        stream->finish();
        stream.reset();
        QVERIFY(!connection.isBroken());
        Sandbox::exec(*holder, QStringLiteral("ROLLBACK"));
        QCOMPARE(Sandbox::scalar(*setUp, QStringLiteral("SELECT COUNT(*) FROM held")), QStringLiteral("99"));
        Sandbox::exec(*setUp, QStringLiteral("DROP TABLE held"));
    }

    // A server stopped while statements stream to it: the first of them is answered with
    // the time-out and its own text once the server was given up, and nothing more is
    // answered; the connection is lost.
    void aStreamToAStoppedServerAnswersItsFirstStatement_data() { perServer(); }
    void aStreamToAStoppedServerAnswersItsFirstStatement()
    {
        Connection connection;
        connection.CommandTimeout = 1;
        connection.Open(server().connectionString());
        const QList<pid_t> processes = server().processes(connection);
        std::unique_ptr<StatementStream> stream = connection.openStatementStream();
        Answer answer;
        QStringList answers;
        {
            StoppedProcesses stopped(processes);
            g_waits = 0;
            for (int n = 1; n <= 3; ++n) {
                try {
                    stream->send("SELECT " + QByteArray::number(n), n);
                } catch (const Error& error) {
                    answers << QStringLiteral("send %1: %2").arg(n).arg(error.description());
                }
            }
            try {
                while (stream->next(answer, true))
                    answers << QStringLiteral("%1 %2: %3")
                                   .arg(answer.tag)
                                   .arg(QString::fromUtf8(answer.statement),
                                        answer.error ? answer.error->description() : QStringLiteral("ok"));
            } catch (const Error& error) {
                answers << QStringLiteral("next: lost");
            }
        }
        QVERIFY2(!answers.isEmpty() && answers.first().startsWith(QStringLiteral(
                                           "1 SELECT 1: Query timeout expired: the server did not answer")),
                 qPrintable(answers.join(QLatin1Char('\n'))));
        QVERIFY2(answers.size() == 1 || answers.last() == QLatin1String("next: lost"),
                 qPrintable(answers.join(QLatin1Char('\n'))));
        QVERIFY(connection.isBroken());
        QVERIFY2(g_waits > 50, qPrintable(QString::number(g_waits)));
    }

    // The user's stop ends a statement that waits on a silent server within seconds, and
    // one that merely runs long within about a second, stopped on the server; neither is
    // a failure to report.
    void aStopEndsAWaitWithinSeconds_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<bool>("silent");
        QTest::newRow("PostgreSQL, silent") << &Server::postgreSQL() << true;
        QTest::newRow("PostgreSQL, sleeping") << &Server::postgreSQL() << false;
        QTest::newRow("MySQL, silent") << &Server::mySQL() << true;
        QTest::newRow("MySQL, sleeping") << &Server::mySQL() << false;
    }
    void aStopEndsAWaitWithinSeconds()
    {
        QFETCH(bool, silent);
        Connection connection;
        connection.CommandTimeout = 5000;
        connection.Open(server().connectionString());
        std::optional<StoppedProcesses> stopped;
        if (silent)
            stopped.emplace(server().processes(connection));
        // The hook runs while the statement waits: the user presses Stop after a while.
        static QElapsedTimer sinceStart;
        sinceStart.start();
        Waiting::setHook([] {
            if (sinceStart.elapsed() > 300)
                Waiting::requestStop();
        });
        QElapsedTimer clock;
        clock.start();
        std::optional<Error> failure;
        try {
            connection.Execute(server().sleep(30));
        } catch (const Error& error) {
            failure = error;
        }
        const qint64 took = clock.elapsed();
        Waiting::clearStop();
        Waiting::setHook(&countWait);
        stopped.reset();
        QVERIFY2(failure && failure->stopped(), qPrintable(QString::number(took)));
        QVERIFY2(took < (silent ? 6000 : 3000), qPrintable(QString::number(took)));
        QCOMPARE(connection.isBroken(), silent);
        if (!silent)
            QCOMPARE(Sandbox::scalar(connection, QStringLiteral("SELECT 4")), QStringLiteral("4"));
    }
};

QTEST_MAIN(PausedServerTest)
#include "test_paused_server.moc"
