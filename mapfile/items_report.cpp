#include "items_report.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "body_cursor.h"
#include "lookback_strings.h"

namespace {

const unsigned char kItemsChunk[8] = {0x54, 0x30, 0x04, 0x03, 'P', 'I', 'K', 'S'};
const uint32_t kMaxItemCount = 0x10000000u;
const uint32_t kSupportedVersion = 1;

// Widens the report's own words (fewer than 64 characters at a time) for ReportTextOut.
bool WriteAscii(ReportTextOut out, void* context, const char* text) {
    WCHAR wide[64];
    unsigned length = 0;
    for (; text[length] != 0; ++length) wide[length] = static_cast<unsigned char>(text[length]);
    return out(context, wide, length, false);
}

bool WriteName(ReportTextOut out, void* context, const LookbackText* name) {
    WCHAR text[kItemTextCapacity];
    return out(context, text, ItemText(name, text), true);
}

// 64 x 64 -> 128-bit product as two halves, portable to targets without a 128-bit integer type.
void MultiplyWide(uint64_t a, uint64_t b, uint64_t* high, uint64_t* low) {
    const uint64_t aLow = a & 0xFFFFFFFFu, aHigh = a >> 32;
    const uint64_t bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
    const uint64_t lowLow = aLow * bLow;
    const uint64_t lowHigh = aLow * bHigh;
    const uint64_t highLow = aHigh * bLow;
    const uint64_t middle = (lowLow >> 32) + (lowHigh & 0xFFFFFFFFu) + (highLow & 0xFFFFFFFFu);
    *low = (middle << 32) | (lowLow & 0xFFFFFFFFu);
    *high = aHigh * bHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32);
}

uint64_t PowerOfTen(unsigned exponent) {
    uint64_t power = 1;
    while (exponent-- > 0) power *= 10;
    return power;
}

// Rounds a quotient of at least 1 (and below 2^53) to tenths in two steps, so that every platform shows the
// same digits:
// first to 17 significant digits, looking only at the 18th digit of its exact decimal expansion, then that
// digit string to one decimal, looking only at the next digit. 1.45 (really 1.44999999999999995559...)
// becomes 1.4500000000000000 and then 1.5; a single correct rounding would give 1.4.
uint64_t RoundToTenths(double quotient) {
    // quotient = mantissa / 2^shift exactly, with a 53-bit mantissa; from 1 up the shift is at most 52, and it
    // is at least 18 for any quotient of sizes below 2^64. Both come from the IEEE 754 bits of the (normal,
    // positive) double, so the tool needs no maths library.
    uint64_t bits = 0;
    memcpy(&bits, &quotient, sizeof bits);
    const uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | uint64_t{1} << 52;
    const unsigned shift = static_cast<unsigned>(1075 - static_cast<int>((bits >> 52) & 0x7FF));

    unsigned wholeDigits = 1;
    for (uint64_t whole = static_cast<uint64_t>(quotient); whole >= 10; whole /= 10) ++wholeDigits;

    // The first 18 significant digits, truncated: floor(quotient * 10^(18 - wholeDigits)) < 10^18 < 2^60.
    uint64_t high = 0, low = 0;
    MultiplyWide(mantissa, PowerOfTen(18 - wholeDigits), &high, &low);
    const uint64_t digits18 = (high << (64 - shift)) | (low >> shift);

    const uint64_t digits17 = digits18 / 10 + (digits18 % 10 >= 5 ? 1 : 0);
    const uint64_t hundredths = digits17 / PowerOfTen(17 - wholeDigits - 2);
    return hundredths / 10 + (hundredths % 10 >= 5 ? 1 : 0);
}

// Writes `value` in decimal at `out`; returns the place behind it.
char* PutDecimal(char* out, uint64_t value) {
    char digits[20];
    unsigned count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) *out++ = digits[--count];
    return out;
}

