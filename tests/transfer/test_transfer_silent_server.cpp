// A server that accepts a connection and then says nothing, or that holds a commit: the
// program keeps its windows painted all the while (its waiting hook runs), and what fails
// in the end is reported once.

#include "app/db/Waiting.h"
#include "tests/transfer/TransferFixture.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Counts the calls of the waiting hook and the longest time between two of them; after a
// while it runs the test's end of the silence, once. Threads of the test read the count and
// the time of the first call.
qint64 nowMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct HookWatch
{
    static constexpr qint64 kSilenceMilliseconds = 1500;
    std::atomic<int> calls{0};
    std::atomic<qint64> firstCall{0};
    qint64 lastCall = 0;
    qint64 longestGap = 0;
    std::function<void()> endSilence;

    void reset()
    {
        calls = 0;
        firstCall = 0;
        lastCall = 0;
        longestGap = 0;
        endSilence = nullptr;
    }
    bool silentLongEnough() const
    {
        return firstCall != 0 && nowMilliseconds() - firstCall >= kSilenceMilliseconds;
    }
} g_watch;

void watchWait()
{
    HookWatch& watch = g_watch;
    const qint64 now = nowMilliseconds();
    if (watch.firstCall == 0)
        watch.firstCall = now;
    else
        watch.longestGap = qMax(watch.longestGap, now - watch.lastCall);
    watch.lastCall = now;
    ++watch.calls;
    if (watch.endSilence && watch.silentLongEnough())
        std::exchange(watch.endSilence, nullptr)();
}

// A port that takes connections into its queue and never answers on them.
class SilentListener
{
public:
    SilentListener()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_socket, 16) != 0 ||
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            qFatal("cannot listen on loopback");
        m_port = ntohs(address.sin_port);
    }
    ~SilentListener() { close(); }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    QString port() const { return QString::number(m_port); }
    // The connections waiting in the queue are reset.
    void close()
    {
        if (m_socket >= 0)
            ::close(std::exchange(m_socket, -1));
    }

private:
    int m_socket = -1;
    quint16 m_port = 0;
};
} // namespace

