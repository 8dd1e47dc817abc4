// The page's boxes: each goes to the page as it is shown, its kind and its UTF-16 text unit for unit; the
// worker script (worker.js) passes it on to the page, which draws it as text.
#pragma once

// A new box with the caption "Tallyglass".
void ShowPageBox(bool information, const char16_t* text);
// More text for the last box: a long report goes in pieces.
void ExtendPageBox(const char16_t* text);
