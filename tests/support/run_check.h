// Runs the tool in this process against the Linux layer's trace, and checks the rules every run keeps on any
// input: at most the chunk-version warning, then exactly one message of the tool's set with its kind and
// caption; nothing acquired for a file that was not opened; the file opened first and closed last; blocks
// freed in the reverse order of taking them, none taken after the last message, none of the report's held
// while it speaks, and nothing left. Used by the in-process tests and the fuzz targets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run_cases.h"

struct RunRecord {
    std::vector<Message> messages;
    int held;            // the file and blocks held when the last message showed
    std::string broken;  // the first rule broken; empty when all hold
    std::vector<std::string> trace;
};

// wWinMain with this command-line tail (null: none).
RunRecord TracedRun(const char* tail);

// TracedRun on `map`, written to a file of this process's own and removed afterwards.
RunRecord TracedRunOnMap(const Bytes& map);

// BuildItemsReport alone on `size` bytes of body.
RunRecord TracedReport(const unsigned char* body, uint32_t size);
