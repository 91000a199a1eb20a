// The benchmark's delay proxy, between the sandbox servers and their clients: a round
// trip takes both delays, chunks on their way at once do not add their delays up, large
// values cross whole both ways at no added rate limit, many connections run at once, and
// a target that refuses ends the client's connection. Made narrow, it keeps each direction
// of a connection to its rate, with the bytes intact, and a sender faster than the link
// finds its own socket full.

#include "bench/ProxyProcess.h"
#include "connect/ConnectionStrings.h"
#include "tests/support/TestSupport.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QString connectionString(bool mySQL, const QString& port)
{
    using Sandbox::env;
    if (mySQL)
        return MySQLConnectionString(MySQLDetails{env("QS_MY_HOST"), env("QS_MY_USER"), env("QS_MY_DATABASE"),
                                                  env("QS_MY_PASSWORD"), port});
    return PostgreSQLConnectionString(PostgreSQLDetails{env("QS_PG_HOST"), port, env("QS_PG_USER"),
                                                        env("QS_PG_PASSWORD"), env("QS_PG_DATABASE")});
}

std::unique_ptr<DelayProxy> proxyFor(bool mySQL, double delayMs)
{
    return std::make_unique<DelayProxy>(Sandbox::env(mySQL ? "QS_MY_HOST" : "QS_PG_HOST"),
                                        Sandbox::env(mySQL ? "QS_MY_PORT" : "QS_PG_PORT"),
                                        QString::number(delayMs));
}

void bothServers()
{
    QTest::addColumn<bool>("mySQL");
    QTest::newRow("MySQL") << true;
    QTest::newRow("PostgreSQL") << false;
}

std::unique_ptr<Connection> openThrough(const DelayProxy& proxy, bool mySQL)
{
    auto connection = std::make_unique<Connection>();
    connection->Open(connectionString(mySQL, proxy.port()));
    return connection;
}

QByteArray pseudoRandom(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes) {
        seed = seed * 1103515245 + 12345;
        c = char(seed >> 16);
    }
    return bytes;
}

QByteArray md5(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

// A socket with its buffer set before it connects or listens (0: the system's).
int loopbackSocket(int option, int bytes)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && bytes > 0)
        setsockopt(fd, SOL_SOCKET, option, &bytes, sizeof bytes);
    return fd;
}

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// The test's own server behind the proxy: it takes one connection, whose receive buffer
// is set before it listens.
class Target
{
public:
    explicit Target(int receiveBuffer = 0) : m_listener(loopbackSocket(SO_RCVBUF, receiveBuffer))
    {
        sockaddr_in address = loopback(0);
        socklen_t size = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(m_listener, 4) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            qFatal("the test's listener failed: %s", std::strerror(errno));
        m_port = QString::number(ntohs(address.sin_port));
    }
    ~Target() { close(m_listener); }
    QString port() const { return m_port; }
    int accept() const { return ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC); }

private:
    int m_listener;
    QString m_port;
};

int connectThrough(const DelayProxy& proxy, int sendBuffer = 0)
{
    const int fd = loopbackSocket(SO_SNDBUF, sendBuffer);
    const sockaddr_in address = loopback(quint16(proxy.port().toUInt()));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        qFatal("no connection to the proxy: %s", std::strerror(errno));
    return fd;
}

// Writes all of the bytes, blocking, then ends the direction.
void sendAll(int fd, const QByteArray& bytes)
{
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t written =
            ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (written < 0 && errno != EINTR)
            break; // the reader sees the bytes missing
        sent += std::max<ssize_t>(written, 0);
    }
    shutdown(fd, SHUT_WR);
}

// What arrived on one socket, and when: bytes so far at nanoseconds since the start.
struct Arrival
{
    int fd = -1;
    QByteArray bytes;
    QList<QPair<qint64, qint64>> samples;
    bool ended = false;
};

// Reads the sockets until each has ended or the deadline has passed.
void receive(const QList<Arrival*>& arrivals, const QElapsedTimer& clock, QDeadlineTimer deadline)
{
    char buffer[1 << 16];
    while (!deadline.hasExpired()) {
        QList<pollfd> fds;
        for (Arrival* arrival : arrivals) {
            if (!arrival->ended)
                fds.append({arrival->fd, POLLIN, 0});
        }
        if (fds.isEmpty())
            return;
        if (poll(fds.data(), nfds_t(fds.size()), int(std::min<qint64>(deadline.remainingTime(), 1000))) <= 0)
            continue;
        for (Arrival* arrival : arrivals) {
            if (arrival->ended)
                continue;
            const ssize_t got = recv(arrival->fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                arrival->bytes.append(buffer, got);
                arrival->samples.append({clock.nsecsElapsed(), arrival->bytes.size()});
            } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                arrival->ended = true;
            }
        }
    }
}

