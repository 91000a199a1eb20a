#include "app/db/Waiting.h"

#include "app/db/Error.h"

#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <poll.h>

namespace {
std::atomic<Waiting::Hook> g_hook{nullptr};

int sliceUntil(const QDeadlineTimer& deadline)
{
    if (deadline.isForever())
        return Waiting::kSliceMilliseconds;
    return static_cast<int>(qBound(qint64(0), deadline.remainingTime(), qint64(Waiting::kSliceMilliseconds)));
}
} // namespace

void Waiting::setHook(Hook hook)
{
    g_hook = hook;
}

void Waiting::pause()
{
    if (const Hook hook = g_hook.load())
        hook();
}

short Waiting::onSocket(int socket, short events, const QDeadlineTimer& deadline)
{
    if (socket < 0)
        throw Error(QStringLiteral("The connection to the server has no socket."));
    for (;;) {
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

bool Waiting::until(const std::function<bool()>& condition, const QDeadlineTimer& deadline)
{
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        pause();
        QThread::msleep(static_cast<unsigned long>(qMin(sliceUntil(deadline), 10)));
    }
    return true;
}
