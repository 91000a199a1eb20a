#pragma once

// While a statement waits for its server (a lock, a slow or paused server), the database
// layer calls a hook every few hundredths of a second, so that the program can keep its
// windows painted. The layer itself knows nothing of windows; the program installs the
// hook at start.
namespace Waiting {

using Hook = void (*)();
void setHook(Hook hook);
// Calls the hook, when one is installed.
void pause();
// The longest the layer waits on a socket between two calls of the hook.
inline constexpr int kSliceMilliseconds = 40;

// The user asked the running operation to stop. From then on a wait for a server lasts at
// most a short grace, as if its time-out had passed: an answer that comes at once is still
// taken, a statement that does not answer is stopped on the server, and the call fails with
// an error that says it was stopped (Error::stopped()). Cleared when the next operation
// starts.
void requestStop();
void clearStop();
bool stopRequested();
inline constexpr int kStopGraceMilliseconds = 1000;

} // namespace Waiting

#include "app/db/Error.h"

#include <QDeadlineTimer>
#include <functional>

namespace Waiting {
// Waits until the socket is ready for the poll events or the deadline passes, calling the
// hook in between. Returns the events that are ready, or 0 when the deadline passed;
// throws when the socket cannot be waited on.
short onSocket(int socket, short events, const QDeadlineTimer& deadline);
// Waits until the condition holds or the deadline passes, calling the hook in between.
bool until(const std::function<bool()>& condition, const QDeadlineTimer& deadline);
// The deadline of a time-out given in seconds, as the connection settings give them; 0
// waits for ever.
inline QDeadlineTimer deadlineAfter(int seconds)
{
    return seconds > 0 ? QDeadlineTimer(qint64(seconds) * 1000) : QDeadlineTimer(QDeadlineTimer::Forever);
}
// The failure of a wait that ended without its answer: the user's stop when one was
// asked for, else the time-out, with its description.
inline Error expired(const QString& description)
{
    return stopRequested() ? Error::stoppedByUser() : Error(description);
}
} // namespace Waiting
