#include "app/LargeBuffers.h"

#include <malloc.h>

void keepLargeBuffersApart()
{
    // Setting the threshold also stops glibc from moving it; a failure leaves the default.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
}
