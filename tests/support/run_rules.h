// What must hold after the tool has run on any bytes at all, judged from the Linux layer's trace: at most the
// chunk-version warning and then exactly one message of the tool's fixed set, with its kind and caption, every
// block freed in the reverse order of taking it, and the file closed last. Shared by the fuzz targets, the
// hostile-input test and the replay of saved fuzzer finds.
#pragma once

#include <string>
#include <vector>

#include "platform_trace.h"

// A whole run (wWinMain) on a file that exists. Returns "" when every rule holds, else the first broken one.
std::string CheckRunTrace(const std::vector<std::string>& trace, PlatformCounts after);

// BuildItemsReport alone: no file, only the report step's messages and its temporary blocks.
std::string CheckReportTrace(const std::vector<std::string>& trace, PlatformCounts after);

// The messages of a trace, as "0xSTYLE caption|text".
std::vector<std::string> TraceMessages(const std::vector<std::string>& trace);
