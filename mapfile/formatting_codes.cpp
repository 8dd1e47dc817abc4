#include "formatting_codes.h"

#include <cstring>

namespace {

const int32_t kDefaultColour = -1;

struct Look {
    int32_t colour;
    uint8_t styles;
};

// Where reading has come to, and how the text there is drawn.
//
// A link ($l, $h or $p) ends at the next of those codes, at $z, at the close of the group it opened in, or at
// the end of the text: links do not nest. Only an opening code takes a [target]; after a closing one, `[` is
// text. Closing a group undoes its colour and styles, not the links: one closed inside the group stays closed.
struct CodeReader {
    const char* at;
    const char* end;
    Look look;
    bool link;
    size_t groups;         // groups open
    size_t linkGroups;     // groups open when the link opened: it ends when one of them closes
    const char* bracket;   // the first `]` past where one was last looked for, or the end: no byte is searched twice
    std::vector<Look>* saved;  // the look where each open group began; null when looks are not kept
};

CodeReader StartReading(const char* bytes, size_t size, std::vector<Look>* saved) {
    CodeReader reader = {bytes, bytes + size, {kDefaultColour, 0}, false, 0, 0, nullptr, saved};
    if (size >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) reader.at += 3;
    return reader;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The bytes of the character at `at`: a well-formed UTF-8 sequence whole, anything else one byte.
size_t CharacterLength(const char* at, const char* end) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(at);
    const size_t left = static_cast<size_t>(end - at);
    unsigned low = 0x80, high = 0xBF;
    size_t length = 0;
    if (p[0] < 0xC2 || p[0] > 0xF4) return 1;
    if (p[0] < 0xE0) {
        length = 2;
    } else if (p[0] < 0xF0) {
        length = 3;
        if (p[0] == 0xE0) low = 0xA0;   // no overlong forms
        if (p[0] == 0xED) high = 0x9F;  // no surrogates
    } else {
        length = 4;
        if (p[0] == 0xF0) low = 0x90;
        if (p[0] == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    }
    if (left < length || p[1] < low || p[1] > high) return 1;
    for (size_t i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) return 1;
    }
    return length;
}

// At least one hex digit is at `at`; a missing second or third reads as 0.
void ReadColour(CodeReader* reader) {
    int32_t colour = 0;
    for (int i = 0; i < 3; ++i) {
        const int digit = reader->at < reader->end ? HexValue(*reader->at) : -1;
        if (digit >= 0) ++reader->at;
        colour = colour << 8 | (digit >= 0 ? digit * 17 : 0);
    }
    reader->look.colour = colour;
}

// Drops the [target] after a link's opening code. Without a `]` the `[` stays, as text.
void SkipTarget(CodeReader* reader) {
    if (reader->at == reader->end || *reader->at != '[') return;
    if (!reader->bracket || reader->bracket <= reader->at) {
        const size_t left = static_cast<size_t>(reader->end - reader->at - 1);
        const void* found = memchr(reader->at + 1, ']', left);
        reader->bracket = found ? static_cast<const char*>(found) : reader->end;
    }
    if (reader->bracket != reader->end) reader->at = reader->bracket + 1;
}

// Acts on the code after a `$` (at `at`: not the end, a `$` or a hex digit) and passes its character.
void ReadCode(CodeReader* reader) {
    const char code = Lower(*reader->at);
    reader->at += CharacterLength(reader->at, reader->end);
    Look& look = reader->look;
    switch (code) {
        case 'o': look.styles |= kBold; return;
        case 'i': look.styles |= kItalic; return;
        case 'w': look.styles = static_cast<uint8_t>((look.styles & ~kNarrow) | kWide); return;
        case 'n': look.styles = static_cast<uint8_t>((look.styles & ~kWide) | kNarrow); return;
        case 't': look.styles |= kUpperCase; return;
        case 's': look.styles |= kShadow; return;
        case 'g': look.colour = kDefaultColour; return;
        case 'z':
            look = {kDefaultColour, 0};
            reader->link = false;
            return;
        case '<':
            if (reader->saved) reader->saved->push_back(look);
            ++reader->groups;
            return;
        case '>':
            if (reader->groups == 0) return;
            --reader->groups;
            if (reader->saved) {
                look = reader->saved->back();
                reader->saved->pop_back();
            }
            if (reader->link && reader->linkGroups > reader->groups) reader->link = false;
            return;
        case 'l':
        case 'h':
        case 'p':
            if (reader->link) {
                reader->link = false;
            } else {
                reader->link = true;
                reader->linkGroups = reader->groups;
                SkipTarget(reader);
            }
            return;
        default: return;  // unknown: dropped with its whole character
    }
}

// The next piece of text, drawn in the reader's look and link; false at the end.
bool NextText(CodeReader* reader, const char** text, size_t* length) {
    while (reader->at < reader->end) {
        if (*reader->at != '$') {
            const void* dollar = memchr(reader->at, '$', static_cast<size_t>(reader->end - reader->at));
            const char* stop = dollar ? static_cast<const char*>(dollar) : reader->end;
            *text = reader->at;
            *length = static_cast<size_t>(stop - reader->at);
            reader->at = stop;
            return true;
        }
        ++reader->at;
        if (reader->at == reader->end) return false;  // a lone `$` at the end
        if (*reader->at == '$') {
            *text = reader->at++;
            *length = 1;
            return true;
        }
        if (HexValue(*reader->at) >= 0) {
            ReadColour(reader);
        } else {
            ReadCode(reader);
        }
    }
    return false;
}

}  // namespace

std::vector<StyledRun> ReadFormattingCodes(const char* bytes, size_t size) {
    std::vector<StyledRun> runs;
    if (!bytes) return runs;
    std::vector<Look> saved;
    CodeReader reader = StartReading(bytes, size, &saved);
    const char* text = nullptr;
    size_t length = 0;
    while (NextText(&reader, &text, &length)) {
        if (!runs.empty()) {
            StyledRun& last = runs.back();
            if (last.colour == reader.look.colour && last.styles == reader.look.styles && last.link == reader.link) {
                last.text.append(text, length);
                continue;
            }
        }
        runs.push_back({std::string(text, length), reader.look.colour, reader.look.styles, reader.link});
    }
    return runs;
}

std::string PlainText(const char* bytes, size_t size) {
    std::string plain;
    if (!bytes) return plain;
    CodeReader reader = StartReading(bytes, size, nullptr);
    const char* text = nullptr;
    size_t length = 0;
    while (NextText(&reader, &text, &length)) {
        if (plain.empty()) plain.reserve(static_cast<size_t>(reader.end - text));
        plain.append(text, length);
    }
    return plain;
}
