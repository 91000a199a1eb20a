// The benchmark's delay proxy, between the sandbox servers and their clients: a round
// trip takes both delays, chunks on their way at once do not add their delays up, large
// values cross whole both ways at no added rate limit, many connections run at once, and
// a target that refuses ends the client's connection.

#include "connect/ConnectionStrings.h"
#include "tests/support/TestSupport.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <libpq-fe.h>

namespace {

// A proxy in front of host:port for the length of a test.
class Proxy
{
public:
    Proxy(const QString& host, const QString& port, double delayMs)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/quillstone_delay_proxy"),
                        {host, port, QString::number(delayMs)});
        QDeadlineTimer deadline(20000);
        while (!m_process.canReadLine() && !deadline.hasExpired())
            m_process.waitForReadyRead(int(deadline.remainingTime()));
        m_port = QString::fromLatin1(m_process.readLine().trimmed());
    }
    ~Proxy()
    {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }
    QString port() const { return m_port; }

private:
    QProcess m_process;
    QString m_port;
};

QString connectionString(bool mySQL, const QString& port)
{
    using Sandbox::env;
    if (mySQL)
        return MySQLConnectionString(MySQLDetails{env("QS_MY_HOST"), env("QS_MY_USER"), env("QS_MY_DATABASE"),
                                                  env("QS_MY_PASSWORD"), port});
    return PostgreSQLConnectionString(PostgreSQLDetails{env("QS_PG_HOST"), port, env("QS_PG_USER"),
                                                        env("QS_PG_PASSWORD"), env("QS_PG_DATABASE")});
}

std::unique_ptr<Proxy> proxyFor(bool mySQL, double delayMs)
{
    return std::make_unique<Proxy>(Sandbox::env(mySQL ? "QS_MY_HOST" : "QS_PG_HOST"),
                                   Sandbox::env(mySQL ? "QS_MY_PORT" : "QS_PG_PORT"), delayMs);
}

void bothServers()
{
    QTest::addColumn<bool>("mySQL");
    QTest::newRow("MySQL") << true;
    QTest::newRow("PostgreSQL") << false;
}

std::unique_ptr<Connection> openThrough(const Proxy& proxy, bool mySQL)
{
    auto connection = std::make_unique<Connection>();
    connection->Open(connectionString(mySQL, proxy.port()));
    return connection;
}

} // namespace

class DelayProxyTest : public QObject
{
    Q_OBJECT
private slots:
    void roundTripsTakeBothDelays_data() { bothServers(); }
    void roundTripsTakeBothDelays();
    void delaysDoNotAddUp();
    void largeValuesCrossBothWays_data() { bothServers(); }
    void largeValuesCrossBothWays();
    void manyConnectionsAtOnce();
    void refusedTargetEndsTheConnection();
};

