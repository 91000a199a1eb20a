// A server that stops answering in the middle of a statement: the statement is given up
// after its time-out, within a bound even when the server does not answer the request
// to stop it either, and the program's windows are painted all the while.

#include "app/db/Waiting.h"
#include "tests/support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QThread>
#include <atomic>
#include <csignal>
#include <sys/types.h>

namespace {
std::atomic<int> g_waits{0};

void countWait()
{
    ++g_waits;
}

// Server processes stopped as a debugger or an overloaded host would stop them, and
// started again however the test ends.
class Stopped
{
public:
    explicit Stopped(QList<pid_t> pids) : m_pids(std::move(pids))
    {
        for (pid_t pid : m_pids)
            ::kill(pid, SIGSTOP);
        // A stop takes effect thread by thread; the statement goes out once all are stopped.
        QDeadlineTimer deadline(10000);
        while (!allStopped() && !deadline.hasExpired())
            QThread::msleep(5);
    }
    ~Stopped()
    {
        for (pid_t pid : m_pids)
            ::kill(pid, SIGCONT);
    }
    Stopped(const Stopped&) = delete;
    Stopped& operator=(const Stopped&) = delete;

private:
    bool allStopped() const
    {
        for (pid_t pid : m_pids) {
            const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
            for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                QFile stat(tasks.filePath(task) + QStringLiteral("/stat"));
                if (!stat.open(QIODevice::ReadOnly))
                    continue; // the thread has ended
                const QByteArray line = stat.readAll();
                // The state follows the command name, which is in parentheses.
                const qsizetype state = line.lastIndexOf(')') + 2;
                if (state < line.size() && line[state] != 'T' && line[state] != 't')
                    return false;
            }
        }
        return true;
    }

    QList<pid_t> m_pids;
};

pid_t pidInFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return static_cast<pid_t>(file.readLine().trimmed().toLong());
}

// Runs the statement on a connection whose server is then stopped; returns the error.
Error timedOut(Connection& connection, const QList<pid_t>& serverProcesses, int& milliseconds)
{
    Stopped stopped(serverProcesses);
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

class PausedServerTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { Waiting::setHook(&countWait); }
    void cleanup() { Waiting::setHook(nullptr); }

    void aStoppedPostgreSQLServerIsGivenUp()
    {
        Connection connection;
        connection.CommandTimeout = 1;
        connection.Open(Sandbox::postgreSQLConnectionString());
        const pid_t backend = static_cast<pid_t>(
            Sandbox::scalar(connection, QStringLiteral("SELECT pg_backend_pid()")).toLong());
        const pid_t postmaster =
            pidInFile(Sandbox::env("QS_SANDBOX_DIR") + QStringLiteral("/pg/data/postmaster.pid"));
        int milliseconds = 0;
        // The cancel request goes to the postmaster, which is stopped too.
        const Error error = timedOut(connection, {backend, postmaster}, milliseconds);
        QVERIFY2(error.description().startsWith(QLatin1String("Query timeout expired")),
                 qPrintable(error.description()));
        QVERIFY2(milliseconds < 20000, qPrintable(QString::number(milliseconds)));
        QVERIFY2(g_waits > 50, qPrintable(QString::number(g_waits)));
        QVERIFY(connection.isBroken());
        QCOMPARE(Sandbox::scalar(*Sandbox::postgreSQL(), QStringLiteral("SELECT 1")), QStringLiteral("1"));
    }

    void aStoppedMySQLServerIsGivenUp()
    {
        Connection connection;
        connection.CommandTimeout = 1;
        connection.Open(Sandbox::mySQLConnectionString());
        const pid_t server = pidInFile(Sandbox::env("QS_SANDBOX_DIR") + QStringLiteral("/my/mariadbd.pid"));
        int milliseconds = 0;
        const Error error = timedOut(connection, {server}, milliseconds);
        QVERIFY2(error.description().startsWith(QLatin1String("Query timeout expired")),
                 qPrintable(error.description()));
        QVERIFY2(milliseconds < 20000, qPrintable(QString::number(milliseconds)));
        QVERIFY2(g_waits > 50, qPrintable(QString::number(g_waits)));
        QVERIFY(connection.isBroken());
        QCOMPARE(Sandbox::scalar(*Sandbox::mySQL(), QStringLiteral("SELECT 1")), QStringLiteral("1"));
    }

    // A statement that merely takes long is stopped on the server, and the connection
    // stays usable.
    void aSlowStatementIsStoppedOnTheServer()
    {
        for (const QString& connectionString :
             {Sandbox::postgreSQLConnectionString(), Sandbox::mySQLConnectionString()}) {
            Connection connection;
            connection.CommandTimeout = 1;
            connection.Open(connectionString);
            const bool postgreSQL = connectionString.startsWith(QLatin1String("Driver={PostgreSQL"));
            QElapsedTimer clock;
            clock.start();
            try {
                connection.Execute(postgreSQL ? QStringLiteral("SELECT pg_sleep(30)")
                                              : QStringLiteral("SELECT SLEEP(30)"));
                QFAIL("no time-out");
            } catch (const Error& error) {
                QCOMPARE(error.description(), QStringLiteral("Query timeout expired"));
            }
            QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
            QVERIFY(!connection.isBroken());
            QCOMPARE(Sandbox::scalar(connection, QStringLiteral("SELECT 3")), QStringLiteral("3"));
        }
    }
};

QTEST_MAIN(PausedServerTest)
#include "test_paused_server.moc"
