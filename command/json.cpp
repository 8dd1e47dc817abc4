#include "json.h"

#include <cstdint>
#include <cstdio>

#include "formatting_codes.h"
#include "utf.h"

namespace {

// Output is written in pieces of about this size, so that a line of any length needs no more memory.
const size_t kFlushSize = 64 * 1024;

// The stable codes of --json, one per sentence.
const char* FailureCode(MapFailure failure) {
    switch (failure) {
        case MapFailure::kNone: break;
        case MapFailure::kFileNotFound: return "not_found";
        case MapFailure::kFileNotOpened: return "cannot_open";
        case MapFailure::kInvalidFormat: return "invalid_format";
        case MapFailure::kUncompressedMap: return "uncompressed";
        case MapFailure::kReadFailed: return "read_error";
        case MapFailure::kNoMemory: return "out_of_memory";
        case MapFailure::kDecompressFailed: return "decompress_error";
        case MapFailure::kNoItemsChunk: return "no_items_chunk";
    }
    return "";
}
const char kVersionWarningCode[] = "unsupported_chunk_version";

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

void AppendJsonString(std::string* out, const WCHAR* units, size_t count) {
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

std::string AsciiJson(const std::string& json) {
    std::string ascii;
    ascii.reserve(json.size());
    char hex[16];
    const unsigned char* s = reinterpret_cast<const unsigned char*>(json.data());
    for (size_t i = 0; i < json.size();) {
        if (s[i] < 0x80) {
            ascii += json[i++];
            continue;
        }
        char32_t c = 0;
        i += DecodeUtf8(s + i, json.size() - i, &c);
        if (c == kIllFormed) c = 0xFFFD;
        if (c > 0xFFFF) {
            snprintf(hex, sizeof hex, "\\u%04X\\u%04X", static_cast<unsigned>(0xD800 + ((c - 0x10000) >> 10)),
                     static_cast<unsigned>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
        }
        ascii += hex;
    }
    return ascii;
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

namespace {

void AppendJsonSentence(Output* out, LPCWSTR sentence) {
    AppendJsonString(&out->text, sentence, std::char_traits<WCHAR>::length(sentence));
}

// The files, null when they cannot be listed.
void AppendJsonFiles(Output* out, const EmbeddedFiles& files, bool known) {
    out->text += known ? ", \"files\": [" : ", \"files\": null";
    for (const EmbeddedFile& file : files.files) {
        out->text += &file == &files.files[0] ? "{\"name\": " : ", {\"name\": ";
        AppendJsonUtf8(&out->text, file.name.data(), file.name.size());
        out->text += ", \"size\": " + std::to_string(file.size) + ", \"packed_size\": " + std::to_string(file.packedSize) + "}";
        Flush(out, false);
    }
    if (known) out->text += ']';
}

// What is wrong: with the files, theirs; then the uid an earlier map holds.
void AppendJsonFindings(Output* out, const EmbeddedFiles* files, const MapName* sameUid) {
    out->text += ", \"findings\": [";
    const char* separator = "{\"kind\": \"";
    const std::vector<Finding> none;
    for (const Finding& finding : files ? files->findings : none) {
        out->text += separator + std::string(FindingCode(finding.kind)) + "\", \"name\": ";
        separator = ", {\"kind\": \"";
        if (ConcernsArchive(finding.kind)) {
            out->text += "null";
        } else {
            AppendJsonUtf8(&out->text, finding.name.data(), finding.name.size());
        }
        const char* detail = FindingDetail(finding.kind);
        out->text += detail ? ", \"detail\": \"" + std::string(detail) + "\"}" : ", \"detail\": null}";
        Flush(out, false);
    }
    if (sameUid) {
        out->text += separator + std::string("duplicate_uid\", \"map\": ");
        AppendJsonString(&out->text, sameUid->path);
        out->text += '}';
    }
    out->text += ']';
}

void AppendJsonText(std::string* out, const std::optional<std::string>& text) {
    if (text) {
        AppendJsonUtf8(out, text->data(), text->size());
    } else {
        *out += "null";
    }
}

void AppendJsonNumber(std::string* out, const std::optional<int64_t>& number) {
    *out += number ? std::to_string(*number) : "null";
}

// The map's card, null when its header holds none that can be read.
void AppendJsonCard(Output* out, const MapCard& card) {
    std::string& text = out->text;
    if (!card.known) {
        text += ", \"info\": null";
        return;
    }
    const std::pair<const char*, const std::optional<std::string>*> strings[] = {
        {"{\"uid\": ", &card.uid}, {", \"name\": ", &card.name}, {", \"name_text\": ", nullptr},
        {", \"author\": ", &card.author}, {", \"author_nickname\": ", &card.authorNickname},
        {", \"author_zone\": ", &card.authorZone}, {", \"environment\": ", &card.environment},
        {", \"mood\": ", &card.mood}, {", \"title\": ", &card.title}, {", \"map_type\": ", &card.mapType}};
    text += ", \"info\": ";
    for (const auto& field : strings) {
        text += field.first;
        if (field.second) {
            AppendJsonText(&text, *field.second);
        } else {
            AppendJsonText(&text, card.name ? PlainText(card.name->data(), card.name->size()) : std::optional<std::string>());
        }
        Flush(out, false);
    }
    text += ", \"laps\": ";
    AppendJsonNumber(&text, card.laps);
    text += ", \"times\": ";
    if (card.times) {
        text += "{\"bronze\": ";
        AppendJsonNumber(&text, card.times->bronze);
        text += ", \"silver\": ";
        AppendJsonNumber(&text, card.times->silver);
        text += ", \"gold\": ";
        AppendJsonNumber(&text, card.times->gold);
        text += ", \"author\": ";
        AppendJsonNumber(&text, card.times->author);
        text += '}';
    } else {
        text += "null";
    }
    text += ", \"dependencies\": [";
    for (const MapDependency& dependency : card.dependencies) {
        text += &dependency == &card.dependencies[0] ? "{\"file\": " : ", {\"file\": ";
        AppendJsonUtf8(&text, dependency.file.data(), dependency.file.size());
        text += ", \"url\": ";
        AppendJsonText(&text, dependency.url);
        text += '}';
        Flush(out, false);
    }
    text += "], \"thumbnail_size\": " + std::to_string(card.thumbnailSize) + '}';
}

// The map's JSON line: its fields in a fixed order, items and size only when the report stands.
bool AppendJsonLine(Output* out, const MapRecord& map, const PrintOptions& options, const MapFile& file,
                    const EmbeddedFiles* files, bool known) {
    const MapName& name = *map.name;
    const MapRun* run = map.run;
    out->text += "{\"map\": ";
    AppendJsonString(&out->text, name.path);
    // A name that is not UTF-8 cannot be given back by its text, where its bad bytes are U+FFFD.
    if (!name.standardInput && name.bytes != Utf16ToUtf8(name.path.data(), name.path.size())) {
        out->text += ", \"map_bytes\": \"";
        AppendBase64(&out->text, name.bytes);
        out->text += '"';
    }
    if (file.opened) out->text += ", \"file_size\": " + std::to_string(file.size);
    AppendJsonCard(out, *map.card);
    MapFailure failure = run->failure;
    if (failure == MapFailure::kNone) {
        out->text += ", \"items\": [";
        ItemWalk walk;
        BeginItemWalk(&run->report, &walk);
        ReportItem item;
        for (bool first = true; ReadReportItem(&walk, &item); first = false) {
            out->text += first ? "{\"id\": " : ", {\"id\": ";
            AppendJsonUtf8(&out->text, item.identifier.bytes, item.identifier.length);
            out->text += ", \"collection\": ";
            AppendJsonUtf8(&out->text, item.collection.bytes, item.collection.length);
            out->text += ", \"author\": ";
            AppendJsonUtf8(&out->text, item.author.bytes, item.author.length);
            out->text += '}';
            Flush(out, false);
        }
        // A list checked whole reads again whole; were it not, the line still ends as JSON.
        if (walk.left != 0) failure = MapFailure::kReadFailed;
        out->text += "], \"embedded_size\": " + std::to_string(run->report.embeddedSize);
        if (files) AppendJsonFiles(out, *files, known);
    }
    AppendJsonFindings(out, run->failure == MapFailure::kNone ? files : nullptr, map.sameUid);
    if (options.limit && file.opened) {
        out->text += ", \"limit\": {\"name\": ";
        out->text += options.limit->name ? '"' + std::string(options.limit->name) + '"' : "null";
        out->text += ", \"bytes\": " + std::to_string(options.limit->bytes) + ", \"over\": " + (file.over ? "true}" : "false}");
    }
    const bool warned = run->report.versionWarning;
    out->text += ", \"warnings\": [";
    if (warned) AppendJsonSentence(out, kVersionWarningSentence);
    out->text += warned ? "], \"warning_codes\": [\"" + std::string(kVersionWarningCode) + "\"]" : "], \"warning_codes\": []";
    if (failure == MapFailure::kNone) {
        out->text += ", \"error\": null, \"error_code\": null}\n";
    } else {
        out->text += ", \"error\": ";
        AppendJsonSentence(out, FailureSentence(failure));
        out->text += ", \"error_code\": \"" + std::string(FailureCode(failure)) + "\"}\n";
    }
    return failure == MapFailure::kNone && !file.over;
}

}  // namespace

bool Flush(Output* out, bool all) {
    if (!all && out->text.size() < kFlushSize) return !out->failed;
    if (!out->failed && !out->write(out->context, out->text)) out->failed = true;
    out->text.clear();
    return !out->failed;
}

MapFile MapFileOf(const MapRun* run, const PrintOptions& options) {
    if (!run->map.file) return {false, 0, false};
    DWORD high = 0;
    const DWORD low = GetFileSize(run->map.file, &high);
    const uint64_t size = static_cast<uint64_t>(high) << 32 | low;
    return {true, size, options.limit && size > options.limit->bytes};
}

namespace {

// A sink that takes JSON text in ASCII alone to another sink.
struct AsciiSink {
    TextSink write;
    void* context;
};
bool WriteAscii(void* context, const std::string& text) {
    const AsciiSink* sink = static_cast<const AsciiSink*>(context);
    return sink->write(sink->context, AsciiJson(text));
}

}  // namespace

bool WriteJsonLine(const MapRecord& map, const PrintOptions& options, const EmbeddedFiles* files, bool known,
                   TextSink write, void* context) {
    // Pieces go out whole elements at a time, so no character is split between two.
    AsciiSink ascii = {write, context};
    Output out = options.ascii ? Output{"", WriteAscii, &ascii, false} : Output{"", write, context, false};
    const bool reported = AppendJsonLine(&out, map, options, MapFileOf(map.run, options), files, known);
    return Flush(&out, true) && reported;
}
