// What the Linux layer's shared files (memory.cpp) take from the layer they are built into: the Linux one, or
// the page's.
#pragma once

#include <cstddef>

// A zero-filled block of `bytes` from the C heap, or null; cheap for a huge block whose memory is not touched.
void* ZeroedBlock(size_t bytes);
