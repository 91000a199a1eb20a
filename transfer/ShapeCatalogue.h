#pragma once

// What both readers of a catalogue share: the text of a catalogue field, the rows of an
// index query made into the indexes a copy carries, and those of a foreign key query into
// the keys.

#include "transfer/TableShape.h"

#include <QList>
#include <QSet>
#include <QString>

class Connection;
class Field;
class Value;

QString catalogueText(const Field& field);

// The foreign keys of a query whose rows give, a key column each, in the order of the key's
// columns: the table, its schema, the key's name, the column, the table and column it refers
// to, the rule on delete and on update. keep says which rows count.
QList<ShapeForeignKey> catalogueForeignKeys(Connection& connection, const QString& query,
                                            const std::function<bool(const ShapeForeignKey&)>& keep);

// The rows of one table's index query, each index's rows together and in the order of its
// key columns.
class CatalogueIndexes
{
public:
    // A key column of the index; a null column (an expression's) leaves the index out.
    void addColumn(const QString& index, bool primary, bool unique, const Value& column);
    // An index of a kind the copy does not carry.
    void leaveOut(const QString& index) { m_leftOut.insert(index); }
    // The indexes carried, in the order of the rows; a unique index that merely repeats the
    // primary key is the key.
    QList<ShapeIndex> carried() const;

private:
    QList<ShapeIndex> m_indexes;
    QSet<QString> m_leftOut;
};
