#include "app/OperationGuard.h"

#include "app/Program.h"
#include "app/db/Waiting.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

namespace {
bool g_running = false;
bool g_ending = false;
QPointer<QTimer> g_endAtTheLatest;

void endNow()
{
    g_ending = false;
    if (g_endAtTheLatest)
        g_endAtTheLatest->stop();
    Program::end();
}
} // namespace

OperationGuard::OperationGuard() : m_entered(!g_running)
{
    if (m_entered) {
        g_running = true;
        Waiting::clearStop();
    } else {
        QApplication::beep();
    }
}

OperationGuard::~OperationGuard()
{
    if (m_entered) {
        g_running = false;
        // A stop belongs to the operation it was asked of.
        Waiting::clearStop();
        if (g_ending)
            endNow();
    }
}

bool OperationGuard::running()
{
    return g_running;
}

void OperationGuard::endAfterStop()
{
    if (g_ending || !g_running) {
        endNow();
        return;
    }
    g_ending = true;
    Waiting::requestStop();
    // A wait on a silent server lasts a second after the stop, but an operation may have a
    // few of them ahead: the program does not wait on them for long.
    if (!g_endAtTheLatest) {
        g_endAtTheLatest = new QTimer(QCoreApplication::instance());
        g_endAtTheLatest->setSingleShot(true);
        QObject::connect(g_endAtTheLatest, &QTimer::timeout, [] {
            if (g_ending)
                endNow();
        });
    }
    g_endAtTheLatest->start(kEndGraceMilliseconds);
}

bool OperationGuard::ending()
{
    return g_ending;
}