// When memchr finds the chunk id's first byte this many times in a row less than kCloseHit bytes apart, the
// next kScanStretch positions are searched with ScanForChunk.
const ptrdiff_t kCloseHit = 64;
const unsigned kCloseHitsBeforeScan = 8;
const size_t kScanStretch = 64 * 1024;

uint64_t Load64(const unsigned char* bytes) {
    uint64_t value = 0;
    memcpy(&value, bytes, sizeof value);
    return value;
}

// The first of the positions first..stop where the items chunk starts, or null. Tests eight positions at a
// time for the whole chunk id with word operations (a zero byte in the combined difference marks a
// position where all four bytes match) and only such positions in full, so its speed does not depend on
// how the body's bytes are spread. `stop` must leave room for the chunk id and marker behind it.
const unsigned char* ScanForChunk(const unsigned char* first, const unsigned char* stop) {
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t highs = 0x8080808080808080ull;
    const unsigned char* position = first;
    // Positions position..position+7 need bytes up to position+14; the last of them is at most stop+7.
    while (stop - position >= 7) {
        const uint64_t differs =
            (Load64(position) ^ ones * kItemsChunk[0]) | (Load64(position + 1) ^ ones * kItemsChunk[1]) |
            (Load64(position + 2) ^ ones * kItemsChunk[2]) | (Load64(position + 3) ^ ones * kItemsChunk[3]);
        if (((differs - ones) & ~differs & highs) != 0) {
            for (unsigned i = 0; i < 8; ++i) {
                if (memcmp(position + i, kItemsChunk, sizeof kItemsChunk) == 0) return position + i;
            }
        }
        position += 8;
    }
    for (; position <= stop; ++position) {
        if (memcmp(position, kItemsChunk, sizeof kItemsChunk) == 0) return position;
    }
    return nullptr;
}

}  // namespace

const unsigned char* FindItemsChunk(const unsigned char* body, uint32_t size) {
    if (size < sizeof kItemsChunk) return nullptr;
    // memchr is the fastest byte search every C runtime has, as long as the chunk id's first byte is rare.
    // Where it comes thick (a body full of 0x54), memchr would stop at nearly every byte, so a stretch is
    // searched with ScanForChunk instead, which does not slow down with it.
    const unsigned char* position = body;
    const unsigned char* last = body + (size - sizeof kItemsChunk);
    unsigned closeHits = 0;
    while (position <= last) {
        const void* hit = memchr(position, kItemsChunk[0], static_cast<size_t>(last - position) + 1);
        if (!hit) return nullptr;
        const unsigned char* candidate = static_cast<const unsigned char*>(hit);
        if (memcmp(candidate, kItemsChunk, sizeof kItemsChunk) == 0) return candidate;
        closeHits = candidate - position < kCloseHit ? closeHits + 1 : 0;
        position = candidate + 1;
        if (closeHits == kCloseHitsBeforeScan && position <= last) {
            closeHits = 0;
            const size_t left = static_cast<size_t>(last - position);
            const unsigned char* stop = position + (left < kScanStretch ? left : kScanStretch - 1);
            const unsigned char* found = ScanForChunk(position, stop);
            if (found) return found;
            position = stop + 1;
        }
    }
    return nullptr;
}

void FormatSize(uint64_t size, WCHAR text[kSizeTextCapacity]) {
    char narrow[kSizeTextCapacity];
    char* end = narrow;
    const char* unit = " bytes";
    if (size < 1000) {
        end = PutDecimal(end, size);
    } else {
        unit = size < 100000 ? " kB" : size < 1000000 ? " KB" : size < 1000000000 ? " MB" : " GB";
        const double divisor = size < 1000000 ? 1e3 : size < 1000000000 ? 1e6 : 1e9;
        const uint64_t tenths = RoundToTenths(static_cast<double>(size) / divisor);
        end = PutDecimal(end, tenths / 10);
        *end++ = '.';
        *end++ = static_cast<char>('0' + tenths % 10);
    }
    while (*unit != 0) *end++ = *unit++;
    unsigned i = 0;
    for (; narrow + i != end; ++i) text[i] = static_cast<WCHAR>(narrow[i]);
    text[i] = 0;
}

