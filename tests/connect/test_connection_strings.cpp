// The two connection strings, built from the connection window's fields.

#include "connect/ConnectionStrings.h"

#include <QTest>

class ConnectionStringsTest : public QObject
{
    Q_OBJECT
private slots:
    void mySQLKeysComeInTheirOwnOrder()
    {
        QCOMPARE(MySQLConnectionString({"db.example", "ann", "shop", "pw", "3307"}),
                 QStringLiteral("DRIVER={MySQL ODBC 5.1 Driver};SERVER=db.example;USER=ann;DATABASE=shop;"
                                "PASSWORD=pw;PORT=3307;"));
        QCOMPARE(MySQLConnectionString({}),
                 QStringLiteral("DRIVER={MySQL ODBC 5.1 Driver};SERVER=;USER=;DATABASE=;PASSWORD=;PORT=;"));
    }

    void postgreSQLStringHasNoTrailingSemicolon()
    {
        QCOMPARE(PostgreSQLConnectionString({"pg.example", "5433", "bob", "pw", "sales"}),
                 QStringLiteral("Driver={PostgreSQL Unicode};Server=pg.example;Port=5433;Uid=bob;Pwd=pw;"
                                "Database=sales"));
        QCOMPARE(PostgreSQLConnectionString({}),
                 QStringLiteral("Driver={PostgreSQL Unicode};Server=;Port=;Uid=;Pwd=;Database="));
    }

    void valuesThatCannotStandBareAreBraced()
    {
        // "=" and non-ASCII letters stand bare; ";", braces and outer blanks need braces.
        QCOMPARE(PostgreSQLConnectionString({"h", "1", "u=ü", "pa;ss", " db}"}),
                 QStringLiteral(
                     "Driver={PostgreSQL Unicode};Server=h;Port=1;Uid=u=ü;Pwd={pa;ss};Database={ db}}}"));
        QCOMPARE(MySQLConnectionString({"h", "u", "d", "{x}", "1"}),
                 QStringLiteral(
                     "DRIVER={MySQL ODBC 5.1 Driver};SERVER=h;USER=u;DATABASE=d;PASSWORD={{x}}};PORT=1;"));
    }
};

QTEST_MAIN(ConnectionStringsTest)
#include "test_connection_strings.moc"
