// Start-up of the Linux build: the `tallyglass` command. Each argument names one map, which goes through the
// logic's run of one map exactly as the Windows program runs the one map it is given; the run's record is
// printed as text, or with --json as one JSON object a line, and the exit status tells the shell how the maps
// fared. Outside the Windows box, a report is whole, however long, and a path as long as the system allows.
#include <fcntl.h>
#include <getopt.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "console.h"
#include "entry.h"
#include "json.h"
#include "utf.h"

namespace {

const char kUsage[] = "Usage: tallyglass [OPTION]... MAP...\n";
const char kHelp[] =
    "Report which items are embedded in each Gbx MAP, and how large the embedded files are in total.\n"
    "With MAP -, read the map from standard input.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and licence and exit\n"
    "      --json     write one JSON object per MAP, one a line, and no sentence to standard error\n"
    "  --             end of options: every argument after it is a MAP\n"
    "\n"
    "Each report goes to standard output; with several maps, each map's output is headed by a line\n"
    "\"==> MAP <==\". Errors and warnings go to standard error as \"tallyglass: MAP: SENTENCE\".\n"
    "\n"
    "Exit status: 0 if every MAP got its report, 1 if any did not, 2 on a usage error.\n"
    "\n"
    "Example: tallyglass maps/*.Map.Gbx\n"
    "The sentences, the JSON fields and error codes, and what each means: man tallyglass\n";
const char kVersion[] = "tallyglass " TALLYGLASS_VERSION
                        "\n"
                        "Licence: GNU GPL, version 2 or later.\n";
const char16_t kStandardInput[] = u"standard input";

enum ExitStatus { kAllReported = 0, kSomeNotReported = 1, kUsageError = 2 };

// Output is written in pieces of about this size, so that a report of any length needs no more memory.
const size_t kFlushSize = 64 * 1024;

// A map as its argument names it.
struct MapName {
    bool standardInput;  // the argument "-"
    std::string bytes;   // the argument as given
    std::u16string path;  // as the logic takes it (see FileNameToUtf16)
    std::string shown;   // as a terminal shows it, on one line
};

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

// Standard input as a file the logic can read: an in-memory copy of the whole stream, read once. It never
// takes descriptors 0 to 2, which a closed stream leaves free. A stream that cannot be held is "Out of
// memory.": one of more than half the machine's memory, which its body and buffers would then not fit
// beside, or one whose copy the system refuses (ENOSPC, ENOMEM, or EFBIG beyond the file size limit).
MapFailure CopyStandardInput(int* copy) {
    const uint64_t limit =
        static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) / 2;
    const int made = memfd_create("tallyglass-input", MFD_CLOEXEC);
    *copy = made < 0 || made > STDERR_FILENO ? made : fcntl(made, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (made >= 0 && made != *copy) close(made);
    if (*copy < 0) return MapFailure::kNoMemory;
    MapFailure failure = MapFailure::kNone;
    char buffer[64 * 1024];
    for (uint64_t total = 0;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            // No stream at all, or a directory given as one, cannot be opened as a map.
            failure = errno == EBADF || errno == EISDIR ? MapFailure::kFileNotOpened : MapFailure::kReadFailed;
        } else if (n == 0) {
            if (lseek(*copy, 0, SEEK_SET) == 0) return MapFailure::kNone;
            failure = MapFailure::kNoMemory;
        } else {
            total += static_cast<uint64_t>(n);
            if (total <= limit && WriteAll(*copy, buffer, static_cast<size_t>(n))) continue;
            failure = MapFailure::kNoMemory;
        }
        close(*copy);
        return failure;
    }
}

// Runs one map up to its record.
void RunNamedMap(const MapName& name, MapRun* run) {
    if (!name.standardInput) {
        RunMap(name.path.c_str(), run);
        return;
    }
    int copy = -1;
    run->failure = CopyStandardInput(&copy);
    if (run->failure == MapFailure::kNone) RunMapFile(HandleFromDescriptor(copy), run);
}

