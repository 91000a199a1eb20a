#pragma once

// Lets the window handle its pending events (repaints, clicks) in the middle of a long
// operation. Calls closer together than a few milliseconds cost nothing, so yielding
// once per value does not slow a copy down.
void YieldToEvents();

// While a statement waits for its server, the windows keep painting and timers run; user
// input waits, so no operation can start inside another. Installed once at start.
void keepPaintingWhileWaiting();
