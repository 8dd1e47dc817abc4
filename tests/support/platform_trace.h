// Test builds of the Linux layer: linked with --wrap for its file, memory and message calls, they count what
// is held, record what happens in order and refuse allocations on demand. The shipped tool links none of it.
#pragma once

#include <string>
#include <vector>

struct PlatformCounts {
    long openFiles;
    long liveBlocks;
};

PlatformCounts PlatformCurrentCounts();

// From Begin to End every call appends one line: "CreateFileW", "CloseHandle", "GlobalAlloc N",
// "GlobalFree N" (N the block's size) and "MessageBoxW 0xSTYLE caption|text" (text as UTF-8). While
// recording, message boxes are recorded instead of shown.
void PlatformTraceBegin();
std::vector<std::string> PlatformTraceEnd();

// Makes the n-th GlobalAlloc from now on (counting from 1) fail as if the system refused it; 0 turns it off.
void PlatformFailAllocation(unsigned n);
