// What arrives: a table with every common column type of each server copied to the
// other, compared value by value through texts each server computes itself, and the
// CREATE TABLE statement each direction writes for those types.

#include "tests/transfer/TransferFixture.h"

class TransferValuesTest : public ServerCase
{
    Q_OBJECT
private slots:
    // Every common column type of the source's server, with its smallest values and empty
    // strings, its largest values, backslashes and every byte, ordinary values, and NULL
    // everywhere (first and last column too); and then a MySQL zero date, or PostgreSQL texts
    // that look like dates and numbers. Compared as texts each server computes itself:
    // numbers and times as text, strings and bytes as hex, long values as length and md5.
    void everyValue_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<QString>("create");
        QTest::addColumn<QString>("insert");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("sourceTexts");
        QTest::addColumn<QString>("targetTexts");
        QTest::addColumn<QList<int>>("doubles");
        QTest::addColumn<QString>("refused");
        struct Direction
        {
            const char* name;
            const Server* server;
            QString create, insert, summary, sourceTexts, targetTexts;
            QList<int> doubles;
            QString refused, refusedSummary; // a row the target refuses
        };
        // The window tells that the zero date, which PostgreSQL has not, was written as NULL.
        const Direction toPostgreSQL{
            "to PostgreSQL",
            &Server::mySQL(),
            QStringLiteral(R"(CREATE TABLE every_type (
            ti TINYINT, uti TINYINT UNSIGNED, si SMALLINT, usi SMALLINT UNSIGNED, mi MEDIUMINT, umi MEDIUMINT UNSIGNED,
            i INT, ui INT UNSIGNED, id INT NOT NULL, bi BIGINT, ubi BIGINT UNSIGNED, `dec` DECIMAL(30,10), fl FLOAT,
            dbl DOUBLE, d DATE, t TIME(6), dt DATETIME(6), ts TIMESTAMP(6) NULL DEFAULT NULL, y YEAR, `bit` BIT(1),
            ch CHAR(10), vc VARCHAR(300), lt LONGTEXT, en ENUM('x','y z'), bin BINARY(4), vb VARBINARY(300),
            bl LONGBLOB) DEFAULT CHARSET=utf8mb4)"),
            QStringLiteral(R"(INSERT INTO every_type VALUES
            (-128, 0, -32768, 0, -8388608, 0, -2147483648, 0, 1, -9223372036854775808, 0,
             -99999999999999999999.9999999999, -3.4028234663852886e38, -1.7976931348623157e308, '1000-01-01',
             '-838:59:59.000000', '1000-01-01 00:00:00', '1970-01-01 00:00:01', 1901, b'0', '', '', '', 'x',
             X'00000000', X'', X''),
            (127, 255, 32767, 65535, 8388607, 16777215, 2147483647, 4294967295, 2, 9223372036854775807,
             18446744073709551615, 99999999999999999999.9999999999, 16777216, 5e-324, '9999-12-31',
             '838:59:59.999999', '9999-12-31 23:59:59.999999', '2038-01-19 03:14:07.999999', 2155, b'1',
             'O''Brien', 'C:\new', REPEAT('Grüße 😀 \ '' ', 10000), 'y z', X'FF00FF00', X'%1', REPEAT(X'%1', 300)),
            (0, 1, 2, 3, 4, 5, 16777217, 7, 3, 9007199254740993, 9223372036854775808, 0.0000000001, 3.1415927, 0.1,
             '2021-08-31', '14:05:00', '2021-08-31 14:05:00.123456', '2021-08-31 14:05:00.5', 2021, NULL, 'x\',
             'ends with \', 'Grüße, 日本語, 😀', NULL, X'01020304', X'5C27', NULL),
            (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 4, NULL, NULL, NULL, NULL, NULL, '0000-00-00', NULL,
             NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL))"),
            QStringLiteral("4 rows written, 1 zero date written as NULL"),
            QStringLiteral(R"(SELECT
            CAST(id AS CHAR), CAST(ti AS CHAR), CAST(uti AS CHAR), CAST(si AS CHAR), CAST(usi AS CHAR),
            CAST(mi AS CHAR), CAST(umi AS CHAR), CAST(i AS CHAR), CAST(ui AS CHAR), CAST(bi AS CHAR),
            CAST(ubi AS CHAR), CAST(`dec` AS CHAR), CAST(fl AS DOUBLE), dbl, NULLIF(CAST(d AS CHAR), '0000-00-00'),
            CAST(t AS CHAR), CAST(dt AS CHAR), CAST(ts AS CHAR), CAST(y AS CHAR), CAST(`bit` + 0 AS CHAR), HEX(ch),
            HEX(vc), CONCAT(LENGTH(lt), ':', MD5(lt)), HEX(en), HEX(bin), HEX(vb), CONCAT(LENGTH(bl), ':', MD5(bl))
            FROM every_type ORDER BY id)"),
            QStringLiteral(R"(SELECT
            "id"::text, "ti"::text, "uti"::text, "si"::text, "usi"::text, "mi"::text, "umi"::text, "i"::text,
            "ui"::text, "bi"::text, "ubi"::text, "dec", "fl"::float4::float8, "dbl"::float8, "d"::text, "t", "dt",
            "ts", "y"::text, "bit"::int::text, upper(encode(convert_to("ch", 'UTF8'), 'hex')),
            upper(encode(convert_to("vc", 'UTF8'), 'hex')), octet_length("lt") || ':' || md5("lt"),
            upper(encode(convert_to("en", 'UTF8'), 'hex')), upper(encode("bin", 'hex')), upper(encode("vb", 'hex')),
            length("bl") || ':' || md5("bl") FROM "every_type" ORDER BY "id")"),
            {12, 13},
            // PostgreSQL has no NUL in a text.
            QStringLiteral("INSERT INTO every_type (id, vc) VALUES (99, CONCAT('a', CHAR(0), 'b'))"),
            QStringLiteral("4 rows written, 1 refused, 1 zero date written as NULL")};
        const Direction toMySQL{
            "to MySQL",
            &Server::postgreSQL(),
            QStringLiteral(R"(CREATE TABLE every_type (s2 smallint, id integer NOT NULL, i4 integer,
            i8 bigint, num numeric(30,10), anynum numeric, f4 real, f8 double precision, d date, t time(6),
            ts timestamp(6), tz timestamptz, b boolean, ch char(5), vc varchar(300), tx text, u uuid, by bytea))"),
            QStringLiteral(R"(INSERT INTO every_type VALUES
            (-32768, 1, -2147483648, -9223372036854775808, -99999999999999999999.9999999999,
             -12345678901234567890.123456789012345678, '-3.4028235e38', '-1.7976931348623157e308', '1000-01-01',
             '00:00:00', '1000-01-01 00:00:00', '1970-01-01 00:00:00+00', false, '12345', '', '',
             '00000000-0000-0000-0000-000000000000', '\x'),
            (32767, 2, 2147483647, 9223372036854775807, 99999999999999999999.9999999999,
             0.000000000000000000000000000001, '3.4028235e38', '5e-324', '9999-12-31', '23:59:59.999999',
             '9999-12-31 23:59:59.999999', '2021-08-31 23:30:00.5+05:30', true, 'O''Br\', 'C:\new',
             repeat('Grüße 😀 \ '' ', 10000), 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '\x%1'),
            (0, 3, 16777217, 9007199254740993, 0.0000000001, 123.45, '3.1415927', '0.1', '2021-08-31', '14:05:00',
             '2021-08-31 14:05:00.123456', '2021-08-31 14:05:00+00', true, 'abcde', 'ends with \',
             'Grüße, 日本語, 😀', NULL, '\x5c27'),
            (NULL, 4, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
            (NULL, 5, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, '31.08', '2021-08-31',
             '14:05', NULL, NULL))"),
            QStringLiteral("5 rows written"),
            QStringLiteral(R"(SELECT id::text, s2::text, i4::text, i8::text,
            num::text, anynum::numeric(65,30)::text, f4::float8, f8, to_char(d, 'YYYY-MM-DD') || ' 00:00:00', t::text,
            to_char(ts, 'YYYY-MM-DD HH24:MI:SS.US'), to_char(tz AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.US'),
            b::text, upper(encode(convert_to(ch::text, 'UTF8'), 'hex')), upper(encode(convert_to(vc, 'UTF8'), 'hex')),
            octet_length(tx) || ':' || md5(tx), u::text, upper(encode(by, 'hex')) FROM every_type ORDER BY id)"),
            QStringLiteral(R"(SELECT CAST(id AS CHAR), CAST(s2 AS CHAR),
            CAST(i4 AS CHAR), CAST(i8 AS CHAR), CAST(num AS CHAR), CAST(anynum AS CHAR), CAST(f4 AS DOUBLE), f8,
            CAST(d AS CHAR), t, CAST(ts AS CHAR), CAST(tz AS CHAR), b, HEX(ch), HEX(vc),
            CONCAT(LENGTH(tx), ':', MD5(tx)), u, HEX(`by`) FROM every_type ORDER BY id)"),
            {6, 7},
            // MySQL has no date "infinity".
            QStringLiteral("INSERT INTO every_type (id, d) VALUES (99, 'infinity')"),
            QStringLiteral("5 rows written, 1 refused")};
        // Each again with a row the target refuses: its rows go again one INSERT each, and every
        // value arrives as it does in bulk.
        for (const Direction& d : {toPostgreSQL, toMySQL}) {
            QTest::newRow(d.name) << d.server << d.create << d.insert << d.summary << d.sourceTexts
                                  << d.targetTexts << d.doubles << QString();
            QTest::newRow(
                qPrintable(QStringLiteral("%1, a refused row among them").arg(QLatin1String(d.name))))
                << d.server << d.create << d.insert << d.refusedSummary << d.sourceTexts << d.targetTexts
                << d.doubles << d.refused;
        }
    }
    void everyValue()
    {
        QFETCH(QString, create);
        QFETCH(QString, insert);
        QFETCH(QString, summary);
        QFETCH(QString, sourceTexts);
        QFETCH(QString, targetTexts);
        QFETCH(QList<int>, doubles);
        QFETCH(QString, refused);
        Sandbox::exec(source(), create);
        Sandbox::exec(source(), insert.arg(everyByteHex()));
        if (!refused.isEmpty())
            Sandbox::exec(source(), refused);
        openTableWindow();
        send({QStringLiteral("every_type")});
        if (refused.isEmpty())
            QS_VERIFY_NO_BOXES();
        else
            QVERIFY2(reports().size() == 1 && reports().constFirst().contains(
                                                  QStringLiteral("sql: INSERT INTO %1every_type%1 VALUES(")
                                                      .arg(server().other().quote())),
                     qPrintable(reports().join(QStringLiteral("\n----\n"))));
        // A NUL shows as a mark of its own in the report, and the statement goes on after it.
        if (!refused.isEmpty() && toPostgreSQL())
            QVERIFY(reports().constFirst().contains(QStringLiteral("'a\u2400b', ")));
        const QString line = Windows::form2().summaryLine()->text();
        QVERIFY2(line.startsWith(QStringLiteral("Done: 1 of 1 table copied: %1; in ").arg(summary)),
                 qPrintable(line));

        QList<QStringList> sent = Sandbox::rows(source(), sourceTexts);
        QList<QStringList> arrived = Sandbox::rows(target(), targetTexts);
        if (!refused.isEmpty())
            sent.removeLast(); // id 99
        asDoubles(sent, doubles);
        asDoubles(arrived, doubles);
        QCOMPARE(arrived.size(), toPostgreSQL() ? 4 : 5);
        for (int r = 0; r < sent.size(); ++r)
            QCOMPARE(arrived.value(r), sent.at(r));
    }

