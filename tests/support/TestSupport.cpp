#include "tests/support/TestSupport.h"

#include "app/AppFolder.h"
#include "app/ErrorReport.h"
#include "app/LargeBuffers.h"
#include "app/Program.h"
#include "app/Settings.h"
#include "app/Windows.h"
#include "app/Yield.h"
#include "connect/ConnectionStrings.h"
#include "tests/support/Servers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {
// Where in the code each handler's numbered steps stand: a number names one place, so that
// a report's "at line" leads to one step. A few numbered lines hold several steps by design.
QHash<QString, QString> g_stepPlaces;
QStringList g_stepConflicts;

void noteStepPlace(const QString& tag, int line, const std::source_location& where)
{
    static const QSet<QString> severalSteps = {
        // Caption, icon and application title.
        QStringLiteral("in Tablewright2021/08/31.Form1.Form_Load  104"),
        // The test for a current item, and the message when there is none.
        QStringLiteral("in Tablewright2021/08/31.Form2.PushButton3_Click  106"),
        QStringLiteral("in Tablewright2021/08/31.Form2.PushButton4_Click  108"),
    };
    const QString key = tag + QLatin1Char(' ') + QString::number(line);
    const QString place = QStringLiteral("%1:%2").arg(QString::fromUtf8(where.file_name())).arg(where.line());
    const auto known = g_stepPlaces.constFind(key);
    if (known == g_stepPlaces.constEnd())
        g_stepPlaces.insert(key, place);
    else if (known.value() != place && !severalSteps.contains(key)) {
        const QString conflict = QStringLiteral("%1 at %2 and at %3").arg(key, known.value(), place);
        if (!g_stepConflicts.contains(conflict))
            g_stepConflicts.append(conflict);
    }
}
} // namespace

ProgramUnderTest::ProgramUnderTest()
{
    keepLargeBuffersApart(); // as main() does
    Handler::setStepObserver(&noteStepPlace);
    MessageBox::setTestMode(true);
    keepPaintingWhileWaiting();
    m_settings = std::make_unique<Settings>(m_folder.filePath(QStringLiteral("Vantrel.conf")));
    Settings::setInstance(m_settings.get());
    AppFolder::setPathForTests(m_folder.path());
    Program::setEndForTests([this] { ++m_endCalls; });
    Program::setDrawForTests([this] { return m_draw; });
    Program::setBrowserForTests([this](const QString& address) { m_opened.append(address); });
    MessageBox::setApplicationTitle(QStringLiteral("Quillstone"));
    Windows::destroyForTests();
}

ProgramUnderTest::~ProgramUnderTest()
{
    if (!g_stepConflicts.isEmpty())
        qFatal("one line number names two steps:\n%s", qPrintable(g_stepConflicts.join(QLatin1Char('\n'))));
    Windows::destroyForTests();
    Settings::setInstance(nullptr);
    AppFolder::setPathForTests(QString());
    Program::setEndForTests(nullptr);
    Program::setDrawForTests(nullptr);
    Program::setBrowserForTests(nullptr);
    MessageBox::setTestMode(true);
}

QString ProgramUnderTest::settingsFile() const
{
    return m_settings->fileName();
}

void ProgramUnderTest::rememberSandbox()
{
    Sandbox::remember(*m_settings);
}

void Sandbox::remember(Settings& store)
{
    store.write(QStringLiteral("PostgreSQLServer"), env("QS_PG_HOST"));
    store.write(QStringLiteral("PostgreSQLPort"), env("QS_PG_PORT"));
    store.write(QStringLiteral("PostgreSQLUser"), env("QS_PG_USER"));
    store.write(QStringLiteral("PostgreSQLPassword"), env("QS_PG_PASSWORD"));
    store.write(QStringLiteral("PostgreSQLDatabase"), env("QS_PG_DATABASE"));
    store.write(QStringLiteral("MySQLServer"), env("QS_MY_HOST"));
    store.write(QStringLiteral("MySQLUser"), env("QS_MY_USER"));
    store.write(QStringLiteral("MySQLPassword"), env("QS_MY_PASSWORD"));
    store.write(QStringLiteral("MySQLDatabase"), env("QS_MY_DATABASE"));
    store.write(QStringLiteral("MySQLPort"), env("QS_MY_PORT"));
}

