#pragma once

// What the benchmark prints: the servers' durability, a line for each copy as it ends,
// and the tables of the summary with their targets.

#include "bench/Options.h"
#include "bench/Turns.h"

#include <QList>

class Connection;

// The servers' durability settings, and whether they are the durable defaults.
bool describeDurability(Connection& my, Connection& pg);
// The copy and its plain loop.
void printRun(const Run& run);
// The copy beside the server's own bulk path.
void printBulk(const Run& run);
// The copy whose target refused every kRefusedEvery[i]-th row, beside the clean copy.
void printRefused(const Run& run, size_t i);
void printSummary(const Options& options, bool durable, const QList<Run>& runs);
