#include "transfer/PostgreSQLShapeWriter.h"

#include "app/SqlText.h"
#include "app/db/Connection.h"
#include "transfer/ShapeDefaults.h"
#include "transfer/ShapeSteps.h"

namespace {
using Kind = ShapeDefault::Kind;

// The start of a name that fits in so many bytes of UTF-8, cut between characters.
QString fitted(const QString& name, qsizetype bytes)
{
    QString kept;
    qsizetype used = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const qsizetype length = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const qsizetype size = name.mid(i, length).toUtf8().size();
        if (used + size > bytes)
            break;
        kept += name.mid(i, length);
        used += size;
        i += length - 1;
    }
    return kept;
}

// PostgreSQL keeps the names of tables, indexes and sequences in one name space per schema:
// the wanted name, else the first of name_2, name_3, ... that no relation of the table's
// schema has, each cut to the 63 bytes a name may have.
QString freeRelationName(Connection& target, const QString& table, const QString& wanted)
{
    const QString schema = QStringLiteral("(SELECT relnamespace FROM pg_class WHERE oid = ") +
                           quotedText(postgreSQLName(table)) + QStringLiteral("::regclass)");
    return freeName(wanted, kLongestPostgreSQLName, fitted, [&](const QString& candidate) {
        return found(target, QStringLiteral("SELECT 1 FROM pg_class WHERE relname = ") +
                                 quotedText(candidate) + QStringLiteral(" AND relnamespace = ") + schema);
    });
}

// The table's name as its statements write it: with its schema, for a table of the target
// that refers to one overwritten.
QString relationOf(const ShapeForeignKey& key)
{
    return key.schema.isEmpty() ? postgreSQLName(key.table)
                                : postgreSQLName(key.schema) + QLatin1Char('.') + postgreSQLName(key.table);
}

// The literal of a default as the copy's PostgreSQL column takes it, or empty where it takes
// none. Values arrive as the type rules say, and so do defaults: a MySQL DECIMAL's 0.00
// becomes the text '0.00', and a current time only goes to a DATE column.
QString postgreSQLLiteral(const ShapeDefault& value, const QString& type)
{
    const bool constant =
        value.kind == Kind::Number || value.kind == Kind::Text || value.kind == Kind::Boolean;
    if (type == QLatin1String("NUMERIC"))
        return constant && value.kind != Kind::Boolean && isPlainNumber(value.value) ? value.value
                                                                                     : QString();
    if (type == QLatin1String("TEXT"))
        return constant ? quotedText(value.value) : QString();
    if (type == QLatin1String("DATE")) {
        if (value.kind == Kind::CurrentTime || value.kind == Kind::CurrentDate)
            return QStringLiteral("CURRENT_DATE");
        return value.kind == Kind::Text && isPlainDate(value.value) ? quotedText(value.value) : QString();
    }
    if (type == QLatin1String("BOOL")) {
        if (value.kind == Kind::Boolean)
            return value.value;
        if (value.kind == Kind::Number &&
            (value.value == QLatin1String("0") || value.value == QLatin1String("1")))
            return value.value == QLatin1String("1") ? QStringLiteral("true") : QStringLiteral("false");
    }
    return {};
}

// Text that does not occur in body, to quote it with: $shape$, else $shape1$, ...
QString dollarQuoted(const QString& body)
{
    QString tag = QStringLiteral("$shape$");
    for (int n = 1; body.contains(tag); ++n)
        tag = QStringLiteral("$shape%1$").arg(n);
    return tag + body + tag;
}

// Column by column: a MySQL zero date became NULL, and its column's NOT NULL alone is refused.
void addPostgreSQLNotNull(Shaping& shaping)
{
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (column.notNull && shaping.copied.has(column.name) && !shaping.notNull.contains(column.name))
            shaping.statements.run(
                shaping.alter +
                    QStringLiteral(" ALTER COLUMN %1 SET NOT NULL").arg(postgreSQLName(column.name)),
                QStringLiteral("NOT NULL on the column \"%1\"").arg(column.name));
    }
}

