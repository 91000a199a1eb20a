#pragma once

// The statements that give a MySQL copy its source's shape.

#include "transfer/TableShape.h"

// Gives the copy the shape through run, in this order: the primary key, NOT NULL, unique
// keys and indexes, auto-increment, defaults. Only columns the copy has are shaped.
void shapeMySQLTable(const QString& table, const TableShape& shape, const QList<TargetColumn>& columns,
                     const ShapeRunner& run);
