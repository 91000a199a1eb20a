// quillstone_bench: copies a generated table of N rows each way through the table window's
// own send buttons, with the servers near (their own loopback ports), far (behind a delay
// proxy each) and far and narrow (behind a delay proxy that also limits the rate to 25 MB/s
// each way and the window to 64 KiB), and sets each copy's rate beside a plain
// client-library loop sending the same INSERT texts one at a time.
//
//   quillstone_bench [--rows N] [--only near|far|narrow|distant] [--plain-seconds S] [--delay-ms D]
//                    [--memory-record FILE --revision R]
//   quillstone_bench --wide
//
// --wide copies tables of 10 MB values instead, of two sizes each way, and sets the copies'
// peak memory side by side.
//
// It reads the QS_* variables of scripts/sandbox. The copy and the plain loop each run in
// a fresh child process, so that what they cost in time and memory is their own. They
// take turns: a durable commit waits for the disk, whose flush rate can change many times
// a minute on a shared machine, so the plain loop runs in slices spread over the copy,
// each while the copy is stopped and the server has finished what the copy had sent.

#include "app/ErrorReport.h"
#include "app/MessageBox.h"
#include "app/Settings.h"
#include "app/SqlText.h"
#include "app/Windows.h"
#include "app/db/Connection.h"
#include "app/db/Error.h"
#include "bench/Measure.h"
#include "bench/PlainLoop.h"
#include "connect/ConnectionStrings.h"
#include "connect/Form1.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "transfer/Datatype.h"
#include "transfer/ValueText.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

struct Direction
{
    const char* key;
    const char* label;
    bool toPostgreSQL;
    const char* table; // the source table, and the transfer's target of the same name
    const char* plainTable;
    // The error report's lines of the send button: each statement of the table's shape, and
    // the step that follows the last of them.
    int shapeLine;
    int afterShapeLine;
};
const Direction kDirections[] = {
    {"to-postgresql", "MySQL -> PostgreSQL", true, "bench_my", "bench_my_plain", 286, 274},
    {"to-mysql", "PostgreSQL -> MySQL", false, "bench_pg", "bench_pg_plain", 272, 260},
};

// Where the servers are: on their own loopback ports, or behind a proxy each; distant is
// another city, 10 ms each way, and is run on its own with a million rows (--only distant).
enum class Place { Near, Far, Narrow, Distant };
const Place kPlaces[] = {Place::Near, Place::Far, Place::Narrow, Place::Distant};
const Place kDefaultPlaces[] = {Place::Near, Place::Far, Place::Narrow};
const QString kDistantDelayMs = QStringLiteral("10");
// A million rows, each way, in under a minute.
constexpr double kDistantTargetSeconds = 60;

const char* placeName(Place place)
{
    switch (place) {
    case Place::Near:
        return "near";
    case Place::Far:
        return "far";
    case Place::Narrow:
        return "far, narrow";
    case Place::Distant:
        return "distant";
    }
    return "";
}

// The name --only takes.
const char* placeKey(Place place)
{
    return place == Place::Narrow ? "narrow" : placeName(place);
}

// The narrow link: a rate and a window such as a slow line to a server has.
const QStringList kNarrowLink{QStringLiteral("--rate"), QStringLiteral("25000000"),
                              QStringLiteral("--window"), QStringLiteral("65536")};

// How many times the plain loop's rate the copy should reach. Near, the plain loop waits
// for a durable commit per row; far, also for a round trip per row, narrow or not. Distant
// has a target in time instead (0 here).
double targetRatio(const Direction& direction, Place place)
{
    switch (place) {
    case Place::Near:
        return direction.toPostgreSQL ? 5 : 3;
    case Place::Far:
    case Place::Narrow:
        return direction.toPostgreSQL ? 30 : 20;
    case Place::Distant:
        break;
    }
    return 0;
}
constexpr double kMemoryTargetMiB = 20;

struct Options
{
    qint64 rows = 100000;
    QList<Place> places{std::begin(kDefaultPlaces), std::end(kDefaultPlaces)};
    double plainSeconds = 20;
    QString delayMs = QStringLiteral("0.5");
    QString memoryRecord;
    QString revision;
};

std::unique_ptr<Connection> open(const QString& connectionString)
{
    auto connection = std::make_unique<Connection>();
    connection->CommandTimeout = 0; // filling a million rows takes a while
    connection->Open(connectionString);
    return connection;
}

QString text(const QByteArray& value)
{
    return QString::fromUtf8(value);
}

// The program's own connection strings, for the parent's connections to the servers.
QString mySQLConnectionString(const SandboxDetails& d)
{
    return MySQLConnectionString(
        MySQLDetails{text(d.myHost), text(d.myUser), text(d.myDatabase), text(d.myPassword), text(d.myPort)});
}

QString postgreSQLConnectionString(const SandboxDetails& d)
{
    return PostgreSQLConnectionString(PostgreSQLDetails{text(d.pgHost), text(d.pgPort), text(d.pgUser),
                                                        text(d.pgPassword), text(d.pgDatabase)});
}

QString scalar(Connection& connection, const QString& sql)
{
    Recordset result = connection.Execute(sql);
    return result.Fields()[0].Value().toString();
}

