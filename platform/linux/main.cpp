// Start-up of the Linux build: the `tallyglass` command. Each argument names one map, which goes through the
// logic's run of one map exactly as the Windows program runs the one map it is given; the report is printed
// as text, or with --json as one JSON object a line, and the exit status tells the shell how the maps fared.
#include <getopt.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "console.h"
#include "entry.h"
#include "report_message.h"
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
    "The sentences, the JSON fields and what each means: man tallyglass\n";
const char kVersion[] = "tallyglass " TALLYGLASS_VERSION
                        "\n"
                        "Licence: GNU GPL, version 2 or later.\n";
const std::u16string kStandardInput = u"standard input";

enum ExitStatus { kAllReported = 0, kSomeNotReported = 1, kUsageError = 2 };

// JSON output is flushed in pieces of about this size, so that a map of any length needs no more memory.
const size_t kJsonFlush = 64 * 1024;

// Standard input as a file the logic can open: an in-memory copy of the whole stream, read once. A stream
// that cannot be held gets "Out of memory.": one of more than half the machine's memory, which its body and
// buffers would then not fit beside, or one whose copy the system refuses. -1 when a sentence has been shown.
int CopyStandardInput() {
    const uint64_t limit =
        static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) / 2;
    const int copy = memfd_create("tallyglass-input", MFD_CLOEXEC);
    if (copy < 0) {
        ReportMessage(TEXT("Out of memory."), kWarning);
        return -1;
    }
    char buffer[64 * 1024];
    for (uint64_t total = 0;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) return copy;
        const bool unread = n < 0;
        // No stream at all, or a directory given as one, cannot be opened as a map.
        const bool unopened = unread && (errno == EBADF || errno == EISDIR);
        if (!unread) total += static_cast<uint64_t>(n);
        // A write fails for lack of memory (ENOSPC, ENOMEM) or beyond the file size limit (EFBIG).
        if (unread || total > limit || !WriteAll(copy, buffer, static_cast<size_t>(n))) {
            ReportMessage(unopened ? TEXT("Could not open input file.")
                          : unread ? TEXT("Error while reading input file.")
                                   : TEXT("Out of memory."),
                          kWarning);
            close(copy);
            return -1;
        }
    }
}

