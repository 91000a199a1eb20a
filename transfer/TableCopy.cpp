#include "transfer/TableCopy.h"

#include "app/MessageBox.h"
#include "app/WindowPointer.h"
#include "app/Yield.h"
#include "app/db/Waiting.h"
#include "tables/TableList.h"
#include "transfer/CopyProgress.h"
#include "transfer/RowPump.h"

namespace {
// The list named a table in another letter case, or the table went away meanwhile:
// there was nothing to drop, and nothing to protect from the new rows.
bool isMissingTable(const Error& error)
{
    return error.sqlState() == QLatin1String("42P01") || error.sqlState() == QLatin1String("42S02");
}
} // namespace

TableCopy::TableCopy(Handler& handler, QString& statement, TransferObjects& objects, CopyDirection& direction,
                     CopyProgress& progress, WindowPointer& pointer, bool foreignKeys)
    : m_handler(handler), m_statement(statement), m_objects(objects), m_direction(direction),
      m_lines(direction.lines()), m_progress(progress), m_pointer(pointer), m_foreignKeys(foreignKeys)
{
    m_handler.keepRefusedRowsAt({m_lines.buildRow, m_lines.sendRow});
}

void TableCopy::copySelected()
{
    int last = -1;
    m_handler.step(m_lines.tableLoop, [&] { last = m_direction.sourceList()->count() - 1; });
    // A stop ends the click before the next table.
    for (int i = last; i >= 0 && !Waiting::stopRequested(); --i) {
        const Next next = copyTable(i);
        addReferringKeysBack();
        if (next == Next::EndClick)
            return;
    }
    addForeignKeys();
}

TableCopy::Next TableCopy::copyTable(int index)
{
    Handler& h = m_handler;
    TableList* source = m_direction.sourceList();
    if (m_lines.tableYield)
        h.step(m_lines.tableYield, [] { YieldToEvents(); });
    if (h.test(m_lines.table.selected, [&] { return !source->at(index).isSelected(); }))
        return Next::Table;
    ListedTable item;
    h.step(m_lines.table.name, [&] { item = TableList::tableOf(source->at(index)); });
    // The table keeps its own name on the other side, whatever schema it came from.
    const QString table = item.name;
    h.setContext(item.text());
    m_progress.startTable(item.text());
    if (!readShape(item)) {
        countFailed();
        return lost() ? Next::EndClick : Next::Table;
    }
    const int answer = askOverwrite(table);
    if (h.test(m_lines.table.answerNo, [&] { return answer == MessageBox::No; })) {
        ++m_progress.tally().notOverwritten;
        return Next::Table;
    }
    // The source's rows are opened before anything is dropped, so that a table that
    // cannot be read leaves the target as it was.
    if (!openSource(item)) {
        countFailed();
        return lost() ? Next::EndClick : Next::Table;
    }
    if (h.test(m_lines.table.answerYes, [&] { return answer == MessageBox::Yes; }) && !dropTarget(table))
        return giveUpTable(table);
    m_direction.buildCreate(h, m_statement, table, m_objects.recordset().Fields());
    // Without its table the rows have nowhere to go, or would go into another table.
    if (!h.step(m_lines.create, [&] { m_objects.targetConnection().Execute(m_statement); }))
        return giveUpTable(table);
    return copyRows(table);
}

int TableCopy::askOverwrite(const QString& table)
{
    int answer = 0;
    if (m_handler.test(m_lines.table.listed, [&] { return ListContains(m_direction.targetList(), table); })) {
        m_handler.step(m_lines.table.ask, [&] {
            answer =
                MessageBox::show(QStringLiteral("Would you like to overwrite ") + table + QStringLiteral("?"),
                                 QStringLiteral("Overwrite?"), MessageBox::YesNo);
        });
    }
    return answer;
}

bool TableCopy::readShape(const ListedTable& item)
{
    m_shape = {};
    // The catalogue answers for a table that is not there, or that the account may not read,
    // with nothing: the SELECT of its rows then reports it as it always did.
    return m_handler.step(m_lines.readShape, [&] {
        m_shape = m_direction.readShape(m_objects.sourceConnection(), item, m_statement);
        if (m_foreignKeys)
            m_shape.foreignKeys =
                m_direction.readForeignKeys(m_objects.sourceConnection(), item, m_statement);
    });
}

bool TableCopy::openSource(const ListedTable& item)
{
    m_select = QStringLiteral("SELECT * FROM ") + m_direction.sourceName(item);
    if (!m_handler.step(m_lines.table.select, [&] {
            m_statement = m_select;
            m_objects.recordset().Open(m_select, m_objects.sourceConnection());
        }))
        return false;
    if (m_lines.names && !m_handler.step(m_lines.names, [&] {
            m_direction.checkNames(item.name, m_objects.recordset().Fields());
        })) {
        closeRows();
        return false;
    }
    return true;
}

bool TableCopy::dropTarget(const QString& table)
{
    removeReferringKeys(table);
    // A table that stays (a view depends on it, a key refers to it) gets no rows: they
    // would land on top of the old ones.
    const QString drop = QStringLiteral("DROP TABLE ") + m_direction.targetName(table);
    if (!m_handler.step(m_lines.table.drop,
                        [&] {
                            m_statement = drop;
                            m_objects.targetConnection().Execute(drop);
                        }) &&
        !(m_handler.lastError() && isMissingTable(*m_handler.lastError())))
        return false;
    // The list shows the table under the name it was created with.
    m_handler.step(m_lines.table.unlist, [&] { RemoveListItem(m_direction.targetList(), table); });
    return true;
}

void TableCopy::countFailed()
{
    // A table the user stopped before its rows did not fail: it was not copied.
    if (!Waiting::stopRequested())
        ++m_progress.tally().failed;
}