// Integer, decimal, text (every fiftieth NULL), date-time and double columns; an
// auto-increment primary key, a NOT NULL column with a default and an index, which the copy
// adds after the rows.
void fillSources(Connection& my, Connection& pg, qint64 rows)
{
    my.Execute(QStringLiteral("DROP TABLE IF EXISTS bench_my, bench_pg, bench_pg_plain"));
    pg.Execute(QStringLiteral("DROP TABLE IF EXISTS bench_pg, bench_my, bench_my_plain"));
    my.Execute(
        QStringLiteral("CREATE TABLE bench_my (id BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY, qty INT "
                       "NOT NULL DEFAULT 0, amount DECIMAL(12,2), name VARCHAR(64), created DATETIME(6), "
                       "ratio DOUBLE, KEY bench_my_created (created))"));
    my.Execute(QStringLiteral("INSERT INTO bench_my SELECT seq, seq % 1000, (seq * 7919 % 10000000) / 100, "
                              "IF(seq % 50 = 0, NULL, CONCAT('customer ', seq, ' O''Brien')), "
                              "TIMESTAMPADD(MICROSECOND, seq * 37000123, '2020-01-01'), seq / 7e0 "
                              "FROM seq_1_to_%1")
                   .arg(rows));
    pg.Execute(
        QStringLiteral("CREATE TABLE bench_pg (id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, qty "
                       "integer NOT NULL DEFAULT 0, amount numeric(12,2), name varchar(64), created "
                       "timestamp(6), ratio double precision)"));
    pg.Execute(QStringLiteral("INSERT INTO bench_pg SELECT g, g % 1000, (g * 7919 % 10000000) / 100.0, "
                              "CASE WHEN g % 50 = 0 THEN NULL ELSE 'customer ' || g || ' O''Brien' END, "
                              "timestamp '2020-01-01' + g * interval '37.000123 seconds', g / 7e0 "
                              "FROM generate_series(1::bigint, %1) AS g")
                   .arg(rows));
    pg.Execute(QStringLiteral("CREATE INDEX bench_pg_created ON bench_pg (created)"));
    pg.Execute(QStringLiteral("ANALYZE bench_pg"));
}

// The servers' durability settings, and whether they are the durable defaults.
bool describeDurability(Connection& my, Connection& pg)
{
    const QString fsync = scalar(pg, QStringLiteral("SHOW fsync"));
    const QString synchronous = scalar(pg, QStringLiteral("SHOW synchronous_commit"));
    const QString pages = scalar(pg, QStringLiteral("SHOW full_page_writes"));
    const QString flush = scalar(my, QStringLiteral("SELECT @@innodb_flush_log_at_trx_commit"));
    const QString doublewrite = scalar(my, QStringLiteral("SELECT @@innodb_doublewrite"));
    std::printf("PostgreSQL: fsync %s, synchronous_commit %s, full_page_writes %s\n", qPrintable(fsync),
                qPrintable(synchronous), qPrintable(pages));
    std::printf("MariaDB: innodb_flush_log_at_trx_commit %s, innodb_doublewrite %s\n", qPrintable(flush),
                qPrintable(doublewrite));
    return fsync == QLatin1String("on") && synchronous == QLatin1String("on") &&
           pages == QLatin1String("on") && flush == QLatin1String("1") && doublewrite == QLatin1String("1");
}

// What the copy's child process reports: its CPU time and peak memory, and when its click
// began and ended.
struct TransferChild
{
    double cpuSeconds = 0;
    long peakKiB = 0;   // at the end
    long beforeKiB = 0; // before the click
    qint64 startedAt = 0;
    qint64 endedAt = 0; // monotonicNanoseconds()
    // The statements of the table's shape, after the rows: from the first of them to the
    // step after the last; 0 when none ran.
    qint64 shapeStartedAt = 0;
    qint64 shapeEndedAt = 0;
};

// Where the child's click stands: the shape's first statement and the step after the last.
const Direction* s_watched = nullptr;
qint64 s_shapeStartedAt = 0;
qint64 s_shapeEndedAt = 0;
void watchShape(const QString&, int line, const std::source_location&)
{
    if (line == s_watched->shapeLine && s_shapeStartedAt == 0)
        s_shapeStartedAt = monotonicNanoseconds();
    else if (line == s_watched->afterShapeLine && s_shapeStartedAt != 0 && s_shapeEndedAt == 0)
        s_shapeEndedAt = monotonicNanoseconds();
}

// The child: one click of the table window, as the user would make it, with the
// connection window's fields pointed at the servers' (or the proxies') ports.
int runTransfer(const Direction& direction, const QString& table, const SandboxDetails& d)
{
    QTemporaryDir folder;
    Settings settings(folder.filePath(QStringLiteral("Vantrel.conf")));
    Settings::setInstance(&settings);
    MessageBox::setTestMode(true);
    MessageBox::setApplicationTitle(QStringLiteral("Quillstone"));

    Form1& form1 = Windows::form1();
    form1.Text1->setText(text(d.pgHost));
    form1.Text2->setText(text(d.pgPort));
    form1.Text3->setText(text(d.pgUser));
    form1.Text4->setText(text(d.pgPassword));
    form1.Text5->setText(text(d.pgDatabase));
    form1.Text6->setText(text(d.myHost));
    form1.Text10->setText(text(d.myPort));
    form1.Text7->setText(text(d.myUser));
    form1.Text8->setText(text(d.myPassword));
    form1.Text9->setText(text(d.myDatabase));
    form1.PushButton2_Click(); // "Next >" fills both lists

    Form2& form2 = Windows::form2();
    TableList* list = direction.toPostgreSQL ? form2.List1 : form2.List2;
    const QList<QListWidgetItem*> found = list->findItems(table, Qt::MatchExactly);
    if (found.size() == 1) {
        found.constFirst()->setSelected(true);
        list->setCurrentItem(found.constFirst(), QItemSelectionModel::NoUpdate);
    }
    TransferChild measured;
    s_watched = &direction;
    Handler::setStepObserver(watchShape);
    measured.beforeKiB = peakKiB();
    const double cpuBefore = ownCpuSeconds();
    measured.startedAt = monotonicNanoseconds();
    if (found.size() == 1)
        direction.toPostgreSQL ? form2.PushButton3_Click() : form2.PushButton4_Click();
    measured.endedAt = monotonicNanoseconds();
    measured.cpuSeconds = ownCpuSeconds() - cpuBefore;
    measured.peakKiB = peakKiB();
    Handler::setStepObserver(nullptr);
    measured.shapeStartedAt = s_shapeStartedAt;
    measured.shapeEndedAt = s_shapeEndedAt;

    int status = 0;
    if (found.size() != 1) {
        std::fprintf(stderr, "the table window does not list %s\n", qPrintable(table));
        status = 1;
    }
    for (const MessageBox::Shown& shown : MessageBox::history()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(shown.title), qPrintable(shown.text.left(2000)));
        status = 1;
    }
    std::printf("RESULT %.6f %ld %ld %lld %lld %lld %lld\n", measured.cpuSeconds, measured.peakKiB,
                measured.beforeKiB, static_cast<long long>(measured.startedAt),
                static_cast<long long>(measured.endedAt), static_cast<long long>(measured.shapeStartedAt),
                static_cast<long long>(measured.shapeEndedAt));
    Settings::setInstance(nullptr);
    return status;
}

