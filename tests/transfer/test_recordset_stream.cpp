// The recordset a transfer walks (on a client cursor): its row count is exact before the
// first row is read, and it belongs to the same snapshot as the rows, also while others
// write to the table.

#include "tests/transfer/TransferFixture.h"

#include <QTest>
#include <optional>

class RecordsetStreamTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void countComesFirst_data();
    void countComesFirst();

private:
    std::optional<ProgramUnderTest> m_program;
};

void RecordsetStreamTest::init()
{
    m_program.emplace();
    Sandbox::dropAllTables();
}

void RecordsetStreamTest::cleanup()
{
    m_program.reset();
}

void RecordsetStreamTest::countComesFirst_data()
{
    QTest::addColumn<bool>("mySQL");
    QTest::newRow("MySQL") << true;
    QTest::newRow("PostgreSQL") << false;
}

void RecordsetStreamTest::countComesFirst()
{
    QFETCH(bool, mySQL);
    const int rowCount = 5000; // more than one batch of a server-side cursor
    auto reader = mySQL ? Sandbox::mySQL() : Sandbox::postgreSQL();
    auto writer = mySQL ? Sandbox::mySQL() : Sandbox::postgreSQL();
    Sandbox::exec(*writer, QStringLiteral("CREATE TABLE numbers (n BIGINT)"));
    Sandbox::exec(*writer,
                  mySQL ? QStringLiteral("INSERT INTO numbers SELECT seq FROM seq_1_to_%1").arg(rowCount)
                        : QStringLiteral("INSERT INTO numbers SELECT generate_series(1, %1)").arg(rowCount));

    Recordset rows;
    reader->CursorLocation = adUseClient;
    rows.Open(QStringLiteral("SELECT * FROM numbers"), *reader);
    QCOMPARE(rows.RecordCount(), qint64(rowCount));
    // Rows written after the recordset opened belong to a later snapshot.
    Sandbox::exec(*writer, QStringLiteral("INSERT INTO numbers VALUES (100000), (100001)"));
    Sandbox::exec(*writer, QStringLiteral("DELETE FROM numbers WHERE n = 1"));

    qint64 walked = 0;
    qint64 sum = 0;
    while (!rows.Eof()) {
        ++walked;
        sum += rows.Fields()[0].Value().toString().toLongLong();
        rows.MoveNext();
        // PostgreSQL: a statement in the middle of the walk, while the next batch is on its
        // way, sees the same snapshot and leaves the walk intact.
        if (!mySQL && walked == 2500)
            QCOMPARE(Sandbox::scalar(*reader, QStringLiteral("SELECT COUNT(*) FROM numbers")),
                     QString::number(rowCount));
    }
    QCOMPARE(walked, qint64(rowCount));
    QCOMPARE(sum, qint64(rowCount) * (rowCount + 1) / 2);
    QCOMPARE(rows.RecordCount(), qint64(rowCount));
    rows.Close();
    // Closing ended the snapshot: the connection sees the table as it is now.
    QCOMPARE(Sandbox::scalar(*reader, QStringLiteral("SELECT COUNT(*) FROM numbers")),
             QString::number(rowCount + 1));
}

QTEST_MAIN(RecordsetStreamTest)
#include "test_recordset_stream.moc"
