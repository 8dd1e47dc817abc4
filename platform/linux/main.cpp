// Start-up of the Linux build: the `tallyglass` command. Each argument names one map, which goes through
// wWinMain exactly as Windows hands it a path of one dropped file; the exit status tells the shell how the
// maps fared.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "console.h"
#include "entry.h"
#include "utf.h"

namespace {

const char kUsage[] = "Usage: tallyglass [OPTION]... MAP...\n";
const char kHelp[] =
    "Report which items are embedded in each Gbx MAP, and how large the embedded files are in total.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and licence and exit\n"
    "  --             end of options: every argument after it is a MAP\n"
    "\n"
    "Each report goes to standard output; with several maps, each map's output is headed by a line\n"
    "\"==> MAP <==\". Errors and warnings go to standard error as \"tallyglass: MAP: SENTENCE\".\n"
    "\n"
    "Exit status: 0 if every MAP got its report, 1 if any did not, 2 on a usage error.\n"
    "\n"
    "Example: tallyglass maps/*.Map.Gbx\n"
    "The sentences and what each means: man tallyglass\n";
const char kVersion[] = "tallyglass " TALLYGLASS_VERSION
                        "\n"
                        "Licence: GNU GPL, version 2 or later.\n";

enum ExitStatus { kAllReported = 0, kSomeNotReported = 1, kUsageError = 2 };

// The path buffer of wWinMain holds 259 UTF-16 units and the terminator; a longer tail would be cut.
const size_t kTailLimit = 259;

// A name as a terminal may show it: invalid UTF-8 and controls become U+FFFD.
std::string Shown(const std::string& bytes) {
    const std::u16string units = Utf8ToUtf16(bytes.data(), bytes.size());
    return TerminalText(units.data(), units.size());
}

ExitStatus UsageError(const std::string& problem) {
    WriteAll(STDERR_FILENO, problem + kUsage + "Try 'tallyglass --help' for more information.\n");
    return kUsageError;
}

// Runs one map through the logic. The tail is put in quotes where the logic would otherwise unquote or
// ignore the name (an empty name, or one that starts and ends with a quote), so that it means this one
// file. `shown` is the path as the terminal shows it. False when the map got no report.
bool ReportMap(const std::string& path, const std::string& shown, int* stdoutError) {
    const std::string prefix = "tallyglass: " + shown + ": ";
    std::u16string tail = FileNameToUtf16(path);
    if (tail.empty() || (tail.front() == u'"' && tail.back() == u'"')) tail = u'"' + tail + u'"';
    if (tail.size() > kTailLimit) {
        WriteAll(STDERR_FILENO, prefix + "Path too long: Tallyglass takes at most 259 UTF-16 code units.\n");
        return false;
    }
    BeginMessages(prefix);
    wWinMain(nullptr, nullptr, tail.data(), 0);
    const MessageRecord record = MessagesSinceBegin();
    if (record.stdoutError != 0) *stdoutError = record.stdoutError;
    return record.reported;
}

}  // namespace

int main(int argc, char** argv) {
    // A closed output ends nothing: the write fails, and the map counts as not reported.
    signal(SIGPIPE, SIG_IGN);
    std::vector<const char*> maps;  // pointers into argv: a run over many maps keeps no copy of their names
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options || arg.size() < 2 || arg[0] != '-') {
            maps.push_back(argv[i]);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "-h" || arg == "--help") {
            return WriteAll(STDOUT_FILENO, std::string(kUsage) + kHelp) ? kAllReported : kSomeNotReported;
        } else if (arg == "-V" || arg == "--version") {
            return WriteAll(STDOUT_FILENO, kVersion) ? kAllReported : kSomeNotReported;
        } else {
            return UsageError("tallyglass: unknown option '" + Shown(arg) + "'\n");
        }
    }
    if (maps.empty()) return UsageError("");

    ExitStatus status = kAllReported;
    int stdoutError = 0;
    for (size_t i = 0; i < maps.size(); ++i) {
        const std::string shown = Shown(maps[i]);
        // Headers as head(1) writes them: a blank line between one map's output and the next header.
        if (maps.size() > 1 && !WriteAll(STDOUT_FILENO, (i > 0 ? "\n==> " : "==> ") + shown + " <==\n")) {
            stdoutError = errno;
        }
        if (!ReportMap(maps[i], shown, &stdoutError)) status = kSomeNotReported;
    }
    // Said once, as other tools do; the maps whose reports were lost already count as not reported.
    if (stdoutError != 0) {
        WriteAll(STDERR_FILENO, std::string("tallyglass: write error: ") + strerror(stdoutError) + "\n");
        status = kSomeNotReported;
    }
    return status;
}
