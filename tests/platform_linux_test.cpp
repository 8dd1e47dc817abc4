// The Linux layer gives the results the logic relies on from the Windows calls it stands in for.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform.h"
#include "utf.h"

namespace {

std::u16string Wide(const char* utf8) { return Utf8ToUtf16(utf8, strlen(utf8)); }

TEST(LinuxPlatformTest, Utf8ToUtf16ReplacesInvalidSequencesAsMultiByteToWideChar) {
    struct Case { const char* name; std::string bytes; std::u16string units; };
    const Case cases[] = {
        {"ascii", "abc", u"abc"},
        {"two, three and four bytes", "\xC3\xA9\xE6\x9C\xA8\xF0\x9F\x8C\xB2", u"\u00E9\u6728\U0001F332"},
        {"lone continuation", "a\x80z", u"a\uFFFDz"}, {"truncated sequence before ascii", "\xE6\x9Cz", u"\uFFFDz"},
        {"overlong C0", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong E0, second byte taken", "\xE0\x80\x80z", u"\uFFFD\uFFFDz"},
        {"surrogate encoded, second byte taken", "\xED\xA0\x80", u"\uFFFD\uFFFD"},
        {"beyond U+10FFFF, second byte taken", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"lead short of its bytes takes the rest", "a\xF0\x9Fz", u"a\uFFFD"}, {"invalid lead", "\xFF", u"\uFFFD"},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.bytes.data(), c.bytes.size()), c.units) << c.name;
}

TEST(LinuxPlatformTest, Utf16ToUtf8ReplacesLoneSurrogates) {
    const std::u16string pair = u"\U0001F332";
    EXPECT_EQ(Utf16ToUtf8(pair.data(), pair.size()), "\xF0\x9F\x8C\xB2");
    EXPECT_EQ(Utf16ToUtf8(pair.data(), 1), "\xEF\xBF\xBD");
    const char16_t lowFirst[] = {0xDC00, u'a'};
    EXPECT_EQ(Utf16ToUtf8(lowFirst, 2), "\xEF\xBF\xBD" "a");
}

// Any bytes of a file name come back as they were; valid UTF-8 in it is decoded, so the logic sees its text.
TEST(LinuxPlatformTest, FileNamesComeBackAsTheirBytes) {
    const std::string names[] = {"plain", "caf\xC3\xA9 \xF0\x9F\x8C\xB2", "\xFF\xFE", "\xED\xB2\x80 encoded surrogate",
                                 "\xE6\x9C cut short", "\xC0\xAF overlong", "\x80\xBF\xF4\x90\x80\x80"};
    for (const std::string& name : names) {
        const std::u16string units = FileNameToUtf16(name);
        EXPECT_EQ(FileNameFromUtf16(units.data(), units.size()), name) << name;
    }
    EXPECT_EQ(FileNameToUtf16("caf\xC3\xA9\xFF"), u"caf\u00E9\xDCFF");
}

TEST(LinuxPlatformTest, MultiByteToWideCharCountsTheTerminatorAndNeedsRoom) {
    WCHAR wide[4];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9z", -1, wide, 4), 3);
    EXPECT_EQ(std::u16string(wide), u"\u00E9z");
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, nullptr, 0), 5);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, wide, 4), 0);
}

TEST(LinuxPlatformTest, PathUnquoteSpacesRemovesOneEnclosingPair) {
    struct Case { const char* path; const char* unquoted; };
    const Case cases[] = {{"\"a b\"", "a b"}, {"\"a\" b", "\"a\" b"}, {"a\"", "a\""},   {"\"\"", ""},
                          {"\"", ""},         {"\"\"x\"\"", "\"x\""}, {"plain", "plain"}, {"", ""}};
    for (const Case& c : cases) {
        std::u16string path = Wide(c.path);
        PathUnquoteSpacesW(path.data());
        EXPECT_EQ(std::u16string(path.c_str()), Wide(c.unquoted)) << c.path;
    }
}

TEST(LinuxPlatformTest, ZeroByteBlocksExistButCannotBeLocked) {
    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalLock(empty), nullptr);
    EXPECT_EQ(GlobalFree(empty), nullptr);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
    unsigned char* bytes = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(bytes[i], 0);
    EXPECT_EQ(GlobalHandle(bytes), block);
    GlobalUnlock(block);
    GlobalFree(block);
}

// Small blocks are cleared by hand and large ones come zeroed from calloc. Each block is dirtied before it is
// freed, so the second of each size reuses dirty memory and must still read as zeros, on both sides of the boundary.
TEST(LinuxPlatformTest, BlocksAreZeroEvenWhenTheirMemoryWasUsedBefore) {
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{64}, SIZE_T{65536}, SIZE_T{65537}, SIZE_T{1} << 20}) {
        for (int round = 0; round < 2; ++round) {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
            unsigned char* bytes = static_cast<unsigned char*>(GlobalLock(block));
            ASSERT_NE(bytes, nullptr) << size;
            EXPECT_EQ(std::count_if(bytes, bytes + size, [](unsigned char b) { return b != 0; }), 0) << size;
            memset(bytes, 0xAB, size);
            GlobalUnlock(block);
            GlobalFree(block);
        }
    }
}

TEST(LinuxPlatformTest, SetFilePointerMayPassTheEndButNotTheStart) {
    char path[] = "/tmp/tallyglass-seek-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "0123456789", 10), 10);
    close(fd);
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 10u);
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_CURRENT), 4u);
    EXPECT_EQ(SetFilePointer(file, -5, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(SetFilePointer(file, 100, nullptr, FILE_CURRENT), 104u);
    char buffer[4];
    DWORD read = 7;
    EXPECT_TRUE(ReadFile(file, buffer, 4, &read, nullptr));
    EXPECT_EQ(read, 0u);
    CloseHandle(file);
    unlink(path);
}

}  // namespace
