#include "lookback_strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "map_file.h"

namespace {

using namespace std::string_literals;

// One piece of a body: a number as its 32-bit word, a std::string behind its 32-bit length, Bytes as they are.
struct Piece {
    Piece(uint32_t word) { PutU32(bytes, word); }
    Piece(const std::string& text) { PutString(bytes, text); }
    Piece(const Bytes& raw) : bytes(raw) {}
    Bytes bytes;
};
Bytes Body(std::initializer_list<Piece> pieces) {
    Bytes out;
    for (const Piece& piece : pieces) out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
    return out;
}

struct Read { int result; std::string text; };

// Reads the expected strings from `bytes` with a fresh table, then checks where the cursor ends up.
void ExpectReads(const char* name, const Bytes& bytes, const std::vector<Read>& expected, size_t consumed) {
    auto table = std::make_unique<LookbackTable>();
    ResetLookbackTable(table.get());
    BodyCursor cursor = {bytes.data(), bytes.data() + bytes.size()};
    NarrowField field;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(ReadLookbackString(&cursor, table.get(), &field), expected[i].result) << name << " read " << i;
        if (expected[i].result >= 0) {
            EXPECT_EQ(std::string(field.text), expected[i].text) << name << " read " << i;
        }
    }
    EXPECT_EQ(static_cast<size_t>(cursor.position - bytes.data()), consumed) << name;
}

TEST(ReadLookbackStringTest, ValuesGiveTheirTexts) {
    ExpectReads("empty string value", Body({3, 0xFFFFFFFFu}), {{0, ""}}, 8);
    ExpectReads("collections", Body({3, 11, 42, 0, 10003, 0x3FFFFFFF, 205}),
                {{6, "Valley"}, {2, "42"}, {1, "0"}, {6, "Common"}, {10, "1073741823"}, {5, "Test1"}}, 28);
    ExpectReads("all three flags announce a new string, plus one refers to the first",
                Body({3, 0x40000000, "a"s, 0x80000000, "bb"s, 0xC0000000, "ccc"s,
                      0x40000001, 0x80000001, 0xC0000001, 0xC0000003}),
                {{1, "a"}, {2, "bb"}, {3, "ccc"}, {1, "a"}, {1, "a"}, {1, "a"}, {3, "ccc"}}, 4 + 9 + 10 + 11 + 16);
    ExpectReads("empty and zero-led new strings are not remembered",
                Body({3, 0x40000000, ""s, 0x40000000, "\0x"s, 0x40000000, "next"s, 0x40000001, 0x40000002}),
                {{0, ""}, {0, ""}, {4, "next"}, {4, "next"}, {0, ""}}, 4 + 8 + 10 + 12 + 8);
    ExpectReads("references past what is remembered are empty",
                Body({3, 0x40000001, 0x40000000, "a"s, 0x40000002, 0x7FFFFFFF}),
                {{0, ""}, {1, "a"}, {0, ""}, {0, ""}}, 8 + 9 + 8);
}

TEST(ReadLookbackStringTest, VersionIsReadOnceAndMustBeAtLeastThree) {
    for (uint32_t version : {0u, 1u, 2u}) ExpectReads("low version", Body({version, 11}), {{-1, ""}}, 4);
    for (uint32_t version : {3u, 4u, 0xFFFFFFFFu}) {
        ExpectReads("accepted", Body({version, 11, 12}), {{6, "Valley"}, {6, "Canyon"}}, 12);
    }
}

TEST(ReadLookbackStringTest, FailuresOfTheUnderlyingReads) {
    ExpectReads("no version", Bytes{3, 0}, {{-1, ""}}, 0);
    ExpectReads("no value", Body({3}), {{-1, ""}}, 4);
    ExpectReads("string too long", Body({3, 0x40000000, 65535}), {{-1, ""}}, 12);
    ExpectReads("string cut short", Body({3, 0x40000000, 10, Bytes{'a', 'b'}}), {{-1, ""}}, 12);
    const Bytes bytes = Body({3, 11});
    BodyCursor cursor = {bytes.data(), bytes.data() + bytes.size()};
    NarrowField field;
    EXPECT_EQ(ReadLookbackString(&cursor, nullptr, &field), -1);
    auto table = std::make_unique<LookbackTable>();
    ResetLookbackTable(table.get());
    EXPECT_EQ(ReadLookbackString(&cursor, table.get(), nullptr), -1);
    EXPECT_EQ(cursor.position, bytes.data());
}

TEST(ReadLookbackStringTest, LongStringIsCutTheSameWayWhenReferredTo) {
    const std::string text(600, 'L');
    ExpectReads("long", Body({3, 0x40000000, text, 0x40000001}),
                {{511, text.substr(0, 511)}, {511, text.substr(0, 511)}}, 4 + 4 + 4 + 600 + 4);
}

// Real maps remember more than 32 strings and refer back to the later ones.
TEST(ReadLookbackStringTest, RemembersFarMoreThanThirtyTwoStrings) {
    Bytes bytes = Body({3});
    std::vector<Read> expected;
    for (int i = 1; i <= 40; ++i) {
        const std::string text = "s" + std::to_string(i);
        bytes = Body({bytes, 0x40000000, text});
        expected.push_back({static_cast<int>(text.size()), text});
    }
    bytes = Body({bytes, 0x40000021, 0x40000028, 0x40000001, 0x40000029});
    expected.insert(expected.end(), {{3, "s33"}, {3, "s40"}, {2, "s1"}, {0, ""}});
    ExpectReads("forty", bytes, expected, bytes.size());
}

TEST(ReadLookbackStringTest, StringsBeyondTheCapacityAreReturnedButNotRemembered) {
    Bytes bytes = Body({3});
    const Bytes x = Body({0x40000000, "x"s});
    for (uint32_t i = 0; i <= kLookbackCapacity; ++i) bytes.insert(bytes.end(), x.begin(), x.end());
    bytes = Body({bytes, 0x40000000 + kLookbackCapacity, 0x40000000 + kLookbackCapacity + 1});
    auto table = std::make_unique<LookbackTable>();
    ResetLookbackTable(table.get());
    BodyCursor cursor = {bytes.data(), bytes.data() + bytes.size()};
    NarrowField field;
    for (uint32_t i = 0; i <= kLookbackCapacity; ++i) ASSERT_EQ(ReadLookbackString(&cursor, table.get(), &field), 1);
    EXPECT_EQ(table->count, kLookbackCapacity);
    EXPECT_EQ(ReadLookbackString(&cursor, table.get(), &field), 1);
    EXPECT_STREQ(field.text, "x");
    EXPECT_EQ(ReadLookbackString(&cursor, table.get(), &field), 0);
    EXPECT_EQ(cursor.position, cursor.end);
}

TEST(CollectionNameTest, NamedNumbersAndDecimalText) {
    struct Case { uint32_t number; const char* text; };
    const Case cases[] = {{11, "Valley"}, {17, "TMCommon"}, {100, "History"}, {103, "Test1"}, {205, "Test1"},
                          {207, "Test3"}, {299, "SMCommon"}, {10001, "Orbital"}, {10002, "Actors"}, {18, "18"},
                          {0, "0"}, {10004, "10004"}};
    for (const Case& c : cases) {
        NarrowField field;
        EXPECT_EQ(CollectionName(c.number, &field), static_cast<int>(strlen(c.text))) << c.number;
        EXPECT_STREQ(field.text, c.text);
    }
}

}  // namespace
