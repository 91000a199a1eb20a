#pragma once

#include "app/db/Backend.h"
#include "app/db/Overtime.h"
#include "app/db/PacketSize.h"
#include "app/db/RowFormat.h"

#include <libpq-fe.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <deque>
#include <memory>
#include <vector>

class PostgreSQLBackend;

// Rows sent as COPY ... FROM STDIN in batches, each batch one statement that commits on its
// own (without waiting for the disk, as the session is set; finish() waits once). The rows
// of a batch are handed to the client as they come and the batch ends at a bound of rows,
// bytes or time; its answer then tells of every row in it. While a batch starts or ends, the
// next rows wait here, so that reading the source goes on.
//
// A batch the server refuses for its values is undone whole: its rows go again one INSERT
// each, through a pipeline, so that each refused row has its own answer and the others
// arrive. The next batch is half as large, and it grows back while batches pass; below a few
// rows the rows go one INSERT each until enough of them in a row have passed.
class PostgreSQLCopyStream : public StatementStream
{
public:
    PostgreSQLCopyStream(PostgreSQLBackend& backend, RowFormat format);
    ~PostgreSQLCopyStream() override;

    void send(const QByteArray& row, qint64 tag) override;
    bool next(Answer& answer, bool wait) override;
    void forgetUnsent() override;
    void discard() override;
    void finish() override;

private:
    // Bounds of a batch, and of the rows waiting for the next one.
    static constexpr int kMostBatchRows = 20000;
    static constexpr qsizetype kBatchBytes = 4 << 20;
    static constexpr qint64 kBatchMilliseconds = 50;
    // How often the connection is looked at while rows come slowly.
    static constexpr qint64 kLookMilliseconds = 10;
    static constexpr qsizetype kMostWaitingBytes = 4 << 20;
    // Rows go to the client in pieces of at most this many bytes, so that a 10 MB value does
    // not make the client's buffer as large again.
    static constexpr qsizetype kPieceBytes = 256 << 10;
    // Below this many rows a batch is not worth its two round trips: rows go one INSERT each.
    static constexpr int kLeastBatchRows = 64;

    // Rows one after another, each with its tag.
    class Rows
    {
    public:
        void append(QByteArrayView row, qint64 tag);
        // Moves the first rows of from here, up to the bounds.
        void takeFrom(Rows& from, int mostRows, qsizetype mostBytes);
        void clear();
        bool empty() const { return m_tags.empty(); }
        int size() const { return int(m_tags.size()); }
        qsizetype bytes() const { return m_lines.size(); }
        const QByteArray& lines() const { return m_lines; }
        qint64 tag(int i) const { return m_tags[size_t(i)]; }
        QByteArrayView row(int i) const;

    private:
        QByteArray m_lines;
        std::vector<qint64> m_tags;
        std::vector<qsizetype> m_ends; // where each row's line ends in m_lines
    };

    enum class State {
        Idle,     // no statement on its way
        Starting, // the COPY sent, its start not yet confirmed
        Copying,  // the batch's rows going to the server
        Ending,   // the batch ended, its answer not yet come
        Singles,  // rows going one INSERT each through the pipeline
    };

    bool takesRow(qsizetype size) const;
    bool worthPumping() const;
    // Moves things on without waiting; true when anything changed.
    bool advance(PostgreSQLBackend& backend);
    void begin(PostgreSQLBackend& backend);
    bool started(PGconn* connection);
    bool copy(PGconn* connection);
    bool ended(PGconn* connection);
    bool single(bool wait);
    // Sends what the client holds, reads what came; throws when the link is lost.
    void exchange(PostgreSQLBackend& backend);
    // Waits until anything can move; with wait, until another answer is known.
    void pump(bool wait);
    void waitOnSocket(PostgreSQLBackend& backend, QDeadlineTimer& deadline);
    // Results of the statement that ended, up to the client's end of them.
    bool resultsDone(PGconn* connection);
    void batchPassed();
    void batchRefused();
    void batchFailed(const Error& error);
    void leaveSingles();
    void passed();
    void refused();
    // Batches are worth their two round trips.
    bool batches() const { return int(m_size.next()) >= kLeastBatchRows; }
    int limit() const { return int(m_size.next()); }
    // The link went: the first row not answered says so, and what the table holds.
    void lost(const Error& error);
    bool due() const;

    std::shared_ptr<BackendLink> m_link;
    RowFormat m_format;
    QByteArray m_copy; // the COPY statement
    State m_state = State::Idle;
    Rows m_batch;                 // the batch on its way, or the rows going one INSERT each
    Rows m_waiting;               // rows for the next batch
    qsizetype m_put = 0;          // bytes of the batch handed to the client
    bool m_endBatch = false;      // the answers are waited for: the batch ends now
    bool m_abort = false;         // discarded: the batch on its way is undone
    qsizetype m_unpumped = 0;     // bytes of rows since the connection was last looked at
    QElapsedTimer m_batchClock;   // since the batch's rows began to go
    QElapsedTimer m_sincePump;    // since the connection was last looked at
    std::optional<Error> m_error; // of the batch that ended
    Overtime m_overtime;
    PacketSize m_size{kMostBatchRows}; // rows of the next batch
    int m_passes = 0;                  // rows passed one INSERT each since the last refusal
    std::unique_ptr<StatementStream> m_singles;
    int m_singlesSent = 0; // of m_batch
    qint64 m_singlesDue = 0;
    std::deque<Answer> m_ready;
    qint64 m_committed = 0;
    bool m_lost = false;
};
