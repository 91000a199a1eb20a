#pragma once

// bench/run --wide: tables of 10 MB text values, 8 rows and then 64, copied each way near;
// a copy holds a few of them at a time, so its peak memory does not grow with the rows.

// Prints each copy's time and peak memory; 1 when a copy differs from its source or the
// peak at 64 rows is not within kMemoryTargetMiB of that at 8.
int runWideValues();
