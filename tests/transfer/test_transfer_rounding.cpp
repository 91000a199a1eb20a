// A decimal that the MySQL column could hold only rounded is refused with a report;
// every other row arrives.

#include "tests/transfer/TransferFixture.h"

class RoundingTest : public QObject
{
    Q_OBJECT
private slots:
    void surplusFractionDigitsFailTheirRow()
    {
        ProgramUnderTest program;
        Sandbox::dropAllTables();
        Sandbox::exec(*Sandbox::postgreSQL(),
                      QStringLiteral("CREATE TABLE money (id int, fixed numeric(10,2), free numeric);"
                                     "INSERT INTO money VALUES (1, 1.50, 0.1234567890123456789012345678901),"
                                     "(2, 2.25, 1.100000000000000000000000000000000),"
                                     "(3, 99999999.99, -7)"));
        openTableWindow();
        Server::postgreSQL().send({QStringLiteral("money")});

        QCOMPARE(MessageBox::history().size(), 1);
        const QString report = MessageBox::history().first().text;
        QVERIFY2(report.contains(QStringLiteral("0.1234567890123456789012345678901 has more than 30 digits")),
                 qPrintable(report));
        QVERIFY(report.contains(QStringLiteral("Form2.PushButton4_Click at line 226")));
        auto my = Sandbox::mySQL();
        QCOMPARE(Sandbox::column(
                     *my, QStringLiteral("SELECT CONCAT(id, ' ', fixed, ' ', free) FROM money ORDER BY id")),
                 (QStringList{"2 2.25 1.100000000000000000000000000000",
                              "3 99999999.99 -7.000000000000000000000000000000"}));
        QCOMPARE(
            Sandbox::scalar(*my, QStringLiteral("SELECT COLUMN_TYPE FROM information_schema.COLUMNS WHERE "
                                                "TABLE_NAME = 'money' AND COLUMN_NAME = 'fixed'")),
            QStringLiteral("decimal(10,2)"));
    }
};

QTEST_MAIN(RoundingTest)
#include "test_transfer_rounding.moc"
