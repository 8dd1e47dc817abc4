#include "json.h"

#include <cstdint>
#include <cstdio>

#include "utf.h"

namespace {

// The escape of a character that a JSON string cannot hold as it is, or that a terminal would act on; null
// for the others, which are written as they are.
const char* Escape(char32_t c, char (&hex)[8]) {
    switch (c) {
        case u'"': return "\\\"";
        case u'\\': return "\\\\";
        case u'\n': return "\\n";
        case u'\r': return "\\r";
        case u'\t': return "\\t";
        default: break;
    }
    if (!IsUnsafeInLine(c)) return nullptr;
    snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
    return hex;
}

bool IsPlain(unsigned c) { return c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\'; }  // most of any text

}  // namespace

void AppendJsonString(std::string* out, const char16_t* units, size_t count) {
    *out += '"';
    size_t plain = 0;  // start of the characters not yet written, which need no escape
    char hex[8];
    for (size_t i = 0; i < count; ++i) {
        if (IsPlain(units[i])) continue;
        const char* escape = Escape(units[i], hex);
        if (!escape) continue;
        AppendUtf16AsUtf8(*out, units + plain, i - plain);
        *out += escape;
        plain = i + 1;
    }
    AppendUtf16AsUtf8(*out, units + plain, count - plain);
    *out += '"';
}

void AppendJsonUtf8(std::string* out, const char* bytes, size_t count) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    *out += '"';
    size_t plain = 0;  // start of the bytes not yet written, which are valid and need no escape
    char hex[8];
    for (size_t i = 0; i < count;) {
        if (IsPlain(s[i])) {
            ++i;
            continue;
        }
        char32_t c = 0;
        const size_t length = DecodeUtf8(s + i, count - i, &c);
        const char* escape = c == kIllFormed ? "\xEF\xBF\xBD" : Escape(c, hex);
        if (escape) {
            out->append(bytes + plain, i - plain);
            *out += escape;
            plain = i + length;
        }
        i += length;
    }
    out->append(bytes + plain, count - plain);
    *out += '"';
}

void AppendBase64(std::string* out, const std::string& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (left > 1) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (left > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
        *out += kDigits[group >> 18];
        *out += kDigits[(group >> 12) & 63];
        *out += left > 1 ? kDigits[(group >> 6) & 63] : '=';
        *out += left > 2 ? kDigits[group & 63] : '=';
    }
}
