// The `tallyglass` command, the same on every system: GNU-style options, each argument a map, each map's run
// printed as text or as one JSON line, and an exit status that tells how the maps fared. Outside the Windows
// box, a report is whole, however long, and a path as long as the system allows.
#pragma once

#include <string>
#include <vector>

#include "utf.h"

// An argument as the system gives it.
struct Argument {
    std::string text;     // its bytes (Linux) or its UTF-8 (Windows): options are read from it
    WideString path;  // the path the logic opens when it names a map
};

// Runs the command; returns its exit status: 0 when every map got its report (within the limit), 1 when any
// did not or standard output failed, 2 on a usage error.
int RunCommand(const std::vector<Argument>& arguments);
