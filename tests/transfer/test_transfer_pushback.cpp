// Copies over a link that pushes back (run by pushback_link.sh: TCP send buffers of 16 KiB,
// about 4 MB/s and a 64 KiB window to each server), where the client libraries find their
// sockets full in the middle of a statement and finish writing it later: rows of megabytes,
// rows that share MySQL packets, and many small rows, each way, arrive whole and in order,
// every value compared through hashes each server computes itself.

#include "tests/transfer/TransferFixture.h"

#include <QElapsedTimer>
#include <QFile>

namespace {
// The copies' sizes: a handful of rows of over 1 MiB in each of a text and a binary
// column, a few dozen of a few hundred KB, and tens of thousands of small rows.
constexpr int kLargeRows = 3;
constexpr int kSharedPacketRows = 24;
constexpr int kSmallRows = 20000;
} // namespace

class TransferPushbackTest : public ServerCase
{
    Q_OBJECT
private slots:
    // Without the narrow link these copies would pass on any loopback and prove nothing.
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("QS_PUSHBACK_LINK"))
            QFAIL("run this test through tests/transfer/pushback_link.sh, which makes the narrow link");
        QFile sendBuffers(QStringLiteral("/proc/sys/net/ipv4/tcp_wmem"));
        QVERIFY(sendBuffers.open(QIODevice::ReadOnly));
        const QList<QByteArray> sizes = sendBuffers.readAll().simplified().split(' ');
        QCOMPARE(sizes.size(), 3);
        QVERIFY2(sizes[2].toInt() <= 16384, sizes[2].constData());
    }

    void init()
    {
        begin();
        // The hashes below read all of a column's values as one text.
        Sandbox::exec(*m_my, QStringLiteral("SET SESSION group_concat_max_len = 1073741824"));
    }

    // Each row is one statement of megabytes (binary values twice that as hex), which no
    // socket along the way takes whole.
    void largeRowsArriveWhole_data() { directions(); }
    void largeRowsArriveWhole()
    {
        // Texts of 1.1 to 1.3 MB, binary values of 1.1 to 1.4 MiB.
        fillWideRows({QStringLiteral("large_rows"), kLargeRows, 18000, 2000, 4096, 512});
        copy(QStringLiteral("large_rows"));
        compareWideRows(QStringLiteral("large_rows"), kLargeRows);
    }

    // Rows of about 300 KB as statements, several to a MySQL packet: the packet's text is
    // none of its statements' own, and the client writes it over many wake-ups.
    void rowsSharingPacketsArriveWhole_data() { directions(); }
    void rowsSharingPacketsArriveWhole()
    {
        // Texts of 170 KB, binary values of 64 KiB.
        fillWideRows({QStringLiteral("shared_packets"), kSharedPacketRows, 3000, 0, 256, 0});
        copy(QStringLiteral("shared_packets"));
        compareWideRows(QStringLiteral("shared_packets"), kSharedPacketRows);
    }

    // Many statements in flight at once, each far smaller than the link's buffers: the
    // pipeline's and the packets' bookkeeping across full sockets.
    void manySmallRowsArriveInOrder_data() { directions(); }
    void manySmallRowsArriveInOrder()
    {
        // Per column, its text on MySQL and on PostgreSQL.
        QStringList mySQLTexts{QStringLiteral("CAST(id AS CHAR)"),      QStringLiteral("CAST(qty AS CHAR)"),
                               QStringLiteral("CAST(amount AS CHAR)"),  QStringLiteral("name"),
                               QStringLiteral("CAST(created AS CHAR)"), QStringLiteral("LOWER(HEX(data))")};
        QStringList postgreSQLTexts{QStringLiteral("id::text"),
                                    QStringLiteral("qty::text"),
                                    QStringLiteral("amount::text"),
                                    QStringLiteral("name"),
                                    QString(),
                                    QStringLiteral("encode(data, 'hex')")};
        if (toPostgreSQL()) {
            // DECIMAL and DATETIME arrive as MySQL's text in TEXT columns.
            postgreSQLTexts[4] = QStringLiteral("created");
            Sandbox::exec(*m_my,
                          QStringLiteral("CREATE TABLE small_rows (id INT PRIMARY KEY, qty INT, "
                                         "amount DECIMAL(12,2), name VARCHAR(64), created DATETIME(6), "
                                         "data VARBINARY(16)) DEFAULT CHARSET=utf8mb4"));
            Sandbox::exec(
                *m_my,
                QStringLiteral("INSERT INTO small_rows SELECT seq, seq % 1000, "
                               "(seq * 7919 % 10000000) / 100, IF(seq % 50 = 0, NULL, "
                               "CONCAT('customer ', seq, ' O''Brien ', CHAR(92 USING utf8mb4), ' Grüße')), "
                               "TIMESTAMPADD(MICROSECOND, seq * 37000123, '2020-01-01'), "
                               "UNHEX(MD5(seq)) FROM seq_1_to_%1")
                    .arg(kSmallRows));
        } else {
            postgreSQLTexts[4] = QStringLiteral("to_char(created, 'YYYY-MM-DD HH24:MI:SS.US')");
            Sandbox::exec(*m_pg,
                          QStringLiteral("CREATE TABLE small_rows (id integer PRIMARY KEY, qty bigint, "
                                         "amount numeric(12,2), name varchar(64), created timestamp(6), "
                                         "data bytea)"));
            Sandbox::exec(*m_pg,
                          QStringLiteral("INSERT INTO small_rows SELECT g, g % 1000, "
                                         "(g * 7919 % 10000000) / 100.0, CASE WHEN g % 50 = 0 THEN NULL "
                                         "ELSE 'customer ' || g || ' O''Brien \\ Grüße' END, "
                                         "timestamp '2020-01-01' + g * interval '37.000123 seconds', "
                                         "decode(md5(g::text), 'hex') FROM generate_series(1, %1) g")
                              .arg(kSmallRows));
        }
        copy(QStringLiteral("small_rows"));

        const QStringList sent = columnHashes(toPostgreSQL(), QStringLiteral("small_rows"),
                                              toPostgreSQL() ? mySQLTexts : postgreSQLTexts);
        QCOMPARE(sent.value(0), QString::number(kSmallRows));
        QCOMPARE(columnHashes(!toPostgreSQL(), QStringLiteral("small_rows"),
                              toPostgreSQL() ? postgreSQLTexts : mySQLTexts),
                 sent);
    }

