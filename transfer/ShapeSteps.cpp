#include "transfer/ShapeSteps.h"

namespace {
const ShapeIndex* primaryKeyOf(const TableShape& shape)
{
    for (const ShapeIndex& index : shape.indexes) {
        if (index.primary)
            return &index;
    }
    return nullptr;
}
} // namespace

QString quotedList(const QStringList& names)
{
    QStringList quoted;
    for (const QString& name : names)
        quoted.append(QLatin1Char('"') + name + QLatin1Char('"'));
    return quoted.join(QStringLiteral(", "));
}

QString keyWhat(const ShapeIndex& index)
{
    if (index.primary)
        return QStringLiteral("the primary key (%1)").arg(quotedList(index.columns));
    return QStringLiteral("the %1 \"%2\" (%3)")
        .arg(index.unique ? QStringLiteral("unique key") : QStringLiteral("index"), index.name,
             quotedList(index.columns));
}

QString columnList(const QStringList& columns, QuoteName quote)
{
    QStringList quoted;
    for (const QString& column : columns)
        quoted.append(quote(column));
    return quoted.join(QStringLiteral(", "));
}

bool addPrimaryKey(Shaping& shaping)
{
    const ShapeIndex* key = primaryKeyOf(shaping.shape);
    if (!key || !shaping.copied.hasAll(key->columns) ||
        !shaping.statements.run(
            shaping.alter +
                QStringLiteral(" ADD PRIMARY KEY (%1)").arg(columnList(key->columns, shaping.quote)),
            keyWhat(*key)))
        return false;
    shaping.notNull = QSet<QString>(key->columns.begin(), key->columns.end());
    shaping.leading.insert(key->columns.constFirst());
    return true;
}

void addDefaults(Shaping& shaping, DefaultLiteral literalFor)
{
    for (const ShapeColumn& column : shaping.shape.columns) {
        if (column.autoIncrement || !shaping.copied.has(column.name))
            continue;
        const QString literal = literalFor(column.columnDefault, shaping.copied.type(column.name));
        if (!literal.isEmpty())
            shaping.statements.run(shaping.alter + QStringLiteral(" ALTER COLUMN %1 SET DEFAULT %2")
                                                       .arg(shaping.quote(column.name), literal),
                                   QStringLiteral("the default of the column \"%1\"").arg(column.name));
    }
}
