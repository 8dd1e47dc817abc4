// UTF-8 and UTF-16 conversions of the Linux layer. Both replace what cannot be converted with U+FFFD: an
// invalid UTF-8 sequence as MultiByteToWideChar does (see utf.cpp), a lone surrogate alone.
#pragma once

#include <string>

std::u16string Utf8ToUtf16(const char* bytes, size_t count);
std::string Utf16ToUtf8(const char16_t* units, size_t count);