// A JSON string: UTF-8, every control and every character a terminal would act on escaped, a lone surrogate
// (a byte of a file name that is not UTF-8) as U+FFFD.
void AppendJsonString(std::string* out, const char16_t* units, size_t count) {
    *out += '"';
    size_t plain = 0;  // start of the characters not yet written, which need no escape
    for (size_t i = 0; i < count; ++i) {
        const char16_t c = units[i];
        if (c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\') continue;  // most of any text
        const char* escape = c == u'"' ? "\\\"" : c == u'\\' ? "\\\\" : c == u'\n' ? "\\n" : c == u'\r' ? "\\r"
                           : c == u'\t' ? "\\t" : nullptr;
        if (!escape && !IsUnsafeInLine(c)) continue;
        AppendUtf16AsUtf8(*out, units + plain, i - plain);
        plain = i + 1;
        if (escape) {
            *out += escape;
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
            *out += hex;
        }
    }
    AppendUtf16AsUtf8(*out, units + plain, count - plain);
    *out += '"';
}

void AppendJsonString(std::string* out, const std::u16string& text) { AppendJsonString(out, text.data(), text.size()); }

// The map's JSON line: its fields in a fixed order, items and size only when the report stands. False when
// it could not be written whole.
bool PrintJson(const std::u16string& name, MapRun* run, bool stands) {
    std::string out = "{\"map\": ";
    AppendJsonString(&out, name);
    if (run->map.file) {
        DWORD high = 0;
        const DWORD low = GetFileSize(run->map.file, &high);
        out += ", \"file_size\": " + std::to_string(static_cast<uint64_t>(high) << 32 | low);
    }
    // The kept messages: warnings, and when the report does not stand, the failure last.
    std::vector<ShownMessage> sentences = MessagesSinceBegin().kept;
    std::u16string failure;
    bool written = true;
    if (stands) {
        out += ", \"items\": [";
        ItemWalk walk;
        BeginItemWalk(&run->report, &walk);
        ReportItem item;
        for (bool first = true; ReadReportItem(&walk, &item); first = false) {
            out += first ? "{\"id\": " : ", {\"id\": ";
            AppendJsonString(&out, item.identifier.text, item.identifier.length);
            out += ", \"collection\": ";
            AppendJsonString(&out, item.collection.text, item.collection.length);
            out += ", \"author\": ";
            AppendJsonString(&out, item.author.text, item.author.length);
            out += '}';
            if (out.size() >= kJsonFlush) {
                written = written && WriteOut(out);
                out.clear();
            }
        }
        // Only a refused memory block fails a second pass over a checked list: the line still ends as JSON.
        if (walk.failure) failure = walk.failure;
        out += "], \"embedded_size\": " + std::to_string(run->report.embeddedSize);
    } else if (!sentences.empty()) {
        failure = sentences.back().text;
        sentences.pop_back();
    }
    out += ", \"warnings\": [";
    for (size_t i = 0; i < sentences.size(); ++i) {
        if (i > 0) out += ", ";
        AppendJsonString(&out, sentences[i].text);
    }
    out += "], \"error\": ";
    if (failure.empty()) {
        out += "null";
    } else {
        AppendJsonString(&out, failure);
    }
    out += "}\n";
    return WriteOut(out) && written && failure.empty();
}

// A report's names stay on their own line: whatever could break or reorder it is shown as U+FFFD.
void ShowNameOnItsLine(ItemText* name) { ReplaceUnsafeInLine(name->text, name->length); }

// Runs one map, `given` as the argument names it (null: standard input) and `shown` as a terminal shows its
// name, and prints what it shows. False when the map got no report.
bool ReportMap(const std::u16string* given, const std::string& shown, bool json) {
    BeginMessages("tallyglass: " + shown + ": ", json);
    std::u16string copyPath;  // where the logic opens standard input's copy
    int input = -1;
    bool refused = false;     // its sentence shown already
    if (!given) {
        input = CopyStandardInput();
        refused = input < 0;
        copyPath = FileNameToUtf16("/proc/self/fd/" + std::to_string(input));
    } else if (given->size() >= kPathCapacity) {
        // Cut, it would name another file.
        ReportMessage(TEXT("Path too long: Tallyglass takes at most 259 UTF-16 code units."), kWarning);
        refused = true;
    }
    MapRun run = {};
    const bool stands = !refused && RunMap(given ? given->c_str() : copyPath.c_str(), &run);
    bool reported = false;
    if (json) {
        reported = PrintJson(given ? *given : kStandardInput, &run, stands);
    } else if (stands) {
        ShowReportText(&run.report, ShowNameOnItsLine);
        reported = MessagesSinceBegin().reported;
    }
    EndMapRun(&run);
    if (input >= 0) close(input);
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
ExitStatus PrintText(const char* text) {
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
            case 'h': return PrintText((std::string(kUsage) + kHelp).c_str());
            case 'V': return PrintText(kVersion);
            case kJsonOption: json = true; break;
            default: return UsageError();
        }
    }
    const int maps = argc - optind;
    if (maps == 0) return UsageError();

    ExitStatus status = kAllReported;
    for (int i = optind; i < argc; ++i) {
        const std::u16string given = FileNameToUtf16(argv[i]);
        const bool standardInput = given == u"-";
        const std::u16string& name = standardInput ? kStandardInput : given;
        const std::string shown = LineText(name.data(), name.size());
        // Headers as head(1) writes them: a blank line between one map's output and the next header.
        if (maps > 1 && !json) WriteOut((i > optind ? "\n==> " : "==> ") + shown + " <==\n");
        if (!ReportMap(standardInput ? nullptr : &given, shown, json)) status = kSomeNotReported;
    }
    // The maps whose reports were lost already count as not reported.
    if (StdoutError() != 0) {
        ReportWriteError();
        status = kSomeNotReported;
    }
    return status;
}
