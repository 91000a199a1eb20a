#pragma once

// The statements that give a PostgreSQL copy its source's shape.

#include "transfer/TableShape.h"

class Connection;

// Gives the copy the shape through run, in this order: the primary key, NOT NULL, unique
// keys and indexes, auto-increment, defaults, comments. Only columns the copy has are shaped. The
// target's catalogue is read for free index and sequence names; such a read that fails
// leaves the source's name, which the statement then reports.
void shapePostgreSQLTable(Connection& target, const QString& table, const TableShape& shape,
                          const QList<TargetColumn>& columns, const ShapeRunner& run);

// The statement that gives the key's table the foreign key, under a name the table's other
// constraints do not have; and the one that removes it.
ShapeStatement postgreSQLForeignKey(Connection& target, const ShapeForeignKey& key);
ShapeStatement dropPostgreSQLForeignKey(const ShapeForeignKey& key);