void addPostgreSQLIndexes(Connection& target, Shaping& shaping)
{
    for (const ShapeIndex& index : shaping.shape.indexes) {
        if (index.primary || !shaping.copied.hasAll(index.columns) || shaping.statements.ended())
            continue;
        const QString name = postgreSQLName(freeRelationName(target, shaping.table, index.name));
        const QString keys = columnList(index.columns, postgreSQLName);
        shaping.statements.run(
            index.unique
                ? shaping.alter + QStringLiteral(" ADD CONSTRAINT %1 UNIQUE (%2)").arg(name, keys)
                : QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(name, postgreSQLName(shaping.table), keys),
            keyWhat(index));
    }
}

// A sequence owned by the column, its default taken from it, and its next value above the
// copied rows' (1 for an empty table); as one statement, so that it is made whole or not at
// all. A copied 0 stays.
void addPostgreSQLSequences(Connection& target, Shaping& shaping)
{
    const QString& table = shaping.table;
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (!column.autoIncrement || !shaping.copied.has(column.name) || shaping.statements.ended())
            continue;
        const QString sequence = postgreSQLName(
            freeRelationName(target, table, table + QLatin1Char('_') + column.name + QStringLiteral("_seq")));
        const QString name = postgreSQLName(column.name);
        const QString body =
            QStringLiteral(
                "BEGIN CREATE SEQUENCE %1 OWNED BY %2.%3; ALTER TABLE %2 ALTER COLUMN %3 SET DEFAULT "
                "nextval(%4); PERFORM setval(%4, (SELECT GREATEST(COALESCE(MAX(%3), 0), 0) + 1 FROM "
                "%2)::bigint, false); END")
                .arg(sequence, postgreSQLName(table), name, quotedText(sequence));
        shaping.statements.run(QStringLiteral("DO ") + dollarQuoted(body),
                               QStringLiteral("the auto-increment of the column \"%1\"").arg(column.name));
    }
}

void addPostgreSQLComments(Shaping& shaping)
{
    const QString table = postgreSQLName(shaping.table);
    if (!shaping.shape.comment.isEmpty())
        shaping.statements.run(
            QStringLiteral("COMMENT ON TABLE %1 IS %2").arg(table, quotedText(shaping.shape.comment)),
            QStringLiteral("the comment of the table"));
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (!column.comment.isEmpty() && shaping.copied.has(column.name))
            shaping.statements.run(QStringLiteral("COMMENT ON COLUMN %1.%2 IS %3")
                                       .arg(table, postgreSQLName(column.name), quotedText(column.comment)),
                                   QStringLiteral("the comment of the column \"%1\"").arg(column.name));
    }
}
} // namespace

// The server names the key (table_pkey, or another name when that one is taken).
void shapePostgreSQLTable(Connection& target, const QString& table, const TableShape& shape,
                          const QList<TargetColumn>& columns, const ShapeRunner& run)
{
    Shaping shaping(table, shape, columns, run, postgreSQLName);
    addPrimaryKey(shaping);
    addPostgreSQLNotNull(shaping);
    addPostgreSQLIndexes(target, shaping);
    addPostgreSQLSequences(target, shaping);
    addDefaults(shaping, postgreSQLLiteral);
    addPostgreSQLComments(shaping);
}

// A constraint's name is its table's own.
ShapeStatement postgreSQLForeignKey(Connection& target, const ShapeForeignKey& key)
{
    const QString relation = relationOf(key);
    const QString name = freeName(key.name, kLongestPostgreSQLName, fitted, [&](const QString& candidate) {
        return found(target, QStringLiteral("SELECT 1 FROM pg_constraint WHERE conrelid = to_regclass(") +
                                 quotedText(relation) + QStringLiteral(") AND conname = ") +
                                 quotedText(candidate));
    });
    return foreignKeyStatement(relation, name, key, postgreSQLName);
}

ShapeStatement dropPostgreSQLForeignKey(const ShapeForeignKey& key)
{
    return {
        QStringLiteral("ALTER TABLE %1 DROP CONSTRAINT %2").arg(relationOf(key), postgreSQLName(key.name)),
        foreignKeyWhat(key)};
}