// The other child: the plain loop over the statement file. Once connected, it says so and
// stops itself; the benchmark continues it for each slice of time it gives it, and
// SIGUSR1 ends the loop on the clock.
int runPlainLoop(const Direction& direction, const SandboxDetails& details, const QString& file)
{
    std::signal(SIGUSR1, [](int) { requestPlainStop(); });
    auto ready = [] {
        std::printf("READY\n");
        std::fflush(stdout);
        raise(SIGSTOP);
    };
    const PlainResult plain =
        direction.toPostgreSQL ? sendToPostgreSQL(details, file, ready) : sendToMySQL(details, file, ready);
    if (!plain.error.isEmpty()) {
        std::fprintf(stderr, "the plain loop failed: %s\n", qPrintable(plain.error));
        return 1;
    }
    std::printf("RESULT %lld %.6f %lld %d\n", static_cast<long long>(plain.rows), plain.cpuSeconds,
                static_cast<long long>(plain.endedAt), int(plain.wholeFile));
    return 0;
}

void startChild(QProcess& child, const QStringList& arguments, const QProcessEnvironment& environment)
{
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForStarted(60000))
        throw std::runtime_error("a child process did not start");
}

// The words of the RESULT line of a child that has ended, after checking that it ended well.
QList<QByteArray> resultOf(QProcess& child, int words, const char* what)
{
    if (child.state() != QProcess::NotRunning)
        throw std::runtime_error(std::string(what) + " has not ended: " + child.errorString().toStdString());
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw std::runtime_error(std::string(what) + " failed (exit code " +
                                 std::to_string(child.exitCode()) +
                                 (child.exitStatus() == QProcess::CrashExit ? ", killed)" : ")"));
    if (child.property("result").isNull())
        child.setProperty("result", child.readAllStandardOutput());
    for (const QByteArray& line : child.property("result").toByteArray().split('\n')) {
        QList<QByteArray> result = line.trimmed().split(' ');
        if (result.size() == words + 1 && result[0] == "RESULT")
            return result;
    }
    throw std::runtime_error(std::string("unexpected output of ") + what);
}

// The state letter of /proc/PID/stat: 'T' when stopped.
char processState(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray stat = file.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && close + 2 < stat.size() ? stat.at(close + 2) : '?';
}

// Waits until a child is stopped, or has ended.
void waitStopped(QProcess& child)
{
    const qint64 pid = child.processId();
    const QDeadlineTimer deadline(30000);
    while (processState(pid) != 'T' && child.state() == QProcess::Running && !deadline.hasExpired())
        QThread::usleep(200);
}

void stopChild(QProcess& child)
{
    kill(pid_t(child.processId()), SIGSTOP);
    waitStopped(child);
}

// Waits until the target server runs no statement of another session: what a stopped copy
// had sent is done. Data still in a proxy arrives within its delay.
void waitTargetIdle(Connection& target, bool postgreSQL, double delayMs)
{
    const QString busy =
        postgreSQL ? QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND "
                                    "pid <> pg_backend_pid() AND wait_event IS DISTINCT FROM 'ClientRead'")
                   : QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE COMMAND = "
                                    "'Query' AND ID <> CONNECTION_ID()");
    QThread::usleep(static_cast<unsigned long>(delayMs * 2000) + 1000);
    const QDeadlineTimer deadline(30000);
    int quiet = 0;
    while (quiet < 2 && !deadline.hasExpired()) {
        quiet = scalar(target, busy) == QLatin1String("0") ? quiet + 1 : 0;
        QThread::usleep(1000);
    }
}

// One delay proxy in front of each server, for the far runs; the options make the link
// narrow.
class DelayProxies
{
public:
    DelayProxies(const SandboxDetails& details, const QString& delayMs, const QStringList& options = {})
    {
        m_pgPort = start(m_pg, details.pgHost, details.pgPort, delayMs, options);
        m_myPort = start(m_my, details.myHost, details.myPort, delayMs, options);
    }
    ~DelayProxies()
    {
        for (QProcess* proxy : {&m_pg, &m_my}) {
            proxy->terminate();
            proxy->waitForFinished(10000);
        }
    }
    DelayProxies(const DelayProxies&) = delete;
    DelayProxies& operator=(const DelayProxies&) = delete;

    QByteArray pgPort() const { return m_pgPort; }
    QByteArray myPort() const { return m_myPort; }
    QString pids() const { return QStringLiteral("%1 %2").arg(m_pg.processId()).arg(m_my.processId()); }

private:
    // The proxy prints its port once it listens.
    static QByteArray start(QProcess& proxy, const QByteArray& host, const QByteArray& port,
                            const QString& delayMs, const QStringList& options)
    {
        proxy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proxy.start(QCoreApplication::applicationDirPath() + QStringLiteral("/quillstone_delay_proxy"),
                    options + QStringList{text(host), text(port), delayMs});
        const QDeadlineTimer deadline(30000);
        while (!proxy.canReadLine()) {
            if (!proxy.waitForReadyRead(int(deadline.remainingTime())) || deadline.hasExpired())
                throw std::runtime_error("the delay proxy did not start");
        }
        QByteArray listening = proxy.readLine().trimmed();
        if (listening.toInt() <= 0)
            throw std::runtime_error("the delay proxy printed no port");
        return listening;
    }

