// The table loop's part of the choice "Foreign keys": the copies' own foreign keys, made once
// every table of the click has its rows and shape, as a key of one copy may refer to a table
// copied after it; and the keys of the target's other tables that refer to a table the click
// overwrites, removed before its DROP and made again after its rows and key. Each is one
// statement through the shape's runner: a stop starts none, a refusal is reported with the
// statement and what the table goes without.

#include "app/Wording.h"
#include "app/db/Waiting.h"
#include "transfer/CopyProgress.h"
#include "transfer/ShapeSteps.h"
#include "transfer/TableCopy.h"

#include <QHash>
#include <utility>

bool TableCopy::runForeignKey(const ShapeForeignKey& key, const ShapeStatement& statement,
                              const QString& words)
{
    return runShapeStatement(statement, [&](const Error& error) {
               QString text = words + error.description();
               qint64 rows = 0;
               if (refersToNothing(error) && Attempt([&] {
                       rows = m_objects.targetConnection()
                                  .Execute(statement.unmatched)
                                  .Fields()[0]
                                  .Value()
                                  .toString()
                                  .toLongLong();
                   }))
                   text += QStringLiteral("\n%1 of %2 %3 to no row of %4.")
                               .arg(counted(rows, QStringLiteral("row"), QStringLiteral("rows")), key.table,
                                    rows == 1 ? QStringLiteral("refers") : QStringLiteral("refer"),
                                    key.referencedTable);
               return text;
           }) == ShapeOutcome::Made;
}

void TableCopy::removeReferringKeys(const QString& table)
{
    m_removed.clear();
    m_overwritten = table;
    if (!m_foreignKeys || lost())
        return;
    QList<ShapeForeignKey> keys;
    // A catalogue that cannot be read leaves the keys, and the DROP says what keeps the table.
    QString query;
    Attempt([&] { keys = m_direction.referringKeys(m_objects.targetConnection(), table, query); });
    for (const ShapeForeignKey& key : keys) {
        const ShapeStatement drop = m_direction.dropForeignKey(key);
        if (runForeignKey(key, drop,
                          QStringLiteral("The table %1 keeps %2, and %3 cannot be overwritten: ")
                              .arg(key.table, drop.what, table))) {
            m_removed.append(key);
            ++m_progress.tally().foreignKeysRemoved;
        }
    }
}

void TableCopy::addReferringKeysBack()
{
    const QList<ShapeForeignKey> keys = std::exchange(m_removed, {});
    for (const ShapeForeignKey& key : keys) {
        if (lost())
            return;
        const ShapeStatement add = m_direction.addForeignKey(m_objects.targetConnection(), key);
        if (runForeignKey(key, add,
                          QStringLiteral("The table %1 lost %2 to the overwrite of %3, which could not "
                                         "make it again: ")
                              .arg(key.table, add.what, m_overwritten)))
            ++m_progress.tally().foreignKeysRestored;
    }
}

void TableCopy::addForeignKeys()
{
    CopyTally& tally = m_progress.tally();
    QHash<QString, bool> there; // the tables referred to, and whether the target holds them
    const QList<ShapeForeignKey> keys = std::exchange(m_copiesKeys, {});
    for (const ShapeForeignKey& key : keys) {
        if (lost() || Waiting::stopRequested())
            return;
        if (!there.contains(key.referencedTable))
            there.insert(key.referencedTable,
                         found(m_objects.targetConnection(), m_direction.findTable(key.referencedTable)));
        if (!there.value(key.referencedTable)) {
            ++tally.foreignKeysLeftOut;
            continue;
        }
        m_handler.setContext(key.table);
        const ShapeStatement add = m_direction.addForeignKey(m_objects.targetConnection(), key);
        if (runForeignKey(key, add,
                          QStringLiteral("The copy of %1 keeps its rows, but %2 could not be made: ")
                              .arg(key.table, add.what))) {
            ++tally.foreignKeysAdded;
            continue;
        }
        ++tally.foreignKeysRefused;
        if (!tally.shapeMissing.contains(key.table) && !tally.shapePartial.contains(key.table))
            tally.shapePartial.append(key.table);
    }
}
