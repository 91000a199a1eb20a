#pragma once

// A statement past its command time-out, handled alike on both servers: the server is
// asked to stop it, each server in its own way, and the statement gets a few seconds more
// to end; a server that answers neither is given up, and the connection with it.

#include "app/db/Error.h"
#include "app/db/Waiting.h"

#include <QDeadlineTimer>
#include <functional>
#include <utility>

class Overtime
{
public:
    // How long the request to stop may take, and the statement's end after it: a stalled
    // server answers neither.
    static constexpr int kGraceMilliseconds = 5000;
    // Sends the server the request to stop the statement, taking no longer than until.
    using AskToStop = std::function<void(const QDeadlineTimer& until)>;

    // The statement's deadline passed. The first time, the server is asked to stop it and
    // the deadline moves a grace ahead: true, the wait goes on. After that, false: the
    // statement is past its grace too, and the caller gives the connection up.
    bool extend(QDeadlineTimer& deadline, const AskToStop& ask)
    {
        if (std::exchange(m_asked, true))
            return false;
        ask(QDeadlineTimer(kGraceMilliseconds));
        deadline.setRemainingTime(kGraceMilliseconds);
        return true;
    }
    // Whether the server was asked to stop the statement.
    bool asked() const { return m_asked; }

    // The failure of a statement stopped after its time-out (or by the user).
    static Error timedOut() { return Waiting::expired(QStringLiteral("Query timeout expired")); }
    // The failure of a statement whose server was given up.
    static Error givenUp()
    {
        return Waiting::expired(QStringLiteral(
            "Query timeout expired: the server did not answer, and the connection to it was closed."));
    }

private:
    bool m_asked = false;
};