    QProcess m_pg;
    QProcess m_my;
    QByteArray m_pgPort;
    QByteArray m_myPort;
};

// The INSERT texts the transfer sends, built by the same value functions, aimed at a
// twin table of the transfer's target.
qint64 writeStatements(const Direction& direction, Connection& source, const QString& path)
{
    StatementWriter out(path);
    Recordset rows;
    const QString table = QLatin1String(direction.table);
    rows.Open(QStringLiteral("SELECT * FROM ") +
                  (direction.toPostgreSQL ? mySQLName(table) : postgreSQLName(table)),
              source);
    const Fields& fields = rows.Fields();
    QList<int> types;
    QList<bool> numeric;
    for (int c = 0; c < fields.Count(); ++c) {
        types.append(fields[c].Type());
        numeric.append(postgreSQLTypeFor(fields[c].Type()).numeric);
    }
    const QString plain = QLatin1String(direction.plainTable);
    const QByteArray head = direction.toPostgreSQL
                                ? "INSERT INTO " + postgreSQLName(plain).toUtf8() + " VALUES("
                                : "INSERT INTO " + mySQLName(plain).toUtf8() + " VALUES('";
    qint64 count = 0;
    QByteArray statement;
    for (; !rows.Eof(); rows.MoveNext(), ++count) {
        statement = head;
        for (int c = 0; c < fields.Count(); ++c) {
            if (direction.toPostgreSQL)
                appendPostgreSQLValue(statement, fields[c].Value(), types[c], numeric[c]);
            else
                appendMySQLValue(statement, fields[c].Value(), types[c]);
        }
        statement.chop(direction.toPostgreSQL ? 2 : 3);
        statement += ')';
        out.write(statement);
    }
    rows.Close();
    return count;
}

// Row count and an order-free sum of row hashes, computed by the target server.
QString contentOf(Connection& target, bool postgreSQL, const QString& table)
{
    return scalar(
        target,
        postgreSQL
            ? QStringLiteral(
                  "SELECT count(*) || ' ' || coalesce(sum(('x' || substr(md5(t::text), 1, 15))::bit(60)"
                  "::bigint), 0) FROM \"%1\" AS t")
                  .arg(table)
            : QStringLiteral(
                  "SELECT CONCAT(COUNT(*), ' ', COALESCE(SUM(CONV(SUBSTR(MD5(CONCAT_WS('|', id, "
                  "qty, amount, name, created, ratio, ISNULL(name))), 1, 15), 16, 10)), 0)) FROM `%1`")
                  .arg(table));
}

// The row count and an order-free sum of row hashes of a bench table, computed by its
// server over each row's values as texts: the source's values spelled as the copy holds
// them, so that a copy and its source give the same answer only when every value arrived.
// The spellings are those of the columns of fillSources and the type rules: MySQL to
// PostgreSQL, every column but the numbers arrives as MySQL's text; PostgreSQL to MySQL,
// the timestamp arrives as a DATETIME(6). Both servers write a double's shortest text.
QString rowsAsCopied(Connection& connection, bool postgreSQL, const QString& table, bool sourceIsPostgreSQL)
{
    if (!postgreSQL)
        return scalar(
            connection,
            QStringLiteral("SELECT CONCAT(COUNT(*), ' ', COALESCE(SUM(CAST(CONV(SUBSTR(MD5(CONVERT("
                           "CONCAT_WS('|', id, qty, amount, IFNULL(CONCAT('=', name), '-'), created, "
                           "CAST(ratio AS CHAR(64))) USING utf8mb4)), 1, 15), 16, 10) AS UNSIGNED)), 0)) "
                           "FROM %1")
                .arg(mySQLName(table)));
    const QString created = sourceIsPostgreSQL
                                ? QStringLiteral("to_char(created, 'YYYY-MM-DD HH24:MI:SS.US')")
                                : QStringLiteral("created");
    return scalar(connection,
                  QStringLiteral("SELECT count(*) || ' ' || coalesce(sum(('x' || substr(md5("
                                 "concat_ws('|', id, qty, amount, coalesce('=' || name, '-'), %1, "
                                 "ratio)), 1, 15))::bit(60)::bigint), 0) FROM %2")
                      .arg(created, postgreSQLName(table)));
}

double mib(long kib)
{
    return double(kib) / 1024.0;
}

// One copy and its plain loop, at one distance.
struct Run
{
    const Direction* direction = nullptr;
    Place place = Place::Near;
    qint64 rows = 0; // copied by the transfer
    TransferChild transfer;
    double transferSeconds = 0; // the click, less the times it was stopped and the shape's
    double shapeSeconds = 0;    // the shape's statements after the rows, less the times stopped
    ServerCpu transferServers{0, 0, 0};
    int pauses = 0;
    qint64 plainRows = 0;
    double plainSeconds = 0; // the slices it ran in
    double plainCpuSeconds = 0;
    ServerCpu plainServers{0, 0, 0};

    double transferRate() const { return double(rows) / transferSeconds; }
    double plainRate() const { return double(plainRows) / plainSeconds; }
    double ratio() const { return transferRate() / plainRate(); }
    double target() const { return targetRatio(*direction, place); }
    bool met() const
    {
        return place == Place::Distant ? transferSeconds < kDistantTargetSeconds : ratio() >= target();
    }
};

// The machine is shared: its load says how far the numbers can be trusted.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

QString seconds(double value)
{
    return value < 0 ? QStringLiteral("n/a") : QString::number(value, 'f', 1);
}

