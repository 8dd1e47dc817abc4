// The Linux layer's Utf8ToUtf16 against the real MultiByteToWideChar(CP_UTF8, 0, ...) it stands in for.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <random>
#include <string>

#include "../command/utf.h"

namespace {

template <typename Unit>
std::string Hex(const Unit* units, size_t count) {
    std::string text;
    char digits[8];
    for (size_t i = 0; i < count; ++i) {
        snprintf(digits, sizeof digits, " %0*X", static_cast<int>(2 * sizeof(Unit)), static_cast<unsigned>(units[i]));
        text += digits;
    }
    return text;
}

TEST(Utf8WineTest, Utf8ToUtf16MatchesMultiByteToWideChar) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
    const std::string interesting("\x00\x41\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xED\xEF\xF0\xF1\xF4"
                                  "\xF5\xF8\xFE\xFF", 24);
    struct Row {
        const std::string& alphabet;
        int minLength, maxLength;
        size_t samples;  // random strings of each length; 0: every string
    };
    const Row rows[] = {{everyByte, 1, 3, 0}, {interesting, 4, 4, 0}, {interesting, 5, 8, 100000}};
    std::mt19937 random(12);
    size_t compared = 0, mismatches = 0;
    for (const Row& row : rows) {
        const size_t size = row.alphabet.size();
        for (int length = row.minLength; length <= row.maxLength; ++length) {
            size_t total = row.samples;
            if (total == 0) {
                total = 1;
                for (int k = 0; k < length; ++k) total *= size;
            }
            for (size_t n = 0; n < total; ++n, ++compared) {
                unsigned char bytes[8];
                for (size_t k = 0, rest = n; k < static_cast<size_t>(length); ++k, rest /= size)
                    bytes[k] = static_cast<unsigned char>(row.alphabet[row.samples ? random() % size : rest % size]);
                const char* text = reinterpret_cast<const char*>(bytes);
                WCHAR wide[16];
                const int units = MultiByteToWideChar(CP_UTF8, 0, text, length, wide, 16);
                const WideString ours = Utf8ToUtf16(text, static_cast<size_t>(length));
                if (units > 0 && ours == WideString(wide, wide + units)) continue;
                if (++mismatches <= 20)
                    ADD_FAILURE() << "bytes" << Hex(bytes, static_cast<size_t>(length)) << ": Utf8ToUtf16"
                                  << Hex(ours.data(), ours.size()) << ", MultiByteToWideChar"
                                  << Hex(wide, static_cast<size_t>(units > 0 ? units : 0));
            }
        }
    }
    printf("Compared %llu byte strings\n", static_cast<unsigned long long>(compared));
    EXPECT_EQ(mismatches, 0u) << "of " << compared;
}

}  // namespace
