#include "lookback_strings.h"

#include <cstdio>
#include <cstring>

#include "little_endian.h"

namespace {

struct Collection {
    uint32_t number;
    const char* name;
};

// Sorted by number, for the binary search in CollectionText: every item names a collection.
const Collection kCollections[] = {
    {11, "Valley"},    {12, "Canyon"},    {13, "Lagoon"},   {14, "Arena"},  {15, "Test8"},
    {16, "Test9"},     {17, "TMCommon"},  {100, "History"}, {101, "Society"}, {102, "Galaxy"},
    {103, "Test1"},    {104, "Test2"},    {105, "Test3"},   {200, "Gothic"}, {201, "Paris"},
    {202, "Storm"},    {203, "Cryo"},     {204, "Meteor"},  {205, "Test1"},  {206, "Test2"},
    {207, "Test3"},    {299, "SMCommon"}, {10001, "Orbital"}, {10002, "Actors"}, {10003, "Common"},
};

const uint32_t kEmptyString = 0xFFFFFFFFu;
const uint32_t kFlagBits = 0xC0000000u;
const uint32_t kMinimumVersion = 3;

// Writes the text and its terminator, and keeps the field's last byte zero. The bytes in between are left as
// they are: every reader stops at the terminator, and clearing the whole field would cost more than reading
// the item.
int SetText(NarrowField* field, const void* text, size_t length) {
    memcpy(field->text, text, length);
    field->text[length] = 0;
    field->text[sizeof field->text - 1] = 0;
    return static_cast<int>(length);
}

// The name of a collection number, or the number in decimal written into `number`.
LookbackText CollectionText(uint32_t number, char decimal[kNumberTextSize]) {
    size_t low = 0, high = sizeof kCollections / sizeof kCollections[0];
    while (low < high) {
        const size_t middle = (low + high) / 2;
        if (kCollections[middle].number < number) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low < sizeof kCollections / sizeof kCollections[0] && kCollections[low].number == number) {
        return {kCollections[low].name, static_cast<uint32_t>(strlen(kCollections[low].name))};
    }
    const int length = snprintf(decimal, kNumberTextSize, "%d", static_cast<int>(number));
    return {decimal, static_cast<uint32_t>(length)};
}

enum ValueKind { kFailed, kEmptyValue, kCollectionValue, kNewString, kRememberedString };

// Reads the lookback version when the table has none yet, then a value: what it stands for, and in *value
// the collection number or the index.
ValueKind ReadValue(BodyCursor* cursor, LookbackTable* table, uint32_t* value) {
    if (table->version == 0) {
        if (!ReadU32(cursor, &table->version)) return kFailed;
        if (table->version < kMinimumVersion) return kFailed;  // the value stays stored
    }
    if (!ReadU32(cursor, value)) return kFailed;
    if (*value == kEmptyString) return kEmptyValue;
    if ((*value & kFlagBits) == 0) return kCollectionValue;
    *value &= ~kFlagBits;
    return *value == 0 ? kNewString : kRememberedString;
}

// Remembers the new string whose length word lies at `start`, while there is room.
void Remember(LookbackTable* table, const BodyCursor* cursor, const unsigned char* start) {
    if (table->count < kLookbackCapacity) table->fromEnd[table->count++] = static_cast<uint32_t>(cursor->end - start);
}

// The remembered string `index` (from 1), or the empty string when none is remembered there.
LookbackText Remembered(const LookbackTable* table, const BodyCursor* cursor, uint32_t index) {
    if (index > table->count) return {"", 0};
    const unsigned char* start = cursor->end - table->fromEnd[index - 1];
    return {reinterpret_cast<const char*>(start + 4), LoadLittleEndian32(start)};
}

}  // namespace

void ResetLookbackTable(LookbackTable* table) {
    // Entries at `count` and beyond are never read, so they need no clearing.
    table->version = 0;
    table->count = 0;
}

int CollectionName(uint32_t number, NarrowField* field) {
    char decimal[kNumberTextSize];
    const LookbackText text = CollectionText(number, decimal);
    return SetText(field, text.bytes, text.length);
}

int ReadLookbackString(BodyCursor* cursor, LookbackTable* table, NarrowField* field) {
    if (!table || !field) return -1;
    uint32_t value = 0;
    switch (ReadValue(cursor, table, &value)) {
        case kFailed: return -1;
        case kEmptyValue: return SetText(field, "", 0);
        case kCollectionValue: return CollectionName(value, field);
        case kNewString: {
            const unsigned char* start = cursor->position;
            const int length = ReadString(cursor, field);
            if (length > 0) Remember(table, cursor, start);
            return length;
        }
        case kRememberedString: break;
    }
    // A remembered string as a field holds it: it was read into one when it was new.
    const LookbackText text = Remembered(table, cursor, value);
    return SetText(field, text.bytes, FieldLength(text.bytes, text.length));
}

int ReadLookbackText(BodyCursor* cursor, LookbackTable* table, LookbackText* text, char number[kNumberTextSize]) {
    uint32_t value = 0;
    switch (ReadValue(cursor, table, &value)) {
        case kFailed: return 0;
        case kEmptyValue: *text = {"", 0}; return 1;
        case kCollectionValue: *text = CollectionText(value, number); return 1;
        case kNewString: break;
        case kRememberedString: *text = Remembered(table, cursor, value); return 1;
    }
    // As ReadString reads it, and remembered alike: only when a field would not hold it empty.
    const unsigned char* start = cursor->position;
    uint32_t length = 0;
    if (!ReadU32(cursor, &length) || length >= kMaxStringLength ||
        length > static_cast<uintptr_t>(cursor->end - cursor->position)) {
        return 0;
    }
    *text = {reinterpret_cast<const char*>(cursor->position), length};
    cursor->position += length;
    if (FieldLength(text->bytes, length) > 0) Remember(table, cursor, start);
    return 1;
}
