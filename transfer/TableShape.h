#pragma once

// A table's shape around its rows: its primary key, NOT NULL columns, unique keys and plain
// indexes, auto-increment column and constant defaults. It is read from the source server's
// catalogue before the target is touched, and given to the copy after its rows, one
// statement at a time, so that loading stays as fast as into a bare table.
//
// Foreign keys, check constraints, triggers and indexes on expressions, partial, full-text,
// spatial, GiST or GIN ones are not carried: nothing added may make a later DROP of one
// copied table fail because of another, and the other server could not hold most of them.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class Connection;

// A column default that a copy carries: a constant, or the current time or date.
struct ShapeDefault
{
    enum class Kind { None, Number, Text, Boolean, CurrentTime, CurrentDate };
    Kind kind = Kind::None;
    QString value; // a number as written, the text itself, or "true" / "false"
};

struct ShapeColumn
{
    QString name;
    bool notNull = false;
    bool autoIncrement = false; // MySQL AUTO_INCREMENT, PostgreSQL serial or identity
    ShapeDefault columnDefault;
};

// A primary key, unique key or plain b-tree index on columns, its key columns in order.
struct ShapeIndex
{
    QString name;
    bool primary = false;
    bool unique = false;
    QStringList columns;
};

struct TableShape
{
    QList<ShapeColumn> columns;
    QList<ShapeIndex> indexes; // the primary key first, where there is one
};

// The shape of a source table, read from its server's catalogue; statement holds the text of
// each query as it runs, for the report of one that fails. A table the catalogue does not
// know has an empty shape: the SELECT of its rows says what is wrong with it.
TableShape readMySQLShape(Connection& source, const QString& table, QString& statement);
// relation: the table as the source's statements name it ("name" or "schema"."name").
TableShape readPostgreSQLShape(Connection& source, const QString& relation, QString& statement);

// A column of the copy, with the type its CREATE TABLE gave it.
struct TargetColumn
{
    QString name;
    QString type;
};

// One statement that gives the copy part of its shape, and what it makes, for the report
// of a refusal ("the unique key "uq_email"").
struct ShapeStatement
{
    QString sql;
    QString what;
};

// Made; refused (the next statement may still be made); or ended, when no further statement
// can succeed (the server or the table went away).
enum class ShapeOutcome { Made, Refused, Ended };
using ShapeRunner = std::function<ShapeOutcome(const ShapeStatement&)>;

// Give the copy of a table the shape of its source through run, in this order: the primary
// key, NOT NULL, unique keys and indexes, auto-increment, defaults. Only columns the copy
// has are shaped. The PostgreSQL side reads the target's catalogue for free index and
// sequence names; such a read that fails leaves the source's name, which the statement
// then reports.
void shapePostgreSQLTable(Connection& target, const QString& table, const TableShape& shape,
                          const QList<TargetColumn>& columns, const ShapeRunner& run);
void shapeMySQLTable(const QString& table, const TableShape& shape, const QList<TargetColumn>& columns,
                     const ShapeRunner& run);
