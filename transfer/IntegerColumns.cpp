#include "transfer/IntegerColumns.h"

#include "app/SqlText.h"
#include "app/db/Connection.h"
#include "transfer/ShapeCatalogue.h"

#include <QStringList>
#include <algorithm>

namespace {
// The integer type that holds whole numbers from smallest to largest; none for a NaN or an
// infinity, which stand past every number. A column without values takes BIGINT.
QString integerTypeHolding(const QString& smallest, const QString& largest)
{
    if (smallest.isEmpty())
        return QStringLiteral("BIGINT");
    bool fits = false;
    bool fitsToo = false;
    smallest.toLongLong(&fits);
    largest.toLongLong(&fitsToo);
    if (fits && fitsToo)
        return QStringLiteral("BIGINT");
    smallest.toULongLong(&fits);
    largest.toULongLong(&fitsToo);
    if (fits && fitsToo && !smallest.startsWith(QLatin1Char('-')))
        return QStringLiteral("BIGINT UNSIGNED");
    return {};
}
} // namespace

QHash<QString, QString> mySQLIntegerTypes(Connection& source, const QString& relation,
                                          const TableShape& shape, QString& statement)
{
    QHash<QString, QString> types;
    if (std::none_of(shape.columns.begin(), shape.columns.end(),
                     [](const ShapeColumn& column) { return column.autoIncrement; }))
        return types;
    statement = QStringLiteral("SELECT attname FROM pg_attribute WHERE attrelid = to_regclass(") +
                quotedText(relation) +
                QStringLiteral(") AND atttypid = 'numeric'::regtype AND attnum > 0 AND NOT attisdropped");
    QStringList numeric;
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext())
        numeric.append(catalogueText(rows.Fields()[0]));
    for (const ShapeColumn& column : shape.columns) {
        if (!column.autoIncrement || !numeric.contains(column.name))
            continue;
        // The column's values are read once; a NUMERIC of scale 2 writes its 5 as 5.00.
        const QString name = postgreSQLName(column.name);
        statement =
            QStringLiteral("SELECT trunc(min(%1))::text, trunc(max(%1))::text, coalesce(bool_or(%1 <> "
                           "trunc(%1)), false) FROM ")
                .arg(name) +
            relation;
        Recordset range = source.Execute(statement);
        const Fields& f = range.Fields();
        if (catalogueText(f[2]) == QLatin1String("t"))
            continue;
        const QString type = integerTypeHolding(catalogueText(f[0]), catalogueText(f[1]));
        if (!type.isEmpty())
            types.insert(column.name, type);
    }
    return types;
}
