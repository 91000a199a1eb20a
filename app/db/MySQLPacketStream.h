#pragma once

#include "app/db/Backend.h"
#include "app/db/PacketSize.h"
#include "app/db/RowFormat.h"

#include <QByteArrayView>
#include <deque>
#include <optional>
#include <vector>

class MySQLBackend;

// Statements sent several to a packet, as one statement text, in transactions:
//   [COMMIT;] [START TRANSACTION;] s1; ...; sn[; COMMIT]
// The server runs them in order and stops at the first that fails. InnoDB undoes that
// statement alone: the statements before it wait in the open transaction, and the rest go
// out again in the next packet, which carries fewer statements after each refusal and more
// again after each packet that ran whole (PacketSize). A transaction spans packets until it
// holds what one full packet holds, then commits, so small packets do not commit more
// often. An answer is handed out only once its transaction committed, in the order the
// statements were sent, so a row counts as written when it is durable as the server's own
// setting makes commits. An error that undoes the whole transaction (a deadlock, a failed
// commit, a lock-wait time-out where the server rolls back on it) sends the transaction's
// statements again, once. A lost link is the answer of the first statement not confirmed,
// which says how many rows the table holds. With a target engine without transactions each
// statement commits on its own. One packet is on its way while the next is being filled.
//
// Given a row format, the stream takes rows: several rows go as one INSERT ... VALUES
// (...),(...) up to the packet's room and a count of rows, each row answered on its own
// once the statement committed. A statement the server refuses for its values undoes only
// itself: its rows go again one INSERT each in the same transaction, so that the refused
// row has its own answer, and the next statements carry fewer rows, more again while they
// pass (PacketSize). Into a table without transactions each row goes alone, as a refused
// statement of several rows would leave those before the refused one behind.
class MySQLPacketStream : public StatementStream
{
public:
    explicit MySQLPacketStream(MySQLBackend& backend, const RowFormat* rows = nullptr);
    ~MySQLPacketStream() override
    {
        try {
            discard();
        } catch (...) {
            // The connection is lost; nothing more is read from it.
        }
    }

    void send(const QByteArray& statement, qint64 tag) override;
    bool next(Answer& answer, bool wait) override;
    void forgetUnsent() override;
    // Rows answered but not committed are undone: nothing commits unseen.
    void discard() override;
    // Each answer was handed out once its transaction committed.
    void finish() override {}

private:
    static constexpr size_t kPacketStatements = 5000;
    static constexpr qint64 kPacketBytes = 4 << 20;
    // Rows: a packet commits its rows, and the bar moves with its answers: one of a few
    // hundred milliseconds' work. A statement carries at most so many rows.
    static constexpr qint64 kRowPacketBytes = 1 << 20;
    static constexpr size_t kStatementRows = 5000;
    static constexpr QByteArrayView kCommit = "COMMIT";
    static constexpr QByteArrayView kBegin = "START TRANSACTION";
    // The words around a transaction's statements in a packet: a commit of the one before,
    // its beginning and its commit.
    static constexpr qint64 kFrameBytes = kCommit.size() + 1 + kBegin.size() + 1 + kCommit.size();
    static constexpr int kDeadlock = 1213;
    static constexpr int kLockWaitTimeout = 1205;

    struct Entry
    {
        Answer answer;
        bool retried = false; // sent again after its transaction was undone
        // The rows of a statement of several: each row's tag, and where its values end in
        // the statement. Empty for a statement that is answered as one.
        std::vector<qint64> tags;
        std::vector<qsizetype> ends;
    };
    // The results of a packet, in order: a commit of the transaction left open, the
    // beginning of the packet's own, its statements, its commit.
    enum class Part { CommitOpen, Begin, Statement, Commit };

    // Adds a row to the statement of several at the end of the queue, or begins one.
    void queueRow(const QByteArray& row, qint64 tag);
    bool packetDue() const;
    void sendQueued();
    static qint64 rowsOf(const Entry& entry);
    // A row of a statement of several, and its own INSERT.
    QByteArrayView rowOf(const Entry& entry, size_t row) const;
    // The answers of a statement: one, or one for each of its rows.
    void release(Entry entry);
    // A statement of several rows was refused: its rows go again one INSERT each, first.
    void sendRowsAlone(Entry entry);
    // An answer leaves once every statement sent before it has.
    void settle(Entry entry);
    qint64 heldRows() const;
    // The open transaction committed: its answers leave.
    void committed();
    // Sends the statements at the front of the queue as one packet, without waiting; with
    // none, the commit of the answers that wait for one.
    void startPacket();
    Entry takeQueued();
    // Waits for the results of the packet on its way and sorts them to its statements.
    void completePacket();
    void succeeded(Part part, size_t& statement);
    // The part of the packet at index failed. The server ran nothing after it.
    void failed(size_t index, size_t statement, Error error, bool linkLost);
    // The link is lost, with the open transaction and what was not yet answered: the
    // first statement not confirmed (held, else the packet's from the index on, else
    // queued) is answered with the loss.
    void lose(size_t statement, const Error& error);
    // A statement of the packet ran in the open transaction.
    void ranInTransaction(const Entry& entry);
    void closeTransaction();
    // Commits the open transaction now, as the head of the next packet would.
    void commitNow();
    // The whole transaction was undone: its statements go out again, once, before those
    // the packet did not run. A second time ends the table, with one answer that says how
    // many rows are in.
    void undone(Part part, size_t statement, const Error& error);
    // The packet's statements from the index on were not run: they go out again first.
    void requeue(size_t from);

    std::shared_ptr<BackendLink> m_link;
    qint64 m_largest = 0;
    qint64 m_packetBytes = 0;
    bool m_transactional = true;
    bool m_timeoutUndoesAll = false;
    std::deque<Entry> m_queue;
    qint64 m_queuedBytes = 0;
    std::vector<Part> m_parts;   // of the packet on its way
    std::deque<Entry> m_packet;  // its statements
    QByteArray m_text;           // its text
    std::deque<Entry> m_held;    // answered in the open transaction, waiting for its commit
    bool m_open = false;         // a transaction is open on the server
    size_t m_openStatements = 0; // the statements it ran
    qint64 m_openBytes = 0;      // their text, as one packet would hold it
    PacketSize m_size{kPacketStatements};
    std::optional<RowFormat> m_rows; // given rows, not statements
    QByteArray m_insertHead;         // INSERT INTO `t` VALUES
    PacketSize m_statementRows{kStatementRows};
    std::deque<Answer> m_ready;
    qint64 m_committedRows = 0;
    bool m_inFlight = false;
    int m_status = 0;
    int m_error = 0;
};
