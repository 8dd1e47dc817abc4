// The program's entry function, called by the start-up with the command-line tail (the command line after
// the program's own name), and the run of one map that it makes.
#pragma once

#include "items_report.h"
#include "map_loader.h"
#include "platform.h"

// MAX_PATH: a path holds at most this many UTF-16 units less one, the terminator's place.
const unsigned kPathCapacity = 260;

// One map's run: what the loader holds and the report read from it.
struct MapRun {
    LoadedMap map;
    ItemsReport report;
};

// The run of the map at `path` up to its report: "File not found.", the load, the items report read and
// checked. Every sentence due on the way (a failure, the version warning) is shown. True when `run->report`
// stands: it is to be shown or printed before EndMapRun. EndMapRun must follow either way.
bool RunMap(LPCWSTR path, MapRun* run);

// Has the loader release what the run holds.
void EndMapRun(MapRun* run);

// Shows the report of the map that the tail names, or the sentence saying what is wrong. Always returns 0.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandTail, int showMode);
