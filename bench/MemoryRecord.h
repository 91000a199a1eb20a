#pragma once

// Peak memory of each direction's copies, kept per revision and row count in a file
// (--memory-record), so that the 1,000,000-row run can be set beside the 100,000-row one.

#include "bench/Options.h"
#include "bench/Turns.h"

#include <QList>

// Keeps this run's peaks and prints the comparison when the record has the other row count.
void recordMemory(const Options& options, const QList<Run>& runs);
