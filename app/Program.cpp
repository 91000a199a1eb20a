#include "app/Program.h"

#include "app/db/Error.h"

#include <QDesktopServices>
#include <QRandomGenerator>
#include <QTime>
#include <QUrl>
#include <cstdio>
#include <unistd.h>

namespace {
std::function<void()> g_end;
std::function<int()> g_draw;
std::function<void(const QString&)> g_open;
} // namespace

void Program::end()
{
    if (g_end) {
        g_end();
        return;
    }
    // Every setting was written when it changed and no connection outlives its
    // operation, so nothing is lost by leaving without unwinding a running operation.
    std::fflush(nullptr);
    ::_exit(0);
}

int Program::drawOneInAHundred()
{
    if (g_draw)
        return g_draw();
    QRandomGenerator generator(static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay() / 1000));
    return static_cast<int>(generator.generateDouble() * 100) + 1;
}

void Program::openInBrowser(const QString& address)
{
    if (g_open) {
        g_open(address);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl(address)))
        throw Error(QStringLiteral("File not found: cannot open %1").arg(address));
}

void Program::setEndForTests(std::function<void()> end)
{
    g_end = std::move(end);
}

void Program::setDrawForTests(std::function<int()> draw)
{
    g_draw = std::move(draw);
}

void Program::setBrowserForTests(std::function<void(const QString&)> open)
{
    g_open = std::move(open);
}
