#include "transfer/ShapeCatalogue.h"

#include "app/db/Connection.h"

QString catalogueText(const Field& field)
{
    return field.Value().toString();
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
