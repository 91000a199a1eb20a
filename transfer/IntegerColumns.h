#pragma once

// A PostgreSQL auto-increment column of NUMERIC (a MySQL integer key copied there comes back
// so) would become a DECIMAL on MySQL, which takes no AUTO_INCREMENT. When its values are
// whole numbers that an integer type holds, its copy is of that type instead.

#include "transfer/TableShape.h"

#include <QHash>
#include <QString>

class Connection;

// For each auto-increment column of NUMERIC of the table, the MySQL integer type that holds
// every value it has now: BIGINT, or BIGINT UNSIGNED when none is below 0 and some lie past
// BIGINT. A column with a fraction, or with a value neither holds, is not there. relation:
// the table as the source's statements name it; statement holds each query's text.
QHash<QString, QString> mySQLIntegerTypes(Connection& source, const QString& relation,
                                          const TableShape& shape, QString& statement);
