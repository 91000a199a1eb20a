// How much of a whole database's shape its copy carries: a film rental shop (with an order
// book beside it) of each server, every table sent with "Select All", and both servers'
// catalogues read with queries of the test's own. The shares carried are printed.

#include "app/Windows.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "tests/transfer/TransferFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace Transfer;

namespace {
// What a catalogue says of the tables of a database, each item named by its table.
struct Catalogue
{
    QStringList tables;
    QSet<QString> primaryKeys;      // "table (a, b)"
    QSet<QString> indexes;          // "table unique (a, b)", "table index (a)"
    QSet<QString> notNull;          // "table.column"
    QSet<QString> autoIncrement;    // "table.column"
    QSet<QString> defaults;         // "table.column", any default
    QSet<QString> constantDefaults; // "table.column", a number, text or boolean
};

void addKey(Catalogue& catalogue, const QString& table, bool primary, bool unique, const QString& columns)
{
    if (primary)
        catalogue.primaryKeys.insert(QStringLiteral("%1 (%2)").arg(table, columns));
    else
        catalogue.indexes.insert(
            QStringLiteral("%1 %2 (%3)")
                .arg(table, unique ? QLatin1String("unique") : QLatin1String("index"), columns));
}

void addColumn(Catalogue& catalogue, const QString& table, const QString& column, bool notNull,
               bool automatic, const QString& defaultText, bool constant)
{
    const QString name = table + QLatin1Char('.') + column;
    if (notNull)
        catalogue.notNull.insert(name);
    if (automatic)
        catalogue.autoIncrement.insert(name);
    else if (!defaultText.isEmpty())
        catalogue.defaults.insert(name);
    if (!automatic && constant)
        catalogue.constantDefaults.insert(name);
}

Catalogue mySQLCatalogue(Connection& my)
{
    Catalogue catalogue;
    catalogue.tables =
        Sandbox::column(my, QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES WHERE "
                                           "TABLE_SCHEMA = DATABASE() AND TABLE_TYPE = 'BASE TABLE'"));
    for (const QStringList& key :
         rows(my, QStringLiteral(
                      "SELECT TABLE_NAME, INDEX_NAME, NON_UNIQUE, GROUP_CONCAT(COLUMN_NAME ORDER BY "
                      "SEQ_IN_INDEX SEPARATOR ', ') FROM information_schema.STATISTICS WHERE TABLE_SCHEMA "
                      "= DATABASE() AND INDEX_TYPE IN ('BTREE', 'HASH') GROUP BY TABLE_NAME, INDEX_NAME, "
                      "NON_UNIQUE")))
        addKey(catalogue, key[0], key[1] == QLatin1String("PRIMARY"), key[2] == QLatin1String("0"), key[3]);
    // MariaDB writes a text default quoted, a number bare, a bit string as b'...'.
    static const QRegularExpression constant(QStringLiteral(R"(^('.*'|-?[0-9.]+|b'[01]+')$)"));
    for (const QStringList& column :
         rows(my, QStringLiteral(
                      "SELECT c.TABLE_NAME, COLUMN_NAME, IS_NULLABLE, EXTRA LIKE '%auto_increment%', "
                      "IFNULL(COLUMN_DEFAULT, 'NULL') FROM information_schema.COLUMNS c JOIN "
                      "information_schema.TABLES t USING (TABLE_SCHEMA, TABLE_NAME) WHERE TABLE_SCHEMA = "
                      "DATABASE() AND TABLE_TYPE = 'BASE TABLE'"))) {
        const QString defaultText = column[4] == QLatin1String("NULL") ? QString() : column[4];
        addColumn(catalogue, column[0], column[1], column[2] == QLatin1String("NO"),
                  column[3] == QLatin1String("1"), defaultText, constant.match(defaultText).hasMatch());
    }
    return catalogue;
}

