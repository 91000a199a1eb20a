#include "transfer/TableCopy.h"

#include "app/MessageBox.h"
#include "app/WindowPointer.h"
#include "app/Yield.h"
#include "tables/TableList.h"

#include <QProgressBar>

namespace {
// The list named a table in another letter case, or the table went away meanwhile:
// there was nothing to drop, and nothing to protect from the new rows.
bool isMissingTable(const Error& error)
{
    return error.sqlState() == QLatin1String("42P01") || error.sqlState() == QLatin1String("42S02");
}
} // namespace

TableCopy::TableCopy(Handler& handler, QString& statement, TransferObjects& objects, CopyDirection& direction,
                     QProgressBar* progressBar, WindowPointer& pointer)
    : m_handler(handler), m_statement(statement), m_objects(objects), m_direction(direction),
      m_lines(direction.lines()), m_progressBar(progressBar), m_pointer(pointer)
{}

void TableCopy::copySelected(int loopLine)
{
    int last = -1;
    m_handler.step(loopLine, [&] { last = m_direction.sourceList()->count() - 1; });
    for (int i = last; i >= 0; --i) {
        if (copyTable(i) == Next::EndClick)
            return;
    }
}

TableCopy::Next TableCopy::copyTable(int index)
{
    Handler& h = m_handler;
    TableList* source = m_direction.sourceList();
    TableList* target = m_direction.targetList();
    if (m_lines.tableYield)
        h.step(m_lines.tableYield, [] { YieldToEvents(); });
    if (h.test(m_lines.selected, [&] { return !source->at(index).isSelected(); }))
        return Next::Table;
    ListedTable item;
    h.step(m_lines.name, [&] { item = TableList::tableOf(source->at(index)); });
    // The table keeps its own name on the other side, whatever schema it came from.
    const QString table = item.name;
    int answer = 0;
    if (h.test(m_lines.listed, [&] { return target->containsName(table); })) {
        h.step(m_lines.ask, [&] {
            answer =
                MessageBox::show(QStringLiteral("Would you like to overwrite ") + table + QStringLiteral("?"),
                                 QStringLiteral("Overwrite?"), MessageBox::YesNo);
        });
    } else {
        h.step(m_lines.notAsked, [&] { answer = 0; });
    }
    if (h.test(m_lines.answerNo, [&] { return answer == MessageBox::No; }))
        return Next::Table;

    // The source's rows are opened before anything is dropped, so that a table that
    // cannot be read leaves the target as it was.
    const QString select = QStringLiteral("SELECT * FROM ") + m_direction.sourceName(item);
    if (!h.step(m_lines.select, [&] {
            m_statement = select;
            m_objects.recordset().Open(select, m_objects.sourceConnection(), adOpenStatic, adLockOptimistic);
        }))
        return lost() ? Next::EndClick : Next::Table;
    if (m_lines.names &&
        !h.step(m_lines.names, [&] { m_direction.checkNames(table, m_objects.recordset().Fields()); })) {
        closeRows();
        return Next::Table;
    }

    if (h.test(m_lines.answerYes, [&] { return answer == MessageBox::Yes; })) {
        // A table that stays (a view depends on it, a key refers to it) gets no rows: they
        // would land on top of the old ones.
        const QString drop = QStringLiteral("DROP TABLE ") + m_direction.targetName(table);
        if (!h.step(m_lines.drop,
                    [&] {
                        m_statement = drop;
                        m_objects.targetConnection().Execute(drop);
                    }) &&
            !(h.lastError() && isMissingTable(*h.lastError())))
            return giveUpTable(table);
        // The list shows the table under the name it was created with.
        h.step(m_lines.unlist, [&] { target->removeName(table); });
    }

    m_direction.buildCreate(h, m_statement, table, m_objects.recordset().Fields());
    // Without its table the rows have nowhere to go, or would go into another table.
    if (!h.step(m_lines.create, [&] { m_objects.targetConnection().Execute(m_statement); }))
        return giveUpTable(table);
    return copyRows(table);
}

TableCopy::Next TableCopy::giveUpTable(const QString& table)
{
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
    Handler& h = m_handler;
    qint64 lastRow = -1;
    h.step(m_lines.recordCount, [&] { lastRow = m_objects.recordset().RecordCount() - 1; });
    std::unique_ptr<StatementStream> stream;
    if (!h.step(m_lines.rowLoop, [&] { stream = m_objects.targetConnection().openStatementStream(); }))
        return lost() ? Next::EndClick : giveUpTable(table);

    // The rows go out one INSERT each without waiting for the answers, which come back
    // in the same order; the bar moves as each row's answer is known.
    QByteArray row;
    qint64 known = 0;
    bool tableFailed = false;
    auto rowKnown = [&] {
        ++known;
        h.step(m_lines.progress, [&] { showProgress(m_progressBar, known - 1, lastRow); });
    };
    // Sending a row, taking its answer and reporting its failure are the one step that
    // executes the row's INSERT.
    auto executeRow = [&](auto&& body) { return h.step(m_lines.sendRow, body); };
    auto take = [&](Answer& answer) {
        rowKnown();
        if (!answer.error)
            return;
        m_statement = QString::fromUtf8(answer.statement);
        executeRow([&] { throw *answer.error; });
        // A row whose values the server refused is that row's loss; any other failure
        // (the table is gone, a right was taken away, the disk is full) would fail every
        // row after it as well.
        if (!answer.error->refusedValues())
            tableFailed = true;
    };
    auto takeAnswers = [&](bool wait) {
        Answer answer;
        while (!tableFailed && !lost()) {
            bool got = false;
            // A lost link shows with the last statement sent.
            if (!executeRow(
                    [&] { withRowStatement(m_statement, row, [&] { got = stream->next(answer, wait); }); })) {
                tableFailed = true;
                return;
            }
            if (!got)
                return;
            take(answer);
        }
    };

    const Fields& fields = m_objects.recordset().Fields();
    for (qint64 r = 0; r <= lastRow && !tableFailed && !lost(); ++r) {
        h.step(m_lines.rowYield, [] { YieldToEvents(); });
        // A row that could not be written whole is not sent: half a statement would only
        // add a second report.
        const bool built = h.step(m_lines.buildRow, [&] {
            row.resize(0);
            withRowStatement(m_statement, row, [&] { m_direction.buildRow(row, table, fields); });
        });
        if (!built) {
            rowKnown();
        } else if (!executeRow([&] { withRowStatement(m_statement, row, [&] { stream->send(row, r); }); })) {
            tableFailed = true;
            break;
        }
        takeAnswers(false);
        if (!h.step(m_lines.moveNext, [&] { m_objects.recordset().MoveNext(); }))
            break;
    }
    if (!row.isEmpty())
        m_statement = QString::fromUtf8(row);
    // The table was made, and the rows the server confirmed stay in it, also when a
    // server went away: the list shows it.
    auto endClick = [&] {
        list(table);
        return Next::EndClick;
    };
    if (lost())
        return endClick();
    takeAnswers(true);
    if (lost())
        return endClick();
    Attempt([&] { stream->discard(); });
    // Everything the server confirmed is made durable before the list shows the table.
    h.step(m_lines.finishRows, [&] { stream->finish(); });
    stream.reset();
    if (lost())
        return endClick();

    h.step(m_lines.pointer, [&] { m_pointer.set(WindowPointer::Default); });
    h.step(m_lines.resetBar, [&] { resetProgress(m_progressBar); });
    closeRows();
    if (tableFailed)
        listIfHeld(table);
    else
        list(table);
    return lost() ? Next::EndClick : Next::Table;
}
