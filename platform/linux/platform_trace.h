// Test-only view into the Linux platform layer: what is held right now, the order in which files, blocks and
// message boxes come and go, and allocation failures on demand. The product never calls these.
#pragma once

#include <string>
#include <vector>

struct PlatformCounts {
    long openFiles;
    long liveBlocks;
};

PlatformCounts PlatformCurrentCounts();

// From Begin to End every operation appends one line: "CreateFileW", "CloseHandle", "GlobalAlloc N",
// "GlobalFree N" (N the block's size) and "MessageBoxW 0xSTYLE caption|text" (text as UTF-8). While
// recording, message boxes are recorded instead of printed.
void PlatformTraceBegin();
std::vector<std::string> PlatformTraceEnd();

// Makes the n-th GlobalAlloc from now on (counting from 1) fail as if the system refused it; 0 turns it off.
void PlatformFailAllocation(unsigned n);
