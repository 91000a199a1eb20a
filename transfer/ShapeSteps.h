#pragma once

// What the two writers of a shape share: the copy's columns, the statements run until one
// ends the shape, the record of one table's shaping, the steps both servers take alike
// (the primary key, the defaults), free names and the statement of a foreign key.

#include "transfer/TableShape.h"

#include "app/db/Error.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>

// The copy's columns by name, and their types.
class CopiedColumns
{
public:
    explicit CopiedColumns(const QList<TargetColumn>& columns)
    {
        for (const TargetColumn& column : columns)
            m_types.insert(column.name, column.type);
    }
    bool has(const QString& column) const { return m_types.contains(column); }
    bool hasAll(const QStringList& columns) const
    {
        return std::all_of(columns.begin(), columns.end(), [&](const QString& c) { return has(c); });
    }
    QString type(const QString& column) const { return m_types.value(column); }

private:
    QHash<QString, QString> m_types;
};

// Runs statements until one ends the shape.
class Statements
{
public:
    explicit Statements(const ShapeRunner& run) : m_run(run) {}
    // True when the statement was made.
    bool run(const QString& sql, const QString& what)
    {
        if (m_ended)
            return false;
        const ShapeOutcome outcome = m_run({sql, what});
        m_ended = outcome == ShapeOutcome::Ended;
        return outcome == ShapeOutcome::Made;
    }
    bool ended() const { return m_ended; }

private:
    const ShapeRunner& m_run;
    bool m_ended = false;
};

class Connection;

using QuoteName = QString (*)(const QString&);
using DefaultLiteral = QString (*)(const ShapeDefault&, const QString&);

// What the steps of one table's shape share: the source's shape, the copy's columns and
// what has been made so far.
struct Shaping
{
    Shaping(const QString& table, const TableShape& shape, const QList<TargetColumn>& columns,
            const ShapeRunner& run, QuoteName quote)
        : table(table), shape(shape), copied(columns), statements(run), quote(quote),
          alter(QStringLiteral("ALTER TABLE ") + quote(table))
    {}
    const QString& table;
    const TableShape& shape;
    const CopiedColumns copied;
    Statements statements;
    const QuoteName quote;
    const QString alter;
    QSet<QString> notNull; // by the primary key
    QSet<QString> leading; // the first columns of the keys made
};

// "a", "b": the names as a report lists them.
QString quotedList(const QStringList& names);
// What a key or index is called in a report: the primary key ("id"), the unique key "uq" ("email").
QString keyWhat(const ShapeIndex& index);
// The columns, each quoted, separated by commas.
QString columnList(const QStringList& columns, QuoteName quote);

// The same columns in the same order; true when it was made.
bool addPrimaryKey(Shaping& shaping);
// Defaults the copy's column takes, each its own statement; literalFor writes a default as
// the copy's column type takes it, or gives nothing where it takes none.
void addDefaults(Shaping& shaping, DefaultLiteral literalFor);

// The wanted name, else the first of name_2, name_3, ... that is not taken, each cut by fit
// to the longest name the server takes; after a hundred taken ones, the wanted name, which
// the statement then reports.
using FitName = QString (*)(const QString& name, qsizetype longest);
// Whether the target's answer to a query of a name has a row; a question that cannot be
// answered leaves the name to its statement, which then reports why it is not made.
bool found(Connection& target, const QString& query);
QString freeName(const QString& wanted, qsizetype longest, FitName fit,
                 const std::function<bool(const QString&)>& taken);

// What a report calls a foreign key: the foreign key "fk" ("a", "b") referring to "t" ("x", "y").
QString foreignKeyWhat(const ShapeForeignKey& key);
// ALTER TABLE relation ADD CONSTRAINT name FOREIGN KEY (...) REFERENCES ... ON DELETE ... ON
// UPDATE ..., with the query that counts the rows whose key columns all hold a value and
// that refer to no row.
ShapeStatement foreignKeyStatement(const QString& relation, const QString& name, const ShapeForeignKey& key,
                                   QuoteName quote);
// The target refused a foreign key because rows of the table refer to nothing.
inline bool refersToNothing(const Error& error)
{
    return error.sqlState() == QLatin1String("23503") || error.code() == 1452;
}
