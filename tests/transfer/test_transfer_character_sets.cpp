// Text outside Latin-1 reaches MySQL whole whatever the character set of the target
// database, and a latin1 MySQL table reaches PostgreSQL as the same characters. Bytes are
// compared as hex that each server computes.

#include "tests/transfer/TransferFixture.h"

namespace {
const QString kUtf8Database = QStringLiteral("qs_charset_utf8mb3");
const QStringList kWords = {QStringLiteral("é"), QStringLiteral("€"), QStringLiteral("日本語"),
                            QStringLiteral("😀"), QStringLiteral("é € 日本語 😀")};

QString utf8Hex(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toHex().toUpper());
}

void dropUtf8Database()
{
    Sandbox::exec(*Sandbox::mySQL(), QStringLiteral("DROP DATABASE IF EXISTS ") + kUtf8Database);
}
} // namespace

class CharacterSetTest : public ServerCase
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        end();
        dropUtf8Database();
    }

    void textOutsideLatin1ArrivesWhole_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("characterSet");
        QTest::newRow("latin1 app database") << QString() << QStringLiteral("latin1");
        QTest::newRow("utf8 (utf8mb3) database") << kUtf8Database << QStringLiteral("utf8mb3");
    }

    void textOutsideLatin1ArrivesWhole()
    {
        QFETCH(QString, database);
        QFETCH(QString, characterSet);
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE words (id int, t text, v varchar(20))"));
        QList<QStringList> expected;
        for (int i = 0; i < kWords.size(); ++i) {
            Sandbox::exec(*m_pg,
                          QStringLiteral("INSERT INTO words VALUES (%1, '%2', '%2')").arg(i).arg(kWords[i]));
            expected.append({QString::number(i), utf8Hex(kWords[i]), utf8Hex(kWords[i])});
        }
        QCOMPARE(
            Sandbox::rows(*m_pg, QStringLiteral("SELECT id, upper(encode(convert_to(t, 'UTF8'), 'hex')), "
                                                "upper(encode(convert_to(v, 'UTF8'), 'hex')) "
                                                "FROM words ORDER BY id")),
            expected);

        openTableWindow();
        if (!database.isEmpty()) {
            Sandbox::exec(*Sandbox::mySQL(),
                          QStringLiteral("CREATE DATABASE %1 CHARACTER SET utf8").arg(database));
            Windows::form1().Text9->setText(database);
            Windows::form1().PushButton2_Click(); // "Next >" again, now on that database
            QS_VERIFY_NO_BOXES();
        }
        Server::postgreSQL().send({QStringLiteral("words")});
        QS_VERIFY_NO_BOXES();

        const QString schema = database.isEmpty() ? Sandbox::env("QS_MY_DATABASE") : database;
        QCOMPARE(Sandbox::scalar(*m_my, QStringLiteral("SELECT DEFAULT_CHARACTER_SET_NAME FROM "
                                                       "information_schema.SCHEMATA WHERE SCHEMA_NAME = '%1'")
                                            .arg(schema)),
                 characterSet);
        QCOMPARE(Sandbox::rows(*m_my, QStringLiteral("SELECT CAST(id AS CHAR), HEX(t), HEX(v) FROM %1.words "
                                                     "ORDER BY id")
                                          .arg(Server::mySQL().quoted(schema))),
                 expected);
    }

    // MariaDB's latin1 is Windows-1252: € and Š are single bytes there, 0x80 and 0x8A.
    void aLatin1TableArrivesAsTheSameCharacters()
    {
        Sandbox::exec(*m_my,
                      QStringLiteral("CREATE TABLE latin (id INT, t VARCHAR(20)) CHARACTER SET latin1"));
        Sandbox::exec(*m_my, QStringLiteral("INSERT INTO latin VALUES (1, 'é'), (2, '€ Š'), (3, 'Grüße ÿ')"));
        QCOMPARE(Sandbox::column(*m_my, QStringLiteral("SELECT HEX(t) FROM latin ORDER BY id")),
                 (QStringList{"E9", "80208A", "4772FCDF6520FF"}));

        openTableWindow();
        Server::mySQL().send({QStringLiteral("latin")});
        QS_VERIFY_NO_BOXES();
        QCOMPARE(Sandbox::column(
                     *m_pg, QStringLiteral("SELECT upper(encode(convert_to(t, 'UTF8'), 'hex')) FROM latin "
                                           "ORDER BY id")),
                 (QStringList{utf8Hex(QStringLiteral("é")), utf8Hex(QStringLiteral("€ Š")),
                              utf8Hex(QStringLiteral("Grüße ÿ"))}));
    }
};

QTEST_MAIN(CharacterSetTest)
#include "test_transfer_character_sets.moc"
