// Whole runs in this process against the Linux layer's trace: each case's messages in their order, what it
// holds when the last one shows (and so releases afterwards), and the rules every run keeps.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "body_cursor.h"
#include "platform_trace.h"
#include "run_check.h"

namespace {

void ExpectRun(const RunRecord& run, const std::vector<Message>& messages, int held, const std::string& name) {
    EXPECT_EQ(run.broken, "") << name;
    EXPECT_EQ(run.messages, messages) << name;
    EXPECT_EQ(run.held, held) << name;
}

TEST(RunAccountingTest, EveryCaseReleasesWhatItHeldInOrder) {
    for (const RunCase& c : MapRunCases()) ExpectRun(TracedRunOnMap(c.map), BoxMessages(c.messages), c.held, c.name);
}

TEST(RunAccountingTest, RefusedAllocations) {
    struct Case {
        unsigned failing;  // which allocation of the run is refused
        const char* message;
        int held;
    };
    // The compressed buffer, the MapBody, the temporary block of the first string and of the last (the
    // sample's list takes six). Writing the list out reads it where it lies, taking no block.
    const Case cases[] = {{1, kOutOfMemory, 1}, {2, kOutOfMemory, 2}, {3, kReadError, 3}, {8, kReadError, 3}};
    for (const Case& c : cases) {
        PlatformFailAllocation(c.failing);
        ExpectRun(TracedRunOnMap(SampleMap()), {Warning(c.message)}, c.held, c.message);
        PlatformFailAllocation(0);
    }
}

// The command-line tail as wWinMain takes it: the whole tail is one path, blanks and all; one pair of
// enclosing quotes is removed; only its first 259 characters are used. Nothing is acquired for a path that
// names no file.
TEST(RunAccountingTest, CommandLineTail) {
    char pattern[] = "/tmp/tallyglass-tail-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern, path = dir + "/my maps/A  B.Map.Gbx";
    ASSERT_EQ(mkdir((dir + "/my maps").c_str(), 0700), 0);
    ASSERT_TRUE(WriteFile(path, SampleMap()));
    std::string longest = dir + "/";
    longest += std::string(259 - longest.size(), 'n');
    ASSERT_TRUE(WriteFile(longest, SampleMap()));

    const std::vector<Message> report = {Information(SampleReport())}, notFound = {Warning(kNotFound)};
    struct Case {
        const char* name;
        std::string tail;
        std::vector<Message> messages;
        int held;
    };
    const Case cases[] = {
        {"empty tail", "", {Warning(kUsage)}, 0},
        {"whole tail is the path", path, report, 3},
        {"quoted", "\"" + path + "\"", report, 3},
        {"quoted, then a second argument", "\"" + path + "\" x", notFound, 0},
        {"lone quote", "\"", notFound, 0},
        {"blanks alone name no file", "  ", notFound, 0},
        {"missing file", dir + "/none.Map.Gbx", notFound, 0},
        {"directory", dir, {Warning(kCannotOpen)}, 0},
        {"cut after 259 characters to an existing file", longest + ".Gbx", report, 3},
        {"one character short", longest.substr(0, 258), notFound, 0},
    };
    ExpectRun(TracedRun(nullptr), {Warning(kUsage)}, 0, "no tail");
    for (const Case& c : cases) ExpectRun(TracedRun(c.tail.c_str()), c.messages, c.held, c.name);
    EXPECT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
}

TEST(RunAccountingTest, RefusedStringBlockEmptiesTheField) {
    Bytes bytes;
    PutString(bytes, "abc");
    BodyCursor cursor = {bytes.data(), bytes.data() + bytes.size()};
    NarrowField field;
    strcpy(field.text, "old");
    PlatformFailAllocation(1);
    EXPECT_EQ(ReadString(&cursor, &field), -1);
    PlatformFailAllocation(0);
    EXPECT_STREQ(field.text, "");
    EXPECT_EQ(PlatformCurrentCounts().liveBlocks, 0);
}

}  // namespace
