#include "transfer/MySQLShapeWriter.h"

#include "app/SqlText.h"
#include "transfer/ShapeDefaults.h"
#include "transfer/ShapeSteps.h"

#include <algorithm>

namespace {
using Kind = ShapeDefault::Kind;

// The types MySQL indexes only by a prefix.
bool isLongMySQLType(const QString& type)
{
    return type == QLatin1String("LONGTEXT") || type == QLatin1String("LONGBLOB");
}

// InnoDB keys hold at most 3072 bytes. A plain index takes the first characters of each long
// column, as many as fit beside the other key columns (up to 32 bytes each: a DECIMAL(65,30)'s
// size), and no more than 191 four-byte characters, the most an older row format takes.
QString mySQLIndexColumns(const ShapeIndex& index, const CopiedColumns& copied)
{
    constexpr int kKeyBytes = 3072;
    constexpr int kFixedBytes = 32;
    constexpr int kLongestPrefix = 764;
    int longColumns = 0;
    for (const QString& column : index.columns)
        longColumns += isLongMySQLType(copied.type(column)) ? 1 : 0;
    QStringList keys;
    for (const QString& column : index.columns) {
        const QString type = copied.type(column);
        if (index.unique || index.primary || !isLongMySQLType(type)) {
            keys.append(mySQLName(column));
            continue;
        }
        const int fixedColumns = int(index.columns.size()) - longColumns;
        const int bytes =
            std::max(4, std::min(kLongestPrefix, (kKeyBytes - kFixedBytes * fixedColumns) / longColumns));
        keys.append(mySQLName(column) +
                    QStringLiteral("(%1)").arg(type == QLatin1String("LONGTEXT") ? bytes / 4 : bytes));
    }
    return keys.join(QStringLiteral(", "));
}

constexpr int kLongestMySQLName = 64; // characters

QString leftPart(const QString& name, qsizetype longest)
{
    return name.left(longest);
}

// MySQL index names are the table's own, compared without regard to case; PRIMARY is the
// primary key's.
QString freeIndexName(const QString& wanted, QSet<QString>& used)
{
    QString name = freeName(wanted, kLongestMySQLName, leftPart,
                            [&](const QString& candidate) { return used.contains(candidate.toLower()); });
    used.insert(name.toLower());
    return name;
}

// A column's COMMENT clause, once the column has its comment: each MODIFY of the column
// restates it, or would take it away.
using ColumnComments = QHash<QString, QString>;

// The table's comment, and each column's, by a MODIFY that restates the type it was made
// with: before the other statements of the shape, which restate the comment in turn.
void addMySQLComments(Shaping& shaping, ColumnComments& comments)
{
    if (!shaping.shape.comment.isEmpty())
        shaping.statements.run(shaping.alter + QStringLiteral(" COMMENT = ") +
                                   quotedText(shaping.shape.comment),
                               QStringLiteral("the comment of the table"));
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (column.comment.isEmpty() || !shaping.copied.has(column.name))
            continue;
        const QString clause = QStringLiteral(" COMMENT ") + quotedText(column.comment);
        if (shaping.statements.run(shaping.alter +
                                       QStringLiteral(" MODIFY %1 %2")
                                           .arg(mySQLName(column.name), shaping.copied.type(column.name)) +
                                       clause,
                                   QStringLiteral("the comment of the column \"%1\"").arg(column.name)))
            comments.insert(column.name, clause);
    }
}

// The literal of a default as the copy's MySQL column takes it, or empty where it takes none.
// A text or blob column takes an expression only; a current time goes to a DATETIME column.
QString mySQLLiteral(const ShapeDefault& value, const QString& type)
{
    const bool constant =
        value.kind == Kind::Number || value.kind == Kind::Text || value.kind == Kind::Boolean;
    if (type == QLatin1String("BIGINT") || type == QLatin1String("FLOAT") ||
        type == QLatin1String("DOUBLE") || type.startsWith(QLatin1String("DECIMAL")))
        return constant && value.kind != Kind::Boolean && isPlainNumber(value.value) ? value.value
                                                                                     : QString();
    if (type == QLatin1String("LONGTEXT"))
        return constant ? QLatin1Char('(') + quotedText(value.value) + QLatin1Char(')') : QString();
    if (type.startsWith(QLatin1String("DATETIME"))) {
        if (value.kind == Kind::CurrentTime)
            return type == QLatin1String("DATETIME") ? QStringLiteral("CURRENT_TIMESTAMP")
                                                     : QStringLiteral("CURRENT_TIMESTAMP(6)");
        if (value.kind == Kind::CurrentDate)
            return QStringLiteral("(CURRENT_DATE)");
        return value.kind == Kind::Text && isPlainDate(value.value) ? quotedText(value.value) : QString();
    }
    return {};
}

