#include "utf.h"

namespace {

const WCHAR kReplacement = 0xFFFD;

// Bytes allowed right after `lead` at the second position; later positions take 0x80..0xBF.
bool SecondByteFits(unsigned char lead, unsigned char b) {
    switch (lead) {
        case 0xE0: return b >= 0xA0 && b <= 0xBF;
        case 0xED: return b >= 0x80 && b <= 0x9F;
        case 0xF0: return b >= 0x90 && b <= 0xBF;
        case 0xF4: return b >= 0x80 && b <= 0x8F;
        default: return b >= 0x80 && b <= 0xBF;
    }
}

// Number of continuation bytes a lead byte announces, or -1 for a byte that cannot start a sequence.
int ContinuationCount(unsigned char lead) {
    if (lead < 0x80) return 0;
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return -1;
}

void AppendUtf16(WideString& out, char32_t c) {
    if (c >= 0x10000) {
        out += static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<WCHAR>(c);
    }
}

// Writes one code point at `out`; returns the place behind it.
char* PutUtf8(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Lone surrogates become U+FFFD, or with `escapes` those of U+DC80..U+DCFF the byte they carry. The bytes are
// written in place, in room for the most they can take (three per unit), and the string cut to them after.
void AppendUtf16Bytes(std::string& out, const WCHAR* units, size_t count, bool escapes) {
    const size_t start = out.size();
    out.resize(start + 3 * count);
    char* at = &out[0] + start;
    for (size_t i = 0; i < count; ++i) {
        const WCHAR u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            at = PutUtf8(at, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (escapes && u >= 0xDC80 && u <= 0xDCFF) {
            *at++ = static_cast<char>(u - 0xDC00);
        } else {
            at = PutUtf8(at, u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
        }
    }
    out.resize(static_cast<size_t>(at - out.data()));
}

std::string Utf16ToBytes(const WCHAR* units, size_t count, bool escapes) {
    std::string out;
    AppendUtf16Bytes(out, units, count, escapes);
    return out;
}

}  // namespace


// As MultiByteToWideChar(CP_UTF8, 0, ...) does under Wine, so that both builds show the same text: each
// invalid sequence becomes one U+FFFD. A lead byte takes the byte after it if that is any continuation byte
// (80..BF), even one outside the lead's range (E0 80, ED A0, F0 80, F4 90), and later continuation bytes only
// while the sequence stays valid; a lead announcing more bytes than the input has left takes all the rest.
WideString Utf8ToUtf16(const char* bytes, size_t count) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    WideString out;
    out.reserve(count);
    size_t i = 0;
    while (i < count) {
        const unsigned char lead = s[i++];
        const int more = ContinuationCount(lead);
        if (more <= 0) {
            out += more == 0 ? static_cast<WCHAR>(lead) : kReplacement;
            continue;
        }
        if (count - i < static_cast<size_t>(more)) {
            out += kReplacement;
            break;
        }
        const bool fits = SecondByteFits(lead, s[i]);
        char32_t c = lead & (0x3F >> more);
        int taken = 0;
        while (taken < more && (s[i] & 0xC0) == 0x80 && (taken == 0 || fits)) {
            c = (c << 6) | (s[i++] & 0x3F);
            ++taken;
        }
        AppendUtf16(out, taken < more || !fits ? kReplacement : c);
    }
    return out;
}

std::string Utf16ToUtf8(const WCHAR* units, size_t count) { return Utf16ToBytes(units, count, false); }

void AppendUtf16AsUtf8(std::string& out, const WCHAR* units, size_t count) {
    AppendUtf16Bytes(out, units, count, false);
}

size_t DecodeUtf8(const unsigned char* s, size_t count, char32_t* c) {
    const int more = ContinuationCount(s[0]);
    if (more <= 0) {
        *c = more == 0 ? s[0] : kIllFormed;
        return 1;
    }
    char32_t code = s[0] & (0x3F >> more);
    size_t taken = 1;
    for (; taken <= static_cast<size_t>(more) && taken < count; ++taken) {
        const bool fits = taken == 1 ? SecondByteFits(s[0], s[1]) : (s[taken] & 0xC0) == 0x80;
        if (!fits) break;
        code = (code << 6) | (s[taken] & 0x3F);
    }
    *c = taken == static_cast<size_t>(more) + 1 ? code : kIllFormed;
    return taken;
}

void ReplaceUnsafeInLine(WCHAR* units, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (IsUnsafeInLine(units[i])) units[i] = kReplacement;
    }
}

// Valid UTF-8 never encodes a surrogate, so an escaped byte cannot be mistaken for a decoded character.
WideString FileNameToUtf16(const std::string& bytes) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes.data());
    WideString out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        const size_t length = DecodeUtf8(s + i, bytes.size() - i, &c);
        if (c != kIllFormed) {
            AppendUtf16(out, c);
        } else {
            for (size_t k = 0; k < length; ++k) out += static_cast<WCHAR>(0xDC00 + s[i + k]);
        }
        i += length;
    }
    return out;
}

std::string FileNameFromUtf16(const WCHAR* units, size_t count) { return Utf16ToBytes(units, count, true); }

std::string LineText(const WCHAR* units, size_t count) {
    WideString shown(units, count);
    ReplaceUnsafeInLine(&shown[0], count);
    return Utf16ToUtf8(shown.data(), shown.size());
}