QString Sandbox::env(const char* name)
{
    const QByteArray value = qgetenv(name);
    if (value.isEmpty())
        qFatal("%s is not set: run the tests through scripts/test, which starts the sandbox servers", name);
    return QString::fromUtf8(value);
}

// The program's own connection strings, as the connection window would build them.
QString Sandbox::postgreSQLConnectionString()
{
    return PostgreSQLConnectionString({env("QS_PG_HOST"), env("QS_PG_PORT"), env("QS_PG_USER"),
                                       env("QS_PG_PASSWORD"), env("QS_PG_DATABASE")});
}

QString Sandbox::mySQLConnectionString()
{
    return MySQLConnectionString({env("QS_MY_HOST"), env("QS_MY_USER"), env("QS_MY_DATABASE"),
                                  env("QS_MY_PASSWORD"), env("QS_MY_PORT")});
}

std::unique_ptr<Connection> Sandbox::postgreSQL()
{
    auto connection = std::make_unique<Connection>();
    connection->Open(postgreSQLConnectionString());
    return connection;
}

std::unique_ptr<Connection> Sandbox::mySQL()
{
    auto connection = std::make_unique<Connection>();
    connection->Open(mySQLConnectionString());
    return connection;
}

std::unique_ptr<Connection> Sandbox::postgreSQLAdmin()
{
    // The socket is named after the server's port, which QS_PG_SOCKET_PORT gives when
    // QS_PG_PORT leads to a proxy.
    const QString port =
        qEnvironmentVariableIsEmpty("QS_PG_SOCKET_PORT") ? env("QS_PG_PORT") : env("QS_PG_SOCKET_PORT");
    auto connection = std::make_unique<Connection>();
    connection->Open(QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Uid=%3;Pwd=;Database=%4")
                         .arg(env("QS_PG_SOCKET_DIR"), port, env("QS_PG_SUPERUSER"), env("QS_PG_DATABASE")));
    return connection;
}

void Sandbox::mySQLAdmin(const QString& sql)
{
    QProcess client;
    client.start(QStringLiteral("mariadb"),
                 {QStringLiteral("--no-defaults"), QStringLiteral("--protocol=socket"),
                  QStringLiteral("--socket=") + env("QS_MY_SOCKET"),
                  QStringLiteral("--user=") + QString::fromLocal8Bit(getpwuid(geteuid())->pw_name),
                  QStringLiteral("--execute=") + sql});
    if (!client.waitForFinished(60000) || client.exitStatus() != QProcess::NormalExit ||
        client.exitCode() != 0)
        qFatal("administrator statement failed: %s\n%s", client.readAllStandardError().constData(),
               qPrintable(sql));
}

void Sandbox::exec(Connection& connection, const QString& sql)
{
    try {
        connection.Execute(sql);
    } catch (const Error& error) {
        qFatal("test set-up statement failed: %s\n%s", qPrintable(error.description()), qPrintable(sql));
    }
}

QList<QStringList> Sandbox::rows(Connection& connection, const QString& sql)
{
    QList<QStringList> result;
    for (Recordset records = connection.Execute(sql); !records.Eof(); records.MoveNext()) {
        QStringList row;
        for (int c = 0; c < records.Fields().Count(); ++c) {
            const Value& value = records.Fields()[c].Value();
            row.append(value.isNull() ? QStringLiteral("NULL") : value.toString());
        }
        result.append(row);
    }
    return result;
}

QStringList Sandbox::column(Connection& connection, const QString& sql)
{
    QStringList values;
    for (const QStringList& row : rows(connection, sql))
        values.append(row.constFirst());
    return values;
}

