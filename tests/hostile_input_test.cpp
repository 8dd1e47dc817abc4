// A valid generated map broken in every systematic way a stranger's file could be: every truncation of the
// file and of its body, every size field of the header and of the items chunk set to the values at the edges
// of 32 bits and around its true value, backward seeks, item counts far beyond the body, and the longest
// strings. Each run goes in-process through the real loader and report: it must keep the rules of every run
// and show its expected messages (or, where working them out would mean re-running the parser by hand, any
// of the tool's defined messages) while holding what it should.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "run_check.h"

namespace {

using Messages = std::vector<Message>;

const uint32_t kEdgeValues[] = {0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};

// The value itself, its neighbours and the edges of 32 bits, without repeats.
std::vector<uint32_t> ValuesAround(uint32_t value) {
    std::vector<uint32_t> values(std::begin(kEdgeValues), std::end(kEdgeValues));
    values.push_back(value - 1);
    values.push_back(value + 1);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

Messages Fails(const char* sentence) { return {Warning(sentence)}; }

// Three items, the third made of back-references, and a size: every kind of field the report reads.
// Chunk layout from the chunk id (offsets in bytes): 8 size, 12 version, 16 and 20 further words, 24 count,
// 28 lookback version, 32 first value (a new string), 36 its length, 40 its 16 bytes, ... , last 4: size S.
const std::string kItemLines = "\r\nItems\\A.Item.Gbx (Ann)\r\nItems\\B.Item.Gbx\r\nItems\\A.Item.Gbx (Ann)";
const std::string kBaseText = kReportHeading + std::string("3") + kItemLines + kSizeLine + "2.5 kB";
const Messages kBaseReport = {Information(kBaseText)};

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
    std::vector<Messages> allowed;  // the message sequences allowed; none: any defined one
    int held;                       // the file and blocks held at the last message; -1: not worked out
};

// What the loader must say about a file, and what it holds by then, worked out from the header alone. A
// sound header over the base's own compressed body and size gives the base report, any other body a
// decompression failure. A huge declared body size may also be refused by the allocator.
Expected ExpectedFromHeader(const Bytes& file, const Base& base) {
    const size_t size = file.size();
    if (size < 3 || file[0] != 'G' || file[1] != 'B' || file[2] != 'X') return {{Fails(kFormatError)}, 1};
    if (size < 9) return {{Fails(kReadError)}, 1};
    if (file[7] == 'U') return {{Fails(kUncompressed)}, 1};
    if (size < 13) return {{Fails(kReadError)}, 1};
    const uint32_t classId = WordAt(file, 9);
    if (classId != 0x03043000u && classId != 0x24003000u && classId != 0x21080000u) return {{Fails(kFormatError)}, 1};
    MapSizes sizes;
    if (!ReadMapSizes(file, &sizes) || sizes.compressedSize > size) return {{Fails(kReadError)}, 1};
    if (sizes.compressedSize == 0) return {{Fails(kOutOfMemory)}, 1};
    if (sizes.bodySize == 0) return {{Fails(kOutOfMemory)}, 2};
    if (sizes.compressedSize > size - sizes.compressedAt) return {{Fails(kReadError)}, 3};
    const Bytes compressed(file.begin() + static_cast<long>(sizes.compressedAt),
                           file.begin() + static_cast<long>(sizes.compressedAt + sizes.compressedSize));
    if (sizes.bodySize == base.layout.body.size() && compressed == base.compressed) return {{kBaseReport}, 3};
    if (sizes.bodySize > 0x10000000u) return {{Fails(kDecompressError), Fails(kOutOfMemory)}, -1};
    return {{Fails(kDecompressError)}, 3};
}

struct HostileCase {
    std::string name;
    Bytes map;
    Expected expected;
};

void RunAll(const std::vector<HostileCase>& cases) {
    const auto start = std::chrono::steady_clock::now();
    for (const HostileCase& c : cases) {
        const RunRecord run = TracedRunOnMap(c.map);
        EXPECT_EQ(run.broken, "") << c.name;
        const std::vector<Messages>& allowed = c.expected.allowed;
        EXPECT_TRUE(allowed.empty() || std::find(allowed.begin(), allowed.end(), run.messages) != allowed.end())
            << c.name << ": shown " << testing::PrintToString(run.messages) << ", expected one of "
            << testing::PrintToString(allowed);
        EXPECT_TRUE(c.expected.held < 0 || run.held == c.expected.held) << c.name << ": held " << run.held;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("%zu hostile maps in %.2f s\n", cases.size(), seconds);
    testing::Test::RecordProperty("cases", static_cast<int>(cases.size()));
}

TEST(HostileInputTest, EveryTruncationOfTheFile) {
    const Base base = MakeBase();
    std::vector<HostileCase> cases;
    for (size_t length = 0; length <= base.map.size(); ++length) {
        const Bytes cut(base.map.begin(), base.map.begin() + static_cast<long>(length));
        cases.push_back({"file cut to " + std::to_string(length), cut, ExpectedFromHeader(cut, base)});
    }
    // The oracle itself: only the whole file gets through, and below three bytes there is not even a magic.
    EXPECT_EQ(cases.back().expected.allowed, std::vector<Messages>{kBaseReport});
    EXPECT_EQ(cases[2].expected.allowed, std::vector<Messages>{Fails(kFormatError)});
    RunAll(cases);
}

TEST(HostileInputTest, HeaderSizeFieldsAndBackwardSeeks) {
    const Base base = MakeBase();
    const struct {
        const char* name;
        size_t offset;
    } fields[] = {{"user data size", base.at.userDataSize}, {"body size", base.at.bodySize},
                  {"compressed size", base.at.compressedSize}};
    std::vector<HostileCase> cases;
    auto add = [&](const std::string& name, const Bytes& map) { cases.push_back({name, map, ExpectedFromHeader(map, base)}); };
    for (const auto& field : fields) {
        for (uint32_t value : ValuesAround(WordAt(base.map, field.offset))) {
            add(std::string(field.name) + " " + std::to_string(value), WithWord(base.map, field.offset, value));
        }
    }
    // User data sizes whose skip (size + 8, taken as signed) goes backwards: onto the header's own words,
    // to the very start, one byte before it, and the furthest back there is.
    for (int32_t back : {-1, -4, -8, -12, -17, -18, -0x7FFFFFFF - 1}) {
        add("seek by " + std::to_string(back), WithWord(base.map, base.at.userDataSize, static_cast<uint32_t>(back) - 8u));
    }
    // A compressed size of exactly the bytes left, and of the whole file (which holds the header as well).
    const uint32_t fileSize = static_cast<uint32_t>(base.map.size());
    for (uint32_t value : {static_cast<uint32_t>(base.compressed.size()), fileSize, fileSize + 1}) {
        add("compressed size " + std::to_string(value), WithWord(base.map, base.at.compressedSize, value));
    }
    RunAll(cases);
}

// The base body with the word at `offset` (from the chunk id) replaced, in a map of its own.
Bytes MapWithChunkWord(const Base& base, size_t offset, uint32_t value) {
    MapLayout layout = base.layout;
    layout.body = WithWord(layout.body, base.chunk + offset, value);
    return BuildMap(layout);
}

TEST(HostileInputTest, ChunkFields) {
    const Base base = MakeBase();
    const uint32_t bodySize = static_cast<uint32_t>(base.layout.body.size());
    const std::string firstItem = kItemLines.substr(0, kItemLines.find("\r\n", 2));
    auto report = [](const std::string& count, const std::string& lines, const char* size) {
        return Messages{Information(kReportHeading + count + lines + kSizeLine + size)};
    };
    struct Field {
        const char* name;
        size_t offset;
        std::function<Messages(uint32_t)> expected;  // empty: any defined message
    };
    const Field fields[] = {
        {"chunk size", 8, [&](uint32_t v) { return v == 0 || v > bodySize ? Fails(kReadError) : kBaseReport; }},
        {"chunk version", 12,
         [&](uint32_t v) { return v == 1 ? kBaseReport : Messages{Warning(kVersionWarning), kBaseReport[0]}; }},
        {"first further word", 16, [&](uint32_t) { return kBaseReport; }},
        {"second further word", 20, [&](uint32_t) { return kBaseReport; }},
        {"item count", 24,
         [&](uint32_t v) {
             // Fewer items leave a later word to be read as the size: the lookback version (3 bytes), then the
             // first value of the second or third item (0x40000000 and 0x40000001 bytes, both 1.1 GB). One more
             // item runs into the end of the body.
             if (v == 0) return report("0", "", "3 bytes");
             if (v == 1) return report("1", firstItem, "1.1 GB");
             if (v == 2) return report("2", firstItem + "\r\nItems\\B.Item.Gbx", "1.1 GB");
             return v == 3 ? kBaseReport : Fails(kReadError);
         }},
        {"lookback version", 28, [&](uint32_t v) { return v < 3 ? Fails(kReadError) : kBaseReport; }},
        {"first lookback value", 32, [&](uint32_t) { return Messages{}; }},
        {"first string length", 36, [&](uint32_t v) { return v >= 0xFFFF ? Fails(kReadError) : Messages{}; }},
    };
    std::vector<HostileCase> cases;
    for (const Field& field : fields) {
        std::vector<uint32_t> values = ValuesAround(WordAt(base.layout.body, base.chunk + field.offset));
        for (uint32_t extra : {bodySize, bodySize + 1, 65534u, 65535u, 0x0FFFFFFFu, 0x10000000u, 0x10000001u}) values.push_back(extra);
        for (uint32_t value : values) {
            const Messages expected = field.expected(value);
            cases.push_back({std::string(field.name) + " " + std::to_string(value), MapWithChunkWord(base, field.offset, value),
                             {expected.empty() ? std::vector<Messages>{} : std::vector<Messages>{expected}, 3}});
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
        const std::string text = kReportHeading + std::string("3") + kItemLines + (s.text ? kSizeLine + std::string(s.text) : "");
        cases.push_back({"embedded size " + std::to_string(s.size) + " shown",
                         MapWithChunkWord(base, base.chunkEnd - base.chunk - 4, s.size), {{{Information(text)}}, 3}});
    }
    RunAll(cases);
}

TEST(HostileInputTest, EveryTruncationOfTheBody) {
    const Base base = MakeBase();
    std::vector<HostileCase> cases;
    for (size_t length = 0; length <= base.layout.body.size(); ++length) {
        MapLayout layout = base.layout;
        layout.body.resize(length);
        const Messages expected = length == 0                  ? Fails(kOutOfMemory)
                                  : length < base.chunk + 8    ? Fails(kNoChunk)
                                  : length < base.chunkEnd     ? Fails(kReadError)
                                                               : kBaseReport;
        cases.push_back({"body cut to " + std::to_string(length), BuildMap(layout), {{expected}, length == 0 ? 2 : 3}});
    }
    RunAll(cases);
}

TEST(HostileInputTest, LongestStringsAndCountsBeyondTheBody) {
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
         {{{Information(kReportHeading + std::string("2\r\n") + x511 + " (" + std::string(511, 'y') + ")\r\n" + x511)}}, 3}},
        {"identifier of 65535 bytes", mapOf(tooLong), {{Fails(kReadError)}, 3}},
        {"third string of 65535 bytes", mapOf(tooLongAuthor), {{Fails(kReadError)}, 3}},
    };
    for (uint32_t count : {4u, 1000u, 0x0FFFFFFFu, 0x10000000u}) {
        ItemsChunk chunk = longest;
        chunk.itemCount = count;
        cases.push_back({"item count " + std::to_string(count) + " over two items", mapOf(chunk), {{Fails(kReadError)}, 3}});
    }
    RunAll(cases);
}

}  // namespace
