// Hostile names and values on their way between the servers: quote characters,
// backslashes, semicolons, blanks, non-ASCII letters, the longest names, NUL bytes,
// bytes that are not UTF-8, and values of ten megabytes.

#include "tests/transfer/TransferFixture.h"

class HostileTest : public ServerCase
{
    Q_OBJECT
private slots:

    void oddNamesGoBothWays()
    {
        const Server& my = Server::mySQL();
        const Server& pg = Server::postgreSQL();
        // MySQL allows no blank at the end of a name; PostgreSQL allows both ends.
        const QString table = QStringLiteral(" a`b\"c'd\\e;f ü");
        const QString column = QStringLiteral(" x`y\"z'\\; 日本");
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE %1 (%2 VARCHAR(20), n INT)")
                                 .arg(my.quoted(table), my.quoted(column)));
        Sandbox::exec(*m_my, QStringLiteral("INSERT INTO %1 VALUES ('it''s', 1)").arg(my.quoted(table)));
        openTableWindow();
        Server::mySQL().send({table});
        QS_VERIFY_NO_BOXES();
        QCOMPARE(
            Sandbox::scalar(
                *m_pg, QStringLiteral("SELECT %2 || n FROM %1").arg(pg.quoted(table), pg.quoted(column))),
            QStringLiteral("it's1"));

        // And back, into a MySQL database that does not have it any more.
        Sandbox::exec(*m_my, QStringLiteral("DROP TABLE %1").arg(my.quoted(table)));
        MessageBox::clearHistory();
        MessageBox::setNextAnswer(MessageBox::Yes); // the list still shows the old table
        Server::postgreSQL().send({table});
        QCOMPARE(MessageBox::history().size(), 2); // the question, and the DROP it allowed refused
        QCOMPARE(Sandbox::scalar(*m_my, QStringLiteral("SELECT CONCAT(%2, CAST(n AS SIGNED)) FROM %1")
                                            .arg(my.quoted(table), my.quoted(column))),
                 QStringLiteral("it's1"));
    }

    void theLongestNamesAreKeptOrRefused()
    {
        const QString fits = QString(63, QLatin1Char('p'));
        const QString tooLong = QString(64, QLatin1Char('m'));
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE %1 (%1 int); INSERT INTO %1 VALUES (5)").arg(fits));
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE %1 (%1 INT)").arg(tooLong));
        Form2& form = openTableWindow();
        Server::postgreSQL().send({fits});
        QS_VERIFY_NO_BOXES();
        QCOMPARE(Sandbox::scalar(*m_my, QStringLiteral("SELECT %1 FROM %1").arg(fits)), QStringLiteral("5"));

        // 64 characters fit MySQL but not PostgreSQL, which would cut the name short.
        Server::mySQL().send({tooLong});
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY(MessageBox::history().first().text.contains(QStringLiteral("longer than the 63 bytes")));
        QCOMPARE(Sandbox::scalar(
                     *m_pg, QStringLiteral("SELECT count(*) FROM pg_tables WHERE tablename LIKE 'mmmm%'")),
                 QStringLiteral("0"));
        QVERIFY(form.List2->findItems(tooLong, Qt::MatchExactly).isEmpty());
    }

    void nulBytesAndForeignBytesArriveOrAreRefused()
    {
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE bytes (id INT, t VARCHAR(20), raw VARBINARY(20), "
                                            "l VARCHAR(20) CHARACTER SET latin1)"));
        // A NUL inside text (MySQL keeps it; PostgreSQL text cannot), bytes that are not
        // UTF-8 in a binary column, and a Latin-1 column.
        Sandbox::exec(*m_my,
                      QStringLiteral("INSERT INTO bytes VALUES (1, CONCAT('a', CHAR(0), 'b'), X'00', 'x'),"
                                     "(2, 'plain', X'C3FF28E282', CONVERT(X'E9' USING latin1))"));
        openTableWindow();
        Server::mySQL().send({QStringLiteral("bytes")});
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY2(MessageBox::history().first().text.contains(QStringLiteral("NUL")),
                 qPrintable(MessageBox::history().first().text.left(300)));
        QVERIFY(MessageBox::history().first().text.contains(QStringLiteral("at line 270")));
        QCOMPARE(Sandbox::column(
                     *m_pg, QStringLiteral(
                                "SELECT id || ' ' || t || ' ' || encode(raw, 'hex') || ' ' || l FROM bytes")),
                 QStringList{QStringLiteral("2 plain c3ff28e282 é")});
    }

    void tenMegabyteValuesGoBothWays()
    {
        Sandbox::exec(*m_my,
                      QStringLiteral("CREATE TABLE big (t LONGTEXT, b LONGBLOB) DEFAULT CHARSET=utf8mb4"));
        Sandbox::exec(*m_my, QStringLiteral("INSERT INTO big SELECT REPEAT('ü''\\x', 2621440), "
                                            "REPEAT(X'00FF5C27', 2621440)"));
        const QString expected = Sandbox::scalar(
            *m_my, QStringLiteral("SELECT CONCAT(LENGTH(t), MD5(t), LENGTH(b), MD5(b)) FROM big"));
        openTableWindow();
        Server::mySQL().send({QStringLiteral("big")});
        QS_VERIFY_NO_BOXES();
        QCOMPARE(
            Sandbox::scalar(
                *m_pg, QStringLiteral("SELECT octet_length(t) || md5(t) || length(b) || md5(b) FROM big")),
            expected);

        Sandbox::exec(*m_my, QStringLiteral("RENAME TABLE big TO big_before"));
        MessageBox::setNextAnswer(MessageBox::Yes);
        Server::postgreSQL().send({QStringLiteral("big")});
        QCOMPARE(MessageBox::history().size(), 2); // the question, and the refused DROP of the renamed table
        QCOMPARE(Sandbox::scalar(
                     *m_my, QStringLiteral("SELECT CONCAT(LENGTH(t), MD5(t), LENGTH(b), MD5(b)) FROM big")),
                 expected);
    }
};

QTEST_MAIN(HostileTest)
#include "test_transfer_hostile.moc"