void TableCopy::countFailed(qint64 rowsWritten)
{
    CopyTally& tally = m_progress.tally();
    ++tally.failed;
    if (rowsWritten > 0)
        ++tally.failedInPart;
}

TableCopy::Next TableCopy::giveUpTable(const QString& table)
{
    countFailed();
    if (lost())
        return Next::EndClick;
    closeRows();
    listIfHeld(table);
    return Next::Table;
}

void TableCopy::closeRows()
{
    m_handler.step(m_lines.closeRows, [&] { m_objects.recordset().Close(); });
}

bool TableCopy::relisted(const QString& table)
{
    bool done = false;
    // Only a list that would otherwise be wrong is at stake: no report when the catalogue
    // cannot be read, and the list is kept by the table's name alone instead. Nor is it
    // read once a server went away, as the target may still be amid the rows' stream.
    if (!lost())
        Attempt([&] { done = m_direction.relist(m_objects.targetConnection(), table); });
    return done;
}

void TableCopy::list(const QString& table)
{
    if (relisted(table))
        return;
    TableList* target = m_direction.targetList();
    if (target->findItems(table, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty())
        m_handler.step(m_lines.list, [&] { target->addName(table); });
}

void TableCopy::listIfHeld(const QString& table)
{
    if (relisted(table))
        return;
    TableList* target = m_direction.targetList();
    if (!target->findItems(table, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty())
        return;
    bool held = false;
    // Only a list that would otherwise be wrong is at stake: no report when the question
    // cannot be answered.
    Attempt([&] { held = !m_objects.targetConnection().Execute(m_direction.findTable(table)).Eof(); });
    if (held)
        list(table);
}

TableCopy::Next TableCopy::copyRows(const QString& table)
{
    RowPump pump(m_handler, m_statement, m_direction, m_objects, m_progress, table, m_select);
    const RowPump::Result result = pump.run();
    CopyTally& tally = m_progress.tally();
    switch (result) {
    case RowPump::Result::NotStarted:
        return giveUpTable(table);
    case RowPump::Result::Lost:
        // A server given up after the user's stop holds the rows it confirmed, as after any stop.
        if (Waiting::stopRequested())
            ++tally.inPart;
        else
            countFailed(pump.rowsWritten());
        // The table was made, and the rows the server confirmed stay in it: the list shows
        // it.
        list(table);
        return Next::EndClick;
    case RowPump::Result::Copied:
        ++tally.copied;
        break;
    case RowPump::Result::TableFailed:
    case RowPump::Result::SourceFailed:
        countFailed(pump.rowsWritten());
        break;
    case RowPump::Result::Stopped:
        ++tally.inPart;
        break;
    }
    // A stop ends the table at its rows: the shape is work the user asked to end. A copy that
    // lacks rows of its source gets none, so that it does not look whole.
    const bool shaped = result != RowPump::Result::Stopped && result != RowPump::Result::SourceFailed;
    if (shaped)
        addShape(table);
    if (result == RowPump::Result::Copied || result == RowPump::Result::Stopped)
        noteShape(table, shaped);
    m_handler.step(m_lines.pointer, [&] { m_pointer.set(WindowPointer::Default); });
    m_handler.step(m_lines.resetBar, [&] { m_progress.tableDone(); });
    closeRows();
    if (result == RowPump::Result::TableFailed)
        listIfHeld(table);
    else
        list(table);
    return lost() || result == RowPump::Result::Stopped ? Next::EndClick : Next::Table;
}

void TableCopy::addShape(const QString& table)
{
    m_shapeMade = 0;
    m_shapeMissed = 0;
    if (lost())
        return;
    m_direction.addShape(m_objects.targetConnection(), table, m_shape, [&](const ShapeStatement& statement) {
        const ShapeOutcome outcome = runShapeStatement(statement, [&](const Error& error) {
            return QStringLiteral("The copy of %1 keeps its rows, but %2 could not be made: %3")
                .arg(table, statement.what, error.description());
        });
        ++(outcome == ShapeOutcome::Made ? m_shapeMade : m_shapeMissed);
        return outcome;
    });
    m_copiesKeys += m_shape.foreignKeys;
}

void TableCopy::noteShape(const QString& table, bool attempted)
{
    if (!m_shape.carriesSomething())
        return;
    CopyTally& tally = m_progress.tally();
    if (!attempted || (m_shapeMade == 0 && m_shapeMissed > 0))
        tally.shapeMissing.append(table);
    else if (m_shapeMissed > 0)
        tally.shapePartial.append(table);
}

ShapeOutcome TableCopy::runShapeStatement(const ShapeStatement& statement,
                                          const std::function<QString(const Error&)>& refusal)
{
    // After a stop (or the window's close) no statement is started: the one that ran was
    // stopped on the server within the grace every wait has.
    if (Waiting::stopRequested())
        return ShapeOutcome::Ended;
    // The report says what the copy goes without; the rows stay either way.
    const bool made = m_handler.step(m_lines.shapeStatement, [&] {
        m_statement = statement.sql;
        try {
            m_objects.targetConnection().Execute(statement.sql);
        } catch (const Error& error) {
            if (error.stopped())
                throw;
            throw Error(refusal(error), error.refusedValues() ? Error::Cause::Values : Error::Cause::Other,
                        error.sqlState(), error.code());
        }
    });
    if (made)
        return ShapeOutcome::Made;
    // A table that went away, or a server, fails every further statement as well.
    if (lost() || (m_handler.lastError() && isMissingTable(*m_handler.lastError())))
        return ShapeOutcome::Ended;
    return ShapeOutcome::Refused;
}
