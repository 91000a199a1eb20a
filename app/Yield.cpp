#include "app/Yield.h"

#include "app/db/Waiting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace {
constexpr qint64 kQuietNanoseconds = 8'000'000;

void paintPendingWindows()
{
    const QCoreApplication* application = QCoreApplication::instance();
    // Connections used from other threads (tests, helpers) have no windows to paint.
    if (!application || QThread::currentThread() != application->thread())
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
} // namespace

void YieldToEvents()
{
    static QElapsedTimer sinceLast;
    if (sinceLast.isValid() && sinceLast.nsecsElapsed() < kQuietNanoseconds)
        return;
    QCoreApplication::processEvents();
    sinceLast.start();
}

void keepPaintingWhileWaiting()
{
    Waiting::setHook(&paintPendingWindows);
}
