#include "body_cursor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "map_file.h"

namespace {

BodyCursor CursorOver(const Bytes& bytes) { return {bytes.data(), bytes.data() + bytes.size()}; }
size_t Consumed(const BodyCursor& c, const Bytes& bytes) { return static_cast<size_t>(c.position - bytes.data()); }

// A length word, which need not be the text's length, and the text.
Bytes StringBytes(uint32_t length, const std::string& text) {
    Bytes bytes = WithWord(Bytes(4), 0, length);
    PutBytes(bytes, text);
    return bytes;
}

TEST(ReadBytesTest, ReadsWithinBoundsAndConsumesNothingOtherwise) {
    const Bytes bytes = {1, 2, 3, 4, 5};
    struct Case { uint32_t n; int result; size_t consumed; };
    for (const Case& c : {Case{0, 1, 0}, Case{3, 1, 3}, Case{5, 1, 5}, Case{6, 0, 0}, Case{0xFFFFFFFFu, 0, 0}}) {
        BodyCursor cursor = CursorOver(bytes);
        unsigned char out[8] = {};
        EXPECT_EQ(ReadBytes(&cursor, out, c.n), c.result) << c.n;
        EXPECT_EQ(Consumed(cursor, bytes), c.consumed) << c.n;
        if (c.result) {
            EXPECT_EQ(memcmp(out, bytes.data(), c.n), 0);
        }
    }
    BodyCursor cursor = {bytes.data() + 4, bytes.data() + bytes.size()};  // part-way: only what is left counts
    unsigned char out[4];
    EXPECT_EQ(ReadBytes(&cursor, out, 2), 0);
    EXPECT_EQ(cursor.position, bytes.data() + 4);
}

TEST(ReadBytesTest, NullCursorOrDestinationFails) {
    const Bytes bytes = {1, 2, 3, 4};
    BodyCursor cursor = CursorOver(bytes);
    uint32_t value = 0;
    EXPECT_EQ(ReadBytes(nullptr, &value, 4), 0);
    EXPECT_EQ(ReadBytes(&cursor, nullptr, 4), 0);
    EXPECT_EQ(cursor.position, bytes.data());
    EXPECT_EQ(ReadU32(nullptr, &value), 0);
    EXPECT_EQ(ReadU32(&cursor, nullptr), 0);
    EXPECT_EQ(cursor.position, bytes.data());
}

TEST(ReadU32Test, ReadsLittleEndianInSequence) {
    const Bytes bytes = {0x54, 0x30, 0x04, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0x01};
    BodyCursor cursor = CursorOver(bytes);
    uint32_t value = 0;
    ASSERT_EQ(ReadU32(&cursor, &value), 1);
    EXPECT_EQ(value, 0x03043054u);
    ASSERT_EQ(ReadU32(&cursor, &value), 1);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_EQ(ReadU32(&cursor, &value), 0);  // one byte left
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_EQ(Consumed(cursor, bytes), 8u);
}

TEST(ReadStringTest, TheseBytesGiveThisTextAndLeaveTheCursorHere) {
    struct Case { const char* name; Bytes bytes; int result; std::string text; size_t consumed; };
    const std::string kept = "(kept)";  // the text of a field the read left untouched
    const Case cases[] = {
        {"empty", StringBytes(0, ""), 0, "", 4}, {"plain", StringBytes(3, "abcXYZ"), 3, "abc", 7},
        {"utf8 kept as bytes", StringBytes(2, "\xC3\xA9"), 2, "\xC3\xA9", 6},
        {"ends at first zero", StringBytes(5, std::string("ab\0cd", 5)), 2, "ab", 9},
        {"first byte zero", StringBytes(3, std::string("\0bc", 3)), 0, "", 7},
        {"511 fits", StringBytes(511, std::string(511, 'x')), 511, std::string(511, 'x'), 515},
        {"512 is cut", StringBytes(512, std::string(512, 'y')), 511, std::string(511, 'y'), 516},
        {"65534 accepted", StringBytes(65534, std::string(65534, 'z')), 511, std::string(511, 'z'), 65538},
        {"65535 rejected after its length", StringBytes(65535, std::string(65535, 'z')), -1, kept, 4},
        {"huge length rejected", StringBytes(0xFFFFFFFFu, "abc"), -1, kept, 4},
        {"bytes missing", StringBytes(5, "abc"), -1, kept, 4}, {"length cut short", Bytes{3, 0}, -1, kept, 0},
    };
    for (const Case& c : cases) {
        BodyCursor cursor = CursorOver(c.bytes);
        NarrowField field = {};
        strcpy(field.text, kept.c_str());
        EXPECT_EQ(ReadString(&cursor, &field), c.result) << c.name;
        EXPECT_EQ(std::string(field.text), c.text) << c.name;
        EXPECT_EQ(Consumed(cursor, c.bytes), c.consumed) << c.name;
        EXPECT_EQ(field.text[kNarrowFieldSize - 1], 0) << c.name;
    }
}

TEST(ReadStringTest, NullFieldFailsWithoutReading) {
    const Bytes bytes = StringBytes(1, "a");
    BodyCursor cursor = CursorOver(bytes);
    EXPECT_EQ(ReadString(&cursor, nullptr), -1);
    EXPECT_EQ(cursor.position, bytes.data());
    NarrowField field;
    EXPECT_EQ(ReadString(nullptr, &field), -1);
}

TEST(ReadStringTest, ZeroFillsTheFieldBehindTheText) {
    const Bytes bytes = StringBytes(2, "ab");
    BodyCursor cursor = CursorOver(bytes);
    NarrowField field;
    memset(field.text, 'q', sizeof field.text);
    ASSERT_EQ(ReadString(&cursor, &field), 2);
    for (unsigned i = 2; i < kNarrowFieldSize; ++i) ASSERT_EQ(field.text[i], 0) << i;
}

}  // namespace
