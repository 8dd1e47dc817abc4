// Whole runs in-process against the Linux layer's accounting: the messages in their order, then the release
// of the MapBody, the compressed buffer and the file (whichever are held), with nothing left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "body_cursor.h"
#include "entry.h"
#include "platform_trace.h"
#include "run_cases.h"
#include "utf.h"

namespace {

std::vector<std::string> TracedRun(const std::string& path) {
    std::u16string tail = Utf8ToUtf16(path.data(), path.size());
    PlatformTraceBegin();
    EXPECT_EQ(wWinMain(nullptr, nullptr, tail.data(), 0), 0);
    return PlatformTraceEnd();
}

std::string TempMap(const Bytes& bytes) {
    // Tests may run in parallel processes: one file per test.
    const std::string path = testing::TempDir() + "tallyglass-" +
                             testing::UnitTest::GetInstance()->current_test_info()->name() + ".Map.Gbx";
    EXPECT_TRUE(WriteFile(path, bytes));
    return path;
}

// Checks one run's trace: the messages, then exactly the `held` releases in order, and nothing left open.
void ExpectRun(const std::vector<std::string>& trace, const std::vector<Message>& messages, int held,
               const std::string& name) {
    std::vector<std::string> shown, allocations;
    size_t afterLastMessage = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        if (trace[i].rfind("MessageBoxW ", 0) == 0) {
            shown.push_back(trace[i]);
            afterLastMessage = i + 1;
        } else if (trace[i].rfind("GlobalAlloc ", 0) == 0) {
            allocations.push_back(trace[i].substr(strlen("GlobalAlloc ")));
        }
    }
    std::vector<std::string> expectedShown;
    for (const Message& m : messages) {
        expectedShown.push_back(std::string("MessageBoxW ") + (m.information ? "0x40" : "0x30") + " Tallyglass|" + m.text);
    }
    EXPECT_EQ(shown, expectedShown) << name;

    std::vector<std::string> releases(trace.begin() + static_cast<long>(afterLastMessage), trace.end());
    std::vector<std::string> expectedReleases;
    if (held >= 3) expectedReleases.push_back("GlobalFree " + allocations.at(1));
    if (held >= 2) expectedReleases.push_back("GlobalFree " + allocations.at(0));
    if (held >= 1) expectedReleases.push_back("CloseHandle");
    EXPECT_EQ(releases, expectedReleases) << name;

    const PlatformCounts counts = PlatformCurrentCounts();
    EXPECT_EQ(counts.openFiles, 0) << name;
    EXPECT_EQ(counts.liveBlocks, 0) << name;
}

TEST(RunAccountingTest, EveryCaseReleasesWhatItHeldInOrder) {
    for (const RunCase& c : MapRunCases()) ExpectRun(TracedRun(TempMap(c.map)), c.messages, c.held, c.name);
}

TEST(RunAccountingTest, RefusedAllocations) {
    const std::string path = TempMap(SampleMap());
    struct Case {
        unsigned failing;  // which allocation of the run is refused
        const char* message;
        int held;
    };
    // The compressed buffer, the MapBody, then the temporary block of the first string.
    const Case cases[] = {{1, "Out of memory.", 1}, {2, "Out of memory.", 2}, {3, "Error while reading input file.", 3}};
    for (const Case& c : cases) {
        PlatformFailAllocation(c.failing);
        ExpectRun(TracedRun(path), {{false, c.message}}, c.held, c.message);
        PlatformFailAllocation(0);
    }
}

TEST(RunAccountingTest, NothingIsAcquiredBeforeTheFileIsFound) {
    EXPECT_EQ(TracedRun(""), std::vector<std::string>{"MessageBoxW 0x30 Tallyglass|Usage: Tallyglass.exe <Map.Gbx>"});
    EXPECT_EQ(TracedRun("/nonexistent/x.Gbx"), std::vector<std::string>{"MessageBoxW 0x30 Tallyglass|File not found."});
    EXPECT_EQ(TracedRun(testing::TempDir()),
              std::vector<std::string>{"MessageBoxW 0x30 Tallyglass|Could not open input file."});
    PlatformTraceBegin();
    EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(PlatformTraceEnd().size(), 1u);
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
