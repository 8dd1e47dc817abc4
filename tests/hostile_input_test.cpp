// A valid generated map broken in every systematic way a stranger's file could be: every truncation of the
// file and of its body, every size field of the header and of the items chunk set to the values at the edges
// of 32 bits and around its true value, backward seeks, item counts far beyond the body, and the longest
// strings. Each run goes in-process through the real loader and report against the Linux layer's trace: it
// must show its expected message (or, where working that out would mean re-running the parser by hand, one of
// the tool's defined messages), free every block in reverse order and close the file last.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "entry.h"
#include "map_builder.h"
#include "platform_trace.h"
#include "run_rules.h"
#include "utf.h"

namespace {

const std::string kReadError = "0x30 Tallyglass|Error while reading input file.";
const std::string kFormatError = "0x30 Tallyglass|Invalid or unsupported file format.";
const std::string kOutOfMemory = "0x30 Tallyglass|Out of memory.";
const std::string kDecompressError = "0x30 Tallyglass|Could not decompress file body.";
const std::string kNoChunk = "0x30 Tallyglass|Items chunk not found.";
const std::string kVersionWarning = "0x30 Tallyglass|Unsupported chunk version.";

std::string Report(const std::string& text) { return "0x40 Tallyglass|" + text; }

const uint32_t kEdgeValues[] = {0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};

uint32_t WordAt(const Bytes& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

// The value itself, its neighbours and the edges of 32 bits, without repeats.
std::vector<uint32_t> ValuesAround(uint32_t value) {
    std::vector<uint32_t> values(std::begin(kEdgeValues), std::end(kEdgeValues));
    values.push_back(value - 1);
    values.push_back(value + 1);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

// Three items, the third made of back-references, and a size: every kind of field the report reads.
// Chunk layout from the chunk id (offsets in bytes): 8 size, 12 version, 16 and 20 further words, 24 count,
// 28 lookback version, 32 first value (a new string), 36 its length, 40 its 16 bytes, ... , last 4: size S.
const char* const kBaseReport =
    "Number of embedded items: 3\r\nItems\\A.Item.Gbx (Ann)\r\nItems\\B.Item.Gbx\r\nItems\\A.Item.Gbx (Ann)"
    "\r\nSize of embedded files: 2.5 kB";
const char* const kFirstItemLine = "\r\nItems\\A.Item.Gbx (Ann)";

struct Base {
    MapLayout layout;
    Bytes map;
    HeaderOffsets at;
    Bytes compressed;
    size_t chunk;     // the chunk id's offset in the body
    size_t chunkEnd;  // just behind S
};

Base MakeBase() {
    ItemsChunk chunk;
    chunk.items = {{"Items\\A.Item.Gbx", 10003, "Ann"}, {"Items\\B.Item.Gbx", 10003, ""}, {"Items\\A.Item.Gbx", 11, "Ann"}};
    chunk.embeddedSize = 2500;
    const Bytes chunkBytes = BuildItemsChunk(chunk);
    Base base;
    base.layout.userData = Bytes(10, 0x11);
    base.layout.body = BodyWithChunk(chunkBytes);
    base.map = BuildMap(base.layout);
    base.at = OffsetsOf(base.layout);
    base.compressed = Compress(base.layout.body);
    const Bytes& body = base.layout.body;
    base.chunk = static_cast<size_t>(std::search(body.begin(), body.end(), chunkBytes.begin(), chunkBytes.end()) - body.begin());
    base.chunkEnd = base.chunk + chunkBytes.size();
    return base;
}

struct Expected {
    std::vector<std::vector<std::string>> messages;  // the message sequences allowed; none: any defined one
    int held;  // blocks held when the last message shows (the loader's two at most); -1: not worked out
};

// What the loader must say about a file, and how many of its blocks it holds by then, worked out from the
// header layout alone. A sound header over the base's own compressed body and size gives the base report,
// any other body a decompression failure. A huge declared body size may also be refused by the allocator.
Expected ExpectedFromHeader(const Bytes& file, const Base& base) {
    const size_t size = file.size();
    if (size < 3 || file[0] != 'G' || file[1] != 'B' || file[2] != 'X') return {{{kFormatError}}, 0};
    if (size < 9) return {{{kReadError}}, 0};
    if (file[7] == 'U') return {{{"0x30 Tallyglass|Uncompressed maps not supported."}}, 0};
    if (size < 13) return {{{kReadError}}, 0};
    const uint32_t classId = WordAt(file, 9);
    if (classId != 0x03043000u && classId != 0x24003000u && classId != 0x21080000u) return {{{kFormatError}}, 0};
    if (size < 17) return {{{kReadError}}, 0};
    const int64_t target = 17 + static_cast<int32_t>(WordAt(file, 13) + 8u);
    if (target < 0 || static_cast<uint64_t>(target) + 8 > size) return {{{kReadError}}, 0};
    const size_t sizes = static_cast<size_t>(target);
    const uint32_t bodySize = WordAt(file, sizes), compressedSize = WordAt(file, sizes + 4);
    if (compressedSize > size) return {{{kReadError}}, 0};
    if (compressedSize == 0) return {{{kOutOfMemory}}, 0};
    if (bodySize == 0) return {{{kOutOfMemory}}, 1};
    if (sizes + 8 + compressedSize > size) return {{{kReadError}}, 2};
    const Bytes compressed(file.begin() + static_cast<long>(sizes + 8),
                           file.begin() + static_cast<long>(sizes + 8 + compressedSize));
    if (bodySize == base.layout.body.size() && compressed == base.compressed) return {{{Report(kBaseReport)}}, 2};
    if (bodySize > 0x10000000u) return {{{kDecompressError}, {kOutOfMemory}}, -1};
    return {{{kDecompressError}}, 2};
}

struct HostileCase {
    std::string name;
    Bytes map;
    Expected expected;
};

// Blocks taken and not yet freed when the last message shows.
int HeldAtLastMessage(const std::vector<std::string>& trace) {
    int held = 0, heldAtMessage = 0;
    for (const std::string& line : trace) {
        if (line.rfind("GlobalAlloc ", 0) == 0) ++held;
        if (line.rfind("GlobalFree ", 0) == 0) --held;
        if (line.rfind("MessageBoxW ", 0) == 0) heldAtMessage = held;
    }
    return heldAtMessage;
}

class HostileInputTest : public ::testing::Test {
  protected:
    // Tests may run in parallel processes: one file per test.
    void SetUp() override {
        path = testing::TempDir() + "tallyglass-hostile-" +
               testing::UnitTest::GetInstance()->current_test_info()->name() + ".Map.Gbx";
    }

    // Runs every case and checks it; returns how many ran.
    size_t RunAll(const std::vector<HostileCase>& cases) {
        const auto start = std::chrono::steady_clock::now();
        for (const HostileCase& c : cases) {
            if (!WriteFile(path, c.map)) {
                ADD_FAILURE() << "cannot write " << path;
                return 0;
            }
            std::u16string tail = Utf8ToUtf16(path.data(), path.size());
            PlatformTraceBegin();
            EXPECT_EQ(wWinMain(nullptr, nullptr, tail.data(), 0), 0) << c.name;
            const std::vector<std::string> trace = PlatformTraceEnd();
            EXPECT_EQ(CheckRunTrace(trace, PlatformCurrentCounts()), "") << c.name;
            const std::vector<std::vector<std::string>>& allowed = c.expected.messages;
            if (!allowed.empty()) {
                const std::vector<std::string> shown = TraceMessages(trace);
                EXPECT_TRUE(std::find(allowed.begin(), allowed.end(), shown) != allowed.end())
                    << c.name << ": shown " << testing::PrintToString(shown) << ", expected one of "
                    << testing::PrintToString(allowed);
            }
            if (c.expected.held >= 0) {
                EXPECT_EQ(HeldAtLastMessage(trace), c.expected.held) << c.name;
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        printf("%zu hostile maps in %.2f s\n", cases.size(), seconds);
        RecordProperty("cases", static_cast<int>(cases.size()));
        return cases.size();
    }

    std::string path;
};

TEST_F(HostileInputTest, EveryTruncationOfTheFile) {
    const Base base = MakeBase();
    std::vector<HostileCase> cases;
    for (size_t length = 0; length <= base.map.size(); ++length) {
        const Bytes cut(base.map.begin(), base.map.begin() + static_cast<long>(length));
        cases.push_back({"file cut to " + std::to_string(length), cut, ExpectedFromHeader(cut, base)});
    }
    // Only the whole file gets through, and below three bytes there is not even a magic.
    EXPECT_EQ(cases.back().expected.messages, (std::vector<std::vector<std::string>>{{Report(kBaseReport)}}));
    EXPECT_EQ(cases[2].expected.messages, (std::vector<std::vector<std::string>>{{kFormatError}}));
    EXPECT_EQ(RunAll(cases), base.map.size() + 1);
}

TEST_F(HostileInputTest, HeaderSizeFieldsAndBackwardSeeks) {
    const Base base = MakeBase();
    const struct {
        const char* name;
        size_t offset;
    } fields[] = {{"user data size", base.at.userDataSize}, {"body size", base.at.bodySize},
                  {"compressed size", base.at.compressedSize}};
    std::vector<HostileCase> cases;
    for (const auto& field : fields) {
        for (uint32_t value : ValuesAround(WordAt(base.map, field.offset))) {
            const Bytes map = WithWord(base.map, field.offset, value);
            cases.push_back({std::string(field.name) + " " + std::to_string(value), map, ExpectedFromHeader(map, base)});
        }
    }
    // User data sizes whose skip (size + 8, taken as signed) goes backwards: onto the header's own words,
    // to the very start, one byte before it, and the furthest back there is.
    for (int32_t back : {-1, -4, -8, -12, -17, -18, -0x7FFFFFFF - 1}) {
        const Bytes map = WithWord(base.map, base.at.userDataSize, static_cast<uint32_t>(back) - 8u);
        cases.push_back({"seek by " + std::to_string(back), map, ExpectedFromHeader(map, base)});
    }
    // A compressed size of exactly the bytes left, and of the whole file (which holds the header as well).
    const uint32_t fileSize = static_cast<uint32_t>(base.map.size());
    for (uint32_t value : {static_cast<uint32_t>(base.compressed.size()), fileSize, fileSize + 1}) {
        const Bytes map = WithWord(base.map, base.at.compressedSize, value);
        cases.push_back({"compressed size " + std::to_string(value), map, ExpectedFromHeader(map, base)});
    }
    RunAll(cases);
}

// The base body with the word at `offset` (from the chunk id) replaced, in a map of its own.
Bytes MapWithChunkWord(const Base& base, size_t offset, uint32_t value) {
    MapLayout layout = base.layout;
    layout.body = WithWord(layout.body, base.chunk + offset, value);
    return BuildMap(layout);
}

TEST_F(HostileInputTest, ChunkFields) {
    const Base base = MakeBase();
    const uint32_t bodySize = static_cast<uint32_t>(base.layout.body.size());
    const std::string report = Report(kBaseReport);
    const std::string reportPrefix = "Number of embedded items: ";
    const std::string sizeLine = "\r\nSize of embedded files: ";
    const std::string withoutSize = std::string(kBaseReport).substr(0, std::string(kBaseReport).find(sizeLine));

    struct Field {
        const char* name;
        size_t offset;
        // The messages for a value; empty: any defined message.
        std::function<std::vector<std::string>(uint32_t)> expected;
    };
    const Field fields[] = {
        {"chunk size", 8,
         [&](uint32_t v) { return v == 0 || v > bodySize ? std::vector<std::string>{kReadError} : std::vector<std::string>{report}; }},
        {"chunk version", 12,
         [&](uint32_t v) { return v == 1 ? std::vector<std::string>{report} : std::vector<std::string>{kVersionWarning, report}; }},
        {"first further word", 16, [&](uint32_t) { return std::vector<std::string>{report}; }},
        {"second further word", 20, [&](uint32_t) { return std::vector<std::string>{report}; }},
        {"item count", 24,
         [&](uint32_t v) -> std::vector<std::string> {
             // Fewer items leave a later word to be read as the size: the lookback version (3 bytes), then the
             // first value of the second or third item (0x40000000 and 0x40000001 bytes, both 1.1 GB). One more
             // item runs into the end of the body.
             if (v == 0) return {Report(reportPrefix + "0" + sizeLine + "3 bytes")};
             if (v == 1) return {Report(reportPrefix + "1" + kFirstItemLine + sizeLine + "1.1 GB")};
             if (v == 2) return {Report(reportPrefix + "2" + kFirstItemLine + "\r\nItems\\B.Item.Gbx" + sizeLine + "1.1 GB")};
             if (v == 3) return {report};
             return {kReadError};
         }},
        {"lookback version", 28,
         [&](uint32_t v) { return v < 3 ? std::vector<std::string>{kReadError} : std::vector<std::string>{report}; }},
        {"first lookback value", 32, [&](uint32_t) { return std::vector<std::string>{}; }},
        {"first string length", 36,
         [&](uint32_t v) { return v >= 0xFFFF ? std::vector<std::string>{kReadError} : std::vector<std::string>{}; }},
    };
    std::vector<HostileCase> cases;
    for (const Field& field : fields) {
        std::vector<uint32_t> values = ValuesAround(WordAt(base.layout.body, base.chunk + field.offset));
        for (uint32_t extra : {bodySize, bodySize + 1, 65534u, 65535u, 0x0FFFFFFFu, 0x10000000u, 0x10000001u}) values.push_back(extra);
        for (uint32_t value : values) {
            const std::vector<std::string> expected = field.expected(value);
            Expected allowed = {{}, 2};
            if (!expected.empty()) allowed.messages.push_back(expected);
            cases.push_back({std::string(field.name) + " " + std::to_string(value),
                             MapWithChunkWord(base, field.offset, value), allowed});
        }
    }
    // The size line follows S exactly, at the range edges and the edges of 32 bits.
    const struct {
        uint32_t size;
        const char* text;
    } sizes[] = {{0, nullptr},        {1, "1 bytes"},          {2499, "2.5 kB"},       {2501, "2.5 kB"},
                 {65534, "65.5 kB"},  {65535, "65.5 kB"},       {0x0FFFFFFFu, "268.4 MB"}, {0x10000000u, "268.4 MB"},
                 {0x7FFFFFFFu, "2.1 GB"}, {0x80000000u, "2.1 GB"}, {0xFFFFFFFFu, "4.3 GB"}};
    for (const auto& s : sizes) {
        const std::string text = s.text ? withoutSize + sizeLine + s.text : withoutSize;
        cases.push_back({"embedded size " + std::to_string(s.size) + " shown",
                         MapWithChunkWord(base, base.chunkEnd - base.chunk - 4, s.size), {{{Report(text)}}, 2}});
    }
    RunAll(cases);
}

TEST_F(HostileInputTest, EveryTruncationOfTheBody) {
    const Base base = MakeBase();
    std::vector<HostileCase> cases;
    for (size_t length = 0; length <= base.layout.body.size(); ++length) {
        MapLayout layout = base.layout;
        layout.body.resize(length);
        std::vector<std::string> expected;
        if (length == 0) {
            expected = {kOutOfMemory};
        } else if (length < base.chunk + 8) {
            expected = {kNoChunk};
        } else if (length < base.chunkEnd) {
            expected = {kReadError};
        } else {
            expected = {Report(kBaseReport)};
        }
        cases.push_back({"body cut to " + std::to_string(length), BuildMap(layout), {{expected}, length == 0 ? 1 : 2}});
    }
    RunAll(cases);
}

TEST_F(HostileInputTest, LongestStringsAndCountsBeyondTheBody) {
    auto mapOf = [](const ItemsChunk& chunk) {
        MapLayout layout;
        layout.body = BodyWithChunk(BuildItemsChunk(chunk));
        return BuildMap(layout);
    };
    ItemsChunk longest;
    longest.items = {{std::string(65534, 'x'), 11, std::string(65534, 'y')}, {std::string(65534, 'x'), 11, ""}};
    ItemsChunk tooLong;
    tooLong.items = {{std::string(65535, 'x'), 11, ""}};
    ItemsChunk tooLongAuthor;
    tooLongAuthor.items = {{"A", 11, std::string(65535, 'y')}};
    // A string of 65534 bytes fills the field's 511 and is consumed whole; the back-reference gives it again.
    const std::string x511(511, 'x');
    std::vector<HostileCase> cases = {
        {"strings of 65534 bytes", mapOf(longest),
         {{{Report("Number of embedded items: 2\r\n" + x511 + " (" + std::string(511, 'y') + ")\r\n" + x511)}}, 2}},
        {"identifier of 65535 bytes", mapOf(tooLong), {{{kReadError}}, 2}},
        {"third string of 65535 bytes", mapOf(tooLongAuthor), {{{kReadError}}, 2}},
    };
    for (uint32_t count : {4u, 1000u, 0x0FFFFFFFu, 0x10000000u}) {
        ItemsChunk chunk = longest;
        chunk.itemCount = count;
        cases.push_back({"item count " + std::to_string(count) + " over two items", mapOf(chunk), {{{kReadError}}, 2}});
    }
    RunAll(cases);
}

}  // namespace