// A token bucket of the given rate and size, full from the start, lets through at most
// size + rate * t bytes by time t. The bucket is 10 ms of the rate; the test allows twice
// that. An empty answer: every sample was within it.
QString overTheRate(const Arrival& arrival, double rate)
{
    const double allowance = 2 * rate / 100;
    for (const auto& [nanoseconds, bytes] : arrival.samples) {
        if (double(bytes) > allowance + rate * double(nanoseconds) / 1e9)
            return QStringLiteral("%1 bytes after %2 ms").arg(bytes).arg(double(nanoseconds) / 1e6);
    }
    return {};
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
    void eachWayKeepsToItsRate();
    void aNarrowLinkFillsTheSender();
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
    DelayProxy proxy(QStringLiteral("127.0.0.1"), port, QStringLiteral("0.5"));
    QElapsedTimer clock;
    clock.start();
    Connection connection;
    QVERIFY_THROWS_EXCEPTION(Error, connection.Open(connectionString(false, proxy.port())));
    QVERIFY(clock.elapsed() < 5000);
}

// Both directions of one connection at once, each at its own rate: no sample ever ahead
// of what the rate allows since the writers started, the whole at more than half the rate,
// and the bytes as sent.
void DelayProxyTest::eachWayKeepsToItsRate()
{
    const double rate = 2000000;
    const QByteArray up = pseudoRandom(3000000, 1);
    const QByteArray down = pseudoRandom(3000000, 2);
    Target target;
    DelayProxy proxy(QStringLiteral("127.0.0.1"), target.port(), QStringLiteral("1"),
                     {QStringLiteral("--rate"), QString::number(qint64(rate)), QStringLiteral("--window"),
                      QStringLiteral("65536")});
    QVERIFY(!proxy.port().isEmpty());
    Arrival atTarget;
    Arrival atClient;
    atClient.fd = connectThrough(proxy);
    atTarget.fd = target.accept();
    QVERIFY(atTarget.fd >= 0);
    QElapsedTimer clock;
    clock.start();
    std::thread upward(sendAll, atClient.fd, std::cref(up));
    std::thread downward(sendAll, atTarget.fd, std::cref(down));
    receive({&atTarget, &atClient}, clock, QDeadlineTimer(60000));
    upward.join();
    downward.join();
    close(atClient.fd);
    close(atTarget.fd);

    for (const Arrival* arrival : {&atTarget, &atClient}) {
        const QByteArray& sent = arrival == &atTarget ? up : down;
        QCOMPARE(arrival->bytes.size(), sent.size());
        QCOMPARE(md5(arrival->bytes), md5(sent));
        const QString early = overTheRate(*arrival, rate);
        QVERIFY2(early.isEmpty(), qPrintable(early));
        const double seconds = double(arrival->samples.constLast().first) / 1e9;
        QVERIFY2(double(sent.size()) / seconds > rate / 2, qPrintable(QString::number(seconds)));
    }
}

// A receiver that does not read, behind a narrow link: the sender's socket is full after
// the buffers along the way and one window in the proxy, not after the megabytes a wide
// proxy takes in. Then everything arrives, intact.
void DelayProxyTest::aNarrowLinkFillsTheSender()
{
    const QByteArray sent = pseudoRandom(2 << 20, 3);
    Target target(16384);
    DelayProxy proxy(QStringLiteral("127.0.0.1"), target.port(), QStringLiteral("1"),
                     {QStringLiteral("--rate"), QStringLiteral("4000000"), QStringLiteral("--window"),
                      QStringLiteral("65536")});
    const int client = connectThrough(proxy, 16384);
    qsizetype accepted = 0;
    // Writes until the socket has stayed full for a while: the link holds no more.
    pollfd writable{client, POLLOUT, 0};
    while (accepted < sent.size() && poll(&writable, 1, 500) == 1) {
        const ssize_t written = ::send(client, sent.constData() + accepted, size_t(sent.size() - accepted),
                                       MSG_NOSIGNAL | MSG_DONTWAIT);
        accepted += std::max<ssize_t>(written, 0);
    }
    // The sockets' buffers (the kernel doubles each) and the proxy's window: a few hundred
    // KiB. A proxy without a window takes in 4 MiB before it stops reading.
    QVERIFY2(accepted < (1 << 20), qPrintable(QString::number(accepted)));

    Arrival arrival;
    arrival.fd = target.accept();
    QVERIFY(arrival.fd >= 0);
    QElapsedTimer clock;
    clock.start();
    std::thread rest(sendAll, client, sent.mid(accepted));
    receive({&arrival}, clock, QDeadlineTimer(60000));
    rest.join();
    close(client);
    close(arrival.fd);
    QCOMPARE(arrival.bytes.size(), sent.size());
    QCOMPARE(md5(arrival.bytes), md5(sent));
}

QTEST_MAIN(DelayProxyTest)
#include "test_delay_proxy.moc"
