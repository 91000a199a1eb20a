#include "app/Yield.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {
constexpr qint64 kQuietNanoseconds = 8'000'000;
}

void YieldToEvents()
{
    static QElapsedTimer sinceLast;
    if (sinceLast.isValid() && sinceLast.nsecsElapsed() < kQuietNanoseconds)
        return;
    QCoreApplication::processEvents();
    sinceLast.start();
}
