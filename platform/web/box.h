// The page's boxes and what else a map's run hands to the page: each goes to the page as it comes, text
// unit for unit as UTF-16; the worker script (page/worker.js) passes it on to the page, which draws it as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A new box with the caption "Tallyglass".
void ShowPageBox(bool information, const char16_t* text);
// More text for the last box: a long report goes in pieces.
void ExtendPageBox(const char16_t* text);

// The embedded files in the archive's order, however many, in a few arrays.
struct PageFiles {
    std::u16string names;           // every name exact, one after another
    std::u16string shown;           // the same, each character unsafe in a line as U+FFFD: as long as `names`
    std::vector<uint32_t> lengths;  // of each name, in units
    std::vector<double> sizes;      // size and packed size of each file, exact below 2^53
    std::u16string sizeTexts;       // size and packed size of each file as the report writes them, each ended by LF
};

// The findings go first, each its kind and sentence; the files end them. `known`: false when the archive
// cannot be read, so that which files it holds is not known.
void AddPageFinding(const char16_t* kind, const char16_t* sentence);
void ShowPageFiles(const PageFiles& files, bool known, const char16_t* packedTotal);

// How far reading the embedded files has come, in packed bytes.
void ShowPageProgress(uint64_t done, uint64_t total);

// A piece of the map's JSON line, UTF-8.
void AddPageLine(const char* text, size_t length);

// A formatted text (a name) as the runs it is drawn as.
struct PageStyledText {
    std::u16string text;            // the runs' texts one after another, each character unsafe in a line as U+FFFD
    std::vector<uint32_t> lengths;  // of each run, in units
    std::vector<int32_t> colours;   // of each run: 0xRRGGBB, or -1 for the default
    std::vector<uint8_t> looks;     // of each run: its TextStyle bits, and kLinkLook inside a link
};
const uint8_t kLinkLook = 64;

// What the page draws of the map's card beyond its JSON line: the name and the author's nickname as runs,
// the thumbnail where it lies in the map file, and the uid's bytes, by which the page finds a pool's duplicates.
struct PageCard {
    bool known;
    bool hasUid;
    std::string uid;
    PageStyledText name, nickname;
    double thumbnailOffset;
    uint32_t thumbnailSize;
};

// The run's end: whether the map file was opened and its size, the report's item count and embedded size,
// and the map's card.
void ShowPageRun(bool opened, double fileSize, uint32_t items, uint32_t embeddedSize, const PageCard& card);
