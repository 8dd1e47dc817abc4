// The report of the items embedded in a map: read from the MapBody's items chunk and checked in full first,
// then shown in one message box or handed to another printer.
#pragma once

#include <cstdint>

#include "body_cursor.h"
#include "platform.h"

// Finds the items chunk: the first place, byte by byte, where the chunk id 0x03043054 is directly followed
// by the skip marker "PIKS". Returns the chunk id's address, or null when there is none.
const unsigned char* FindItemsChunk(const unsigned char* body, uint32_t size);

// Writes a byte count of 1 or more in a human-readable unit: "%u bytes" below 1,000, else one decimal of kB
// (below 100,000), KB, MB or GB, all powers of 1000, rounded in two steps (see RoundToTenths).
const unsigned kSizeTextCapacity = 128;
void FormatSize(uint32_t size, WCHAR text[kSizeTextCapacity]);

// What the items chunk says. The item list stays where it is in the MapBody and is read again by whoever
// prints it (ReadReportItem), so a report of any length takes no memory of its own.
struct ItemsReport {
    bool versionWarning;    // the chunk version is not 1: "Unsupported chunk version." comes first
    LPCWSTR failure;        // the one failure sentence; null when the report stands
    uint32_t count;         // items in the list
    uint32_t embeddedSize;  // bytes of the embedded files; 0: the report has no size line
    BodyCursor items;       // the item list, when the report stands
};

// Reads the chunk through its last field into `report`, showing nothing.
void ReadItemsReport(const unsigned char* body, uint32_t size, ItemsReport* report);

// One string of an item as wide text, converted from the body's UTF-8 as the box shows it.
const unsigned kItemTextCapacity = 512;
struct ItemText {
    WCHAR text[kItemTextCapacity];  // not terminated
    unsigned length;
};
struct ReportItem {
    ItemText identifier, collection, author;
};

// A pass over the item list of a standing report. Passes share one lookback table: one at a time.
struct ItemWalk {
    BodyCursor cursor;
    uint32_t left;
    LPCWSTR failure;  // set when an item could not be read again: only a refused temporary block does that
};
void BeginItemWalk(const ItemsReport* report, ItemWalk* walk);
// False at the end of the list, or on a failure (walk->failure).
bool ReadReportItem(ItemWalk* walk, ReportItem* item);

// Shows the version warning when due, then the failure if there is one. True when the report stands.
bool ShowReportWarnings(const ItemsReport* report);

// Shows the text of a standing report with the information kind: the box's 8191 units at most, each name
// passed through `showName` first when one is given (a printer that splits lines keeps a name on its own).
// A failure while reading the items again shows its sentence instead.
typedef void (*NameFilter)(ItemText* name);
void ShowReportText(const ItemsReport* report, NameFilter showName);

// The report step: reads the report, then shows it or its failure, each warning first.
void BuildItemsReport(const unsigned char* body, uint32_t size);
