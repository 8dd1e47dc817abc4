// UTF-8 and UTF-16 conversions of the Linux layer.
#pragma once

#include <string>

// Text: what cannot be converted becomes U+FFFD, an invalid UTF-8 sequence as MultiByteToWideChar does (see
// utf.cpp), a lone surrogate alone.
std::u16string Utf8ToUtf16(const char* bytes, size_t count);
std::string Utf16ToUtf8(const char16_t* units, size_t count);
void AppendUtf16AsUtf8(std::string& out, const char16_t* units, size_t count);  // Utf16ToUtf8, appended

// File names, which Linux takes as bytes: each byte that is not part of valid UTF-8 travels as one lone
// surrogate U+DC80..U+DCFF and turns back into that byte, so every name comes back as the bytes it was.
std::u16string FileNameToUtf16(const std::string& bytes);
std::string FileNameFromUtf16(const char16_t* units, size_t count);
