#include "items_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "map_file.h"

namespace {

std::string SizeText(uint64_t size) {
    WCHAR text[kSizeTextCapacity];
    FormatSize(size, text);
    std::string narrow;
    for (unsigned i = 0; text[i] != 0; ++i) narrow += static_cast<char>(text[i]);
    return narrow;
}

struct SizeCase { uint64_t size; const char* text; };

TEST(FormatSizeTest, UnitsAndTheirEdges) {
    const SizeCase cases[] = {{1, "1 bytes"}, {999, "999 bytes"}, {1000, "1.0 kB"}, {1049, "1.0 kB"}, {1050, "1.1 kB"},
                              {99999, "100.0 kB"}, {100000, "100.0 KB"}, {123456, "123.5 KB"}, {999949, "999.9 KB"},
                              {999950, "1000.0 KB"}, {999999, "1000.0 KB"}, {1000000, "1.0 MB"},
                              {999999999, "1000.0 MB"}, {1000000000, "1.0 GB"}, {4294967295u, "4.3 GB"},
                              {2500000000u, "2.5 GB"}, {4294967296u, "4.3 GB"}, {999999999999u, "1000.0 GB"},
                              {UINT64_MAX, "18446744073.7 GB"}};
    for (const SizeCase& c : cases) EXPECT_EQ(SizeText(c.size), c.text) << c.size;
}

// The quotient is first rounded to 17 significant digits, then to one decimal: 1.45 is really
// 1.4499999999999999556, which one correct rounding would show as 1.4.
TEST(FormatSizeTest, RoundsInTwoSteps) {
    const SizeCase cases[] = {{1150, "1.1 kB"}, {1250, "1.3 kB"}, {1450, "1.5 kB"}, {1350, "1.4 kB"}, {2050, "2.0 kB"},
                              {10050, "10.1 kB"}, {100050, "100.1 KB"}, {1050000, "1.1 MB"}, {1150000, "1.1 MB"},
                              {1450000, "1.5 MB"}, {1150000000, "1.1 GB"}, {1450000000, "1.5 GB"}};
    for (const SizeCase& c : cases) EXPECT_EQ(SizeText(c.size), c.text) << c.size;
}

const std::string kChunkId = "\x54\x30\x04\x03";
Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(FindItemsChunkTest, FirstChunkIdFollowedByTheMarker) {
    struct Case { const char* name; Bytes body; long position; };  // position -1: none
    const Case cases[] = {
        {"empty", {}, -1}, {"shorter than id and marker", Text(kChunkId + "PIK"), -1},
        {"at the start", Text(kChunkId + "PIKS"), 0},
        {"unaligned", Text(std::string(2, '\0') + "\x54" + kChunkId + "PIKS\x01"), 3},
        {"marker would pass the end", Text(std::string(9, '\0') + kChunkId + "PIK"), -1},
        {"id at the very end", Text(std::string(9, '\0') + kChunkId), -1},
        {"decoy alone", Text(kChunkId + "SKIP" + std::string(12, '\0')), -1},
        {"decoy before the real chunk", Text(kChunkId + "XXXX\x07" + kChunkId + "PIKS"), 9},
        {"overlapping near misses", Text("\x54\x54\x30\x54" + kChunkId + "PIKS"), 4},
        {"second real chunk ignored", Text(kChunkId + "PIKS" + kChunkId + "PIKS"), 0},
        {"marker alone", Text("PIKS" + std::string(12, '\0')), -1},
        {"at the last place", Text(std::string(5, '\0') + kChunkId + "PIKS"), 5},
        {"near miss at the last place", Text(std::string(5, '\0') + kChunkId + "PIKX"), -1},
    };
    for (const Case& c : cases) {
        const unsigned char* found = FindItemsChunk(c.body.data(), static_cast<uint32_t>(c.body.size()));
        EXPECT_EQ(found ? static_cast<long>(found - c.body.data()) : -1, c.position) << c.name;
    }
}

// A body thick with the chunk id's first byte, or with near misses, is searched in stretches a word at a time:
// the chunk must still be found exactly where it is, before, inside, across and after them, and at the very end.
TEST(FindItemsChunkTest, BodiesThickWithNearMissesHideNothing) {
    struct Fill { const char* name; Bytes pattern; };
    const Fill fills[] = {{"first byte", Bytes{0x54}}, {"id and wrong marker", Text(kChunkId + "SKIP")},
                          {"three bytes of the id", Bytes{0x54, 0x30, 0x04}},
                          {"first byte among others", Bytes{0x54, 'a', 0x54, 0x30, 'b', 0x54, 0x54}}};
    const size_t size = 3 * 65536 + 13;
    const long positions[] = {-1, 0, 1, 9, 100, 65536 + 17, 2 * 65536 - 3, 2 * 65536 + 5, static_cast<long>(size) - 9,
                              static_cast<long>(size) - 8};
    const Bytes chunk = Text(kChunkId + "PIKS");
    for (const Fill& fill : fills) {
        for (long position : positions) {
            Bytes body(size);
            for (size_t i = 0; i < size; ++i) body[i] = fill.pattern[i % fill.pattern.size()];
            if (position >= 0) std::copy(chunk.begin(), chunk.end(), body.begin() + position);
            const unsigned char* found = FindItemsChunk(body.data(), static_cast<uint32_t>(body.size()));
            EXPECT_EQ(found ? static_cast<long>(found - body.data()) : -1, position) << fill.name << " " << position;
        }
    }
}

}  // namespace
