#include "transfer/PostgreSQLShapeReader.h"

#include "app/SqlText.h"
#include "app/db/Connection.h"
#include "transfer/ShapeCatalogue.h"
#include "transfer/ShapeDefaults.h"

TableShape readPostgreSQLShape(Connection& source, const QString& relation, QString& statement)
{
    TableShape shape;
    // to_regclass: a table that is not there has no rows here, and no error.
    const QString table = QStringLiteral("to_regclass(") + quotedText(relation) + QLatin1Char(')');
    // A generated column's expression is kept where defaults are: it is none.
    statement =
        QStringLiteral("SELECT a.attname, a.attnotnull, a.attidentity <> '', pg_get_expr(d.adbin, "
                       "d.adrelid), col_description(a.attrelid, a.attnum), obj_description(a.attrelid, "
                       "'pg_class') FROM pg_attribute a LEFT JOIN pg_attrdef d ON d.adrelid = "
                       "a.attrelid AND d.adnum = a.attnum AND a.attgenerated = '' WHERE a.attrelid = ") +
        table + QStringLiteral(" AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum");
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext()) {
        const Fields& f = rows.Fields();
        const QString expression = catalogueText(f[3]);
        shape.columns.append(
            {catalogueText(f[0]), catalogueText(f[1]) == QLatin1String("t"),
             catalogueText(f[2]) == QLatin1String("t") || expression.startsWith(QLatin1String("nextval(")),
             postgreSQLDefault(expression), catalogueText(f[4])});
        shape.comment = catalogueText(f[5]);
    }
    // B-tree indexes on columns, whole and valid; INCLUDE columns are not keys.
    statement =
        QStringLiteral(
            "SELECT c.relname, i.indisprimary, i.indisunique, a.attname FROM pg_index i JOIN pg_class "
            "c ON c.oid = i.indexrelid JOIN pg_am am ON am.oid = c.relam CROSS JOIN LATERAL "
            "unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, n) LEFT JOIN pg_attribute a ON "
            "a.attrelid = i.indrelid AND a.attnum = k.attnum WHERE i.indrelid = ") +
        table +
        QStringLiteral(" AND am.amname = 'btree' AND i.indpred IS NULL AND i.indisvalid AND NOT "
                       "i.indisexclusion AND k.n <= i.indnkeyatts ORDER BY i.indisprimary DESC, "
                       "i.indexrelid, k.n");
    CatalogueIndexes indexes;
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext()) {
        const Fields& f = rows.Fields();
        // An expression's key column has the number 0, and so no attribute.
        indexes.addColumn(catalogueText(f[0]), catalogueText(f[1]) == QLatin1String("t"),
                          catalogueText(f[2]) == QLatin1String("t"), f[3].Value());
    }
    shape.indexes = indexes.carried();
    return shape;
}

QList<ShapeForeignKey> readPostgreSQLForeignKeys(Connection& connection, const QString& relation,
                                                 bool referring, QString& statement)
{
    const QString table = QStringLiteral("to_regclass(") + quotedText(relation) + QLatin1Char(')');
    const QString rule = QStringLiteral(
        "CASE c.conf%1type WHEN 'c' THEN 'CASCADE' WHEN 'n' THEN 'SET NULL' WHEN 'd' THEN 'SET DEFAULT' WHEN "
        "'r' THEN 'RESTRICT' ELSE 'NO ACTION' END");
    // A partition's key made by its partitioned table's is its own, the partitioned table's
    // on each partition of a table it refers to is not; a referring partition's goes with
    // its partitioned table's, and the table's references to itself go with it.
    statement =
        QStringLiteral(
            "SELECT t.relname, %1, c.conname, a.attname, f.relname, fa.attname, %2, %3 FROM "
            "pg_constraint c JOIN pg_class t ON t.oid = c.conrelid JOIN pg_namespace n ON n.oid = "
            "t.relnamespace JOIN pg_class f ON f.oid = c.confrelid CROSS JOIN LATERAL unnest(c.conkey, "
            "c.confkey) WITH ORDINALITY AS k(attnum, fattnum, i) JOIN pg_attribute a ON a.attrelid = "
            "c.conrelid AND a.attnum = k.attnum JOIN pg_attribute fa ON fa.attrelid = c.confrelid AND "
            "fa.attnum = k.fattnum LEFT JOIN pg_constraint p ON p.oid = c.conparentid WHERE c.contype = 'f' "
            "AND ")
            .arg(referring ? QStringLiteral("n.nspname") : QStringLiteral("''"),
                 rule.arg(QStringLiteral("del")), rule.arg(QStringLiteral("upd"))) +
        (referring ? QStringLiteral("c.confrelid = %1 AND c.conrelid <> c.confrelid AND p.oid IS NULL")
                   : QStringLiteral("c.conrelid = %1 AND (p.oid IS NULL OR p.conrelid <> c.conrelid)"))
            .arg(table) +
        QStringLiteral(" ORDER BY n.nspname, t.relname, c.conname, k.i");
    return catalogueForeignKeys(connection, statement, [](const ShapeForeignKey&) { return true; });
}
