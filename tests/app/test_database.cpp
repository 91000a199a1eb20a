// The database layer against the sandbox servers: opening with each wrong detail, the
// type codes each server's columns report, and reading rows.

#include "app/db/ConnectionString.h"
#include "tests/support/Servers.h"

namespace {
QString pgString(const QString& server, const QString& port, const QString& user, const QString& password,
                 const QString& database)
{
    return QStringLiteral("Driver={PostgreSQL Unicode};Server=") + server + ";Port=" + port + ";Uid=" + user +
           ";Pwd=" + ConnectionString::quoteValue(password) + ";Database=" + database;
}

QString myString(const QString& server, const QString& user, const QString& database, const QString& password,
                 const QString& port)
{
    return QStringLiteral("DRIVER={MySQL ODBC 5.1 Driver};SERVER=") + server + ";USER=" + user +
           ";DATABASE=" + database + ";PASSWORD=" + ConnectionString::quoteValue(password) + ";PORT=" + port +
           ";";
}

QString openError(const QString& connectionString)
{
    Connection connection;
    try {
        connection.Open(connectionString);
    } catch (const Error& error) {
        return error.description();
    }
    return {};
}

// Name -> ADO type code of every column of a query, read through a streamed recordset.
QMap<QString, int> typeCodes(Connection& connection, const QString& query)
{
    Recordset rows;
    rows.Open(query, connection);
    QMap<QString, int> codes;
    for (int i = 0; i < rows.Fields().Count(); ++i)
        codes.insert(rows.Fields()[i].Name(), rows.Fields()[i].Type());
    rows.Close();
    return codes;
}
} // namespace

class DatabaseTest : public ServerCase
{
    Q_OBJECT
private slots:
    void connectionStringsParseLikeOdbc()
    {
        const auto parsed = ConnectionString::parse(
            QStringLiteral("driver={MySQL ODBC 5.1 Driver};Pwd={a;b}}c=d};UID= me ;;Database="));
        QCOMPARE(parsed.value({"DRIVER"}), QStringLiteral("MySQL ODBC 5.1 Driver"));
        QCOMPARE(parsed.value({"pwd"}), QStringLiteral("a;b}c=d"));
        QCOMPARE(parsed.value({"uid"}), QStringLiteral(" me "));
        QVERIFY(parsed.contains("database"));
        QCOMPARE(ConnectionString::quoteValue(QStringLiteral("plain=ok")), QStringLiteral("plain=ok"));
        QCOMPARE(ConnectionString::quoteValue(QStringLiteral("a}b")), QStringLiteral("{a}}b}"));
        QCOMPARE(ConnectionString::quoteValue(QStringLiteral(" x")), QStringLiteral("{ x}"));
    }

    void openSucceedsAndFailsForEachWrongDetail()
    {
        const QString host = Sandbox::env("QS_PG_HOST"), pgPort = Sandbox::env("QS_PG_PORT");
        const QString user = Sandbox::env("QS_PG_USER"), password = Sandbox::env("QS_PG_PASSWORD");
        const QString database = Sandbox::env("QS_PG_DATABASE"), myPort = Sandbox::env("QS_MY_PORT");
        QCOMPARE(openError(pgString(host, pgPort, user, password, database)), QString());
        QCOMPARE(openError(myString(host, user, database, password, myPort)), QString());
        // "localhost" with a port still reaches that port, over TCP.
        QCOMPARE(openError(myString("localhost", user, database, password, myPort)), QString());

        const QStringList pgFailures = {
            openError(pgString("127.0.0.1", "1", user, password, database)),
            openError(pgString("no-such-host.invalid", pgPort, user, password, database)),
            openError(pgString(host, pgPort, "nobody_here", password, database)),
            openError(pgString(host, pgPort, user, "wrong", database)),
            openError(pgString(host, pgPort, user, password, "no_such_db")),
            openError(pgString(host, "abc", user, password, database)),
        };
        for (const QString& failure : pgFailures)
            QVERIFY2(!failure.isEmpty(), "a wrong PostgreSQL detail was accepted");
        QVERIFY(pgFailures[3].contains("password"));
        QVERIFY(pgFailures[4].contains("no_such_db"));

        const QStringList myFailures = {
            openError(myString("127.0.0.1", user, database, password, "1")),
            openError(myString(host, "nobody_here", database, password, myPort)),
            openError(myString(host, user, database, "wrong", myPort)),
            openError(myString(host, user, "no_such_db", password, myPort)),
            openError(myString(host, user, database, password, "abc")),
        };
        for (const QString& failure : myFailures)
            QVERIFY2(!failure.isEmpty(), "a wrong MySQL detail was accepted");
        QVERIFY(myFailures[4].contains("abc"));

        const QString unknown = openError(QStringLiteral("Driver={SQL Server};Server=x"));
        QVERIFY(unknown.contains("SQL Server"));
    }

