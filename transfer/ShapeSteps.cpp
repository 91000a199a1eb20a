#include "transfer/ShapeSteps.h"

#include "app/ErrorReport.h"
#include "app/db/Connection.h"

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

QString freeName(const QString& wanted, qsizetype longest, FitName fit,
                 const std::function<bool(const QString&)>& taken)
{
    for (int n = 1; n <= 100; ++n) {
        const QString suffix = n == 1 ? QString() : QStringLiteral("_%1").arg(n);
        QString candidate = fit(wanted, longest - suffix.size()) + suffix;
        if (!taken(candidate))
            return candidate;
    }
    return fit(wanted, longest);
}

bool found(Connection& target, const QString& query)
{
    bool taken = false;
    Attempt([&] { taken = !target.Execute(query).Eof(); });
    return taken;
}

QString foreignKeyWhat(const ShapeForeignKey& key)
{
    return QStringLiteral("the foreign key \"%1\" (%2) referring to \"%3\" (%4)")
        .arg(key.name, quotedList(key.columns), key.referencedTable, quotedList(key.referencedColumns));
}

ShapeStatement foreignKeyStatement(const QString& relation, const QString& name, const ShapeForeignKey& key,
                                   QuoteName quote)
{
    const QString referenced = quote(key.referencedTable);
    QStringList held;
    QStringList matched;
    for (qsizetype i = 0; i < key.columns.size(); ++i) {
        held.append(QStringLiteral("c.%1 IS NOT NULL").arg(quote(key.columns[i])));
        matched.append(
            QStringLiteral("p.%1 = c.%2").arg(quote(key.referencedColumns.value(i)), quote(key.columns[i])));
    }
    return {
        QStringLiteral("ALTER TABLE %1 ADD CONSTRAINT %2 FOREIGN KEY (%3) REFERENCES %4 (%5) ON DELETE %6 ON "
                       "UPDATE %7")
            .arg(relation, quote(name), columnList(key.columns, quote), referenced,
                 columnList(key.referencedColumns, quote), key.onDelete, key.onUpdate),
        foreignKeyWhat(key),
        QStringLiteral("SELECT COUNT(*) FROM %1 c WHERE %2 AND NOT EXISTS (SELECT 1 FROM %3 p WHERE %4)")
            .arg(relation, held.join(QStringLiteral(" AND ")), referenced,
                 matched.join(QStringLiteral(" AND ")))};
}
