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

    // A window closed while an operation runs: the operation is stopped, and the program
    // ends once it has unwound, or after kEndGraceMilliseconds when it has not by then. A
    // second request ends the program at once.
    static void endAfterStop();
    // The program ends as soon as the running operation has: nothing more is shown.
    static bool ending();
    static constexpr int kEndGraceMilliseconds = 5000;

private:
    bool m_entered;
};
