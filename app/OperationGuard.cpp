#include "app/OperationGuard.h"

#include "app/db/Waiting.h"

#include <QApplication>

namespace {
bool g_running = false;
}

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
    }
}

bool OperationGuard::running()
{
    return g_running;
}