    void createTable_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<QString>("types");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("create");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("columnTypes");
        // Every ADO type each client reports, in an empty table.
        QTest::newRow("to PostgreSQL")
            << &Server::mySQL()
            << QStringLiteral(
                   "a TINYINT, b TINYINT UNSIGNED, c SMALLINT, d SMALLINT UNSIGNED, e MEDIUMINT, f INT, "
                   "g INT UNSIGNED, h BIGINT, i BIGINT UNSIGNED, j DECIMAL(10,2), k FLOAT, l DOUBLE, "
                   "m BIT(1), n BIT(8), o DATE, p TIME, q DATETIME, r TIMESTAMP NULL, s YEAR, t CHAR(3), "
                   "u VARCHAR(10), v TEXT, w ENUM('x'), x BINARY(3), y VARBINARY(10), z BLOB, jj JSON")
            << 200
            << QStringLiteral(
                   R"(CREATE TABLE "types"("a" NUMERIC,"b" NUMERIC,"c" NUMERIC,"d" NUMERIC,"e" NUMERIC,"f" NUMERIC,)"
                   R"("g" NUMERIC,"h" NUMERIC,"i" NUMERIC,"j" TEXT,"k" TEXT,"l" TEXT,"m" BOOL,"n" BYTEA,"o" DATE,)"
                   R"("p" TEXT,"q" TEXT,"r" TEXT,"s" NUMERIC,"t" TEXT,"u" TEXT,"v" TEXT,"w" TEXT,"x" BYTEA,"y" BYTEA,)"
                   R"("z" BYTEA,"jj" TEXT))")
            << QStringLiteral("ERROR:")
            << QStringLiteral(
                   "numeric,numeric,numeric,numeric,numeric,numeric,numeric,numeric,numeric,text,text,"
                   "text,boolean,bytea,date,text,text,text,numeric,text,text,text,text,bytea,bytea,bytea,"
                   "text");
        QTest::newRow("to MySQL")
            << &Server::postgreSQL()
            << QStringLiteral(
                   "a smallint, b integer, c bigint, d numeric(10,2), e numeric, f real, g double "
                   "precision, h money, i boolean, j char(3), k varchar(10), l text, m uuid, n date, o "
                   "time, p timetz, q timestamp, r timestamptz, s bytea, t json, \"U\" name")
            << 210
            << QStringLiteral(
                   "CREATE TABLE `types`(`a` BIGINT,`b` BIGINT,`c` BIGINT,`d` DECIMAL(10,2),`e` "
                   "DECIMAL(65,30),`f` FLOAT,`g` DOUBLE,`h` LONGTEXT,`i` LONGTEXT,`j` LONGTEXT,`k` "
                   "LONGTEXT,`l` LONGTEXT,`m` LONGTEXT,`n` DATETIME,`o` LONGTEXT,`p` LONGTEXT,`q` "
                   "DATETIME(6),`r` DATETIME(6),`s` LONGBLOB,`t` LONGTEXT,`U` LONGTEXT) DEFAULT "
                   "CHARSET=utf8mb4;")
            << QStringLiteral("Table 'types' already exists")
            << QStringLiteral(
                   "bigint(20),bigint(20),bigint(20),decimal(10,2),decimal(65,30),float,double,longtext,"
                   "longtext,longtext,longtext,longtext,longtext,datetime,longtext,longtext,datetime(6),"
                   "datetime(6),longblob,longtext,longtext");
    }

    void createTable()
    {
        QFETCH(QString, types);
        QFETCH(int, line);
        QFETCH(QString, create);
        QFETCH(QString, refusal);
        QFETCH(QString, columnTypes);
        Sandbox::exec(source(), QStringLiteral("CREATE TABLE types (%1)").arg(types));
        openTableWindow();
        // A table of that name that the list does not show: the CREATE is refused and the
        // report shows it.
        Sandbox::exec(target(), QStringLiteral("CREATE TABLE types (a TEXT)"));
        send({QStringLiteral("types")});
        QS_VERIFY_ONE_REPORT_ENDING(reportTail(procedure(), line, create));
        QVERIFY2(reports().constFirst().startsWith(refusal), qPrintable(reports().constFirst()));

        // The same words, as the target took them, once the table is listed and overwritten.
        MessageBox::clearHistory();
        send({QStringLiteral("types")});
        QCOMPARE(shownTexts(), QStringList{"Would you like to overwrite types?"});
        QCOMPARE(Sandbox::column(target(),
                                 toPostgreSQL()
                                     ? QStringLiteral("SELECT format_type(atttypid, atttypmod) FROM "
                                                      "pg_attribute WHERE attrelid = 'types'::regclass AND "
                                                      "attnum > 0 ORDER BY attnum")
                                     : QStringLiteral("SELECT COLUMN_TYPE FROM information_schema.COLUMNS "
                                                      "WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = "
                                                      "'types' ORDER BY ORDINAL_POSITION"))
                     .join(QLatin1Char(',')),
                 columnTypes);
    }
};

QTEST_MAIN(TransferValuesTest)
#include "test_transfer_values.moc"