// Peak memory of each direction's copies, kept per revision and row count in a file, so
// that the 1,000,000-row run can be set beside the 100,000-row one.
void recordMemory(const Options& options, const QList<Run>& runs)
{
    std::printf("\nmemory target: the peak RSS at 1000000 rows within %.0f MiB of that at 100000\n",
                kMemoryTargetMiB);
    if (options.memoryRecord.isEmpty() || options.revision.isEmpty()) {
        std::printf("  (no --memory-record and --revision: compare the peak RSS of the two runs by hand)\n");
        return;
    }
    QStringList kept;
    QFile file(options.memoryRecord);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        kept = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    file.close();
    for (const Direction& direction : kDirections) {
        long peak = 0;
        for (const Run& run : runs) {
            if (run.direction == &direction)
                peak = qMax(peak, run.transfer.peakKiB);
        }
        if (peak == 0)
            continue;
        const QString key =
            QStringLiteral("%1 %2 %3 ")
                .arg(options.revision, QLatin1String(direction.key), QString::number(options.rows));
        kept.removeIf([&](const QString& line) { return line.startsWith(key); });
        kept.append(key + QString::number(peak));
        auto peakAt = [&](qint64 rows) {
            const QString prefix =
                QStringLiteral("%1 %2 %3 ")
                    .arg(options.revision, QLatin1String(direction.key), QString::number(rows));
            for (const QString& line : kept) {
                if (line.startsWith(prefix))
                    return line.mid(prefix.size()).toLong();
            }
            return 0L;
        };
        const long small = peakAt(100000);
        const long large = peakAt(1000000);
        if (small > 0 && large > 0) {
            const double grown = mib(large) - mib(small);
            std::printf("  %-20s %.1f MiB at 100000 rows, %.1f MiB at 1000000: %+.1f MiB, %s\n",
                        direction.label, mib(small), mib(large), grown,
                        grown <= kMemoryTargetMiB ? "met" : "MISSED");
        } else {
            std::printf("  %-20s %.1f MiB at %lld rows; run the other row count of revision %s to compare\n",
                        direction.label, mib(peak), static_cast<long long>(options.rows),
                        qPrintable(options.revision));
        }
    }
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        file.write((kept.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

void printSummary(const Options& options, bool durable, const QList<Run>& runs)
{
    std::printf(
        "\n%lld rows, servers %s; far: %s ms each way through a proxy in front of each server; "
        "narrow: the same at %s bytes/s each way with a window of %s bytes; distant: %s ms each way\n",
        static_cast<long long>(options.rows), durable ? "durable" : "NOT durable",
        qPrintable(options.delayMs), qPrintable(kNarrowLink[1]), qPrintable(kNarrowLink[3]),
        qPrintable(kDistantDelayMs));
    std::printf("%-20s %-11s %16s %13s %9s %8s %7s %13s %13s %9s\n", "direction", "where", "transfer rows/s",
                "plain rows/s", "ratio", "target", "", "peak RSS MiB", "before click", "shape s");
    for (const Run& run : runs)
        std::printf("%-20s %-11s %16.0f %13.0f %8.2fx %7.1fx %7s %13.1f %13.1f %9.2f\n", run.direction->label,
                    placeName(run.place), run.transferRate(), run.plainRate(), run.ratio(), run.target(),
                    run.met() ? "met" : "MISSED", mib(run.transfer.peakKiB), mib(run.transfer.beforeKiB),
                    run.shapeSeconds);
    std::printf("(transfer rows/s: the rows alone; shape s: the keys, NOT NULL, indexes, auto-increment and "
                "defaults added after them)\n");
    for (const Run& run : runs) {
        if (run.place == Place::Distant)
            std::printf("%-20s distant: %lld rows in %.1f s (target under %.0f s) %s\n", run.direction->label,
                        static_cast<long long>(run.rows), run.transferSeconds, kDistantTargetSeconds,
                        run.met() ? "met" : "MISSED");
    }

    std::printf("\nwhere the time goes, in seconds (the plain loop's only while it ran on the clock)\n");
    std::printf("%-20s %-11s %-8s %9s %9s %11s %9s %9s\n", "direction", "where", "run", "wall", "program",
                "PostgreSQL", "MariaDB", "proxies");
    auto line = [](const Run& run, const char* what, double wall, double cpu, const ServerCpu& servers) {
        std::printf("%-20s %-11s %-8s %9.1f %9.1f %11s %9s %9.1f\n", run.direction->label,
                    placeName(run.place), what, wall, cpu, qPrintable(seconds(servers.postgreSQL)),
                    qPrintable(seconds(servers.mariaDB)), servers.proxies);
    };
    for (const Run& run : runs) {
        line(run, "transfer", run.transferSeconds, run.transfer.cpuSeconds, run.transferServers);
        line(run, "plain", run.plainSeconds, run.plainCpuSeconds, run.plainServers);
    }
}

// One copy and its plain loop, taking turns: slices of the copy and of the plain loop
// alternate while the copy runs and the plain loop has time left; what is left of its
// time comes after the copy.
Run measure(const Direction& direction, Place place, const Options& options,
            const QProcessEnvironment& environment, const QString& file, Connection& target)
{
    constexpr int kCopySliceMs = 2000;
    constexpr qint64 kPlainSliceNs = 500000000;
    Run run;
    run.direction = &direction;
    run.place = place;
    run.rows = options.rows;

    QProcess plain;
    startChild(plain, {QStringLiteral("--plain"), QLatin1String(direction.key), file}, environment);
    const QDeadlineTimer connecting(60000);
    while (!plain.canReadLine() && plain.state() == QProcess::Running && !connecting.hasExpired())
        plain.waitForReadyRead(100);
    if (!plain.canReadLine() || plain.readLine() != "READY\n")
        throw std::runtime_error("the plain loop did not connect");
    waitStopped(plain); // it stops itself once connected

    const qint64 budget = qint64(options.plainSeconds * 1e9);
    qint64 plainUsed = 0;
    bool plainEnded = false; // the file ended on the clock
    auto plainSlice = [&](qint64 length) {
        const ServerCpu before = ServerCpu::now();
        const qint64 start = monotonicNanoseconds();
        kill(pid_t(plain.processId()), SIGCONT);
        plainEnded = plain.waitForFinished(int(length / 1000000));
        if (!plainEnded)
            stopChild(plain);
        qint64 end = monotonicNanoseconds();
        if (plainEnded)
            end = qMin(end, resultOf(plain, 4, "the plain loop")[3].toLongLong());
        plainUsed += end - start;
        run.plainServers = run.plainServers + (ServerCpu::now() - before);
    };

    const QString table = QLatin1String(direction.table);
    target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") +
                   (direction.toPostgreSQL ? postgreSQLName(table) : mySQLName(table)));
    QList<QPair<qint64, qint64>> pauses;
    ServerCpu mark = ServerCpu::now();
    QProcess copy;
    startChild(copy, {QStringLiteral("--child"), QLatin1String(direction.key), table}, environment);
    for (;;) {
        const bool turns = !plainEnded && plainUsed < budget;
        if (copy.waitForFinished(turns ? kCopySliceMs : -1) || copy.state() == QProcess::NotRunning)
            break;
        if (!turns)
            continue;
        stopChild(copy);
        waitTargetIdle(target, direction.toPostgreSQL,
                       (place == Place::Distant ? kDistantDelayMs : options.delayMs).toDouble());
        const qint64 pausedAt = monotonicNanoseconds();
        run.transferServers = run.transferServers + (ServerCpu::now() - mark);
        plainSlice(qMin(kPlainSliceNs, budget - plainUsed));
        kill(pid_t(copy.processId()), SIGCONT);
        pauses.append({pausedAt, monotonicNanoseconds()});
        mark = ServerCpu::now();
    }
    run.transferServers = run.transferServers + (ServerCpu::now() - mark);
    const QList<QByteArray> copied = resultOf(copy, 7, "the transfer");
    run.transfer.cpuSeconds = copied[1].toDouble();
    run.transfer.peakKiB = copied[2].toLong();
    run.transfer.beforeKiB = copied[3].toLong();
    run.transfer.startedAt = copied[4].toLongLong();
    run.transfer.endedAt = copied[5].toLongLong();
    run.transfer.shapeStartedAt = copied[6].toLongLong();
    run.transfer.shapeEndedAt = copied[7].toLongLong();
    if (run.transfer.shapeStartedAt == 0 || run.transfer.shapeEndedAt == 0)
        throw std::runtime_error("the transfer gave its table no keys");
    // The time between from and to that the copy ran.
    auto running = [&](qint64 from, qint64 to) {
        qint64 stopped = 0;
        for (const auto& [pausedAt, resumedAt] : pauses)
            stopped += qMax<qint64>(0, qMin(resumedAt, to) - qMax(pausedAt, from));
        return double(to - from - stopped) / 1e9;
    };
    for (const auto& [from, to] : pauses)
        run.pauses += from < run.transfer.endedAt && to > run.transfer.startedAt;
    run.shapeSeconds = running(run.transfer.shapeStartedAt, run.transfer.shapeEndedAt);
    // The rows are set beside the plain loop's, which has no keys to build either.
    run.transferSeconds = running(run.transfer.startedAt, run.transfer.endedAt) - run.shapeSeconds;

    while (!plainEnded && plainUsed < budget)
        plainSlice(qMin(kPlainSliceNs, budget - plainUsed));
    if (!plainEnded) { // it sends the rest of the file, off the clock
        kill(pid_t(plain.processId()), SIGUSR1);
        kill(pid_t(plain.processId()), SIGCONT);
        plain.waitForFinished(-1);
    }
    const QList<QByteArray> sent = resultOf(plain, 4, "the plain loop");
    run.plainRows = sent[1].toLongLong();
    run.plainCpuSeconds = sent[2].toDouble();
    run.plainSeconds = double(plainUsed) / 1e9;
    return run;
}

// Values of 10 MB (10,000,000 bytes, under MariaDB's default max_allowed_packet of 16 MiB
// with room for the statement around them): a copy holds a few of them at a time, so its
// peak memory does not grow with the table's rows.
constexpr int kWideValueBytes = 10000000;
const int kWideRows[] = {8, 64};

void fillWideSources(Connection& my, Connection& pg, int rows)
{
    my.Execute(QStringLiteral("DROP TABLE IF EXISTS bench_wide_my, bench_wide_pg"));
    pg.Execute(QStringLiteral("DROP TABLE IF EXISTS bench_wide_pg, bench_wide_my"));
    my.Execute(QStringLiteral("CREATE TABLE bench_wide_my (id INT PRIMARY KEY, body LONGTEXT) "
                              "CHARACTER SET utf8mb4"));
    pg.Execute(QStringLiteral("CREATE TABLE bench_wide_pg (id int PRIMARY KEY, body text)"));
    // A row at a time: each value is one statement's work on a durable server.
    for (int id = 1; id <= rows; ++id) {
        my.Execute(QStringLiteral("INSERT INTO bench_wide_my VALUES (%1, REPEAT(LPAD(%1, 10, '0'), %2))")
                       .arg(id)
                       .arg(kWideValueBytes / 10));
        pg.Execute(QStringLiteral("INSERT INTO bench_wide_pg VALUES (%1, repeat(lpad('%1', 10, '0'), %2))")
                       .arg(id)
                       .arg(kWideValueBytes / 10));
    }
}

// Rows, bytes and a hash of every value in order, as each server computes them.
QString wideContent(Connection& connection, bool postgreSQL, const QString& table)
{
    return postgreSQL
               ? scalar(connection, QStringLiteral("SELECT count(*) || ' ' || sum(length(body)) || ' ' || "
                                                   "md5(string_agg(md5(body), ',' ORDER BY id)) FROM %1")
                                        .arg(postgreSQLName(table)))
               : scalar(connection, QStringLiteral("SELECT CONCAT(COUNT(*), ' ', SUM(LENGTH(body)), ' ', "
                                                   "MD5(GROUP_CONCAT(MD5(body) ORDER BY id))) FROM %1")
                                        .arg(mySQLName(table)));
}

int runWideValues(const SandboxDetails& details)
{
    auto my = open(mySQLConnectionString(details));
    auto pg = open(postgreSQLConnectionString(details));
    pg->Execute(QStringLiteral("SET client_min_messages = warning"));
    describeDurability(*my, *pg);
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const Direction wideDirections[] = {
        {"to-postgresql", "MySQL -> PostgreSQL", true, "bench_wide_my", "", 0, 0},
        {"to-mysql", "PostgreSQL -> MySQL", false, "bench_wide_pg", "", 0, 0},
    };
    QMap<QString, QList<double>> peaks; // per direction, per row count
    for (const int rows : kWideRows) {
        std::printf("Filling bench_wide_my and bench_wide_pg with %d values of %d bytes...\n", rows,
                    kWideValueBytes);
        std::fflush(stdout);
        fillWideSources(*my, *pg, rows);
        for (const Direction& direction : wideDirections) {
            Connection& source = direction.toPostgreSQL ? *my : *pg;
            Connection& target = direction.toPostgreSQL ? *pg : *my;
            const QString table = QLatin1String(direction.table);
            target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") +
                           (direction.toPostgreSQL ? postgreSQLName(table) : mySQLName(table)));
            QProcess copy;
            startChild(copy, {QStringLiteral("--child"), QLatin1String(direction.key), table}, environment);
            copy.waitForFinished(-1);
            const QList<QByteArray> result = resultOf(copy, 7, "the copy of wide values");
            const QString original = wideContent(source, !direction.toPostgreSQL, table);
            const QString arrived = wideContent(target, direction.toPostgreSQL, table);
            if (arrived != original)
                throw std::runtime_error(QStringLiteral("the copy of wide values differs from its source: %1 "
                                                        "against %2")
                                             .arg(arrived, original)
                                             .toStdString());
            const double peak = mib(result[2].toLong());
            const double seconds = double(result[5].toLongLong() - result[4].toLongLong()) / 1e9;
            peaks[QLatin1String(direction.label)].append(peak);
            std::printf("%-20s wide: %2d values of 10 MB in %.1f s (%.0f MB/s), peak memory %.1f MiB "
                        "(%.1f MiB before the click); same values as the source\n",
                        direction.label, rows, seconds, rows * kWideValueBytes / 1e6 / seconds, peak,
                        mib(result[3].toLong()));
            std::fflush(stdout);
            target.Execute(QStringLiteral("DROP TABLE ") +
                           (direction.toPostgreSQL ? postgreSQLName(table) : mySQLName(table)));
        }
    }
    bool met = true;
    for (auto it = peaks.cbegin(); it != peaks.cend(); ++it) {
        const double growth = it.value().constLast() - it.value().constFirst();
        met = met && growth <= kMemoryTargetMiB;
        std::printf("%-20s wide: peak memory at %d values %.1f MiB, at %d %.1f MiB: %+.1f MiB (target: "
                    "within %.0f MiB) %s\n",
                    qPrintable(it.key()), kWideRows[0], it.value().constFirst(), kWideRows[1],
                    it.value().constLast(), growth, kMemoryTargetMiB,
                    growth <= kMemoryTargetMiB ? "met" : "MISSED");
    }
    my->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_wide_my, bench_wide_pg"));
    pg->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_wide_pg, bench_wide_my"));
    return met ? 0 : 1;
}

int runBenchmark(const Options& options, const SandboxDetails& details)
{
    auto my = open(mySQLConnectionString(details));
    auto pg = open(postgreSQLConnectionString(details));
    pg->Execute(QStringLiteral("SET client_min_messages = warning"));
    const bool durable = describeDurability(*my, *pg);
    if (!durable)
        std::printf("NOTE: the servers are not at their durable defaults (QS_SANDBOX_DURABLE=1 "
                    "scripts/sandbox start): the rates below are not those of users' servers\n");
    std::printf("Filling bench_my (MySQL) and bench_pg (PostgreSQL) with %lld rows...\n",
                static_cast<long long>(options.rows));
    std::fflush(stdout);
    fillSources(*my, *pg, options.rows);
    std::printf("load average: %s\n", qPrintable(loadAverage()));

    // The children's environments: the servers' ports, or the proxies' of the place.
    std::unique_ptr<DelayProxies> proxies[std::size(kPlaces)];
    QProcessEnvironment environments[std::size(kPlaces)];
    QStringList proxyPids;
    for (const Place place : options.places) {
        const size_t i = size_t(place);
        environments[i] = QProcessEnvironment::systemEnvironment();
        if (place == Place::Near)
            continue;
        proxies[i] = std::make_unique<DelayProxies>(
            details, place == Place::Distant ? kDistantDelayMs : options.delayMs,
            place == Place::Narrow ? kNarrowLink : QStringList());
        proxyPids.append(proxies[i]->pids());
        environments[i].insert(QStringLiteral("QS_PG_PORT"), text(proxies[i]->pgPort()));
        environments[i].insert(QStringLiteral("QS_MY_PORT"), text(proxies[i]->myPort()));
    }
    qputenv(kProxyPidsVariable, proxyPids.join(QLatin1Char(' ')).toLatin1()); // for ServerCpu
    const QProcessEnvironment nearEnvironment = QProcessEnvironment::systemEnvironment();

    QTemporaryDir folder;
    QList<Run> runs;
    for (const Direction& direction : kDirections) {
        Connection& source = direction.toPostgreSQL ? *my : *pg;
        Connection& target = direction.toPostgreSQL ? *pg : *my;
        const QString table = QLatin1String(direction.table);
        const QString plainTable = QLatin1String(direction.plainTable);
        const QString file = folder.filePath(QLatin1String(direction.key));
        if (writeStatements(direction, source, file) != options.rows)
            throw std::runtime_error("the source table does not hold the rows it was filled with");
        auto sourceName = [&](const QString& name) {
            return direction.toPostgreSQL ? mySQLName(name) : postgreSQLName(name);
        };
        auto targetName = [&](const QString& name) {
            return direction.toPostgreSQL ? postgreSQLName(name) : mySQLName(name);
        };
        // The plain loop's table has the very columns of the transfer's: the program
        // creates it, copying an empty twin of the source table. The twin has no keys, as
        // the transfer's table has none while its rows arrive.
        target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + targetName(plainTable));
        source.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + sourceName(plainTable));
        source.Execute(
            direction.toPostgreSQL
                ? QStringLiteral("CREATE TABLE %1 SELECT * FROM %2 LIMIT 0")
                      .arg(sourceName(plainTable), sourceName(table))
                : QStringLiteral("CREATE TABLE %1 (LIKE %2)").arg(sourceName(plainTable), sourceName(table)));
        QProcess shape;
        startChild(shape, {QStringLiteral("--child"), QLatin1String(direction.key), plainTable},
                   nearEnvironment);
        shape.waitForFinished(-1);
        resultOf(shape, 7, "the copy of an empty table");
        source.Execute(QStringLiteral("DROP TABLE ") + sourceName(plainTable));
        const QString original =
            rowsAsCopied(source, !direction.toPostgreSQL, table, !direction.toPostgreSQL);

        for (const Place place : options.places) {
            target.Execute(QStringLiteral("TRUNCATE TABLE ") + targetName(plainTable));
            const Run run = measure(direction, place, options, environments[size_t(place)], file, target);
            const QString copied = contentOf(target, direction.toPostgreSQL, table);
            const QString sent = contentOf(target, direction.toPostgreSQL, plainTable);
            if (copied != sent || !copied.startsWith(QString::number(options.rows) + QLatin1Char(' ')))
                throw std::runtime_error(QStringLiteral("the two copies differ: %1 rows/hash against %2")
                                             .arg(copied, sent)
                                             .toStdString());
            // Every value as its source has it, by hashes each server computes.
            const QString arrived =
                rowsAsCopied(target, direction.toPostgreSQL, table, !direction.toPostgreSQL);
            if (arrived != original)
                throw std::runtime_error(QStringLiteral("the copy differs from its source: %1 rows/hash "
                                                        "against %2")
                                             .arg(arrived, original)
                                             .toStdString());
            std::printf("%-20s %-11s: transfer %lld rows in %.1f s = %.0f rows/s (stopped %d times for the "
                        "plain loop), then %.2f s for its keys and indexes; plain loop %lld rows in %.1f s = "
                        "%.0f rows/s; %.2fx (target %.1fx) %s; same rows as the source\n",
                        direction.label, placeName(place), static_cast<long long>(run.rows),
                        run.transferSeconds, run.transferRate(), run.pauses, run.shapeSeconds,
                        static_cast<long long>(run.plainRows), run.plainSeconds, run.plainRate(), run.ratio(),
                        run.target(), run.met() ? "met" : "MISSED");
            std::fflush(stdout);
            runs.append(run);
        }
        QFile::remove(file);
    }
    printSummary(options, durable, runs);
    std::printf("load average: %s\n", qPrintable(loadAverage()));
    recordMemory(options, runs);

    my->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_my, bench_pg, bench_my_plain, bench_pg_plain"));
    pg->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_pg, bench_my, bench_my_plain, bench_pg_plain"));
    return 0;
}

