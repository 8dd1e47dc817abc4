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
    const char* texts[kLookbackCapacity];
    uint16_t lengths[kLookbackCapacity];  // at most 511, as in a NarrowField
};

void ResetLookbackTable(LookbackTable* table);

// Reads one lookback string into `field`. Returns the text's length (0 for the empty string), or -1 when the
// table or field is null, a word or string cannot be read, or the lookback version is below 3.
int ReadLookbackString(BodyCursor* cursor, LookbackTable* table, NarrowField* field);

// Writes the name of a collection number, or the number in decimal when it has none. Returns the text's
// length.
int CollectionName(uint32_t number, NarrowField* field);
