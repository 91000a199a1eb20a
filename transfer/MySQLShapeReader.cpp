#include "transfer/MySQLShapeReader.h"

#include "app/SqlText.h"
#include "app/db/Connection.h"
#include "transfer/ShapeCatalogue.h"
#include "transfer/ShapeDefaults.h"

TableShape readMySQLShape(Connection& source, const QString& table, QString& statement)
{
    TableShape shape;
    // The catalogue compares names without regard to case; a binary comparison would keep the
    // server from looking up the one table, so the name is compared exactly here.
    const QString where =
        QStringLiteral(" WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = ") + quotedText(table);
    statement =
        QStringLiteral(
            "SELECT TABLE_NAME, COLUMN_NAME, IS_NULLABLE, COLUMN_DEFAULT, EXTRA, DATA_TYPE, "
            "COLUMN_TYPE, VERSION() LIKE '%MariaDB%', COLUMN_COMMENT FROM information_schema.COLUMNS") +
        where + QStringLiteral(" ORDER BY ORDINAL_POSITION");
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext()) {
        const Fields& f = rows.Fields();
        if (catalogueText(f[0]) != table)
            continue;
        const QString extra = catalogueText(f[4]).toLower();
        shape.columns.append(
            {catalogueText(f[1]), catalogueText(f[2]) == QLatin1String("NO"),
             extra.contains(QLatin1String("auto_increment")),
             mySQLDefault(f[3].Value(), extra, catalogueText(f[5]).toLower(), catalogueText(f[6]).toLower(),
                          catalogueText(f[7]) == QLatin1String("1")),
             catalogueText(f[8])});
    }
    // A view's comment says "VIEW": only a base table's is the user's.
    statement = QStringLiteral("SELECT TABLE_NAME, TABLE_COMMENT FROM information_schema.TABLES") + where +
                QStringLiteral(" AND TABLE_TYPE = 'BASE TABLE'");
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext()) {
        if (catalogueText(rows.Fields()[0]) == table)
            shape.comment = catalogueText(rows.Fields()[1]);
    }
    // Full-text and spatial indexes are left out; a MEMORY table's hash index is an index all
    // the same. A column prefix is not kept: the whole column holds every value the prefix did.
    statement = QStringLiteral("SELECT TABLE_NAME, INDEX_NAME, NON_UNIQUE, COLUMN_NAME, INDEX_TYPE FROM "
                               "information_schema.STATISTICS") +
                where + QStringLiteral(" ORDER BY INDEX_NAME <> 'PRIMARY', INDEX_NAME, SEQ_IN_INDEX");
    CatalogueIndexes indexes;
    for (Recordset rows = source.Execute(statement); !rows.Eof(); rows.MoveNext()) {
        const Fields& f = rows.Fields();
        if (catalogueText(f[0]) != table)
            continue;
        const QString name = catalogueText(f[1]);
        indexes.addColumn(name, name == QLatin1String("PRIMARY"), catalogueText(f[2]) == QLatin1String("0"),
                          f[3].Value());
        const QString type = catalogueText(f[4]);
        if (type != QLatin1String("BTREE") && type != QLatin1String("HASH"))
            indexes.leaveOut(name);
    }
    shape.indexes = indexes.carried();
    return shape;
}

QList<ShapeForeignKey> readMySQLForeignKeys(Connection& connection, const QString& table, bool referring,
                                            QString& statement)
{
    // The catalogue compares names without regard to case: the name is compared exactly here.
    statement =
        QStringLiteral(
            "SELECT k.TABLE_NAME, '', k.CONSTRAINT_NAME, k.COLUMN_NAME, k.REFERENCED_TABLE_NAME, "
            "k.REFERENCED_COLUMN_NAME, r.DELETE_RULE, r.UPDATE_RULE FROM information_schema.KEY_COLUMN_USAGE "
            "k "
            "JOIN information_schema.REFERENTIAL_CONSTRAINTS r ON r.CONSTRAINT_SCHEMA = k.CONSTRAINT_SCHEMA "
            "AND "
            "r.TABLE_NAME = k.TABLE_NAME AND r.CONSTRAINT_NAME = k.CONSTRAINT_NAME WHERE k.TABLE_SCHEMA = "
            "DATABASE() AND k.REFERENCED_TABLE_SCHEMA = DATABASE() AND ") +
        (referring ? QStringLiteral("k.REFERENCED_TABLE_NAME = ") : QStringLiteral("k.TABLE_NAME = ")) +
        quotedText(table) + QStringLiteral(" ORDER BY k.TABLE_NAME, k.CONSTRAINT_NAME, k.ORDINAL_POSITION");
    // A table's references to itself go with it.
    return catalogueForeignKeys(connection, statement, [&](const ShapeForeignKey& key) {
        return referring ? key.referencedTable == table && key.table != table : key.table == table;
    });
}
