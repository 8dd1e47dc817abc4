#include "print.h"

#include <unistd.h>

#include <algorithm>

#include "console.h"
#include "embedded_files.h"
#include "json.h"
#include "utf.h"

namespace {

// Output is written in pieces of about this size, so that a report of any length needs no more memory.
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

// Writes what has gathered once it is large, or always with `flush`. False once stdout has failed.
bool Flush(std::string* out, bool flush) {
    if (!flush && out->size() < kFlushSize) return StdoutError() == 0;
    const bool written = WriteOut(*out);
    out->clear();
    return written;
}

std::string Utf8(LPCWSTR text) { return Utf16ToUtf8(text, std::char_traits<char16_t>::length(text)); }

// UTF-8 from elsewhere (an item's or a file's name) on one line of a terminal.
std::string LineUtf8(const std::string& bytes) {
    const std::u16string units = Utf8ToUtf16(bytes.data(), bytes.size());
    return LineText(units.data(), units.size());
}

void PrintSentence(const MapName& name, const std::string& sentence) {
    WriteAll(STDERR_FILENO, "tallyglass: " + name.shown + ": " + sentence + "\n");
}

// ReportTextOut onto stdout: the report's own text is ASCII with lines ended by CR LF, which a terminal
// wants as LF; a name keeps its line (whatever could break or reorder it becomes U+FFFD).
bool PrintReportPiece(void* context, const WCHAR* text, unsigned length, bool name) {
    std::string* out = static_cast<std::string*>(context);
    if (name) {
        WCHAR shown[kItemTextCapacity];
        std::char_traits<char16_t>::copy(shown, text, length);
        ReplaceUnsafeInLine(shown, length);
        AppendUtf16AsUtf8(*out, shown, length);
    } else {
        for (unsigned i = 0; i < length; ++i) {
            if (text[i] != u'\r') *out += static_cast<char>(text[i]);
        }
    }
    return Flush(out, false);
}

std::string SizeText(uint64_t bytes) {
    WCHAR text[kSizeTextCapacity];
    FormatSize(bytes, text);
    return Utf8(text);
}

// A byte count with its thousands marked: 7,336,960.
std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// The map file as far as it is known: opened or not, its size, and whether that is over the limit.
struct MapFile {
    bool opened;
    uint64_t size;
    bool over;
};

MapFile MapFileOf(const MapRun* run, const PrintOptions& options) {
    if (!run->map.file) return {false, 0, false};
    DWORD high = 0;
    const DWORD low = GetFileSize(run->map.file, &high);
    const uint64_t size = static_cast<uint64_t>(high) << 32 | low;
    return {true, size, options.limit && size > options.limit->bytes};
}

// "The map file is 812,345 bytes over the 7,336,960 bytes that Trackmania (2020) takes."
std::string LimitSentence(const SizeLimit& limit, uint64_t fileSize) {
    const bool over = fileSize > limit.bytes;
    const std::string by = Grouped(over ? fileSize - limit.bytes : limit.bytes - fileSize);
    const std::string what = limit.game ? "the " + Grouped(limit.bytes) + " bytes that " + limit.game + " takes"
                                        : "the limit of " + Grouped(limit.bytes) + " bytes";
    return "The map file is " + by + " bytes " + (over ? "over " : "under ") + what + ".";
}

void PrintFindings(const MapName& name, const EmbeddedFiles& files) {
    for (const Finding& finding : files.findings) {
        PrintSentence(name, FindingSentence(finding.kind) + (finding.name.empty() ? "." : ": " + LineUtf8(finding.name)));
    }
}

// The embedded files under the report, largest packed first, then their packed total and its share of the
// map file; or a line that says they cannot be listed, or that there are none.
void AppendFilesText(std::string* out, const EmbeddedFiles& files, bool known, uint64_t fileSize) {
    if (!known || files.files.empty()) {
        *out += known ? "No embedded files.\n" : "The embedded files cannot be listed.\n";
        return;
    }
    std::vector<const EmbeddedFile*> order;
    for (const EmbeddedFile& file : files.files) order.push_back(&file);
    std::stable_sort(order.begin(), order.end(),
                     [](const EmbeddedFile* a, const EmbeddedFile* b) { return a->packedSize > b->packedSize; });
    *out += "Embedded files, largest packed first: packed, size, name\n";
    for (const EmbeddedFile* file : order) {
        const std::string packed = SizeText(file->packedSize), size = SizeText(file->size);
        *out += std::string(packed.size() < 10 ? 10 - packed.size() : 0, ' ') + packed +
                std::string(size.size() < 11 ? 11 - size.size() : 0, ' ') + size + "  " + LineUtf8(file->name) + "\n";
        Flush(out, false);
    }
    // The total is at most the archive's size, below 4 GiB, so this cannot wrap.
    const uint64_t share = fileSize > 0 ? (files.packedTotal * 200 / fileSize + 1) / 2 : 0;
    *out += "Packed: " + SizeText(files.packedTotal) + " in all, " + std::to_string(share) + " % of the map file\n";
}

// The run as text: its sentences on stderr, the report whole on stdout, and the files when asked for.
bool PrintText(const MapName& name, const MapRun* run, const PrintOptions& options, const MapFile& file) {
    if (run->report.versionWarning) PrintSentence(name, Utf8(kVersionWarningSentence));
    const bool fine = run->failure == MapFailure::kNone;
    if (!fine) PrintSentence(name, Utf8(FailureSentence(run->failure)));
    if (file.over) PrintSentence(name, LimitSentence(*options.limit, file.size));
    if (!fine) return false;

    std::string out;
    // A list checked whole reads again whole; were it not, the text so far is out, and the sentence says so.
    if (!WriteReportText(&run->report, PrintReportPiece, &out)) {
        Flush(&out, true);
        PrintSentence(name, Utf8(FailureSentence(MapFailure::kReadFailed)));
        return false;
    }
    out += '\n';
    if (options.files) {
        EmbeddedFiles files;
        const bool known = ReadEmbeddedFiles(&run->report, &files);
        AppendFilesText(&out, files, known, file.size);
        if (options.limit && !file.over) out += LimitSentence(*options.limit, file.size) + "\n";
        PrintFindings(name, files);
    }
    return Flush(&out, true) && !file.over;
}

void AppendJsonSentence(std::string* out, LPCWSTR sentence) {
    AppendJsonString(out, sentence, std::char_traits<char16_t>::length(sentence));
}

// The files, null when they cannot be listed, and the findings.
void AppendJsonFiles(std::string* out, const EmbeddedFiles& files, bool known) {
    *out += known ? ", \"files\": [" : ", \"files\": null";
    for (const EmbeddedFile& file : files.files) {
        *out += &file == &files.files[0] ? "{\"name\": " : ", {\"name\": ";
        AppendJsonUtf8(out, file.name.data(), file.name.size());
        *out += ", \"size\": " + std::to_string(file.size) + ", \"packed_size\": " + std::to_string(file.packedSize) + "}";
        Flush(out, false);
    }
    *out += known ? "], \"findings\": [" : ", \"findings\": [";
    for (const Finding& finding : files.findings) {
        *out += &finding == &files.findings[0] ? "{\"kind\": \"" : ", {\"kind\": \"";
        *out += std::string(FindingCode(finding.kind)) + "\", \"name\": ";
        if (finding.name.empty()) {
            *out += "null";
        } else {
            AppendJsonUtf8(out, finding.name.data(), finding.name.size());
        }
        *out += '}';
    }
    *out += ']';
}

// The map's JSON line: its fields in a fixed order, items and size only when the report stands. False when
// the map got no report, is over the limit, or the line could not be written whole.
bool PrintJson(const MapName& name, const MapRun* run, const PrintOptions& options, const MapFile& file) {
    std::string out = "{\"map\": ";
    AppendJsonString(&out, name.path);
    // A name that is not UTF-8 cannot be given back by its text, where its bad bytes are U+FFFD.
    if (!name.standardInput && name.bytes != Utf16ToUtf8(name.path.data(), name.path.size())) {
        out += ", \"map_bytes\": \"";
        AppendBase64(&out, name.bytes);
        out += '"';
    }
    if (file.opened) out += ", \"file_size\": " + std::to_string(file.size);
    MapFailure failure = run->failure;
    if (failure == MapFailure::kNone) {
        out += ", \"items\": [";
        ItemWalk walk;
        BeginItemWalk(&run->report, &walk);
        ReportItem item;
        for (bool first = true; ReadReportItem(&walk, &item); first = false) {
            out += first ? "{\"id\": " : ", {\"id\": ";
            AppendJsonUtf8(&out, item.identifier.bytes, item.identifier.length);
            out += ", \"collection\": ";
            AppendJsonUtf8(&out, item.collection.bytes, item.collection.length);
            out += ", \"author\": ";
            AppendJsonUtf8(&out, item.author.bytes, item.author.length);
            out += '}';
            Flush(&out, false);
        }
        // A list checked whole reads again whole; were it not, the line still ends as JSON.
        if (walk.left != 0) failure = MapFailure::kReadFailed;
        out += "], \"embedded_size\": " + std::to_string(run->report.embeddedSize);
        if (options.files) {
            EmbeddedFiles files;
            const bool known = ReadEmbeddedFiles(&run->report, &files);
            AppendJsonFiles(&out, files, known);
        }
    }
    if (options.limit && file.opened) {
        out += ", \"limit\": {\"name\": ";
        out += options.limit->name ? '"' + std::string(options.limit->name) + '"' : "null";
        out += ", \"bytes\": " + std::to_string(options.limit->bytes) + ", \"over\": " + (file.over ? "true}" : "false}");
    }
    const bool warned = run->report.versionWarning;
    out += ", \"warnings\": [";
    if (warned) AppendJsonSentence(&out, kVersionWarningSentence);
    out += warned ? "], \"warning_codes\": [\"" + std::string(kVersionWarningCode) + "\"]" : "], \"warning_codes\": []";
    if (failure == MapFailure::kNone) {
        out += ", \"error\": null, \"error_code\": null}\n";
    } else {
        out += ", \"error\": ";
        AppendJsonSentence(&out, FailureSentence(failure));
        out += ", \"error_code\": \"" + std::string(FailureCode(failure)) + "\"}\n";
    }
    return Flush(&out, true) && failure == MapFailure::kNone && !file.over;
}

}  // namespace

bool PrintRun(const MapName& name, const MapRun* run, const PrintOptions& options) {
    const MapFile file = MapFileOf(run, options);
    return options.json ? PrintJson(name, run, options, file) : PrintText(name, run, options, file);
}
