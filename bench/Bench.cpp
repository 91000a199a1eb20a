// quillstone_bench: copies a generated table of N rows each way through the table window's
// own transfer commands, and sets their rate beside a plain client-library loop sending
// the same INSERT texts.
//
//   quillstone_bench [--rows N] [--repeat K]    reads the QS_* variables of scripts/sandbox
//
// The transfer and the plain loop each run in a fresh child process, so that what they
// cost in time and memory is their own.
// Each direction runs K times (5 up to 200,000 rows, else 1).

#include "app/Error.h"
#include "app/MessageBox.h"
#include "app/Settings.h"
#include "app/SqlText.h"
#include "app/Windows.h"
#include "app/db/Connection.h"
#include "bench/PlainLoop.h"
#include "connect/Form1.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "transfer/Datatype.h"
#include "transfer/ValueText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <sys/resource.h>

namespace {

struct Direction
{
    const char* key;
    const char* label;
    bool toPostgreSQL;
    const char* table; // the source table, and the transfer's target of the same name
    const char* plainTable;
};
const Direction kDirections[] = {
    {"to-postgresql", "MySQL -> PostgreSQL", true, "bench_my", "bench_my_plain"},
    {"to-mysql", "PostgreSQL -> MySQL", false, "bench_pg", "bench_pg_plain"},
};

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// User and system time of this process so far.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::unique_ptr<Connection> open(const QString& connectionString)
{
    auto connection = std::make_unique<Connection>();
    connection->CommandTimeout = 0; // filling a million rows takes a while
    connection->Open(connectionString);
    return connection;
}

QString mySQLConnectionString(const SandboxDetails& d)
{
    return QStringLiteral(
               "DRIVER={MySQL ODBC 5.1 Driver};SERVER=%1;PORT=%2;USER=%3;PASSWORD={%4};DATABASE=%5")
        .arg(QString::fromUtf8(d.myHost), QString::fromUtf8(d.myPort), QString::fromUtf8(d.myUser),
             QString::fromUtf8(d.myPassword).replace(QLatin1Char('}'), QStringLiteral("}}")),
             QString::fromUtf8(d.myDatabase));
}

QString postgreSQLConnectionString(const SandboxDetails& d)
{
    return QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Uid=%3;Pwd={%4};Database=%5")
        .arg(QString::fromUtf8(d.pgHost), QString::fromUtf8(d.pgPort), QString::fromUtf8(d.pgUser),
             QString::fromUtf8(d.pgPassword).replace(QLatin1Char('}'), QStringLiteral("}}")),
             QString::fromUtf8(d.pgDatabase));
}

// Integer, decimal, text (every fiftieth NULL), date-time and double columns.
void fillSources(Connection& my, Connection& pg, qint64 rows)
{
    my.Execute(QStringLiteral("DROP TABLE IF EXISTS bench_my, bench_pg, bench_pg_plain"));
    pg.Execute(QStringLiteral("DROP TABLE IF EXISTS bench_pg, bench_my, bench_my_plain"));
    my.Execute(QStringLiteral("CREATE TABLE bench_my (id BIGINT PRIMARY KEY, qty INT, amount DECIMAL(12,2), "
                              "name VARCHAR(64), created DATETIME(6), ratio DOUBLE)"));
    my.Execute(QStringLiteral("INSERT INTO bench_my SELECT seq, seq % 1000, (seq * 7919 % 10000000) / 100, "
                              "IF(seq % 50 = 0, NULL, CONCAT('customer ', seq, ' O''Brien')), "
                              "TIMESTAMPADD(MICROSECOND, seq * 37000123, '2020-01-01'), seq / 7e0 "
                              "FROM seq_1_to_%1")
                   .arg(rows));
    pg.Execute(
        QStringLiteral("CREATE TABLE bench_pg (id bigint PRIMARY KEY, qty integer, amount numeric(12,2), "
                       "name varchar(64), created timestamp(6), ratio double precision)"));
    pg.Execute(QStringLiteral("INSERT INTO bench_pg SELECT g, g % 1000, (g * 7919 % 10000000) / 100.0, "
                              "CASE WHEN g % 50 = 0 THEN NULL ELSE 'customer ' || g || ' O''Brien' END, "
                              "timestamp '2020-01-01' + g * interval '37.000123 seconds', g / 7e0 "
                              "FROM generate_series(1::bigint, %1) AS g")
                   .arg(rows));
    pg.Execute(QStringLiteral("ANALYZE bench_pg"));
}

// The child: one click of the table window, as the user would make it.
int runTransfer(const Direction& direction, const SandboxDetails& d)
{
    QTemporaryDir folder;
    Settings settings(folder.filePath(QStringLiteral("Vantrel.conf")));
    Settings::setInstance(&settings);
    MessageBox::setTestMode(true);
    MessageBox::setApplicationTitle(QStringLiteral("Quillstone"));

    Form1& form1 = Windows::form1();
    form1.Text1->setText(QString::fromUtf8(d.pgHost));
    form1.Text2->setText(QString::fromUtf8(d.pgPort));
    form1.Text3->setText(QString::fromUtf8(d.pgUser));
    form1.Text4->setText(QString::fromUtf8(d.pgPassword));
    form1.Text5->setText(QString::fromUtf8(d.pgDatabase));
    form1.Text6->setText(QString::fromUtf8(d.myHost));
    form1.Text10->setText(QString::fromUtf8(d.myPort));
    form1.Text7->setText(QString::fromUtf8(d.myUser));
    form1.Text8->setText(QString::fromUtf8(d.myPassword));
    form1.Text9->setText(QString::fromUtf8(d.myDatabase));
    form1.PushButton2_Click(); // "Next >" fills both lists

    Form2& form2 = Windows::form2();
    TableList* list = direction.toPostgreSQL ? form2.List1 : form2.List2;
    const QList<QListWidgetItem*> found = list->findItems(QLatin1String(direction.table), Qt::MatchExactly);
    if (found.size() == 1) {
        found.constFirst()->setSelected(true);
        list->setCurrentItem(found.constFirst(), QItemSelectionModel::NoUpdate);
    }
    const long before = peakKiB();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    if (found.size() == 1)
        direction.toPostgreSQL ? form2.PushButton3_Click() : form2.PushButton4_Click();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;

    int status = 0;
    if (found.size() != 1) {
        std::fprintf(stderr, "the table window does not list %s\n", direction.table);
        status = 1;
    }
    for (const MessageBox::Shown& shown : MessageBox::history()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(shown.title), qPrintable(shown.text.left(2000)));
        status = 1;
    }
    std::printf("RESULT %.6f %.6f %ld %ld\n", seconds, cpu, peakKiB(), before);
    Settings::setInstance(nullptr);
    return status;
}

