// The Gbx body's compact string encoding: a collection number with a fixed name, a new string that is
// remembered, or a back-reference to a string remembered earlier.
#pragma once

#include <cstdint>

#include "body_cursor.h"

// Real item lists remember far more than 32 strings, so the table keeps every non-empty new string up to
// this many. It keeps each as its place in the MapBody, which outlives the table, rather than as a copy.
const uint32_t kLookbackCapacity = 65536;

struct LookbackTable {
    uint32_t version;  // 0 until read at the first lookback string
    uint32_t count;    // strings remembered so far
    // Where each one's length word lies, counted back from the end of the body that every read's cursor
    // gives: four bytes an entry on every machine.
    uint32_t fromEnd[kLookbackCapacity];
};

void ResetLookbackTable(LookbackTable* table);

// Reads one lookback string into `field`. Returns the text's length (0 for the empty string), or -1 when the
// table or field is null, a word or string cannot be read, or the lookback version is below 3.
int ReadLookbackString(BodyCursor* cursor, LookbackTable* table, NarrowField* field);

// One lookback string as the map stores it, whole (up to 65534 bytes, zero bytes included), where it lies:
// in the MapBody, or a collection's name.
struct LookbackText {
    const char* bytes;
    uint32_t length;
};
const unsigned kNumberTextSize = 12;  // a collection number in decimal, and its terminator

// ReadLookbackString without a copy or a cut, over the same table. A collection number without a name is
// written into `number`, where the text then lies. Returns 1, or 0 where ReadLookbackString fails.
int ReadLookbackText(BodyCursor* cursor, LookbackTable* table, LookbackText* text, char number[kNumberTextSize]);

// Writes the name of a collection number, or the number in decimal when it has none. Returns the text's
// length.
int CollectionName(uint32_t number, NarrowField* field);