// One statement for every column: MySQL rebuilds the table for each, and a value that
// arrived is never NULL where its source's was not.
void addMySQLNotNull(Shaping& shaping, const ColumnComments& comments)
{
    QStringList modify;
    QStringList names;
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (!column.notNull || !shaping.copied.has(column.name) || shaping.notNull.contains(column.name))
            continue;
        modify.append(QStringLiteral("MODIFY %1 %2 NOT NULL")
                          .arg(mySQLName(column.name), shaping.copied.type(column.name)) +
                      comments.value(column.name));
        names.append(column.name);
    }
    if (!modify.isEmpty())
        shaping.statements.run(shaping.alter + QLatin1Char(' ') + modify.join(QStringLiteral(", ")),
                               QStringLiteral("NOT NULL on the columns %1").arg(quotedList(names)));
}

void addMySQLIndexes(Shaping& shaping, QSet<QString>& used)
{
    for (const ShapeIndex& index : shaping.shape.indexes) {
        if (index.primary || !shaping.copied.hasAll(index.columns))
            continue;
        if (shaping.statements.run(shaping.alter + QStringLiteral(" ADD %1 %2 (%3)")
                                                       .arg(index.unique ? QStringLiteral("UNIQUE INDEX")
                                                                         : QStringLiteral("INDEX"),
                                                            mySQLName(freeIndexName(index.name, used)),
                                                            mySQLIndexColumns(index, shaping.copied)),
                                   keyWhat(index)))
            shaping.leading.insert(index.columns.constFirst());
    }
}

// The column is a key by now: InnoDB counts from the first column of an index, and a
// column that leads none (PostgreSQL's serial second in a key) gets an index of its own
// in the same statement. The session keeps a copied 0 (NO_AUTO_VALUE_ON_ZERO), and the
// table's counter goes above the copied rows.
void addMySQLAutoIncrements(Shaping& shaping, QSet<QString>& used, const ColumnComments& comments)
{
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (!column.autoIncrement || !shaping.copied.has(column.name))
            continue;
        const QString name = mySQLName(column.name);
        const QString index = shaping.leading.contains(column.name)
                                  ? QString()
                                  : QStringLiteral(" ADD INDEX %1 (%2),")
                                        .arg(mySQLName(freeIndexName(column.name, used)), name);
        shaping.statements.run(shaping.alter + index +
                                   QStringLiteral(" MODIFY %1 %2 NOT NULL AUTO_INCREMENT")
                                       .arg(name, shaping.copied.type(column.name)) +
                                   comments.value(column.name),
                               QStringLiteral("the auto-increment of the column \"%1\"").arg(column.name));
    }
}
} // namespace

void shapeMySQLTable(const QString& table, const TableShape& shape, const QList<TargetColumn>& columns,
                     const ShapeRunner& run)
{
    Shaping shaping(table, shape, columns, run, mySQLName);
    QSet<QString> usedIndexNames{QStringLiteral("primary")};
    ColumnComments comments;
    addMySQLComments(shaping, comments);
    addPrimaryKey(shaping);
    addMySQLNotNull(shaping, comments);
    addMySQLIndexes(shaping, usedIndexNames);
    addMySQLAutoIncrements(shaping, usedIndexNames, comments);
    addDefaults(shaping, mySQLLiteral);
}

// A constraint's name is the database's own, and becomes the name of the index MySQL makes
// for the key's columns where none serves: an index of the table by that name must lead with
// them (one left behind when the key was removed). Either compares without regard to case,
// as the catalogue's collation does.
ShapeStatement mySQLForeignKey(Connection& target, const ShapeForeignKey& key)
{
    QStringList columns;
    for (const QString& column : key.columns)
        columns.append(quotedText(column));
    const QString name = freeName(key.name, kLongestMySQLName, leftPart, [&](const QString& candidate) {
        return found(target,
                     QStringLiteral("SELECT 1 FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE "
                                    "CONSTRAINT_SCHEMA = DATABASE() AND CONSTRAINT_NAME = %1 UNION ALL "
                                    "SELECT 1 FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = "
                                    "DATABASE() AND TABLE_NAME = %2 AND INDEX_NAME = %1 GROUP BY "
                                    "INDEX_NAME HAVING SUM(COLUMN_NAME = ELT(SEQ_IN_INDEX, %3)) < %4")
                         .arg(quotedText(candidate), quotedText(key.table), columns.join(QLatin1Char(',')))
                         .arg(key.columns.size()));
    });
    return foreignKeyStatement(mySQLName(key.table), name, key, mySQLName);
}

ShapeStatement dropMySQLForeignKey(const ShapeForeignKey& key)
{
    return {
        QStringLiteral("ALTER TABLE %1 DROP FOREIGN KEY %2").arg(mySQLName(key.table), mySQLName(key.name)),
        foreignKeyWhat(key)};
}