    void aPasswordWithSeparatorsConnectsWhenBraced()
    {
        const QString user = Sandbox::env("QS_ODD_USER"), password = Sandbox::env("QS_ODD_PASSWORD");
        QVERIFY(password.contains(';') && password.contains('}') && password.startsWith(' '));
        QCOMPARE(openError(pgString(Sandbox::env("QS_PG_HOST"), Sandbox::env("QS_PG_PORT"), user, password,
                                    Sandbox::env("QS_PG_DATABASE"))),
                 QString());
        QCOMPARE(openError(myString(Sandbox::env("QS_MY_HOST"), user, Sandbox::env("QS_MY_DATABASE"),
                                    password, Sandbox::env("QS_MY_PORT"))),
                 QString());
    }

    void columnsReportTheirAdoTypes_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QMap<QString, int>>("codes");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<int>("precision");
        QTest::addColumn<int>("scale");
        QTest::newRow("PostgreSQL")
            << &Server::postgreSQL()
            << QStringLiteral(
                   "i2 int2, i4 int4, i8 int8, num numeric(12,3), f4 float4, f8 float8, mon money, b "
                   "bool, bp char(3), vc varchar(10), nm name, tx text, js json, id uuid, d date, t "
                   "time, ttz timetz, ts timestamp, tstz timestamptz, by bytea")
            << QMap<QString, int>{{"i2", 2},   {"i4", 3},    {"i8", 20},  {"num", 131},  {"f4", 4},
                                  {"f8", 5},   {"mon", 6},   {"b", 11},   {"bp", 130},   {"vc", 202},
                                  {"nm", 202}, {"tx", 203},  {"js", 203}, {"id", 72},    {"d", 133},
                                  {"t", 134},  {"ttz", 134}, {"ts", 135}, {"tstz", 135}, {"by", 205}}
            << QStringLiteral("num") << 12 << 3;
        QTest::newRow("MySQL")
            << &Server::mySQL()
            << QStringLiteral(
                   "ti TINYINT, tiu TINYINT UNSIGNED, si SMALLINT, siu SMALLINT UNSIGNED, yr YEAR, mi "
                   "MEDIUMINT, i INT, iu INT UNSIGNED, bi BIGINT, biu BIGINT UNSIGNED, de DECIMAL(10,2), "
                   "fl FLOAT, du DOUBLE, b1 BIT(1), b8 BIT(8), d DATE, t TIME, dt DATETIME, ts TIMESTAMP "
                   "NULL, ch CHAR(3), en ENUM('a','b'), st SET('x','y'), vc VARCHAR(10), tx TEXT, mt "
                   "MEDIUMTEXT, js JSON, bn BINARY(4), vb VARBINARY(8), bl BLOB, lb LONGBLOB, ge "
                   "GEOMETRY")
            << QMap<QString, int>{{"ti", 16},  {"tiu", 17}, {"si", 2},   {"siu", 18}, {"yr", 2},
                                  {"mi", 3},   {"i", 3},    {"iu", 19},  {"bi", 20},  {"biu", 21},
                                  {"de", 131}, {"fl", 4},   {"du", 5},   {"b1", 11},  {"b8", 128},
                                  {"d", 133},  {"t", 134},  {"dt", 135}, {"ts", 135}, {"ch", 130},
                                  {"en", 130}, {"st", 130}, {"vc", 202}, {"tx", 203}, {"mt", 203},
                                  {"js", 203}, {"bn", 128}, {"vb", 204}, {"bl", 205}, {"lb", 205},
                                  {"ge", 205}}
            << QStringLiteral("de") << 10 << 2;
    }
    void columnsReportTheirAdoTypes()
    {
        QFETCH(QString, columns);
        using Codes = QMap<QString, int>;
        QFETCH(Codes, codes);
        QFETCH(QString, decimal);
        QFETCH(int, precision);
        QFETCH(int, scale);
        auto connection = server().connect();
        Sandbox::exec(*connection, "DROP TABLE IF EXISTS type_codes");
        Sandbox::exec(*connection, QStringLiteral("CREATE TABLE type_codes(%1)").arg(columns));
        QCOMPARE(typeCodes(*connection, QStringLiteral("SELECT * FROM ") + server().quoted("type_codes")),
                 codes);
        Recordset rows = connection->Execute(QStringLiteral("SELECT %1 FROM type_codes").arg(decimal));
        QCOMPARE(rows.Fields()[0].Precision(), precision);
        QCOMPARE(rows.Fields()[0].NumericScale(), scale);
    }

    void rowsArriveWithExactCountsNullsAndBytes()
    {
        auto pg = Sandbox::postgreSQL();
        Sandbox::exec(*pg, "DROP TABLE IF EXISTS walk");
        Sandbox::exec(*pg,
                      "CREATE TABLE walk AS SELECT g AS n, CASE WHEN g % 2 = 0 THEN NULL ELSE 'x' || g END "
                      "AS t, CASE WHEN g = 1 THEN '' END AS e, decode('00ff0a', 'hex') AS b "
                      "FROM generate_series(1, 5001) g");
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, "DROP TABLE IF EXISTS walk");
        Sandbox::exec(*my, "CREATE TABLE walk (n INT, t VARCHAR(10), e VARCHAR(1), b VARBINARY(3))");
        Sandbox::exec(*my, "INSERT INTO walk SELECT seq, IF(seq % 2 = 0, NULL, CONCAT('x', seq)), "
                           "IF(seq = 1, '', NULL), X'00ff0a' FROM seq_1_to_5001");
        for (Connection* connection : {pg.get(), my.get()}) {
            Recordset rows;
            connection->CursorLocation = adUseClient;
            rows.Open("SELECT * FROM walk ORDER BY n", *connection);
            QCOMPARE(rows.RecordCount(), 5001);
            qint64 seen = 0;
            while (!rows.Eof()) {
                ++seen;
                const Fields& fields = rows.Fields();
                QCOMPARE(fields[1].Value().isNull(), seen % 2 == 0);
                if (seen == 1) {
                    QVERIFY(!fields[2].Value().isNull());
                    QCOMPARE(fields[2].Value().bytes(), QByteArray());
                    QCOMPARE(fields[1].Value().toString(), QStringLiteral("x1"));
                }
                QCOMPARE(fields[3].Value().bytes(), QByteArray("\x00\xff\x0a", 3));
                rows.MoveNext();
            }
            QCOMPARE(seen, 5001);
            QVERIFY_THROWS_EXCEPTION(Error, rows.MoveNext());
            rows.Close();
            // The snapshot is over: the connection takes statements again.
            QCOMPARE(Sandbox::scalar(*connection, "SELECT 1"), QStringLiteral("1"));
        }
    }

    void aClosedConnectionRefusesWork()
    {
        Connection connection;
        QVERIFY_THROWS_EXCEPTION(Error, connection.Execute("SELECT 1"));
        QVERIFY_THROWS_EXCEPTION(Error, connection.Close());
        connection.Open(Sandbox::mySQLConnectionString());
        connection.Close();
        QVERIFY_THROWS_EXCEPTION(Error, connection.Execute("SELECT 1"));
    }

    // A recordset that outlives its connection lets go of its rows without touching the
    // closed client; the sanitizer build checks that nothing freed is read.
    void aRecordsetOutlivesItsConnection_data() { perServer(); }
    void aRecordsetOutlivesItsConnection()
    {
        auto connection = server().connect();
        Recordset stored = connection->Execute(QStringLiteral("SELECT 4 AS b UNION ALL SELECT 5"));
        Recordset streamed;
        streamed.Open(QStringLiteral("SELECT 1 AS a UNION ALL SELECT 2 UNION ALL SELECT 3"), *connection);
        QCOMPARE(streamed.RecordCount(), -1); // a server cursor's rows are not counted
        connection->Close();
        // The rows already on the client may still be walked; no further ones are read.
        try {
            while (!streamed.Eof())
                streamed.MoveNext();
        } catch (const Error& error) {
            QVERIFY2(error.description().contains(QLatin1String("closed")), qPrintable(error.description()));
        }
        stored.MoveNext();
        QCOMPARE(stored.Fields()[0].Value().toString(), QStringLiteral("5"));
        connection.reset();
        streamed.Close();
    }

    // What the copies need to tell a row's own failure from one that ends the table.
    void serverErrorsSayWhetherTheValuesWereAtFault()
    {
        auto pg = Sandbox::postgreSQL();
        auto my = Sandbox::mySQL();
        auto causeOf = [](Connection& connection, const char* sql) {
            try {
                connection.Execute(QString::fromLatin1(sql));
            } catch (const Error& error) {
                return QStringLiteral("%1 %2").arg(error.refusedValues() ? "values" : "other",
                                                   error.sqlState());
            }
            return QStringLiteral("no error");
        };
        QCOMPARE(causeOf(*pg, "SELECT 1/0"), QStringLiteral("values 22012"));
        QCOMPARE(causeOf(*pg, "SELECT 'x'::int"), QStringLiteral("values 22P02"));
        QCOMPARE(causeOf(*pg, "INSERT INTO no_such_table VALUES (1)"), QStringLiteral("other 42P01"));
        Sandbox::exec(*my, QStringLiteral("CREATE TEMPORARY TABLE narrow (v VARCHAR(2), n TINYINT)"));
        QCOMPARE(causeOf(*my, "INSERT INTO narrow VALUES ('abc', 1)"), QStringLiteral("values 22001"));
        QCOMPARE(causeOf(*my, "INSERT INTO narrow VALUES ('a', 300)"), QStringLiteral("values 22003"));
        QCOMPARE(causeOf(*my, "INSERT INTO no_such_table VALUES (1)"), QStringLiteral("other 42S02"));
    }

    // The connection stays usable after a refused statement.
    void serverErrorsCarryTheServersText_data() { perServer(); }
    void serverErrorsCarryTheServersText()
    {
        auto connection = server().connect();
        try {
            connection->Execute("SELECT * FROM no_such_table_here");
            QFAIL("no error");
        } catch (const Error& error) {
            QVERIFY(error.description().contains("no_such_table_here"));
        }
        QCOMPARE(Sandbox::scalar(*connection, "SELECT 2"), QStringLiteral("2"));
    }

    // Quoted values are written for a MySQL session that takes backslashes as they are. A
    // session that reads them as escapes (its sql_mode changed after the program set it)
    // gets no statement with a backslash and no stream of rows; the server's own status
    // tells which session it is.
    void aMySQLSessionReadingEscapesGetsNoBackslash()
    {
        auto my = Sandbox::mySQL();
        QCOMPARE(Sandbox::scalar(*my, "SELECT 'a\\b'"), QStringLiteral("a\\b"));
        Sandbox::exec(*my, QStringLiteral("SET SESSION sql_mode = 'STRICT_ALL_TABLES'"));
        QVERIFY_THROWS_EXCEPTION(Error, my->Execute("SELECT 'a\\b'"));
        try {
            my->openStatementStream();
            QFAIL("a stream was opened");
        } catch (const Error& error) {
            QVERIFY2(error.description().contains("NO_BACKSLASH_ESCAPES"), qPrintable(error.description()));
        }
        QCOMPARE(Sandbox::scalar(*my, "SELECT 'ab'"), QStringLiteral("ab"));
        Sandbox::exec(*my, QStringLiteral("SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES'"));
        QCOMPARE(Sandbox::scalar(*my, "SELECT 'a\\b'"), QStringLiteral("a\\b"));
    }
};

QTEST_MAIN(DatabaseTest)
#include "test_database.moc"
