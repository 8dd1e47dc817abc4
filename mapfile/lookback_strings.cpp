#include "lookback_strings.h"

#include <cstdio>
#include <cstring>

namespace {

struct Collection {
    uint32_t number;
    const char* name;
};

// Sorted by number, for the binary search in CollectionName: every item names a collection.
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
int SetText(NarrowField* field, const char* text, size_t length) {
    memcpy(field->text, text, length);
    field->text[length] = 0;
    field->text[sizeof field->text - 1] = 0;
    return static_cast<int>(length);
}

}  // namespace

void ResetLookbackTable(LookbackTable* table) {
    // Entries at `count` and beyond are never read, so they need no clearing.
    table->version = 0;
    table->count = 0;
}

int CollectionName(uint32_t number, NarrowField* field) {
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
        return SetText(field, kCollections[low].name, strlen(kCollections[low].name));
    }
    char decimal[32];
    const int length = snprintf(decimal, sizeof decimal, "%d", static_cast<int>(number));
    return SetText(field, decimal, static_cast<size_t>(length));
}

int ReadLookbackString(BodyCursor* cursor, LookbackTable* table, NarrowField* field) {
    if (!table || !field) return -1;
    if (table->version == 0) {
        if (!ReadU32(cursor, &table->version)) return -1;
        if (table->version < kMinimumVersion) return -1;
    }

    uint32_t value = 0;
    if (!ReadU32(cursor, &value)) return -1;
    if (value == kEmptyString) return SetText(field, "", 0);
    if ((value & kFlagBits) == 0) return CollectionName(value, field);

    const uint32_t index = value & ~kFlagBits;
    if (index == 0) {
        const unsigned char* start = cursor->position;
        const int length = ReadString(cursor, field);
        if (length > 0 && table->count < kLookbackCapacity) {
            // The field's text is the first `length` bytes behind the string's 4-byte length.
            table->texts[table->count] = reinterpret_cast<const char*>(start + 4);
            table->lengths[table->count] = static_cast<uint16_t>(length);
            ++table->count;
        }
        return length;
    }
    if (index > table->count) return SetText(field, "", 0);
    return SetText(field, table->texts[index - 1], table->lengths[index - 1]);
}
