// Writes ZIP archives with libzip's own writer, for the tests of the embedded files. Linux only.
#pragma once

#include <string>
#include <vector>

#include "run_cases.h"

struct ArchiveEntry {
    std::string name;     // any bytes; entries may share one
    std::string content;
    bool stored = false;  // else deflated
    bool zip64 = false;   // a ZIP64 local header, which libzip writes for data whose size it is not told
};

// The archive of the entries, in their order, every time stamp 1980-01-01. libzip flags a name that is valid
// UTF-8 as such; with `utf8Flag` false the flag is cleared again, as most maps' archives have their names.
Bytes BuildArchive(const std::vector<ArchiveEntry>& entries, bool utf8Flag = true);

// A copy with each run of `from` replaced by `to` (of the same length).
Bytes Replaced(Bytes bytes, const std::string& from, const std::string& to);

// A map whose embedded files have something wrong: one named from the maker's drive, a name two share, and
// an item listed without its file. Its report, whole, is the case's message.
RunCase EmbeddedFindingsCase();
