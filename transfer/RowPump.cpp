#include "transfer/RowPump.h"

#include "app/ErrorReport.h"
#include "app/Yield.h"
#include "app/db/Connection.h"
#include "app/db/Waiting.h"
#include "transfer/CopyProgress.h"
#include "transfer/TableCopy.h"
#include "transfer/TransferSteps.h"

#include <QRegularExpression>

namespace {
Error inTableRow(const Error& error, qint64 index);
} // namespace

RowPump::RowPump(Handler& handler, QString& statement, CopyDirection& direction, TransferObjects& objects,
                 CopyProgress& progress, const QString& table, const QString& select)
    : m_handler(handler), m_statement(statement), m_direction(direction), m_lines(direction.lines()),
      m_objects(objects), m_rows(objects.recordset()), m_progress(progress), m_table(table), m_select(select)
{}

RowPump::~RowPump() = default;

template <typename Body> void RowPump::withRowStatement(Body&& body)
{
    try {
        body();
    } catch (...) {
        if (!m_row.isEmpty())
            m_statement = QString::fromUtf8(m_format.singleStatement(m_row));
        throw;
    }
}

template <typename Body> bool RowPump::executeRow(Body&& body)
{
    const bool done = m_handler.step(m_lines.sendRow, std::forward<Body>(body));
    // A refused row's report may come when the link is already gone: the loss that follows
    // has a report of its own, which says what the table holds.
    if (!done && targetLost() && !(m_handler.lastError() && m_handler.lastError()->refusedValues()))
        m_lossShown = true;
    return done;
}

RowPump::Result RowPump::run()
{
    Handler& h = m_handler;
    h.step(m_lines.recordCount, [&] { m_lastRow = m_rows.RecordCount() - 1; });
    if (!h.step(m_lines.rowLoop, [&] {
            m_format = m_direction.rowFormat(m_table);
            m_stream = m_objects.targetConnection().openRowStream(m_format);
        }))
        return lost() ? Result::Lost : Result::NotStarted;

    sendRows();
    if (!m_row.isEmpty())
        m_statement = QString::fromUtf8(m_format.singleStatement(m_row));
    // After a failure that ends the table, or a stop, nothing more goes out, but the rows
    // already on their way are answered: each is kept or reported, none commits unseen.
    const bool stopped = Waiting::stopRequested();
    if (m_failed || stopped)
        Attempt([&] { m_stream->forgetUnsent(); });
    takeAnswers(true);
    Attempt([&] { m_progress.showRows(m_known, m_lastRow, true); });
    if (targetLost())
        return Result::Lost;
    Attempt([&] { m_stream->discard(); });
    // Everything the server confirmed is made durable before the list shows the table, also
    // when the source went away.
    h.step(m_lines.finishRows, [&] { m_stream->finish(); });
    m_stream.reset();
    if (targetLost())
        return Result::Lost;
    if (m_sourceError) {
        reportSourceFailure();
        return lost() ? Result::Lost : Result::SourceFailed;
    }
    if (lost())
        return Result::Lost;
    if (stopped)
        return Result::Stopped;
    return m_failed ? Result::TableFailed : Result::Copied;
}

// The rows go out one INSERT each without waiting for the answers, which come back in the
// same order; the bar moves as each row's answer is known. The source is read to its end,
// whatever its count said: a view or a table without snapshots may hold more or fewer rows
// by the time they are read.
void RowPump::sendRows()
{
    for (qint64 index = 0; !m_failed && !lost() && !Waiting::stopRequested() && !atEndOfRows(); ++index) {
        m_handler.step(m_lines.rowYield, [] { YieldToEvents(); });
        if (!sendRow(index))
            return;
        takeAnswers(false);
        if (!moveNext())
            return;
    }
}

bool RowPump::moveNext()
{
    try {
        m_rows.MoveNext();
        return true;
    } catch (const Error& error) {
        // A stop while the source was waited for is no failure.
        if (!error.stopped())
            m_sourceError = error;
    } catch (const std::exception& error) {
        m_sourceError = Error(QString::fromUtf8(error.what()));
    }
    return false;
}

