#include "utf.h"

namespace {

const char16_t kReplacement = 0xFFFD;

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

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::u16string Utf8ToUtf16(const char* bytes, size_t count) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    std::u16string out;
    out.reserve(count);
    size_t i = 0;
    while (i < count) {
        const unsigned char lead = s[i];
        const int more = ContinuationCount(lead);
        if (more < 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        char32_t c = more == 0 ? lead : (lead & (0x3F >> more));
        size_t next = i + 1;
        bool complete = true;
        for (int k = 0; k < more; ++k, ++next) {
            if (next >= count || !(k == 0 ? SecondByteFits(lead, s[next]) : (s[next] & 0xC0) == 0x80)) {
                complete = false;
                break;
            }
            c = (c << 6) | (s[next] & 0x3F);
        }
        if (!complete) {
            out += kReplacement;
        } else if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i = next;
    }
    return out;
}

std::string Utf16ToUtf8(const char16_t* units, size_t count) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}
