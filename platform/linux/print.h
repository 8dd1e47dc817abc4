// How the `tallyglass` command prints a map's run: as text for a terminal (the report on stdout, each sentence
// on stderr) or as one JSON line, with the embedded files and the game's limit when asked for.
#pragma once

#include <cstdint>
#include <string>

#include "entry.h"

// A map as its argument names it.
struct MapName {
    bool standardInput;   // the argument "-"
    std::string bytes;    // the argument as given
    std::u16string path;  // as the logic takes it (see FileNameToUtf16); "standard input" for "-"
    std::string shown;    // as a terminal shows it, on one line
};

// A limit on the map file's size: a game's, or a byte count given.
struct SizeLimit {
    const char* name;  // the game's, as --limit takes it; null for a byte count
    const char* game;  // as a person names it
    uint64_t bytes;
};

struct PrintOptions {
    bool json;
    bool files;               // the embedded files, and what is wrong with them
    const SizeLimit* limit;   // null: none
};

// Prints the run as the options ask. True when the map got its report and, with a limit, is not over it;
// false also when stdout failed.
bool PrintRun(const MapName& name, const MapRun* run, const PrintOptions& options);
