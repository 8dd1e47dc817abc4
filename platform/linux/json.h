// JSON text for the lines of --json: strings that every JSON reader takes whole, with every character that a
// terminal would act on (utf.h's unsafe ones) escaped, so that a line can be shown as it is.
#pragma once

#include <cstddef>
#include <string>

// UTF-16 text as a JSON string; a lone surrogate (a byte of a file name that is not UTF-8) as U+FFFD.
void AppendJsonString(std::string* out, const char16_t* units, size_t count);
inline void AppendJsonString(std::string* out, const std::u16string& text) {
    AppendJsonString(out, text.data(), text.size());
}

// Bytes meant as UTF-8 as a JSON string, whole: a zero byte as \u0000, each maximal ill-formed subsequence as
// one U+FFFD.
void AppendJsonUtf8(std::string* out, const char* bytes, size_t count);

// Bytes in base64 (RFC 4648, with padding).
void AppendBase64(std::string* out, const std::string& bytes);