// A copy that lacks rows of its source must not look whole: the report says so, and how
// many rows the table holds, once those on their way were answered.
void RowPump::reportSourceFailure()
{
    const Error& error = *m_sourceError;
    const Error told(
        error.description() +
            QStringLiteral(
                " The source's rows could not all be read; the table holds the %1 rows written before.")
                .arg(m_written),
        Error::Cause::Other, error.sqlState(), error.code());
    m_statement = m_select;
    m_handler.step(m_lines.moveNext, [&] { throw told; });
}

bool RowPump::sendRow(qint64 index)
{
    // A row that could not be written whole is not sent: half a statement would only add a
    // second report.
    int byRule = 0;
    const bool built = m_handler.step(m_lines.buildRow, [&] {
        m_row.resize(0);
        try {
            withRowStatement([&] { byRule = m_direction.buildRow(m_row, m_table, m_rows.Fields()); });
        } catch (const Error& error) {
            // Named by its row of the table, as the rows the server refuses are.
            throw inTableRow(error, index);
        }
    });
    if (!built) {
        ++m_progress.tally().rowsRefused;
        rowKnown();
        return true;
    }
    if (!executeRow([&] { withRowStatement([&] { m_stream->send(m_row, index); }); })) {
        m_failed = true;
        return false;
    }
    if (byRule > 0)
        m_byRule.emplace_back(index, byRule);
    return true;
}

void RowPump::takeAnswers(bool wait)
{
    Answer answer;
    while (!m_lossShown) {
        bool got = false;
        // A lost link shows with the last statement sent.
        if (!executeRow([&] { withRowStatement([&] { got = m_stream->next(answer, wait); }); })) {
            m_failed = true;
            return;
        }
        if (!got)
            return;
        take(answer);
    }
}

namespace {
// A server names the row of its statement ("at row 1"); the report names the row of the
// table, so that two refused rows do not read as one error shown twice.
Error inTableRow(const Error& error, qint64 index)
{
    static const QRegularExpression statementRow(QStringLiteral(" at row \\d+$"));
    const QString row = QString::number(index + 1);
    QString description = error.description();
    const QRegularExpressionMatch match = statementRow.match(description);
    if (match.hasMatch())
        description.replace(match.capturedStart(), match.capturedLength(), QStringLiteral(" at row ") + row);
    else
        description += QStringLiteral(" (row %1 of the table)").arg(row);
    return Error(description, error.refusedValues() ? Error::Cause::Values : Error::Cause::Other,
                 error.sqlState(), error.code());
}
} // namespace

void RowPump::take(const Answer& answer)
{
    rowKnown();
    CopyTally& tally = m_progress.tally();
    const int byRule = valuesByRule(answer.tag);
    if (!answer.error) {
        ++m_written;
        ++tally.rowsWritten;
        tally.valuesByRule += byRule;
        return;
    }
    if (answer.error->refusedValues())
        ++tally.rowsRefused;
    m_statement = QString::fromUtf8(answer.statement);
    // A refused row, and the one the target was sending when its link went, are named by
    // their row of the table.
    const bool named = answer.error->refusedValues() || (targetLost() && !answer.error->stopped());
    const Error error = named ? inTableRow(*answer.error, answer.tag) : *answer.error;
    executeRow([&] { throw error; });
    // A row whose values the server refused is that row's loss; any other failure (the
    // table is gone, a right was taken away, the disk is full) would fail every row after
    // it as well.
    if (!answer.error->refusedValues())
        m_failed = true;
}

void RowPump::rowKnown()
{
    ++m_known;
    m_handler.step(m_lines.progress, [&] { m_progress.showRows(m_known, m_lastRow); });
}

int RowPump::valuesByRule(qint64 row)
{
    // The answers come in the order of their rows.
    while (!m_byRule.empty() && m_byRule.front().first < row)
        m_byRule.pop_front();
    if (m_byRule.empty() || m_byRule.front().first != row)
        return 0;
    const int count = m_byRule.front().second;
    m_byRule.pop_front();
    return count;
}

bool RowPump::atEndOfRows() const
{
    bool end = true;
    Attempt([&] { end = m_rows.Eof(); });
    return end;
}

bool RowPump::lost() const
{
    return m_objects.lost();
}

bool RowPump::targetLost() const
{
    return m_objects.target && m_objects.target->isBroken();
}
