#pragma once

// While one database operation of the windows runs, it yields to the event loop so the
// windows repaint and stay responsive. A click that would start a second operation on
// the same lists in that time is refused with a beep instead of running inside the
// first one.
class OperationGuard
{
public:
    OperationGuard();
    ~OperationGuard();
    OperationGuard(const OperationGuard&) = delete;
    OperationGuard& operator=(const OperationGuard&) = delete;

    bool entered() const { return m_entered; }
    static bool running();

private:
    bool m_entered;
};
