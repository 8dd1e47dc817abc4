// What the `tallyglass` command needs of the system it runs on: its standard streams, and standard input as a
// map. Each system has one file for these (platform/linux/console.cpp, platform/windows/console.cpp); the
// command itself is the same on every system.
#pragma once

#include <string>

#include "platform.h"
#include "sentences.h"

// Writes UTF-8 text to standard output; a console shows it as text. A reader that has gone ends the run at
// once and silently, as it ends cat; any other failure is kept (StdoutError) and makes this false.
bool WriteOut(const std::string& text);
// The first failure of a write to standard output, as the system words it; empty when there was none.
std::string StdoutError();
// Writes UTF-8 text to standard error; a failure changes nothing else.
void WriteErr(const std::string& text);

// Standard input as a file that the logic reads (RunMapFile), read once whole; its failure when it cannot be:
// "Could not open input file." where there is no standard input, "Out of memory." where it cannot be held.
// Where the system stood in the way (a temporary folder that cannot be written), `why` says so in a
// sentence of its own, which the command shows before the map's; else it is left empty.
MapFailure OpenStandardInput(HANDLE* file, std::string* why);

// Where a user of this system finds the manual, as --help names it.
extern const char kManualPlace[];

// Whether --json must be written in ASCII alone, every other character escaped: so it is on Windows to
// anything but a console, which PowerShell reads in the console's code page, never as UTF-8.
bool JsonInAscii();