Catalogue postgreSQLCatalogue(Connection& pg)
{
    Catalogue catalogue;
    catalogue.tables =
        Sandbox::column(pg, QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = 'public'"));
    for (
        const QStringList& key : rows(
            pg,
            QStringLiteral(
                "SELECT t.relname, i.indisprimary, i.indisunique, (SELECT string_agg(a.attname, ', ' ORDER "
                "BY "
                "k.n) FROM unnest(i.indkey::int2[]) WITH ORDINALITY k(attnum, n) JOIN pg_attribute a ON "
                "a.attrelid = i.indrelid AND a.attnum = k.attnum WHERE k.n <= i.indnkeyatts) FROM pg_index i "
                "JOIN pg_class t ON t.oid = i.indrelid JOIN pg_class x ON x.oid = i.indexrelid JOIN pg_am am "
                "ON am.oid = x.relam WHERE t.relnamespace = 'public'::regnamespace AND am.amname = 'btree' "
                "AND i.indexprs IS NULL AND i.indpred IS NULL")))
        addKey(catalogue, key[0], key[1] == QLatin1String("t"), key[2] == QLatin1String("t"), key[3]);
    // pg_get_expr writes a constant as 0.00, '-5'::integer, 'G'::mpaa_rating or true.
    static const QRegularExpression constant(QStringLiteral(R"(^('.*'(::.+)?|\(?-?[0-9.]+\)?|true|false)$)"));
    for (const QStringList& column :
         rows(pg, QStringLiteral(
                      "SELECT c.relname, a.attname, a.attnotnull, a.attidentity <> '' OR "
                      "coalesce(pg_get_expr(d.adbin, d.adrelid), '') LIKE 'nextval(%', "
                      "coalesce(pg_get_expr(d.adbin, d.adrelid), '') FROM pg_attribute a JOIN pg_class c "
                      "ON c.oid = a.attrelid LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum "
                      "= a.attnum WHERE c.relnamespace = 'public'::regnamespace AND c.relkind IN ('r', "
                      "'p') AND a.attnum > 0 AND NOT a.attisdropped")))
        addColumn(catalogue, column[0], column[1], column[2] == QLatin1String("t"),
                  column[3] == QLatin1String("t"), column[4], constant.match(column[4]).hasMatch());
    return catalogue;
}

// One kind of item: how many of the source's the copy has, and which it lacks.
struct Share
{
    const char* what;
    int carried = 0;
    int total = 0;
    QStringList missing;

    Share(const char* kind, const QSet<QString>& source, const QSet<QString>& copy) : what(kind)
    {
        total = int(source.size());
        for (const QString& item : source) {
            if (copy.contains(item))
                ++carried;
            else
                missing.append(item);
        }
        missing.sort();
    }
    double percent() const { return total == 0 ? 100.0 : 100.0 * carried / total; }
    QString text() const
    {
        return QStringLiteral("%1 %2/%3 (%4%)")
            .arg(QLatin1String(what))
            .arg(carried)
            .arg(total)
            .arg(percent(), 0, 'f', 1);
    }
};

// Runs the fixture's statements, each ending with a semicolon at the end of a line.
void load(Connection& connection, const QString& file)
{
    QFile sql(QStringLiteral(QS_RENTAL_DIR "/") + file);
    if (!sql.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(sql.fileName()));
    QString statement;
    for (const QString& line : QString::fromUtf8(sql.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("--")) || line.trimmed().isEmpty())
            continue;
        statement += line + QLatin1Char('\n');
        if (line.trimmed().endsWith(QLatin1Char(';'))) {
            Sandbox::exec(connection, statement.trimmed().chopped(1));
            statement.clear();
        }
    }
}
} // namespace

class TransferShapeSharesTest : public QObject, private TwoWayCase
{
    Q_OBJECT
private slots:
    void init() { begin(); }
    void cleanup() { end(); }
    void theRentalShopKeepsItsShape_data() { directions(); }
    void theRentalShopKeepsItsShape();
};

void TransferShapeSharesTest::theRentalShopKeepsItsShape()
{
    load(source(), toPostgreSQL() ? QStringLiteral("mysql.sql") : QStringLiteral("postgresql.sql"));
    auto catalogueOf = [&](Connection& connection) {
        return &connection == m_my.get() ? mySQLCatalogue(connection) : postgreSQLCatalogue(connection);
    };
    const Catalogue before = catalogueOf(source());
    QVERIFY(before.tables.size() >= 18);
    openTableWindow();
    Form2& form = Windows::form2();
    select(toPostgreSQL() ? form.List1 : form.List2, before.tables);
    toPostgreSQL() ? form.PushButton3_Click() : form.PushButton4_Click();
    QS_VERIFY_NO_BOXES();
    const Catalogue after = catalogueOf(target());

    QCOMPARE(QSet<QString>(after.tables.begin(), after.tables.end()),
             QSet<QString>(before.tables.begin(), before.tables.end()));
    for (const QString& table : before.tables) {
        const QString count = QStringLiteral("SELECT count(*) FROM ");
        QCOMPARE(Sandbox::scalar(target(),
                                 count + (toPostgreSQL() ? postgreSQLQuoted(table) : mySQLQuoted(table))),
                 Sandbox::scalar(source(),
                                 count + (toPostgreSQL() ? mySQLQuoted(table) : postgreSQLQuoted(table))));
    }
    const Share shares[] = {
        {"primary keys", before.primaryKeys, after.primaryKeys},
        {"auto-increment columns", before.autoIncrement, after.autoIncrement},
        {"NOT NULL columns", before.notNull, after.notNull},
        {"indexes and unique keys", before.indexes, after.indexes},
        {"constant defaults", before.constantDefaults, after.defaults},
    };
    QStringList texts;
    for (const Share& share : shares)
        texts.append(share.text());
    qInfo("%s: %s", toPostgreSQL() ? "MySQL to PostgreSQL" : "PostgreSQL to MySQL",
          qPrintable(texts.join(QStringLiteral(", "))));
    // The issue asks for every key and auto-increment column and at least 97% of NOT NULL,
    // 95% of indexes and 90% of constant defaults of such databases; these fixtures hold
    // nothing the other server refuses, so all of them arrive. Their full-text, spatial,
    // GiST, expression and partial indexes are left out by the catalogues above as well.
    for (const Share& share : shares)
        QVERIFY2(share.missing.isEmpty(), qPrintable(share.text() + QStringLiteral(", missing: ") +
                                                     share.missing.join(QStringLiteral("; "))));
}

QTEST_MAIN(TransferShapeSharesTest)
#include "test_transfer_shape_shares.moc"
