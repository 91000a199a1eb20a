// What arrives does not depend on how an administrator set the server up: a global
// sql_mode of any kind, sessions that do not commit or read only a few rows, short limits
// on idle transactions, a small max_allowed_packet, and sources whose rows are not the rows
// their count announced.

#include "tests/transfer/TransferFixture.h"

#include <QDeadlineTimer>
#include <QSet>
#include <QThread>
#include <atomic>

namespace {
// The box of repeated failures lists a table's count like this, when the kind happened at
// that line in that table alone.
QString repeatedCount(const QString& table, int count, int line)
{
    return QStringLiteral("\r\nAt line %3, %2 times:\r\n%1: %2 times, the first: ")
        .arg(table)
        .arg(count)
        .arg(line);
}
} // namespace

class TransferServerSettingsTest : public ServerCase
{
    Q_OBJECT
private slots:
    void noGlobalSqlModeChangesAValue_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("EMPTY_STRING_IS_NULL") << QStringLiteral("EMPTY_STRING_IS_NULL");
        QTest::newRow("PAD_CHAR_TO_FULL_LENGTH") << QStringLiteral("PAD_CHAR_TO_FULL_LENGTH");
        QTest::newRow("ANSI") << QStringLiteral("ANSI");
        QTest::newRow("ORACLE") << QStringLiteral("ORACLE");
    }

    void noGlobalSqlModeChangesAValue()
    {
        // Empty texts, padded CHAR values, a backslash, a zero auto-increment value and a date
        // go both ways through a server whose administrator set a sql_mode of their own; new
        // sessions start with it.
        QFETCH(QString, mode);
        Sandbox::exec(*m_my,
                      QStringLiteral("CREATE TABLE from_my (id INT AUTO_INCREMENT PRIMARY KEY, code CHAR(6), "
                                     "note VARCHAR(20), day DATE) CHARACTER SET utf8mb4"));
        // The test's session keeps a 0 and takes backslashes as they are.
        Sandbox::exec(*m_my,
                      QStringLiteral("SET SESSION sql_mode = 'NO_AUTO_VALUE_ON_ZERO,NO_BACKSLASH_ESCAPES'"));
        Sandbox::exec(*m_my, QStringLiteral("INSERT INTO from_my VALUES (0, 'ab', '', '2024-02-29'), "
                                            "(1, '', 'a\\b', NULL), (2, NULL, 'x', '1999-12-31')"));
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE from_pg (id int, note text, code char(4))"));
        Sandbox::exec(*m_pg, QStringLiteral("INSERT INTO from_pg VALUES (1, '', 'ab'), (2, 'a\\b', ''), "
                                            "(3, NULL, NULL)"));
        GlobalSetting setting(Server::mySQL(), QStringLiteral("sql_mode"),
                              QLatin1Char('\'') + mode + QLatin1Char('\''));
        openTableWindow();
        Server::mySQL().send({QStringLiteral("from_my")});
        Server::postgreSQL().send({QStringLiteral("from_pg")});
        QS_VERIFY_NO_BOXES();

        QCOMPARE(
            Sandbox::rows(
                *m_pg, QStringLiteral("SELECT id, coalesce('<' || code || '>', 'NULL'), "
                                      "coalesce('<' || note || '>', 'NULL'), day FROM from_my ORDER BY id")),
            (QList<QStringList>{{"0", "<ab>", "<>", "2024-02-29"},
                                {"1", "<>", "<a\\b>", "NULL"},
                                {"2", "NULL", "<x>", "1999-12-31"}}));
        // Read back under a plain session: the copy, not this reading, is under test.
        auto my = Sandbox::mySQL();
        QCOMPARE(
            Sandbox::rows(
                *my, QStringLiteral("SELECT id, CONCAT('<', note, '>'), CONCAT('<', code, '>') FROM from_pg "
                                    "ORDER BY id")),
            (QList<QStringList>{{"1", "<>", "<ab>"}, {"2", "<a\\b>", "<>"}, {"3", "NULL", "NULL"}}));
    }

    void noAdministratorsDefaultCutsACopy_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("asked"); // the overwrite question stays open past the limit
        auto row = [](const char* tag, const Server& server, const char* name, const char* value,
                      bool asked) {
            QTest::newRow(tag) << &server << QString::fromLatin1(name) << QString::fromLatin1(value) << asked;
        };
        const Server& my = Server::mySQL();
        const Server& pg = Server::postgreSQL();
        // Sessions that leave their changes uncommitted (the copy commits each packet and its
        // statements of structure commit themselves; the row guards that), or whose SELECTs
        // return a few rows.
        row("MySQL autocommit off", my, "autocommit", "0", false);
        row("MySQL sql_select_limit", my, "sql_select_limit", "5", false);
        // A source's snapshot is an open transaction, idle while the target takes its rows.
        row("PostgreSQL idle transaction limit", pg, "idle_in_transaction_session_timeout", "1", false);
        // Limits on a statement (the source's SELECT, a packet of rows), or on an idle session.
        row("MariaDB max_statement_time", my, "max_statement_time", "0.05", false);
        row("MySQL wait_timeout", my, "wait_timeout", "1", true);
        row("PostgreSQL idle_session_timeout", pg, "idle_session_timeout", "1000", true);
    }

    void noAdministratorsDefaultCutsACopy()
    {
        // A keyed table each way, copied under a default set for every new session: each copy
        // holds every row with its key, seen by a session opened afterwards.
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(bool, asked);
        constexpr int kRows = 20000;
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE from_my (id INT PRIMARY KEY, label VARCHAR(20)) "
                                            "SELECT seq AS id, CONCAT('row ', seq) AS label FROM seq_1_to_%1")
                                 .arg(kRows));
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE from_pg (id int PRIMARY KEY, label text)"));
        Sandbox::exec(
            *m_pg, QStringLiteral("INSERT INTO from_pg SELECT n, 'row ' || n FROM generate_series(1, %1) n")
                       .arg(kRows));
        // Each copy overwrites a table; the user answers once the program's sessions on that
        // server have idled past the limit (or were ended by it).
        if (asked) {
            Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE from_my (id int)"));
            Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE from_pg (id INT)"));
            MessageBox::setObserver([&](const MessageBox::Shown&) {
                const QString idled =
                    server().isMySQL()
                        ? QStringLiteral("SELECT COUNT(*) > 0 AND MIN(TIME_MS) > 1500 FROM "
                                         "information_schema.PROCESSLIST WHERE ID <> CONNECTION_ID()")
                        : QStringLiteral("SELECT count(*) > 0 AND bool_and(state = 'idle' AND now() - "
                                         "state_change > interval '1.5 s') FROM pg_stat_activity WHERE "
                                         "application_name = 'Quillstone' AND pid <> pg_backend_pid()");
                eventually(
                    [&] {
                        return QStringList{"1", "t"}.contains(Sandbox::scalar(on(server()), idled));
                    },
                    50, 20000);
            });
        }
        std::optional<GlobalSetting> setting(std::in_place, server(), name, value, true);
        openTableWindow();
        Server::mySQL().send({QStringLiteral("from_my")});
        Server::postgreSQL().send({QStringLiteral("from_pg")});
        MessageBox::setObserver(nullptr);
        setting.reset();
        QVERIFY2(reports().isEmpty(), qPrintable(reports().join(QStringLiteral("\n----\n"))));

        auto my = Sandbox::mySQL();
        auto pg = Sandbox::postgreSQL();
        const QString expected = QStringLiteral("%1 %2").arg(kRows).arg(qint64(kRows) * (kRows + 1) / 2);
        QCOMPARE(Sandbox::scalar(*pg, QStringLiteral("SELECT count(*) || ' ' || sum(id) FROM from_my")),
                 expected);
        QCOMPARE(Sandbox::scalar(*my, QStringLiteral("SELECT CONCAT(COUNT(*), ' ', SUM(id)) FROM from_pg")),
                 expected);
        QCOMPARE(Sandbox::scalar(*pg, QStringLiteral("SELECT count(*) FROM pg_index WHERE indisprimary "
                                                     "AND indrelid = 'from_my'::regclass")),
                 QStringLiteral("1"));
        QCOMPARE(
            Sandbox::scalar(*my, QStringLiteral("SELECT COUNT(*) FROM information_schema.table_constraints "
                                                "WHERE table_schema = DATABASE() AND table_name = 'from_pg' "
                                                "AND constraint_type = 'PRIMARY KEY'")),
            QStringLiteral("1"));
    }

    void packetsStayBelowTheServersLimit()
    {
        // With the limit at 1 MiB (older servers' default), rows whose statements are two bytes
        // short of it, one byte short and exactly at it: the first arrives, the others are
        // reported as not sent, and no connection is lost. Then 600 rows of 4,095 bytes, which
        // fill packets to the brim, all arrive.
        const int limit = 1 << 20;
        GlobalSetting setting(Server::mySQL(), QStringLiteral("max_allowed_packet"), QString::number(limit));
        const int head =
            QStringLiteral("INSERT INTO `edge` VALUES('1', '").size(); // the value's first byte follows
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE edge (id int, body text)"));
        for (int id = 1; id <= 3; ++id) {
            const int length = limit - 3 + id; // limit - 2, limit - 1, limit
            const int body = length - head - QStringLiteral("')").size();
            Sandbox::exec(*m_pg,
                          QStringLiteral("INSERT INTO edge VALUES (%1, repeat('x', %2))").arg(id).arg(body));
        }
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE brim (id int, body text)"));
        Sandbox::exec(*m_pg, QStringLiteral("INSERT INTO brim SELECT g, repeat(chr(97 + g % 26), 4095 - 33 - "
                                            "length(g::text)) FROM generate_series(1, 600) g"));
        QCOMPARE(Sandbox::scalar(*m_pg,
                                 QStringLiteral("SELECT DISTINCT length('INSERT INTO `brim` VALUES(''' || id "
                                                "|| ''', ''' || body || ''')') FROM brim")),
                 QStringLiteral("4095"));
        openTableWindow();
        Server::postgreSQL().send({QStringLiteral("edge"), QStringLiteral("brim")});

        const QStringList shown = reports();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[0].startsWith(QStringLiteral("The statement is %1 bytes long").arg(limit - 1)),
                 qPrintable(shown[0].left(200)));
        QVERIFY(shown[0].contains(QStringLiteral(" at line 256\r\r")));
        QVERIFY2(shown[1].contains(repeatedCount(QStringLiteral("edge"), 2, 256)),
                 qPrintable(shown[1].left(400)));
        auto my = Sandbox::mySQL();
        QCOMPARE(Sandbox::column(*my, QStringLiteral("SELECT CONCAT(id, ':', LENGTH(body)) FROM edge")),
                 QStringList{QStringLiteral("1:%1").arg(limit - 2 - head - 2)});
        QCOMPARE(Sandbox::scalar(*my, QStringLiteral("SELECT COUNT(*) FROM brim")), QStringLiteral("600"));
        Sandbox::exec(*my, QStringLiteral("SET SESSION group_concat_max_len = 1048576"));
        QCOMPARE(Sandbox::scalar(
                     *my, QStringLiteral("SELECT MD5(GROUP_CONCAT(MD5(body) ORDER BY id SEPARATOR '')) "
                                         "FROM brim")),
                 Sandbox::scalar(
                     *m_pg, QStringLiteral("SELECT md5(string_agg(md5(body), '' ORDER BY id)) FROM brim")));
        QCOMPARE(items(Windows::form2().List1), (QStringList{"brim", "edge"}));
    }

    void aSourceIsReadToItsEnd()
    {
        // A view whose rows are drawn anew by each statement: its count and its rows differ.
        // Whatever was read arrives, nothing else, and no row of NULLs stands in for a row
        // that was never read. Three copies make a difference between count and rows certain
        // in practice.
        Sandbox::exec(
            *m_my, QStringLiteral("CREATE VIEW drawn AS SELECT seq FROM seq_1_to_2000 WHERE RAND() < 0.5"));
        openTableWindow();
        for (int round = 0; round < 3; ++round) {
            // From the second round on, the overwrite question is answered Yes.
            Server::mySQL().send({QStringLiteral("drawn")});
            QVERIFY2(reports().isEmpty(), qPrintable(reports().join(QStringLiteral("\n----\n"))));
            const QStringList seqs =
                Sandbox::column(*m_pg, QStringLiteral("SELECT coalesce(seq::text, 'NULL') FROM drawn"));
            QVERIFY2(seqs.size() > 500 && seqs.size() < 1500, qPrintable(QString::number(seqs.size())));
            QCOMPARE(QSet<QString>(seqs.begin(), seqs.end()).size(), seqs.size());
            for (const QString& seq : seqs)
                QVERIFY2(seq.toInt() >= 1 && seq.toInt() <= 2000, qPrintable(seq));
            MessageBox::clearHistory();
        }
    }

    void aSourceChangingWhileCopiedGivesTheRowsRead()
    {
        // A MyISAM table has no snapshot: another connection appends to it and deletes from it
        // while it is copied. The copy holds rows that were in it, each once, and every row
        // that was there all along.
        constexpr int kRows = 30000;
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE moving (id INT PRIMARY KEY, label VARCHAR(20)) "
                                            "ENGINE=MyISAM SELECT seq AS id, CONCAT('row ', seq) AS label "
                                            "FROM seq_1_to_%1")
                                 .arg(kRows));
        openTableWindow();
        std::atomic<bool> copying{true};
        std::atomic<int> appended{0};
        std::thread mover([&] {
            try {
                auto my = Sandbox::mySQL();
                for (int next = kRows + 1; copying; ++next) {
                    my->Execute(QStringLiteral("INSERT INTO moving VALUES (%1, 'late %1')").arg(next));
                    my->Execute(QStringLiteral("DELETE FROM moving WHERE id = %1").arg(next - kRows / 2));
                    appended = next - kRows;
                }
            } catch (const std::exception& error) {
                qWarning("moving rows: %s", error.what());
            }
        });
        Server::mySQL().send({QStringLiteral("moving")});
        copying = false;
        mover.join();
        QVERIFY2(reports().isEmpty(), qPrintable(reports().join(QStringLiteral("\n----\n"))));

        const QStringList ids = Sandbox::column(*m_pg, QStringLiteral("SELECT id FROM moving ORDER BY id"));
        QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), ids.size());
        for (const QString& id : ids)
            QVERIFY2(id.toInt() >= 1 && id.toInt() <= kRows + appended, qPrintable(id));
        // Never deleted: the upper half of the original rows.
        for (int id = kRows / 2 + appended + 1; id <= kRows; id += 997)
            QVERIFY2(ids.contains(QString::number(id)), qPrintable(QString::number(id)));
        QCOMPARE(Sandbox::scalar(*m_pg, QStringLiteral("SELECT count(*) FROM moving WHERE label IS NULL")),
                 QStringLiteral("0"));
    }
};

QTEST_MAIN(TransferServerSettingsTest)
#include "test_transfer_server_settings.moc"
