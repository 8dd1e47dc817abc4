// Whole runs of the tool on generated map files, with the message boxes each must show. Every runner
// (the Linux binary, the in-process accounting test, the Windows program under Wine) checks the same table.
#pragma once

#include <string>
#include <vector>

#include "map_builder.h"

struct Message {
    bool information;  // false: the warning kind
    std::string text;  // UTF-8, lines separated by "\r\n"
};

struct RunCase {
    std::string name;
    Bytes map;
    std::vector<Message> messages;
    // How many of the MapBody, the compressed buffer and the file the run holds when its last message shows
    // (counted from the file: 1 is the file alone, 3 is all three).
    int held;
};

std::vector<RunCase> MapRunCases();

// The report the sample map shows.
std::string SampleReport();
