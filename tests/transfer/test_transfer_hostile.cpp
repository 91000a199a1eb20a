// Hostile names and values on their way between the servers: quote characters,
// backslashes, semicolons, blanks, non-ASCII letters, the longest names, NUL bytes,
// bytes that are not UTF-8, and values of ten megabytes.

#include "app/Windows.h"
#include "connect/Form1.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "tests/transfer/TransferFixture.h"

#include <QTest>

namespace {
QString errorReports()
{
    QStringList texts;
    for (const MessageBox::Shown& shown : MessageBox::history())
        texts << shown.text.left(300);
    return texts.join(QStringLiteral("\n---\n"));
}
} // namespace

class HostileTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { Sandbox::dropAllTables(); }

    void oddNamesGoBothWays()
    {
        ProgramUnderTest program;
        // MySQL allows no blank at the end of a name; PostgreSQL allows both ends.
        const QString table = QStringLiteral(" a`b\"c'd\\e;f ü");
        const QString column = QStringLiteral(" x`y\"z'\\; 日本");
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, QStringLiteral("CREATE TABLE %1 (%2 VARCHAR(20), n INT)")
                               .arg(Transfer::mySQLQuoted(table), Transfer::mySQLQuoted(column)));
        Sandbox::exec(*my,
                      QStringLiteral("INSERT INTO %1 VALUES ('it''s', 1)").arg(Transfer::mySQLQuoted(table)));
        Transfer::openTableWindow();
        Form2& form = Windows::form2();
        Transfer::select(form.List1, {table});
        form.PushButton3_Click();
        QVERIFY2(MessageBox::history().isEmpty(), qPrintable(errorReports()));
        auto pg = Sandbox::postgreSQL();
        QCOMPARE(Sandbox::scalar(
                     *pg, QStringLiteral("SELECT %2 || n FROM %1")
                              .arg(Transfer::postgreSQLQuoted(table), Transfer::postgreSQLQuoted(column))),
                 QStringLiteral("it's1"));

        // And back, into a MySQL database that does not have it any more.
        Sandbox::exec(*my, QStringLiteral("DROP TABLE %1").arg(Transfer::mySQLQuoted(table)));
        MessageBox::clearHistory();
        Transfer::select(form.List2, {table});
        MessageBox::setNextAnswer(MessageBox::Yes); // the list still shows the old table
        form.PushButton4_Click();
        QCOMPARE(MessageBox::history().size(), 2); // the question, and the DROP it allowed refused
        QCOMPARE(Sandbox::scalar(*my, QStringLiteral("SELECT CONCAT(%2, CAST(n AS SIGNED)) FROM %1")
                                          .arg(Transfer::mySQLQuoted(table), Transfer::mySQLQuoted(column))),
                 QStringLiteral("it's1"));
    }

    void theLongestNamesAreKeptOrRefused()
    {
        ProgramUnderTest program;
        const QString fits = QString(63, QLatin1Char('p'));
        const QString tooLong = QString(64, QLatin1Char('m'));
        Sandbox::exec(*Sandbox::postgreSQL(),
                      QStringLiteral("CREATE TABLE %1 (%1 int); INSERT INTO %1 VALUES (5)").arg(fits));
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, QStringLiteral("CREATE TABLE %1 (%1 INT)").arg(tooLong));
        Transfer::openTableWindow();
        Form2& form = Windows::form2();
        Transfer::select(form.List2, {fits});
        form.PushButton4_Click();
        QVERIFY2(MessageBox::history().isEmpty(), qPrintable(errorReports()));
        QCOMPARE(Sandbox::scalar(*my, QStringLiteral("SELECT %1 FROM %1").arg(fits)), QStringLiteral("5"));

        // 64 characters fit MySQL but not PostgreSQL, which would cut the name short.
        Transfer::select(form.List1, {tooLong});
        form.PushButton3_Click();
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY(MessageBox::history().first().text.contains(QStringLiteral("longer than the 63 bytes")));
        QCOMPARE(
            Sandbox::scalar(*Sandbox::postgreSQL(),
                            QStringLiteral("SELECT count(*) FROM pg_tables WHERE tablename LIKE 'mmmm%'")),
            QStringLiteral("0"));
        QVERIFY(form.List2->findItems(tooLong, Qt::MatchExactly).isEmpty());
    }

    void nulBytesAndForeignBytesArriveOrAreRefused()
    {
        ProgramUnderTest program;
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my, QStringLiteral("CREATE TABLE bytes (id INT, t VARCHAR(20), raw VARBINARY(20), "
                                          "l VARCHAR(20) CHARACTER SET latin1)"));
        // A NUL inside text (MySQL keeps it; PostgreSQL text cannot), bytes that are not
        // UTF-8 in a binary column, and a Latin-1 column.
        Sandbox::exec(*my,
                      QStringLiteral("INSERT INTO bytes VALUES (1, CONCAT('a', CHAR(0), 'b'), X'00', 'x'),"
                                     "(2, 'plain', X'C3FF28E282', CONVERT(X'E9' USING latin1))"));
        Transfer::openTableWindow();
        Form2& form = Windows::form2();
        Transfer::select(form.List1, {QStringLiteral("bytes")});
        form.PushButton3_Click();
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY2(MessageBox::history().first().text.contains(QStringLiteral("NUL")),
                 qPrintable(errorReports()));
        QVERIFY(MessageBox::history().first().text.contains(QStringLiteral("at line 270")));
        QCOMPARE(
            Sandbox::column(
                *Sandbox::postgreSQL(),
                QStringLiteral("SELECT id || ' ' || t || ' ' || encode(raw, 'hex') || ' ' || l FROM bytes")),
            QStringList{QStringLiteral("2 plain c3ff28e282 é")});
    }

    void tenMegabyteValuesGoBothWays()
    {
        ProgramUnderTest program;
        auto my = Sandbox::mySQL();
        Sandbox::exec(*my,
                      QStringLiteral("CREATE TABLE big (t LONGTEXT, b LONGBLOB) DEFAULT CHARSET=utf8mb4"));
        Sandbox::exec(*my, QStringLiteral("INSERT INTO big SELECT REPEAT('ü''\\x', 2621440), "
                                          "REPEAT(X'00FF5C27', 2621440)"));
        const QString expected = Sandbox::scalar(
            *my, QStringLiteral("SELECT CONCAT(LENGTH(t), MD5(t), LENGTH(b), MD5(b)) FROM big"));
        Transfer::openTableWindow();
        Form2& form = Windows::form2();
        Transfer::select(form.List1, {QStringLiteral("big")});
        form.PushButton3_Click();
        QVERIFY2(MessageBox::history().isEmpty(), qPrintable(errorReports()));
        auto pg = Sandbox::postgreSQL();
        QCOMPARE(Sandbox::scalar(
                     *pg, QStringLiteral("SELECT octet_length(t) || md5(t) || length(b) || md5(b) FROM big")),
                 expected);

        Sandbox::exec(*my, QStringLiteral("RENAME TABLE big TO big_before"));
        Transfer::select(form.List2, {QStringLiteral("big")});
        MessageBox::setNextAnswer(MessageBox::Yes);
        form.PushButton4_Click();
        QCOMPARE(MessageBox::history().size(), 2); // the question, and the refused DROP of the renamed table
        QCOMPARE(Sandbox::scalar(
                     *my, QStringLiteral("SELECT CONCAT(LENGTH(t), MD5(t), LENGTH(b), MD5(b)) FROM big")),
                 expected);
    }
};

QTEST_MAIN(HostileTest)
#include "test_transfer_hostile.moc"
