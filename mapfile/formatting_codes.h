// The formatting codes in map names and author nicknames: `$` and a letter, or `$` and up to three hex digits
// for a colour. Read into the runs a name is drawn as, or dropped for the plain name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Styles a run of text is drawn in, as bits.
enum TextStyle : uint8_t { kBold = 1, kItalic = 2, kWide = 4, kNarrow = 8, kUpperCase = 16, kShadow = 32 };

// A piece of text drawn one way.
struct StyledRun {
    std::string text;  // UTF-8, as stored (ill-formed bytes kept: the JSON writer and the page escape them)
    int32_t colour;    // 0xRRGGBB, or -1 for the default colour
    uint8_t styles;    // TextStyle bits
    bool link;         // inside $l, $h or $p: shown as text, never made live
};

// The runs a formatted text is drawn as: adjacent characters with one look in one run; no empty runs. A leading
// U+FEFF is dropped, so the runs' texts together are PlainText's.
std::vector<StyledRun> ReadFormattingCodes(const char* bytes, size_t size);

// The text without its codes (and without a leading U+FEFF), as a plain name. In one pass, with no memory
// but the result's: it runs on every map.
std::string PlainText(const char* bytes, size_t size);
