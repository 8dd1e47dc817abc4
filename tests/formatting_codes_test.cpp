#include "formatting_codes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

const int32_t D = -1;  // the default colour
const uint8_t kBoldNarrow = kBold | kNarrow;

struct Run { std::string text; int32_t colour; uint8_t styles; bool link; };
struct Case { const char* name; std::string input; std::string plain; std::vector<Run> runs; };

void ExpectReads(const Case& c) {
    EXPECT_EQ(PlainText(c.input.data(), c.input.size()), c.plain) << c.name;
    const std::vector<StyledRun> runs = ReadFormattingCodes(c.input.data(), c.input.size());
    ASSERT_EQ(runs.size(), c.runs.size()) << c.name;
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].text, c.runs[i].text) << c.name << " run " << i;
        EXPECT_EQ(runs[i].colour, c.runs[i].colour) << c.name << " run " << i;
        EXPECT_EQ(runs[i].styles, c.runs[i].styles) << c.name << " run " << i;
        EXPECT_EQ(runs[i].link, c.runs[i].link) << c.name << " run " << i;
    }
}

TEST(FormattingCodesTest, NamesAsTheyAreDrawn) {
    const Case cases[] = {
        {"colours and shadow", "$s$fffspm$f01Xmas", "spmXmas", {{"spm", 0xFFFFFF, kShadow, false},
                                                                {"Xmas", 0xFF0011, kShadow, false}}},
        {"reset", "$o$nShort$z plain", "Short plain", {{"Short", D, kBoldNarrow, false}, {" plain", D, 0, false}}},
        {"letters either case", "$O$I$T$S$F00x", "x", {{"x", 0xFF0000, kBold | kItalic | kUpperCase | kShadow, false}}},
        {"narrow after wide wins, and wide after narrow", "$w$na$wb", "ab",
         {{"a", D, kNarrow, false}, {"b", D, kWide, false}}},
        {"default colour", "$0f0a$gb", "ab", {{"a", 0x00FF00, 0, false}, {"b", D, 0, false}}},
        {"same look again joins the run", "$f00a$F00b$o$zc$gd", "abcd",
         {{"ab", 0xFF0000, 0, false}, {"cd", D, 0, false}}},
        {"group undoes its changes", "$<$f00red$> after", "red after",
         {{"red", 0xFF0000, 0, false}, {" after", D, 0, false}}},
        {"nested groups", "$i$<$o$<$00fa$>b$>c", "abc",
         {{"a", 0x0000FF, kBold | kItalic, false}, {"b", D, kBold | kItalic, false}, {"c", D, kItalic, false}}},
        {"reset inside a group is undone too", "$o$<$zx$>y", "xy", {{"x", D, 0, false}, {"y", D, kBold, false}}},
        {"close without open is dropped", "$f00a$>b", "ab", {{"ab", 0xFF0000, 0, false}}},
        {"group left open", "a$<$ob", "ab", {{"a", D, 0, false}, {"b", D, kBold, false}}},
        {"link with target", "$l[https://x]click$l here", "click here",
         {{"click", D, 0, true}, {" here", D, 0, false}}},
        {"login link", "$h[login]Nick$h", "Nick", {{"Nick", D, 0, true}}},
        {"link without target, to the end", "$p$f00go", "go", {{"go", 0xFF0000, 0, true}}},
        {"any link code closes", "$Hab$lc", "abc", {{"ab", D, 0, true}, {"c", D, 0, false}}},
        {"a closing code takes no target", "$la$l[b]", "a[b]", {{"a", D, 0, true}, {"[b]", D, 0, false}}},
        {"reset closes a link", "$lab$zc", "abc", {{"ab", D, 0, true}, {"c", D, 0, false}}},
        {"a group's close ends its link", "$<$lab$>c", "abc", {{"ab", D, 0, true}, {"c", D, 0, false}}},
        {"a link from before the group outlives it", "$la$<b$>c$ld", "abcd", {{"abc", D, 0, true}, {"d", D, 0, false}}},
        {"unclosed bracket is text, codes in it too", "$l[no $oclose", "[no close",
         {{"[no ", D, 0, true}, {"close", D, kBold, true}}},
        {"the first bracket closes the target", "$l[a]b]c", "b]c", {{"b]c", D, 0, true}}},
        {"two targets", "$l[a]b$l $l[c]d", "b d", {{"b", D, 0, true}, {" ", D, 0, false}, {"d", D, 0, true}}},
        {"leading byte order mark", "\xEF\xBB\xBF$f00Name", "Name", {{"Name", 0xFF0000, 0, false}}},
        {"only one byte order mark, only at the start", "\xEF\xBB\xBF\xEF\xBB\xBF" "a\xEF\xBB\xBF",
         "\xEF\xBB\xBF" "a\xEF\xBB\xBF", {{"\xEF\xBB\xBF" "a\xEF\xBB\xBF", D, 0, false}}},
        {"byte order mark alone", "\xEF\xBB\xBF", "", {}},
        {"code before a byte order mark", "$o\xEF\xBB\xBF", "\xEF\xBB\xBF", {{"\xEF\xBB\xBF", D, kBold, false}}},
        {"dollar", "$$5", "$5", {{"$5", D, 0, false}}},
        {"dollar then code", "$$$o$$", "$$", {{"$", D, 0, false}, {"$", D, kBold, false}}},
        {"one hex digit", "$fz", "z", {{"z", 0xFF0000, 0, false}}},
        {"two hex digits", "$fax", "x", {{"x", 0xFFAA00, 0, false}}},
        {"a fourth hex digit is text", "$abcd", "d", {{"d", 0xAABBCC, 0, false}}},
        {"hex digit at the end", "ab$f", "ab", {{"ab", D, 0, false}}},
        {"lone dollar at the end", "abc$", "abc", {{"abc", D, 0, false}}},
        {"unknown codes", "$xa$Q$<$>b$ ", "ab", {{"ab", D, 0, false}}},
        {"unknown code takes its whole character", "a$\xC3\xA9" "b$\xE2\x82\xAC" "c$\xF0\x9F\x8F\x81" "d", "abcd",
         {{"abcd", D, 0, false}}},
        {"unknown code before a cut character takes one byte", "a$\xE2\x82" "b$\xED\xA0\x80", "a\x82" "b\xA0\x80",
         {{"a\x82" "b\xA0\x80", D, 0, false}}},
        {"ill-formed bytes kept", "\xFF$o\xC3", "\xFF\xC3", {{"\xFF", D, 0, false}, {"\xC3", D, kBold, false}}},
        {"zero byte kept", "a\0$ob"s, "a\0b"s, {{"a\0"s, D, 0, false}, {"b", D, kBold, false}}},
        {"empty", "", "", {}},
        {"codes only", "$o$f00$<$l[x]$>", "", {}},
    };
    for (const Case& c : cases) ExpectReads(c);
}

// A name may be a megabyte of codes: read in one pass, each open group and each target without its `]` costing
// no more than its own bytes.
TEST(FormattingCodesTest, LongNames) {
    const size_t count = 1 << 18;
    std::string colours, groups, targets;
    for (size_t i = 0; i < count; ++i) colours += "$f00a";
    for (size_t i = 0; i < count; ++i) groups += "$<$o";
    groups += "a";
    for (size_t i = 0; i < count; ++i) groups += "$>";
    groups += "b";
    for (size_t i = 0; i < count; ++i) targets += "$l[a$l";
    std::string brackets;
    for (size_t i = 0; i < count; ++i) brackets += "[a";
    const Case cases[] = {
        {"colours", colours, std::string(count, 'a'), {{std::string(count, 'a'), 0xFF0000, 0, false}}},
        {"groups", groups, "ab", {{"a", D, kBold, false}, {"b", D, 0, false}}},
        {"targets without their bracket", targets, brackets, {{brackets, D, 0, true}}},
    };
    for (const Case& c : cases) ExpectReads(c);
}

}  // namespace