// Writes what has gathered once it is large, or always with `flush`. False once stdout has failed.
bool Flush(std::string* out, bool flush) {
    if (!flush && out->size() < kFlushSize) return StdoutError() == 0;
    const bool written = WriteOut(*out);
    out->clear();
    return written;
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

void PrintSentence(const MapName& name, LPCWSTR sentence) {
    WriteAll(STDERR_FILENO, "tallyglass: " + name.shown + ": " +
                                Utf16ToUtf8(sentence, std::char_traits<char16_t>::length(sentence)) + "\n");
}

// The run as text: its sentences on stderr, the report whole on stdout. False when the map got no report.
bool PrintText(const MapName& name, const MapRun* run) {
    if (run->report.versionWarning) PrintSentence(name, kVersionWarningSentence);
    if (run->failure != MapFailure::kNone) {
        PrintSentence(name, FailureSentence(run->failure));
        return false;
    }
    std::string out;
    // A list checked whole reads again whole; were it not, the text so far is out, and the sentence says so.
    if (!WriteReportText(&run->report, PrintReportPiece, &out)) {
        Flush(&out, true);
        PrintSentence(name, FailureSentence(MapFailure::kReadFailed));
        return false;
    }
    out += '\n';
    return Flush(&out, true);
}

void AppendJsonSentence(std::string* out, LPCWSTR sentence) {
    AppendJsonString(out, sentence, std::char_traits<char16_t>::length(sentence));
}

// The map's JSON line: its fields in a fixed order, items and size only when the report stands. False when
// the map got no report or the line could not be written whole.
bool PrintJson(const MapName& name, MapRun* run) {
    std::string out = "{\"map\": ";
    AppendJsonString(&out, name.standardInput ? std::u16string(kStandardInput) : name.path);
    // A name that is not UTF-8 cannot be given back by its text, where its bad bytes are U+FFFD.
    if (!name.standardInput && name.bytes != Utf16ToUtf8(name.path.data(), name.path.size())) {
        out += ", \"map_bytes\": \"";
        AppendBase64(&out, name.bytes);
        out += '"';
    }
    if (run->map.file) {
        DWORD high = 0;
        const DWORD low = GetFileSize(run->map.file, &high);
        out += ", \"file_size\": " + std::to_string(static_cast<uint64_t>(high) << 32 | low);
    }
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
    return Flush(&out, true) && failure == MapFailure::kNone;
}

// Runs one map and prints its record. False when it got no report.
bool ReportMap(const MapName& name, bool json) {
    MapRun run = {};
    RunNamedMap(name, &run);
    const bool reported = json ? PrintJson(name, &run) : PrintText(name, &run);
    EndMapRun(&run);
    return reported;
}

ExitStatus UsageError() {
    WriteAll(STDERR_FILENO, std::string(kUsage) + "Try 'tallyglass --help' for more information.\n");
    return kUsageError;
}

// Said once, as other tools do.
void ReportWriteError() {
    WriteAll(STDERR_FILENO, std::string("tallyglass: write error: ") + strerror(StdoutError()) + "\n");
}

// Help and version: a text that could not be written is a failure, said as any other write error.
ExitStatus PrintFixedText(const char* text) {
    if (WriteOut(text)) return kAllReported;
    ReportWriteError();
    return kSomeNotReported;
}

}  // namespace

int main(int argc, char** argv) {
    // Writes to a closed stderr fail rather than end the run; a closed stdout ends it (WriteOut).
    signal(SIGPIPE, SIG_IGN);
    // Past the file size limit, a copy of standard input fails its write (EFBIG) instead of ending the run.
    signal(SIGXFSZ, SIG_IGN);
    // getopt_long's own messages name the program as a user calls it, whatever path ran it.
    argv[0] = const_cast<char*>("tallyglass");
    enum { kJsonOption = 0x100 };
    const option options[] = {{"help", no_argument, nullptr, 'h'},
                              {"version", no_argument, nullptr, 'V'},
                              {"json", no_argument, nullptr, kJsonOption},
                              {nullptr, 0, nullptr, 0}};
    bool json = false;
    for (int option; (option = getopt_long(argc, argv, "hV", options, nullptr)) != -1;) {
        switch (option) {
            case 'h': return PrintFixedText((std::string(kUsage) + kHelp).c_str());
            case 'V': return PrintFixedText(kVersion);
            case kJsonOption: json = true; break;
            default: return UsageError();
        }
    }
    const int maps = argc - optind;
    if (maps == 0) return UsageError();

    ExitStatus status = kAllReported;
    for (int i = optind; i < argc; ++i) {
        MapName name = {strcmp(argv[i], "-") == 0, argv[i], FileNameToUtf16(argv[i]), ""};
        const std::u16string& shown = name.standardInput ? std::u16string(kStandardInput) : name.path;
        name.shown = LineText(shown.data(), shown.size());
        // Headers as head(1) writes them: a blank line between one map's output and the next header.
        if (maps > 1 && !json) WriteOut((i > optind ? "\n==> " : "==> ") + name.shown + " <==\n");
        if (!ReportMap(name, json)) status = kSomeNotReported;
    }
    // The maps whose reports were lost already count as not reported.
    if (StdoutError() != 0) {
        ReportWriteError();
        status = kSomeNotReported;
    }
    return status;
}
