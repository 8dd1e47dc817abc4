// Whole runs in this process against the Linux layer's trace: each case's messages in their order, what it
// holds when the last one shows (and so releases afterwards), and the rules every run keeps.
#include <gtest/gtest.h>

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
    for (const RunCase& c : MapRunCases()) ExpectRun(TracedRunOnMap(c.map), c.messages, c.held, c.name);
}

TEST(RunAccountingTest, RefusedAllocations) {
    struct Case {
        unsigned failing;  // which allocation of the run is refused
        const char* message;
        int held;
    };
    // The compressed buffer, the MapBody, then the temporary block of the first string.
    const Case cases[] = {{1, kOutOfMemory, 1}, {2, kOutOfMemory, 2}, {3, kReadError, 3}};
    for (const Case& c : cases) {
        PlatformFailAllocation(c.failing);
        ExpectRun(TracedRunOnMap(SampleMap()), {Warning(c.message)}, c.held, c.message);
        PlatformFailAllocation(0);
    }
}

TEST(RunAccountingTest, NothingIsAcquiredBeforeTheFileIsFound) {
    ExpectRun(TracedRun(nullptr), {Warning(kUsage)}, 0, "no tail");
    ExpectRun(TracedRun(""), {Warning(kUsage)}, 0, "empty tail");
    ExpectRun(TracedRun("/nonexistent/x.Gbx"), {Warning(kNotFound)}, 0, "missing file");
    ExpectRun(TracedRun(testing::TempDir().c_str()), {Warning(kCannotOpen)}, 0, "directory");
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
