#pragma once

#include "app/db/Backend.h"
#include "app/db/PacketSize.h"

#include <QByteArrayView>
#include <deque>
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
class MySQLPacketStream : public StatementStream
{
public:
    explicit MySQLPacketStream(MySQLBackend& backend);
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
    static constexpr QByteArrayView kCommit = "COMMIT";
    static constexpr QByteArrayView kBegin = "START TRANSACTION";
    static constexpr int kDeadlock = 1213;
    static constexpr int kLockWaitTimeout = 1205;

    struct Entry
    {
        Answer answer;
        bool retried = false; // sent again after its transaction was undone
    };
    // The results of a packet, in order: a commit of the transaction left open, the
    // beginning of the packet's own, its statements, its commit.
    enum class Part { CommitOpen, Begin, Statement, Commit };

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
    std::deque<Answer> m_ready;
    qint64 m_committedRows = 0;
    bool m_inFlight = false;
    int m_status = 0;
    int m_error = 0;
};
