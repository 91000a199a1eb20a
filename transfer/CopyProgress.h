#pragma once

// What a copy shows while it runs and tells when it ends: the bar names the table, its
// place in the selection and the rows done; the tally counts what each table came to.

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

class QProgressBar;
class TableList;

// What one click of a send button did.
struct CopyTally
{
    int selected = 0;
    int copied = 0;           // every row sent
    int inPart = 0;           // stopped by the user after some of its rows
    int failed = 0;           // given up: not read, not made, or ended by a failure
    int failedInPart = 0;     // of those, the ones whose copy holds some of the rows
    int notOverwritten = 0;   // the user answered No
    qint64 rowsWritten = 0;   // confirmed by the target
    qint64 rowsRefused = 0;   // refused for their values, by the target or before sending
    qint64 valuesByRule = 0;  // written otherwise than they were by a type rule (zero dates as NULL)
    QStringList shapeMissing; // copied, in whole or in part, without any of their shape
    QStringList shapePartial; // with part of it
    // With the choice "Foreign keys": the copies' own, made, refused, and left out as the
    // table they refer to is not on the target; those of other tables that referred to a
    // table overwritten, removed before its DROP, and made again after its rows.
    int foreignKeysAdded = 0;
    int foreignKeysRefused = 0;
    int foreignKeysLeftOut = 0;
    int foreignKeysRemoved = 0;
    int foreignKeysRestored = 0;
};

class CopyProgress
{
public:
    // The tables selected in the source list are the ones the copy works through.
    CopyProgress(QProgressBar* bar, const TableList& source);

    QProgressBar* bar() const { return m_bar; }
    CopyTally& tally() { return m_tally; }
    const CopyTally& tally() const { return m_tally; }

    // The next selected table: the bar shows its name and its place, "film (3 of 16)".
    void startTable(const QString& table);
    // The rows whose answer is known, of the count taken before they were read (-1 when
    // none was): the bar's value, and its words a few times a second or when asked.
    void showRows(qint64 known, qint64 lastRow, bool now = false);
    // The table's rows are done: the bar empties, its words stay until the next table.
    void tableDone();

    // "film (3 of 16): 412 of 1,000 rows"
    QString rowWords(qint64 known, qint64 lastRow) const;
    // What the click did, in one line: the tables, the rows, the time taken.
    QString summary(bool stopped, qint64 milliseconds) const;

private:
    QProgressBar* m_bar;
    CopyTally m_tally;
    int m_place = 0;
    QString m_head;
    QElapsedTimer m_sinceWords;
    bool m_rowsTold = false; // the words tell the table's rows, not only its name
};
