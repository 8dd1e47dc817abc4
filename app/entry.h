// The program's entry function, called by the start-up with the command-line tail (the command line after
// the program's own name), and the run of one map that every front door makes.
#pragma once

#include "items_report.h"
#include "map_loader.h"
#include "platform.h"
#include "sentences.h"

// MAX_PATH: a path holds at most this many UTF-16 units less one, the terminator's place.
const unsigned kPathCapacity = 260;

// One map's run: what the loader holds, the report read from it, and what the run came to.
struct MapRun {
    LoadedMap map;
    ItemsReport report;     // read only once the map is loaded
    MapFailure failure;     // the run's one failure, of whichever step; kNone when the report stands
};

// The run of the map at `path` up to its report, showing nothing: "File not found.", the load, the items
// report read and checked. True when the report stands. EndMapRun must follow either way.
bool RunMap(LPCWSTR path, MapRun* run);
// The same from a file that a front door has opened already; the run takes it over.
bool RunMapFile(HANDLE file, MapRun* run);

// Beside the message box, a body that lists no items is a map without custom items, as four public maps in
// ten are: its report is of none, without a size line. The box keeps its sentence.
void TakeNoItemsAsNone(MapRun* run);

// Has the loader release what the run holds.
void EndMapRun(MapRun* run);

// Shows the run in message boxes, as the Windows program does: the version warning when due, then the
// failure, or the report cut to the 8191 units a box holds.
void ShowMapRun(const MapRun* run);

// The report step on a MapBody alone: reads the items report and shows it.
void BuildItemsReport(const unsigned char* body, uint32_t size);

// Shows the report of the map that the tail names, or the sentence saying what is wrong. Always returns 0.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandTail, int showMode);
