// The report of the items embedded in a map: read from the MapBody's items chunk and checked in full first,
// then written out by whichever front door shows it.
#pragma once

#include <cstdint>

#include "body_cursor.h"
#include "lookback_strings.h"
#include "platform.h"
#include "sentences.h"

// Finds the items chunk: the first place, byte by byte, where the chunk id 0x03043054 is directly followed
// by the skip marker "PIKS". Returns the chunk id's address, or null when there is none.
const unsigned char* FindItemsChunk(const unsigned char* body, uint32_t size);

// Writes a byte count in a human-readable unit: "%u bytes" below 1,000, else one decimal of kB (below
// 100,000), KB, MB or GB, all powers of 1000, rounded in two steps (see RoundToTenths). The report's sizes
// are 32-bit; the embedded files' may be larger.
const unsigned kSizeTextCapacity = 128;
void FormatSize(uint64_t size, WCHAR text[kSizeTextCapacity]);

// What the items chunk says. The item list stays where it is in the MapBody and is read again by whoever
// writes it out (ItemWalk), so a report of any length takes no memory of its own.
struct ItemsReport {
    bool versionWarning;    // the chunk version is not 1: "Unsupported chunk version." comes first
    MapFailure failure;     // kNoItemsChunk or kReadError; kNone when the report stands
    uint32_t count;         // items in the list
    uint32_t embeddedSize;  // bytes of the embedded files; 0: the report has no size line
    BodyCursor items;       // the item list, when the report stands
    BodyCursor embedded;    // what follows the size field: the embedded files' archive, S bytes if all there
};

// Reads the chunk through its last field into `report`, showing nothing.
void ReadItemsReport(const unsigned char* body, uint32_t size, ItemsReport* report);

// An item's three strings as the map stores them, whole.
struct ReportItem {
    LookbackText identifier, collection, author;
};

// A pass over the item list of a standing report, with a lookback table of its own.
struct ItemWalk {
    BodyCursor cursor;
    uint32_t left;                     // items not read yet
    char numbers[3][kNumberTextSize];  // the current item's collection numbers that have no name
    LookbackTable table;
};
void BeginItemWalk(const ItemsReport* report, ItemWalk* walk);
// The next item, valid until the next call; false at the end of the list. The list was read whole when the
// report was, so the walk cannot end early on any body: `left` would then not be 0.
bool ReadReportItem(ItemWalk* walk, ReportItem* item);

// A string as the report shows it: what a NarrowField takes of it (at most 511 bytes, up to a zero byte),
// converted from UTF-8 with MultiByteToWideChar. Returns its length in UTF-16 units.
const unsigned kItemTextCapacity = 512;
unsigned ItemText(const LookbackText* string, WCHAR text[kItemTextCapacity]);

// Takes the report's text in order, piece by piece: the report's own words and line breaks, and each name
// (`name`) as ItemText gives it. Returns false when it wants no more.
typedef bool (*ReportTextOut)(void* context, const WCHAR* text, unsigned length, bool name);

// Writes out the text of a standing report: the count, a line per item, and the size line when the size is
// not 0. Lines are separated by "\r\n". False when the item list could not be read again.
bool WriteReportText(const ItemsReport* report, ReportTextOut out, void* context);
