#pragma once

// The statements that give a MySQL copy its source's shape.

#include "transfer/TableShape.h"

class Connection;

// Gives the copy the shape through run, in this order: comments, the primary key, NOT NULL,
// unique keys and indexes, auto-increment, defaults. Only columns the copy has are shaped.
void shapeMySQLTable(const QString& table, const TableShape& shape, const QList<TargetColumn>& columns,
                     const ShapeRunner& run);

// The statement that gives the key's table the foreign key, under a name free in the
// database; and the one that removes it.
ShapeStatement mySQLForeignKey(Connection& target, const ShapeForeignKey& key);
ShapeStatement dropMySQLForeignKey(const ShapeForeignKey& key);
