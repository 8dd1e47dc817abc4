// How the `tallyglass` command prints a map's run: as text for a terminal (the report on stdout, each sentence
// on stderr) or as one JSON line, with the embedded files and the game's limit when asked for.
#pragma once

#include "json.h"

// Prints the map's run as the options ask, through the system's standard streams. True when the map got its
// report, is within the limit and has no finding; false also when stdout failed.
bool PrintRun(const MapRecord& map, const PrintOptions& options);