// What a child process measured: wall and CPU time of the copy, peak memory at its end
// and before it began.
struct Measured
{
    double seconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
    long beforeKiB = 0;
};

Measured runChild(const QStringList& arguments, const char* what)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw std::runtime_error(std::string(what) + " failed");
    Measured result;
    const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
    if (words.size() != 5 || words[0] != "RESULT")
        throw std::runtime_error(std::string("unexpected output of ") + what);
    result.seconds = words[1].toDouble();
    result.cpuSeconds = words[2].toDouble();
    result.peakKiB = words[3].toLong();
    result.beforeKiB = words[4].toLong();
    return result;
}

// The other child: the plain loop over the statement file.
int runPlainLoop(const Direction& direction, const SandboxDetails& details, const QString& file)
{
    const long before = peakKiB();
    const double cpuBefore = cpuSeconds();
    const PlainResult plain =
        direction.toPostgreSQL ? sendToPostgreSQL(details, file) : sendToMySQL(details, file);
    if (!plain.error.isEmpty()) {
        std::fprintf(stderr, "the plain loop failed: %s\n", qPrintable(plain.error));
        return 1;
    }
    std::printf("RESULT %.6f %.6f %ld %ld\n", plain.seconds, cpuSeconds() - cpuBefore, peakKiB(), before);
    return 0;
}

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
    const QString sql =
        postgreSQL
            ? QStringLiteral(
                  "SELECT count(*) || ' ' || coalesce(sum(('x' || substr(md5(t::text), 1, 15))::bit(60)"
                  "::bigint), 0) FROM \"%1\" AS t")
                  .arg(table)
            : QStringLiteral(
                  "SELECT CONCAT(COUNT(*), ' ', COALESCE(SUM(CONV(SUBSTR(MD5(CONCAT_WS('|', id, "
                  "qty, amount, name, created, ratio, ISNULL(name))), 1, 15), 16, 10)), 0)) FROM `%1`")
                  .arg(table);
    Recordset result = target.Execute(sql);
    return result.Fields()[0].Value().toString();
}