QString Sandbox::scalar(Connection& connection, const QString& sql)
{
    return column(connection, sql).value(0);
}

int Sandbox::mySQLConnections()
{
    return scalar(*mySQL(), QStringLiteral("SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
                                           "WHERE VARIABLE_NAME = 'CONNECTIONS'"))
        .toInt();
}

void Sandbox::dropAllTables()
{
    auto my = mySQL();
    // Views first, then the tables, with the foreign keys between them not checked.
    QStringList views;
    QStringList tables;
    for (const QStringList& listed : rows(*my, QStringLiteral("SHOW FULL TABLES")))
        (listed[1] == QLatin1String("VIEW") ? views : tables).append(Server::mySQL().quoted(listed[0]));
    if (!views.isEmpty())
        exec(*my, QStringLiteral("DROP VIEW ") + views.join(QLatin1Char(',')));
    exec(*my, QStringLiteral("SET foreign_key_checks = 0"));
    if (!tables.isEmpty())
        exec(*my, QStringLiteral("DROP TABLE ") + tables.join(QLatin1Char(',')));
    // public, and every schema of the test account's own, which some tests make; public
    // comes back empty.
    auto pg = postgreSQL();
    const QStringList schemas = column(
        *pg, QStringLiteral("SELECT quote_ident(nspname) FROM pg_namespace WHERE nspname = 'public' OR "
                            "nspowner = (SELECT oid FROM pg_roles WHERE rolname = current_user)"));
    if (!schemas.isEmpty())
        exec(*pg,
             QStringLiteral("DROP SCHEMA ") + schemas.join(QLatin1Char(',')) + QStringLiteral(" CASCADE"));
    exec(*pg, QStringLiteral("CREATE SCHEMA public"));
}

void moveOver(QWidget* widget)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

bool eventually(const std::function<bool()>& condition, unsigned long everyMilliseconds, int forMilliseconds)
{
    QDeadlineTimer deadline(forMilliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(everyMilliseconds);
    }
    return true;
}

QStringList shownTexts()
{
    QStringList texts;
    for (const MessageBox::Shown& shown : MessageBox::history())
        texts.append(shown.text);
    return texts;
}

QStringList shownBoxes()
{
    static const QRegularExpression tag(
        QStringLiteral("\r\nin Tablewright2021/08/31\\.(Form\\d\\.\\w+) at line (\\d+)\r\r"));
    QStringList boxes;
    for (const MessageBox::Shown& shown : MessageBox::history()) {
        const QRegularExpressionMatch match = tag.match(shown.text);
        if (shown.title == QLatin1String("Application Error") && shown.icon == MessageBox::Warning &&
            match.hasMatch())
            boxes.append(QStringLiteral("report %1 %2").arg(match.captured(1), match.captured(2)));
        else
            boxes.append(shown.text);
    }
    return boxes;
}

StoppedProcesses::StoppedProcesses(QList<pid_t> pids) : m_pids(std::move(pids))
{
    for (pid_t pid : m_pids)
        ::kill(pid, SIGSTOP);
    // A stop takes effect thread by thread.
    eventually([this] { return allStopped(); }, 5, 10000);
}

StoppedProcesses::~StoppedProcesses()
{
    for (pid_t pid : m_pids)
        ::kill(pid, SIGCONT);
}

bool StoppedProcesses::allStopped() const
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

namespace {
pid_t pidInFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return static_cast<pid_t>(file.readLine().trimmed().toLong());
}
} // namespace

QList<pid_t> Sandbox::postgreSQLProcesses(pid_t backend)
{
    return {backend, pidInFile(env("QS_SANDBOX_DIR") + QStringLiteral("/pg/data/postmaster.pid"))};
}

QList<pid_t> Sandbox::mySQLProcesses()
{
    return {pidInFile(env("QS_SANDBOX_DIR") + QStringLiteral("/my/mariadbd.pid"))};
}
