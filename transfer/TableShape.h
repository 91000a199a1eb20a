#pragma once

// A table's shape around its rows: its primary key, NOT NULL columns, unique keys and plain
// indexes, auto-increment column, constant defaults and comments. It is read from the source
// server's catalogue before the target is touched, and given to the copy after its rows, one
// statement at a time, so that loading stays as fast as into a bare table.
//
// Its foreign keys are read and made only when the user chose "Foreign keys": they are made
// once every table of the click has its rows, as a key of one copy refers to another. Check
// constraints, triggers and indexes on expressions, partial, full-text, spatial, GiST or GIN
// ones are not carried: the other server could not hold most of them.
//
// This file holds the record and what a writer of it takes. MySQLShapeReader and
// PostgreSQLShapeReader fill it from their catalogues, PostgreSQLShapeWriter and
// MySQLShapeWriter give it to a copy.

#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>

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
    QString comment; // empty for none
};

// A primary key, unique key or plain b-tree index on columns, its key columns in order.
struct ShapeIndex
{
    QString name;
    bool primary = false;
    bool unique = false;
    QStringList columns;
};

// A foreign key: its columns, in the source's order, refer to as many columns of a table
// (or of its own), which a copy names by its bare name.
struct ShapeForeignKey
{
    QString table;  // the table that has the key
    QString schema; // its schema, for a key read from a PostgreSQL target; else empty
    QString name;
    QStringList columns;
    QString referencedTable;
    QStringList referencedColumns;
    QString onDelete; // "CASCADE", "SET NULL", "SET DEFAULT", "RESTRICT" or "NO ACTION"
    QString onUpdate;
};

struct TableShape
{
    QList<ShapeColumn> columns;
    QList<ShapeIndex> indexes; // the primary key first, where there is one
    QString comment;           // empty for none
    QList<ShapeForeignKey> foreignKeys;

    // Whether a copy would be given anything with its shape: a key, an index, a NOT NULL
    // column, an auto-increment, a default or a comment.
    bool carriesSomething() const
    {
        return !indexes.isEmpty() || !comment.isEmpty() ||
               std::any_of(columns.begin(), columns.end(), [](const ShapeColumn& c) {
                   return c.notNull || c.autoIncrement || c.columnDefault.kind != ShapeDefault::Kind::None ||
                          !c.comment.isEmpty();
               });
    }
};

// A column of the copy, with the type its CREATE TABLE gave it.
struct TargetColumn
{
    QString name;
    QString type;
};

// One statement that gives the copy part of its shape, and what it makes, for the report
// of a refusal ("the unique key "uq_email""). A foreign key's comes with the query that
// counts the rows that refer to nothing, for the report of a refusal for them.
struct ShapeStatement
{
    QString sql;
    QString what;
    QString unmatched = {};
};

// Made; refused (the next statement may still be made); or ended, when no further statement
// can succeed (the server or the table went away).
enum class ShapeOutcome { Made, Refused, Ended };
using ShapeRunner = std::function<ShapeOutcome(const ShapeStatement&)>;
