// The lines of --json: one JSON object a map, with strings that every JSON reader takes whole and every
// character that a terminal would act on (utf.h's unsafe ones) escaped, so that a line can be shown as it is.
// The command writes them, and the page for its downloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "embedded_files.h"
#include "entry.h"
#include "map_card.h"
#include "utf.h"

// UTF-16 text as a JSON string; a lone surrogate (a byte of a file name that is not UTF-8) as U+FFFD.
void AppendJsonString(std::string* out, const WCHAR* units, size_t count);
inline void AppendJsonString(std::string* out, const WideString& text) {
    AppendJsonString(out, text.data(), text.size());
}

// Bytes meant as UTF-8 as a JSON string, whole: a zero byte as \u0000, each maximal ill-formed subsequence as
// one U+FFFD.
void AppendJsonUtf8(std::string* out, const char* bytes, size_t count);

// JSON text in ASCII alone: each character beyond it as \uXXXX (a surrogate pair beyond U+FFFF), which every
// JSON reader takes back as the same string. Only strings hold such characters.
std::string AsciiJson(const std::string& json);

// Bytes in base64 (RFC 4648, with padding).
void AppendBase64(std::string* out, const std::string& bytes);

// A map as its argument names it.
struct MapName {
    bool standardInput;   // the argument "-"
    std::string bytes;    // the argument as given
    WideString path;  // as the logic takes it; "standard input" for "-"
    std::string shown;    // as a terminal shows it, on one line
};

// A limit on the map file's size: a game's, or a byte count given.
struct SizeLimit {
    const char* name;  // the game's, as --limit takes it; null for a byte count
    const char* game;  // as a person names it
    uint64_t bytes;
};

struct PrintOptions {
    bool json;
    bool files;               // the embedded files, and what is wrong with them
    bool info;                // the map's card before its report, in text
    const SizeLimit* limit;   // null: none
    bool ascii;               // JSON in ASCII alone, every other character escaped
};

// Takes printed text, piece by piece. False when it takes no more.
typedef bool (*TextSink)(void* context, const std::string& text);

// Text on its way out, which goes in pieces: a report of any length needs no more memory.
struct Output {
    std::string text;  // not written yet
    TextSink write;
    void* context;
    bool failed;       // once a write failed, nothing more is written
};

// Writes what has gathered once it is large, or always with `all`. False once a write has failed.
bool Flush(Output* out, bool all);

// The map file as far as it is known: opened or not, its size, and whether that is over the limit.
struct MapFile {
    bool opened;
    uint64_t size;
    bool over;
};
MapFile MapFileOf(const MapRun* run, const PrintOptions& options);

// One map as a line reports it: its name, its run, its card, and the earlier map of the same run whose uid
// it holds too (null: none).
struct MapRecord {
    const MapName* name;
    const MapRun* run;
    const MapCard* card;
    const MapName* sameUid;
};

// The map's JSON line as --json writes it, fields in a fixed order, written to `write` in pieces: `files` are
// the embedded files read already (null when they are not asked for), `known` whether they could be listed.
// True when the map got its report, is within the limit, and the line was written whole.
bool WriteJsonLine(const MapRecord& map, const PrintOptions& options, const EmbeddedFiles* files, bool known,
                   TextSink write, void* context);
