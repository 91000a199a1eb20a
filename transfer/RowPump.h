#pragma once

// The rows of one table, from the open source recordset to the target: one INSERT per row,
// sent without waiting for each answer, the answers taken in the order of their rows.

#include "app/db/Error.h"
#include "app/db/RowFormat.h"
#include "app/db/StatementStream.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

class CopyDirection;
class CopyProgress;
class Handler;
class Recordset;
struct CopyLines;
struct TransferObjects;

class RowPump
{
public:
    enum class Result {
        NotStarted,   // the rows could not be sent at all; nothing was written
        Copied,       // every row was sent; those the server confirmed are durable
        TableFailed,  // a failure that would fail every further row ended the table
        SourceFailed, // the source could not be read to its end; the rows read went to the target
        Lost,         // a server went away: nothing more can be copied in this click
        Stopped,      // the user stopped the click; the rows the server confirmed stay
    };

    RowPump(Handler& handler, QString& statement, CopyDirection& direction, TransferObjects& objects,
            CopyProgress& progress, const QString& table, const QString& select);
    ~RowPump();
    RowPump(const RowPump&) = delete;
    RowPump& operator=(const RowPump&) = delete;

    Result run();
    // The rows the target confirmed for this table.
    qint64 rowsWritten() const { return m_written; }

private:
    void sendRows();
    // Builds and sends the current row; false when the table cannot go on.
    bool sendRow(qint64 index);
    // Takes the answers that have come, or, with wait, every answer still due.
    void takeAnswers(bool wait);
    void take(const Answer& answer);
    // The source's next row; false when there is none to be had. A failure to read it is kept
    // for the report that follows the answers of the rows on their way.
    bool moveNext();
    void reportSourceFailure();
    void rowKnown();
    // Of the rows sent with values written by a type rule, the count of the answered one.
    int valuesByRule(qint64 row);
    bool atEndOfRows() const;
    bool lost() const;
    bool targetLost() const;
    // Sending a row, taking its answer and reporting its failure are the one step that
    // executes the row's INSERT.
    template <typename Body> bool executeRow(Body&& body);
    // Runs a step of the last row built: when it fails, the report shows that row's INSERT.
    // Making the text of every row would cost more than the rest of the row's work.
    template <typename Body> void withRowStatement(Body&& body);

    Handler& m_handler;
    QString& m_statement;
    CopyDirection& m_direction;
    const CopyLines& m_lines;
    TransferObjects& m_objects;
    Recordset& m_rows;
    CopyProgress& m_progress;
    const QString m_table;
    const QString m_select; // the source's statement, for the report of a failed read

    RowFormat m_format;
    std::unique_ptr<StatementStream> m_stream;
    QByteArray m_row;                   // the statement of the row built last, in UTF-8
    qint64 m_lastRow = -1;              // from the row count, for the progress bar only
    qint64 m_known = 0;                 // rows whose fate is known
    qint64 m_written = 0;               // rows the target confirmed
    bool m_failed = false;              // no further row is sent
    bool m_lossShown = false;           // the target's loss was reported: once is enough
    std::optional<Error> m_sourceError; // the source's rows could not all be read
    // The rows on their way that hold values written by a rule, and how many, in order.
    std::deque<std::pair<qint64, int>> m_byRule;
};