void DelayProxyTest::roundTripsTakeBothDelays()
{
    QFETCH(bool, mySQL);
    const double delayMs = 10;
    auto proxy = proxyFor(mySQL, delayMs);
    QVERIFY(!proxy->port().isEmpty());
    auto connection = openThrough(*proxy, mySQL);
    QList<double> trips;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(Sandbox::scalar(*connection, QStringLiteral("SELECT %1").arg(i)), QString::number(i));
        trips.append(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(trips.begin(), trips.end());
    // Each way may start a wake-up's lateness early; a tenth of the delay is far more.
    QVERIFY2(trips.first() >= 2 * delayMs * 0.9, qPrintable(QString::number(trips.first())));
    QVERIFY2(trips[trips.size() / 2] < 2 * delayMs + 10,
             qPrintable(QString::number(trips[trips.size() / 2])));
}

// PostgreSQL's pipeline mode sends each query while the answers to the earlier ones are
// still on their way: the proxy holds many chunks at once, each for the delay alone.
void DelayProxyTest::delaysDoNotAddUp()
{
    const double delayMs = 40;
    const int queries = 50;
    auto proxy = proxyFor(false, delayMs);
    const QByteArray conninfo =
        QStringLiteral("host=%1 port=%2 user=%3 password=%4 dbname=%5")
            .arg(Sandbox::env("QS_PG_HOST"), proxy->port(), Sandbox::env("QS_PG_USER"),
                 Sandbox::env("QS_PG_PASSWORD"), Sandbox::env("QS_PG_DATABASE"))
            .toUtf8();
    PGconn* connection = PQconnectdb(conninfo.constData());
    QCOMPARE(PQstatus(connection), CONNECTION_OK);
    QVERIFY(PQenterPipelineMode(connection));
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < queries; ++i) {
        const QByteArray number = QByteArray::number(i);
        const char* values[] = {number.constData()};
        QVERIFY(PQsendQueryParams(connection, "SELECT $1::int", 1, nullptr, values, nullptr, nullptr, 0));
        QVERIFY(PQpipelineSync(connection));
        QCOMPARE(PQflush(connection), 0);
        QThread::msleep(2); // the queries leave over 100 ms, in many chunks
    }
    for (int i = 0; i < queries; ++i) {
        PGresult* result = PQgetResult(connection);
        QCOMPARE(PQresultStatus(result), PGRES_TUPLES_OK);
        QCOMPARE(QByteArray(PQgetvalue(result, 0, 0)), QByteArray::number(i));
        PQclear(result);
        QCOMPARE(PQgetResult(connection), nullptr); // the end of the query's results
        result = PQgetResult(connection);
        QCOMPARE(PQresultStatus(result), PGRES_PIPELINE_SYNC);
        PQclear(result);
    }
    const double elapsedMs = double(clock.nsecsElapsed()) / 1e6;
    PQfinish(connection);
    // About 100 ms of sending and one round trip; delays that added up would take seconds.
    QVERIFY2(elapsedMs >= 2 * delayMs, qPrintable(QString::number(elapsedMs)));
    QVERIFY2(elapsedMs < queries * delayMs / 2, qPrintable(QString::number(elapsedMs)));
}

void DelayProxyTest::largeValuesCrossBothWays()
{
    QFETCH(bool, mySQL);
    auto proxy = proxyFor(mySQL, 0.5);
    auto connection = openThrough(*proxy, mySQL);
    QByteArray value(8 << 20, Qt::Uninitialized);
    quint32 state = 12345;
    for (char& c : value) {
        state = state * 1103515245 + 12345;
        c = char('a' + (state >> 16) % 26);
    }
    QElapsedTimer clock;
    clock.start();
    Sandbox::exec(*connection, QStringLiteral("CREATE TEMPORARY TABLE big (v %1)")
                                   .arg(mySQL ? QStringLiteral("LONGTEXT") : QStringLiteral("text")));
    connection->ExecuteUtf8("INSERT INTO big VALUES ('" + value + "')");
    QCOMPARE(Sandbox::scalar(*connection, QStringLiteral("SELECT md5(v) FROM big")).toLatin1(),
             QCryptographicHash::hash(value, QCryptographicHash::Md5).toHex());
    QCOMPARE(Sandbox::scalar(*connection, QStringLiteral("SELECT v FROM big")).toLatin1(), value);
    // 16 MiB at loopback speed take well under a second; a rate limit would show.
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
}

void DelayProxyTest::manyConnectionsAtOnce()
{
    auto proxy = proxyFor(true, 0.5);
    std::vector<std::unique_ptr<Connection>> connections;
    QStringList ids;
    for (int i = 0; i < 20; ++i) {
        connections.push_back(openThrough(*proxy, true));
        ids.append(Sandbox::scalar(*connections.back(), QStringLiteral("SELECT CONNECTION_ID()")));
    }
    ids.removeDuplicates();
    QCOMPARE(ids.size(), 20);
    // Every one still answers while the others are open, and after they close.
    for (auto& connection : connections)
        QCOMPARE(Sandbox::scalar(*connection, QStringLiteral("SELECT 1 + 1")), QStringLiteral("2"));
    connections.clear();
    auto last = openThrough(*proxy, true);
    QCOMPARE(Sandbox::scalar(*last, QStringLiteral("SELECT 2 + 2")), QStringLiteral("4"));
}

void DelayProxyTest::refusedTargetEndsTheConnection()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString port = QString::number(closed.serverPort());
    closed.close(); // nothing listens there now
    Proxy proxy(QStringLiteral("127.0.0.1"), port, 0.5);
    QElapsedTimer clock;
    clock.start();
    Connection connection;
    QVERIFY_THROWS_EXCEPTION(Error, connection.Open(connectionString(false, proxy.port())));
    QVERIFY(clock.elapsed() < 5000);
}

QTEST_MAIN(DelayProxyTest)
#include "test_delay_proxy.moc"
