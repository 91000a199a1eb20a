#pragma once

class QAbstractButton;

// Lets the window handle its pending events (repaints, clicks) in the middle of a long
// operation. Calls closer together than a few milliseconds cost nothing, so yielding
// once per value does not slow a copy down.
void YieldToEvents();

// While a statement waits for its server, the windows keep painting and timers run. Of the
// user's input only what stops the operation is handled at once: a click on the stop
// button, Escape in its window, a request to close a window. Any other input waits until
// the statement has answered and is then handled in its order, so no operation can start
// inside another. Installed once at start.
void keepPaintingWhileWaiting();

// Whether a statement is waiting for its server now, so input other than Stop is held.
bool isWaitingForServer();

// The button that stops the running operation. Escape in its window clicks it whenever it
// is enabled, waiting or not.
void setStopButton(QAbstractButton* button);