double mib(long kib)
{
    return double(kib) / 1024.0;
}

int runBenchmark(qint64 rows, int repeat, const SandboxDetails& details)
{
    auto my = open(mySQLConnectionString(details));
    auto pg = open(postgreSQLConnectionString(details));
    pg->Execute(QStringLiteral("SET client_min_messages = warning"));
    std::printf("Filling bench_my (MySQL) and bench_pg (PostgreSQL) with %lld rows...\n",
                static_cast<long long>(rows));
    std::fflush(stdout);
    fillSources(*my, *pg, rows);

    QTemporaryDir folder;
    struct Summary
    {
        const Direction* direction = nullptr;
        double transferRate = 0; // best of the runs
        double plainRate = 0;
        QList<double> ratios; // of each run's pair
        long peakKiB = 0;
        long beforeKiB = 0;
    };
    QList<Summary> summaries;
    std::printf("\n%-20s %4s %16s %16s %7s %14s %14s\n", "direction", "run", "transfer rows/s",
                "plain rows/s", "ratio", "transfer CPU", "plain CPU");
    for (const Direction& direction : kDirections) {
        Connection& source = direction.toPostgreSQL ? *my : *pg;
        Connection& target = direction.toPostgreSQL ? *pg : *my;
        const QString table = QLatin1String(direction.table);
        const QString plainTable = QLatin1String(direction.plainTable);
        const QString file = folder.filePath(QLatin1String(direction.key));
        if (writeStatements(direction, source, file) != rows)
            throw std::runtime_error("the source table does not hold the rows it was filled with");
        auto quoted = [&](const QString& name) {
            return direction.toPostgreSQL ? postgreSQLName(name) : mySQLName(name);
        };
        auto runTransfer = [&] {
            target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + quoted(table));
            return runChild({QStringLiteral("--child"), QLatin1String(direction.key)}, "the transfer");
        };
        auto runPlain = [&] {
            target.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + quoted(plainTable));
            target.Execute(
                direction.toPostgreSQL
                    ? QStringLiteral("CREATE TABLE %1 (LIKE %2)").arg(quoted(plainTable), quoted(table))
                    : QStringLiteral("CREATE TABLE %1 LIKE %2").arg(quoted(plainTable), quoted(table)));
            return runChild({QStringLiteral("--plain"), QLatin1String(direction.key), file},
                            "the plain loop");
        };

        Summary summary;
        summary.direction = &direction;
        for (int run = 1; run <= repeat; ++run) {
            // The plain table copies the transfer's; after the first pair, the order alternates
            // so that neither side always finds the server warmed by the other.
            Measured transfer;
            Measured plain;
            if (run % 2 == 1) {
                transfer = runTransfer();
                plain = runPlain();
            } else {
                plain = runPlain();
                transfer = runTransfer();
            }
            const QString copied = contentOf(target, direction.toPostgreSQL, table);
            const QString sent = contentOf(target, direction.toPostgreSQL, plainTable);
            if (copied != sent || !copied.startsWith(QString::number(rows) + QLatin1Char(' ')))
                throw std::runtime_error(QStringLiteral("the two copies differ: %1 rows/hash against %2")
                                             .arg(copied, sent)
                                             .toStdString());

            const double transferRate = double(rows) / transfer.seconds;
            const double plainRate = double(rows) / plain.seconds;
            std::printf("%-20s %4d %16.0f %16.0f %7.3f %11.1f us %11.1f us\n", direction.label, run,
                        transferRate, plainRate, transferRate / plainRate,
                        transfer.cpuSeconds / double(rows) * 1e6, plain.cpuSeconds / double(rows) * 1e6);
            std::fflush(stdout);
            summary.transferRate = qMax(summary.transferRate, transferRate);
            summary.plainRate = qMax(summary.plainRate, plainRate);
            summary.ratios.append(transferRate / plainRate);
            summary.peakKiB = qMax(summary.peakKiB, transfer.peakKiB);
            summary.beforeKiB = qMax(summary.beforeKiB, transfer.beforeKiB);
        }
        QFile::remove(file);
        summaries.append(summary);
    }

    // Other work on the machine slows both sides of a pair alike, but can change from one
    // pair to the next: the ratio is the median of the pairs' ratios.
    bool ratiosMet = true;
    std::printf("\n%lld rows, one INSERT per row, %d run(s) each way: best rates, median ratio of the runs\n",
                static_cast<long long>(rows), repeat);
    std::printf("%-20s %16s %16s %7s %14s %17s\n", "direction", "transfer rows/s", "plain rows/s", "ratio",
                "peak RSS MiB", "before click MiB");
    for (Summary& summary : summaries) {
        std::sort(summary.ratios.begin(), summary.ratios.end());
        const qsizetype n = summary.ratios.size();
        const double ratio =
            n % 2 ? summary.ratios[n / 2] : (summary.ratios[n / 2 - 1] + summary.ratios[n / 2]) / 2;
        ratiosMet = ratiosMet && ratio >= 0.9;
        std::printf("%-20s %16.0f %16.0f %7.3f %14.1f %17.1f\n", summary.direction->label,
                    summary.transferRate, summary.plainRate, ratio, mib(summary.peakKiB),
                    mib(summary.beforeKiB));
    }
    std::printf("rate target (ratio >= 0.9 both ways): %s\n", ratiosMet ? "met" : "MISSED");
    std::printf("memory target: the peak RSS at --rows 1000000 within 20 MiB of that at 100000\n");

    my->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_my, bench_pg, bench_my_plain, bench_pg_plain"));
    pg->Execute(QStringLiteral("DROP TABLE IF EXISTS bench_pg, bench_my, bench_my_plain, bench_pg_plain"));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();

    qint64 rows = 100000;
    int repeat = 0;
    const Direction* child = nullptr;
    const Direction* plain = nullptr;
    QString statementFile;
    auto directionNamed = [](const QString& key) -> const Direction* {
        for (const Direction& direction : kDirections) {
            if (key == QLatin1String(direction.key))
                return &direction;
        }
        return nullptr;
    };
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--rows") && i + 1 < arguments.size()) {
            rows = arguments[++i].toLongLong();
        } else if (arguments[i] == QLatin1String("--repeat") && i + 1 < arguments.size()) {
            repeat = arguments[++i].toInt();
        } else if (arguments[i] == QLatin1String("--child") && i + 1 < arguments.size()) {
            child = directionNamed(arguments[++i]);
        } else if (arguments[i] == QLatin1String("--plain") && i + 2 < arguments.size()) {
            plain = directionNamed(arguments[++i]);
            statementFile = arguments[++i];
        } else {
            std::fprintf(stderr, "usage: quillstone_bench [--rows N] [--repeat K]\n");
            return 2;
        }
    }
    if (rows < 1 || repeat < 0) {
        std::fprintf(stderr, "--rows and --repeat need positive numbers\n");
        return 2;
    }
    // Other work on the machine disturbs single runs; short runs are cheap to repeat.
    if (repeat == 0)
        repeat = rows <= 200000 ? 5 : 1;
    try {
        const SandboxDetails details = SandboxDetails::fromEnvironment();
        if (child)
            return runTransfer(*child, details);
        if (plain)
            return runPlainLoop(*plain, details, statementFile);
        return runBenchmark(rows, repeat, details);
    } catch (const Error& error) {
        std::fprintf(stderr, "quillstone_bench: %s\n", qPrintable(error.description()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillstone_bench: %s\n", error.what());
    }
    return 1;
}
