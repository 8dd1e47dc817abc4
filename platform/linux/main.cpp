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
#include "print.h"
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
    "      --files    list the files embedded in each MAP, largest first, and what is wrong with them\n"
    "      --limit=GAME|BYTES\n"
    "                 say which maps are larger than a game takes: tm2020 (Trackmania, 7,336,960 bytes),\n"
    "                 maniaplanet (4,194,304), forever (TrackMania Forever, 1,048,576) or BYTES\n"
    "  --             end of options: every argument after it is a MAP\n"
    "\n"
    "Each report goes to standard output; with several maps, each map's output is headed by a line\n"
    "\"==> MAP <==\". Errors and warnings go to standard error as \"tallyglass: MAP: SENTENCE\".\n"
    "\n"
    "Exit status: 0 if every MAP got its report (within the limit), 1 if any did not, 2 on a usage error.\n"
    "\n"
    "Example: tallyglass maps/*.Map.Gbx\n"
    "The sentences, the JSON fields, the codes and what each means: man tallyglass\n";
const char kVersion[] = "tallyglass " TALLYGLASS_VERSION
                        "\n"
                        "Licence: GNU GPL, version 2 or later.\n";
const char16_t kStandardInput[] = u"standard input";

enum ExitStatus { kAllReported = 0, kSomeNotReported = 1, kUsageError = 2 };

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

// Runs one map and prints its record. False when it got no report, or is over the limit.
bool ReportMap(const MapName& name, const PrintOptions& options) {
    MapRun run = {};
    RunNamedMap(name, &run);
    const bool reported = PrintRun(name, &run, options);
    EndMapRun(&run);
    return reported;
}

// The limit that --limit names: a game's, or a byte count.
bool ParseLimit(const char* text, SizeLimit* limit) {
    static const SizeLimit kGames[] = {{"tm2020", "Trackmania (2020)", 7336960},
                                       {"maniaplanet", "ManiaPlanet", 4194304},
                                       {"forever", "TrackMania Forever", 1048576}};
    for (const SizeLimit& game : kGames) {
        if (strcmp(text, game.name) == 0) {
            *limit = game;
            return true;
        }
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long bytes = strtoull(text, &end, 10);
    if (text[0] < '0' || text[0] > '9' || *end != 0 || errno != 0) return false;
    *limit = {nullptr, nullptr, bytes};
    return true;
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
    enum { kJsonOption = 0x100, kFilesOption, kLimitOption };
    const option options[] = {{"help", no_argument, nullptr, 'h'},
                              {"version", no_argument, nullptr, 'V'},
                              {"json", no_argument, nullptr, kJsonOption},
                              {"files", no_argument, nullptr, kFilesOption},
                              {"limit", required_argument, nullptr, kLimitOption},
                              {nullptr, 0, nullptr, 0}};
    PrintOptions print = {false, false, nullptr};
    SizeLimit limit = {};
    for (int option; (option = getopt_long(argc, argv, "hV", options, nullptr)) != -1;) {
        switch (option) {
            case 'h': return PrintFixedText((std::string(kUsage) + kHelp).c_str());
            case 'V': return PrintFixedText(kVersion);
            case kJsonOption: print.json = true; break;
            case kFilesOption: print.files = true; break;
            case kLimitOption:
                if (!ParseLimit(optarg, &limit)) {
                    WriteAll(STDERR_FILENO, std::string("tallyglass: invalid limit '") + optarg +
                                                "': give tm2020, maniaplanet, forever or a byte count\n");
                    return UsageError();
                }
                print.limit = &limit;
                break;
            default: return UsageError();
        }
    }
    const int maps = argc - optind;
    if (maps == 0) return UsageError();

    ExitStatus status = kAllReported;
    for (int i = optind; i < argc; ++i) {
        const bool standardInput = strcmp(argv[i], "-") == 0;
        MapName name = {standardInput, argv[i], standardInput ? kStandardInput : FileNameToUtf16(argv[i]), ""};
        name.shown = LineText(name.path.data(), name.path.size());
        // Headers as head(1) writes them: a blank line between one map's output and the next header.
        if (maps > 1 && !print.json) WriteOut((i > optind ? "\n==> " : "==> ") + name.shown + " <==\n");
        if (!ReportMap(name, print)) status = kSomeNotReported;
    }
    // The maps whose reports were lost already count as not reported.
    if (StdoutError() != 0) {
        ReportWriteError();
        status = kSomeNotReported;
    }
    return status;
}
