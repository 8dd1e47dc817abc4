// UTF-8 and UTF-16: the conversions of the command and of the layers of ours (Linux, the page), and what
// keeps text from a map or a command line on its line.
#pragma once

#include <cstddef>
#include <string>

#include "platform.h"

// Wide text as the logic takes it: UTF-16 code units on every platform.
typedef std::basic_string<WCHAR> WideString;

// Text: what cannot be converted becomes U+FFFD, an invalid UTF-8 sequence as MultiByteToWideChar does (see
// utf.cpp), a lone surrogate alone.
WideString Utf8ToUtf16(const char* bytes, size_t count);
std::string Utf16ToUtf8(const WCHAR* units, size_t count);
void AppendUtf16AsUtf8(std::string& out, const WCHAR* units, size_t count);  // Utf16ToUtf8, appended

// File names, which Linux takes as bytes: each byte that is not part of valid UTF-8 travels as one lone
// surrogate U+DC80..U+DCFF and turns back into that byte, so every name comes back as the bytes it was.
WideString FileNameToUtf16(const std::string& bytes);
std::string FileNameFromUtf16(const WCHAR* units, size_t count);

// The code point of the UTF-8 sequence at `s` (of `count` bytes, at least 1), or kIllFormed for a maximal
// subpart of an ill-formed one: the Unicode standard's recommended practice (and WHATWG's), under which each
// such subpart stands for one U+FFFD. Returns how many bytes it takes.
const char32_t kIllFormed = 0x110000;
size_t DecodeUtf8(const unsigned char* s, size_t count, char32_t* c);

// Whether a character could break a line, move the cursor, or reorder what follows it on a terminal or a
// page: C0 (TAB, CR and LF too), DEL, C1, the bidirectional embeddings, overrides and isolates, U+2028 and
// U+2029.
inline bool IsUnsafeInLine(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
           c == 0x2028 || c == 0x2029;
}

// Replaces each unsafe character with U+FFFD, in place.
void ReplaceUnsafeInLine(WCHAR* units, size_t count);

// UTF-8 for one line of a terminal or a page: each character that is unsafe in a line and each lone surrogate
// (a byte of a file name that is not UTF-8) becomes U+FFFD.
std::string LineText(const WCHAR* units, size_t count);