class TransferSilentServerTest : public ServerCase
{
    Q_OBJECT
private slots:
    void init()
    {
        begin();
        g_watch.reset();
    }
    void cleanup()
    {
        Waiting::setHook(nullptr);
        end();
    }
    void aServerSilentWhileConnecting_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<bool>("silentPostgreSQL");
        QTest::addColumn<int>("line");
        QTest::newRow("to PostgreSQL, PostgreSQL silent") << &Server::mySQL() << true << 116;
        QTest::newRow("to PostgreSQL, MySQL silent") << &Server::mySQL() << false << 124;
        QTest::newRow("to MySQL, PostgreSQL silent") << &Server::postgreSQL() << true << 118;
        QTest::newRow("to MySQL, MySQL silent") << &Server::postgreSQL() << false << 126;
    }

    void aServerSilentWhileConnecting()
    {
        // The connection is opened with the transfers' long time-out; the server takes the
        // connection and says nothing until the test closes its port.
        QFETCH(bool, silentPostgreSQL);
        QFETCH(int, line);
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE quiet (id INT)"));
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE quiet (id int)"));
        openTableWindow();
        SilentListener listener;
        Form1& form = Windows::form1();
        (silentPostgreSQL ? form.Text2 : form.Text10)->setText(listener.port());
        g_watch.endSilence = [&] { listener.close(); };
        Waiting::setHook(&watchWait);
        QElapsedTimer clock;
        clock.start();
        send({QStringLiteral("quiet")});

        QCOMPARE(shownBoxes(), QStringList{Server::report(server().sendButton(), line)});
        QVERIFY2(clock.elapsed() >= HookWatch::kSilenceMilliseconds,
                 qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(g_watch.longestGap < 1000, qPrintable(QString::number(g_watch.longestGap)));
        QVERIFY2(g_watch.calls >= 10, qPrintable(QString::number(g_watch.calls)));
    }

    void stopEndsAConnectionAttempt_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<bool>("silentPostgreSQL");
        QTest::newRow("to PostgreSQL, PostgreSQL silent") << &Server::mySQL() << true;
        QTest::newRow("to PostgreSQL, MySQL silent") << &Server::mySQL() << false;
    }

    void stopEndsAConnectionAttempt()
    {
        // The user presses Stop while a connection waits on a server that says nothing: the
        // attempt ends within the grace of a second, and nothing is reported.
        QFETCH(bool, silentPostgreSQL);
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE quiet (id INT)"));
        openTableWindow();
        SilentListener listener;
        Form1& form = Windows::form1();
        (silentPostgreSQL ? form.Text2 : form.Text10)->setText(listener.port());
        Form2& tables = Windows::form2();
        tables.show();
        QElapsedTimer sinceStop;
        QTimer::singleShot(300, tables.stopButton(), [&] {
            sinceStop.start();
            QTest::mouseClick(tables.stopButton(), Qt::LeftButton);
        });
        send({QStringLiteral("quiet")});

        QVERIFY(sinceStop.isValid());
        QVERIFY2(sinceStop.elapsed() < 2000, qPrintable(QString::number(sinceStop.elapsed())));
        QS_VERIFY_NO_BOXES();
        const QString summary = tables.summaryLine()->text();
        QVERIFY2(summary.startsWith(QStringLiteral("Stopped: 0 of 1 table copied: 0 rows written; in ")),
                 qPrintable(summary));
        QCOMPARE(items(tables.List2), QStringList());
    }

    void theFinalCommitWaitsPaintingAndEndsWhenTheServerGoes()
    {
        // The commit that makes a table's rows durable waits for a synchronous standby that
        // never comes, as it would for a server whose disk or replica stalls. The wait paints
        // the windows; when the server ends the session, the commit fails with its reason.
        Connection target;
        target.Open(Sandbox::postgreSQLConnectionString());
        const QString pid = Sandbox::scalar(target, QStringLiteral("SELECT pg_backend_pid()"));
        Sandbox::exec(target, QStringLiteral("CREATE TABLE held (id int)"));
        std::unique_ptr<StatementStream> stream = target.openStatementStream();
        for (int id = 1; id <= 100; ++id)
            stream->send(QByteArray("INSERT INTO held VALUES(") + QByteArray::number(id) + ')', id);
        Answer answer;
        int answered = 0;
        while (stream->next(answer, true)) {
            QVERIFY(!answer.error);
            ++answered;
        }
        QCOMPARE(answered, 100);

        GlobalSetting standby(Server::postgreSQL(), QStringLiteral("synchronous_standby_names"),
                              QStringLiteral("'nobody'"));
        // The reload reaches the server's processes a moment later: a commit that the client
        // gives up after a second shows when it has.
        Connection probe;
        probe.CommandTimeout = 1;
        probe.Open(Sandbox::postgreSQLConnectionString());
        QDeadlineTimer deadline(30000);
        for (bool waits = false; !waits && !deadline.hasExpired();) {
            Sandbox::exec(probe, QStringLiteral("BEGIN"));
            Sandbox::exec(probe, QStringLiteral("SET LOCAL synchronous_commit = on"));
            Sandbox::exec(probe, QStringLiteral("SELECT pg_logical_emit_message(true, 'probe', '')"));
            try {
                probe.Execute(QStringLiteral("COMMIT"));
            } catch (const Error&) {
                waits = true;
            }
        }

        // The session ends from outside once the commit has waited for a while.
        std::atomic<bool> ended{false};
        std::thread ender([&] {
            try {
                auto watcher = Sandbox::postgreSQLAdmin();
                const QString waiting =
                    QStringLiteral(
                        "SELECT count(*) FROM pg_stat_activity WHERE pid = %1 AND wait_event = 'SyncRep'")
                        .arg(pid);
                QDeadlineTimer patience(60000);
                while (Sandbox::scalar(*watcher, waiting) != QLatin1String("1") && !patience.hasExpired())
                    QThread::msleep(10);
                while (!g_watch.silentLongEnough() && !patience.hasExpired())
                    QThread::msleep(10);
                watcher->Execute(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid));
            } catch (const std::exception& error) {
                qWarning("ending the session: %s", error.what());
            }
            ended = true;
        });
        Waiting::setHook(&watchWait);
        bool failed = false;
        try {
            stream->finish();
        } catch (const Error& error) {
            failed = true;
            qInfo("the commit failed: %s", qPrintable(error.description()));
        }
        Waiting::setHook(nullptr);
        ender.join();
        QVERIFY(ended);
        QVERIFY(failed);
        QVERIFY2(g_watch.calls >= 10, qPrintable(QString::number(g_watch.calls)));
        QVERIFY2(g_watch.longestGap < 1000, qPrintable(QString::number(g_watch.longestGap)));
    }
};

QTEST_MAIN(TransferSilentServerTest)
#include "test_transfer_silent_server.moc"