void ReadItemsReport(const unsigned char* body, uint32_t size, ItemsReport* report) {
    *report = ItemsReport{};
    const unsigned char* chunk = FindItemsChunk(body, size);
    if (!chunk) {
        report->failure = MapFailure::kNoItemsChunk;
        return;
    }
    BodyCursor cursor = {chunk + sizeof kItemsChunk, body + size};
    report->failure = MapFailure::kReadFailed;  // until the last field is read

    uint32_t chunkSize = 0;
    if (!ReadU32(&cursor, &chunkSize) || chunkSize == 0 || chunkSize > size) return;
    uint32_t version = 0;
    if (!ReadU32(&cursor, &version)) return;
    report->versionWarning = version != kSupportedVersion;
    uint32_t ignored = 0;
    if (!ReadU32(&cursor, &ignored) || !ReadU32(&cursor, &ignored)) return;
    if (!ReadU32(&cursor, &report->count) || report->count > kMaxItemCount) return;

    report->items = cursor;
    LookbackTable table;  // the list is read whole, and nothing is shown
    ResetLookbackTable(&table);
    NarrowField field;
    for (uint32_t item = 0; item < report->count; ++item) {
        for (int string = 0; string < 3; ++string) {
            if (ReadLookbackString(&cursor, &table, &field) < 0) return;
        }
    }
    if (!ReadU32(&cursor, &report->embeddedSize)) return;
    report->embedded = cursor;
    report->failure = MapFailure::kNone;
}

void BeginItemWalk(const ItemsReport* report, ItemWalk* walk) {
    walk->cursor = report->items;
    walk->left = report->count;
    ResetLookbackTable(&walk->table);
}

bool ReadReportItem(ItemWalk* walk, ReportItem* item) {
    if (walk->left == 0) return false;
    LookbackText* strings[] = {&item->identifier, &item->collection, &item->author};
    for (int i = 0; i < 3; ++i) {
        if (!ReadLookbackText(&walk->cursor, &walk->table, strings[i], walk->numbers[i])) return false;
    }
    --walk->left;
    return true;
}

// A NarrowField's 511 bytes never need more than 511 UTF-16 units, so the conversion always has room.
unsigned ItemText(const LookbackText* string, WCHAR text[kItemTextCapacity]) {
    NarrowField field;
    const uint32_t length = FieldLength(string->bytes, string->length);
    if (length == 0) return 0;
    memcpy(field.text, string->bytes, length);
    field.text[length] = 0;
    const int units = MultiByteToWideChar(CP_UTF8, 0, field.text, -1, text, kItemTextCapacity);
    // The count includes the terminator, unless a sequence cut short at the end took it into its U+FFFD.
    return units > 0 ? static_cast<unsigned>(units) - (text[units - 1] == 0 ? 1 : 0) : 0;
}

bool WriteReportText(const ItemsReport* report, ReportTextOut out, void* context) {
    char heading[64];
    snprintf(heading, sizeof heading, "Number of embedded items: %u", report->count);
    bool more = WriteAscii(out, context, heading);

    ItemWalk walk;
    BeginItemWalk(report, &walk);
    ReportItem item;
    while (more && ReadReportItem(&walk, &item)) {
        more = WriteAscii(out, context, "\r\n") && WriteName(out, context, &item.identifier);
        if (more && FieldLength(item.author.bytes, item.author.length) > 0) {
            more = WriteAscii(out, context, " (") && WriteName(out, context, &item.author) &&
                   WriteAscii(out, context, ")");
        }
    }
    if (more && walk.left != 0) return false;

    if (more && report->embeddedSize != 0) {
        WCHAR size[kSizeTextCapacity];
        FormatSize(report->embeddedSize, size);
        unsigned length = 0;
        while (size[length] != 0) ++length;
        if (WriteAscii(out, context, "\r\nSize of embedded files: ")) out(context, size, length, false);
    }
    return true;
}
