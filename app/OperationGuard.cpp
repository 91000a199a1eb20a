#include "app/OperationGuard.h"

#include <QApplication>

namespace {
bool g_running = false;
}

OperationGuard::OperationGuard() : m_entered(!g_running)
{
    if (m_entered)
        g_running = true;
    else
        QApplication::beep();
}

OperationGuard::~OperationGuard()
{
    if (m_entered)
        g_running = false;
}

bool OperationGuard::running()
{
    return g_running;
}