private:
    struct WideRows
    {
        QString table;
        int count;
        int pieces, pieceStep; // of the text
        int blocks, blockStep; // of the binary value
    };
    // A source table of an id, a text and a binary value per row.
    void fillWideRows(const WideRows& wide)
    {
        // Row n: a text of (pieces + n * pieceStep) pieces of 57 bytes or so, and a binary
        // value of n's four bytes and (blocks + n * blockStep) times every byte value.
        const bool mySQL = toPostgreSQL();
        Sandbox::exec(source(),
                      mySQL
                          ? QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, body LONGTEXT, data "
                                           "LONGBLOB) DEFAULT CHARSET=utf8mb4")
                                .arg(wide.table)
                          : QStringLiteral("CREATE TABLE %1 (id integer PRIMARY KEY, body text, data bytea)")
                                .arg(wide.table));
        Sandbox::exec(
            source(),
            (mySQL ? QStringLiteral("INSERT INTO %1 SELECT seq, REPEAT(CONCAT('row ', seq, ': Grüße ', "
                                    "CHAR(92 USING utf8mb4), ' '' 😀 ', MD5(seq)), %3 + %4 * seq), "
                                    "CONCAT(UNHEX(LPAD(HEX(seq), 8, '0')), REPEAT(UNHEX('%5'), %6 + %7 * "
                                    "seq)) FROM seq_1_to_%2")
                   : QStringLiteral("INSERT INTO %1 SELECT g, repeat('row ' || g || ': Grüße \\ '' 😀 ' || "
                                    "md5(g::text), %3 + %4 * g), decode(lpad(to_hex(g), 8, '0') || "
                                    "repeat('%5', %6 + %7 * g), 'hex') FROM generate_series(1, %2) g"))
                .arg(wide.table)
                .arg(wide.count)
                .arg(wide.pieces)
                .arg(wide.pieceStep)
                .arg(everyByteHex())
                .arg(wide.blocks)
                .arg(wide.blockStep));
    }

    // Length and md5 of every value, row by row, on each side. (The id's text is named n, or
    // PostgreSQL would order the rows by it.)
    void compareWideRows(const QString& table, int count)
    {
        const QString mySQL =
            QStringLiteral("SELECT CAST(id AS CHAR) AS n, CONCAT(LENGTH(body), ':', MD5(body)), "
                           "CONCAT(LENGTH(data), ':', MD5(data)) FROM %1 ORDER BY id")
                .arg(table);
        const QString postgreSQL =
            QStringLiteral("SELECT id::text AS n, octet_length(body) || ':' || md5(body), "
                           "length(data) || ':' || md5(data) FROM %1 ORDER BY id")
                .arg(table);
        const QList<QStringList> sent = Sandbox::rows(source(), toPostgreSQL() ? mySQL : postgreSQL);
        QCOMPARE(sent.size(), count);
        QCOMPARE(Sandbox::rows(target(), toPostgreSQL() ? postgreSQL : mySQL), sent);
    }

    // Presses the send button for the table; nothing is reported and the table is listed.
    void copy(const QString& table)
    {
        openTableWindow();
        QElapsedTimer clock;
        clock.start();
        send({table});
        qInfo("%s copied %s in %lld ms", qPrintable(table), toPostgreSQL() ? "to PostgreSQL" : "to MySQL",
              clock.elapsed());
        QS_VERIFY_NO_BOXES();
        QCOMPARE(targetList()->findItems(table, Qt::MatchExactly).size(), 1);
    }

    // One row of the row count and an md5 per column over its values in key order, as
    // `texts` spell them on the server: "=text" a value, "-" a NULL.
    QStringList columnHashes(bool mySQL, const QString& table, const QStringList& texts)
    {
        QStringList select{QStringLiteral("count(*)")};
        for (const QString& text : texts)
            select.append(
                mySQL
                    ? QStringLiteral(
                          "MD5(GROUP_CONCAT(IFNULL(CONCAT('=', %1), '-') ORDER BY id SEPARATOR '|'))")
                          .arg(text)
                    : QStringLiteral("md5(string_agg(coalesce('=' || %1, '-'), '|' ORDER BY id))").arg(text));
        const QString sql =
            QStringLiteral("SELECT %1 FROM %2")
                .arg(select.join(QStringLiteral(", ")),
                     mySQL ? Server::mySQL().quoted(table) : Server::postgreSQL().quoted(table));
        return Sandbox::rows(mySQL ? *m_my : *m_pg, sql).value(0);
    }
};

QTEST_MAIN(TransferPushbackTest)
#include "test_transfer_pushback.moc"
