#pragma once

// Where the process keeps its large buffers. A copy of 10 MB values holds a few buffers of
// tens of MB at a time; glibc's allocator would move its mmap threshold up to the size of
// the first one freed and then serve the next ones from its heap, which grows in pieces it
// cannot give back, so peak memory climbed with the number of rows. A fixed threshold of
// 1 MiB keeps every large buffer in a mapping of its own, returned when freed.
void keepLargeBuffersApart();
