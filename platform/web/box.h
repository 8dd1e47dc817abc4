// The page's boxes: each goes to the page as it is shown, its kind and its UTF-16 text unit for unit; the
// worker script (worker.js) passes it on to the page, which draws it as text.
#pragma once

#include <cstdint>

// A new box with the caption "Tallyglass".
void ShowPageBox(bool information, const char16_t* text);
// More text for the last box: a long report goes in pieces.
void ExtendPageBox(const char16_t* text);

// The embedded files under the report: each file in the archive's order with its sizes (in bytes and as the
// report writes them), each finding's kind and sentence, then the packed total, which ends them.
void AddPageFile(const char16_t* name, uint64_t size, uint64_t packedSize, const char16_t* sizeText,
                 const char16_t* packedText);
void AddPageFinding(const char16_t* kind, const char16_t* sentence);
void ShowPageFiles(const char16_t* packedTotal);
