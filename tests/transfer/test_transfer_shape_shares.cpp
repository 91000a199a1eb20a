// How much of a whole database's shape its copy carries: a film rental shop (with an order
// book beside it) of each server, every table sent with "Select All" and the choice
// "Foreign keys", and both servers' catalogues read with queries of the test's own. The
// shares carried are printed.

#include "tests/transfer/TransferFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace {
// What a catalogue says of the tables of a database, each item named by its table.
struct Items
{
    QSet<QString> primaryKeys;      // "table (a, b)"
    QSet<QString> indexes;          // "table unique (a, b)", "table index (a)"
    QSet<QString> notNull;          // "table.column"
    QSet<QString> autoIncrement;    // "table.column"
    QSet<QString> defaults;         // "table.column", any default
    QSet<QString> constantDefaults; // "table.column", a number, text or boolean
    QSet<QString> foreignKeys;      // "table (a) REFERENCES t (x) ON DELETE ...": a partition's copy
                                    // takes another name for its partitioned table's key
    QSet<QString> comments;         // "table.column: text"

    // MariaDB writes a constant quoted, bare or as b'...'; PostgreSQL's pg_get_expr as 0.00,
    // '-5'::integer, 'G'::mpaa_rating or true.
    Items(const Server& server, const Catalogue& catalogue)
    {
        static const QRegularExpression prefix(QStringLiteral(R"(\(\d+\))"));
        for (const Catalogue::Key& key : catalogue.keys) {
            const QString columns = QString(key.columns).remove(prefix);
            if (key.kind == QLatin1String("primary key"))
                primaryKeys.insert(QStringLiteral("%1 (%2)").arg(key.table, columns));
            else
                indexes.insert(QStringLiteral("%1 %2 (%3)").arg(key.table, key.kind, columns));
        }
        const QRegularExpression constant(
            server.isMySQL() ? QStringLiteral(R"(^('.*'|-?[0-9.]+|b'[01]+')$)")
                             : QStringLiteral(R"(^('.*'(::.+)?|\(?-?[0-9.]+\)?|true|false)$)"));
        for (const Catalogue::Column& column : catalogue.columns) {
            const QString name = column.table + QLatin1Char('.') + column.name;
            if (column.notNull)
                notNull.insert(name);
            if (column.autoIncrement)
                autoIncrement.insert(name);
            else if (!column.defaultText.isEmpty())
                defaults.insert(name);
            if (!column.autoIncrement && constant.match(column.defaultText).hasMatch())
                constantDefaults.insert(name);
        }
        for (const Catalogue::ForeignKey& key : catalogue.foreignKeys)
            foreignKeys.insert(key.table + QLatin1Char(' ') + key.definition);
        comments = QSet<QString>(catalogue.comments.begin(), catalogue.comments.end());
    }
};

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

class TransferShapeSharesTest : public ServerCase
{
    Q_OBJECT
private slots:
    // Each shop copied to the other server, and copied there and back: a MySQL integer key
    // comes back from its PostgreSQL NUMERIC as an integer that takes AUTO_INCREMENT again.
    void theRentalShopKeepsItsShape_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<bool>("back");
        for (const bool back : {false, true}) {
            QTest::addRow("to PostgreSQL%s", back ? " and back" : "") << &Server::mySQL() << back;
            QTest::addRow("to MySQL%s", back ? " and back" : "") << &Server::postgreSQL() << back;
        }
    }
    void theRentalShopKeepsItsShape()
    {
        QFETCH(bool, back);
        load(source(), toPostgreSQL() ? QStringLiteral("mysql.sql") : QStringLiteral("postgresql.sql"));
        const Catalogue sourceCatalogue = server().catalogue(source());
        const QStringList& tables = sourceCatalogue.tables;
        QVERIFY(tables.size() >= 18);
        openTableWindow().foreignKeysBox()->setChecked(true);
        send(tables);
        QS_VERIFY_NO_BOXES();
        const Server& copy = back ? server() : server().other();
        const Server& from = copy.other();
        if (back) {
            // Back into the emptied database: the shop's foreign keys would refuse each DROP.
            if (toPostgreSQL())
                Sandbox::exec(source(), QStringLiteral("SET FOREIGN_KEY_CHECKS = 0"));
            for (const QString& table : tables)
                Sandbox::exec(source(),
                              QStringLiteral("DROP TABLE IF EXISTS %1 CASCADE").arg(server().quoted(table)));
            // The window opened again lists what the database holds now.
            openTableWindow().foreignKeysBox()->setChecked(true);
            from.send(tables);
        }
        const Catalogue targetCatalogue = copy.catalogue(on(copy));
        const Items before(server(), sourceCatalogue);
        const Items after(copy, targetCatalogue);

        QCOMPARE(QSet<QString>(targetCatalogue.tables.begin(), targetCatalogue.tables.end()),
                 QSet<QString>(tables.begin(), tables.end()));
        for (const QString& table : tables) {
            const QString count = QStringLiteral("SELECT count(*) FROM ");
            QCOMPARE(Sandbox::scalar(on(copy), count + copy.quoted(table)),
                     Sandbox::scalar(on(from), count + from.quoted(table)));
        }
        const Share shares[] = {
            {"primary keys", before.primaryKeys, after.primaryKeys},
            {"auto-increment columns", before.autoIncrement, after.autoIncrement},
            {"NOT NULL columns", before.notNull, after.notNull},
            {"indexes and unique keys", before.indexes, after.indexes},
            {"constant defaults", before.constantDefaults, after.defaults},
            {"foreign keys", before.foreignKeys, after.foreignKeys},
            {"comments", before.comments, after.comments},
        };
        QStringList texts;
        for (const Share& share : shares)
            texts.append(share.text());
        qInfo("%s: %s", QTest::currentDataTag(), qPrintable(texts.join(QStringLiteral(", "))));
        // Every key, auto-increment column, NOT NULL, index, constant default, comment and,
        // with the choice, foreign key arrives: these fixtures hold nothing the other server
        // refuses. Their full-text, spatial, GiST, expression and partial indexes are left out
        // by the catalogues above as well.
        // There and back a text key is a LONGTEXT, which MySQL keys by a prefix alone, and a
        // MySQL integer column that refers to an auto-increment one comes back a DECIMAL, which
        // MySQL lets refer to no BIGINT: the auto-increment's own comes back, the reference not.
        for (const Share& share : shares)
            QVERIFY2(share.missing.isEmpty() || (back && qstrcmp(share.what, "auto-increment columns") != 0),
                     qPrintable(share.text() + QStringLiteral(", missing: ") +
                                share.missing.join(QStringLiteral("; "))));
    }
};

QTEST_MAIN(TransferShapeSharesTest)
#include "test_transfer_shape_shares.moc"
