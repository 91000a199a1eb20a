#include "app/db/Waiting.h"

#include "app/db/Error.h"

#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <poll.h>

namespace {
std::atomic<Waiting::Hook> g_hook{nullptr};
std::atomic<bool> g_stop{false};

int sliceUntil(const QDeadlineTimer& deadline)
{
    if (deadline.isForever())
        return Waiting::kSliceMilliseconds;
    return static_cast<int>(qBound(qint64(0), deadline.remainingTime(), qint64(Waiting::kSliceMilliseconds)));
}

// A wait that sees the stop lasts no longer than the grace from then on.
class Grace
{
public:
    void shorten(QDeadlineTimer& deadline)
    {
        if (!g_stop)
            return;
        if (!m_since)
            m_since = QDeadlineTimer(Waiting::kStopGraceMilliseconds);
        if (deadline.isForever() || m_since->deadlineNSecs() < deadline.deadlineNSecs())
            deadline = *m_since;
    }

private:
    std::optional<QDeadlineTimer> m_since;
};
} // namespace

void Waiting::requestStop()
{
    g_stop = true;
}

void Waiting::clearStop()
{
    g_stop = false;
}

bool Waiting::stopRequested()
{
    return g_stop;
}

void Waiting::setHook(Hook hook)
{
    g_hook = hook;
}

void Waiting::pause()
{
    if (const Hook hook = g_hook.load())
        hook();
}

short Waiting::onSocket(int socket, short events, const QDeadlineTimer& until)
{
    if (socket < 0)
        throw Error(QStringLiteral("The connection to the server has no socket."));
    QDeadlineTimer deadline = until;
    Grace grace;
    for (;;) {
        grace.shorten(deadline);
        pollfd entry{socket, events, 0};
        const int ready = poll(&entry, 1, sliceUntil(deadline));
        if (ready < 0 && errno != EINTR)
            throw Error(QStringLiteral("Waiting for the server failed: ") +
                        QString::fromLocal8Bit(strerror(errno)));
        if (ready > 0)
            return entry.revents ? entry.revents : events;
        if (deadline.hasExpired())
            return 0;
        pause();
    }
}

bool Waiting::until(const std::function<bool()>& condition, const QDeadlineTimer& until)
{
    QDeadlineTimer deadline = until;
    Grace grace;
    while (!condition()) {
        grace.shorten(deadline);
        if (deadline.hasExpired())
            return false;
        pause();
        QThread::msleep(static_cast<unsigned long>(qMin(sliceUntil(deadline), 10)));
    }
    return true;
}
