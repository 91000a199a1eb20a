#include "transfer/ShapeCatalogue.h"

#include "app/db/Connection.h"

QString catalogueText(const Field& field)
{
    return field.Value().toString();
}

QList<ShapeForeignKey> catalogueForeignKeys(Connection& connection, const QString& query,
                                            const std::function<bool(const ShapeForeignKey&)>& keep)
{
    QList<ShapeForeignKey> keys;
    for (Recordset rows = connection.Execute(query); !rows.Eof(); rows.MoveNext()) {
        const Fields& f = rows.Fields();
        ShapeForeignKey row{catalogueText(f[0]),   catalogueText(f[1]), catalogueText(f[2]),
                            {catalogueText(f[3])}, catalogueText(f[4]), {catalogueText(f[5])},
                            catalogueText(f[6]),   catalogueText(f[7])};
        if (!keep(row))
            continue;
        ShapeForeignKey* last = keys.isEmpty() ? nullptr : &keys.last();
        if (last && last->table == row.table && last->schema == row.schema && last->name == row.name) {
            last->columns += row.columns;
            last->referencedColumns += row.referencedColumns;
        } else {
            keys.append(row);
        }
    }
    return keys;
}

void CatalogueIndexes::addColumn(const QString& index, bool primary, bool unique, const Value& column)
{
    if (m_indexes.isEmpty() || m_indexes.constLast().name != index)
        m_indexes.append({index, primary, unique, {}});
    if (column.isNull())
        m_leftOut.insert(index);
    else
        m_indexes.last().columns.append(column.toString());
}

QList<ShapeIndex> CatalogueIndexes::carried() const
{
    QStringList primaryKey;
    for (const ShapeIndex& index : m_indexes) {
        if (index.primary)
            primaryKey = index.columns;
    }
    QList<ShapeIndex> kept;
    for (const ShapeIndex& index : m_indexes) {
        if (m_leftOut.contains(index.name) || index.columns.isEmpty())
            continue;
        if (!index.primary && index.unique && index.columns == primaryKey)
            continue;
        kept.append(index);
    }
    return kept;
}
