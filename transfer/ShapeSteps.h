#pragma once

// What the two writers of a shape share: the copy's columns, the statements run until one
// ends the shape, the record of one table's shaping, and the steps both servers take alike
// (the primary key, the defaults).

#include "transfer/TableShape.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <algorithm>

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