const Direction* directionNamed(const QString& key)
{
    for (const Direction& direction : kDirections) {
        if (key == QLatin1String(direction.key))
            return &direction;
    }
    return nullptr;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: quillstone_bench [--rows N] [--only near|far|narrow|distant] [--plain-seconds S] "
                 "[--delay-ms D] [--memory-record FILE --revision R]\n"
                 "       quillstone_bench --wide\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();

    Options options;
    const Direction* child = nullptr;
    const Direction* plain = nullptr;
    QString childTable;
    QString statementFile;
    bool wide = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--rows") && hasValue) {
            options.rows = arguments[++i].toLongLong();
        } else if (argument == QLatin1String("--only") && hasValue) {
            const QString& name = arguments[++i];
            options.places.clear();
            for (const Place place : kPlaces) {
                if (name == QLatin1String(placeKey(place)))
                    options.places.append(place);
            }
        } else if (argument == QLatin1String("--plain-seconds") && hasValue) {
            options.plainSeconds = arguments[++i].toDouble();
        } else if (argument == QLatin1String("--delay-ms") && hasValue) {
            options.delayMs = arguments[++i];
        } else if (argument == QLatin1String("--memory-record") && hasValue) {
            options.memoryRecord = arguments[++i];
        } else if (argument == QLatin1String("--revision") && hasValue) {
            options.revision = arguments[++i];
        } else if (argument == QLatin1String("--wide")) {
            wide = true;
        } else if (argument == QLatin1String("--child") && i + 2 < arguments.size()) {
            child = directionNamed(arguments[++i]);
            childTable = arguments[++i];
        } else if (argument == QLatin1String("--plain") && i + 2 < arguments.size()) {
            plain = directionNamed(arguments[++i]);
            statementFile = arguments[++i];
        } else {
            return usage();
        }
    }
    if (options.rows < 1 || options.plainSeconds <= 0 || options.places.isEmpty() ||
        options.delayMs.toDouble() <= 0)
        return usage();
    try {
        const SandboxDetails details = SandboxDetails::fromEnvironment();
        if (child)
            return runTransfer(*child, childTable, details);
        if (plain)
            return runPlainLoop(*plain, details, statementFile);
        if (wide)
            return runWideValues(details);
        return runBenchmark(options, details);
    } catch (const Error& error) {
        std::fprintf(stderr, "quillstone_bench: %s\n", qPrintable(error.description()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillstone_bench: %s\n", error.what());
    }
    return 1;
}
