// The `tallyglass` command. Each argument names one map, which goes through the logic's run of one map exactly
// as the Windows program runs the one map it is given; the run's record is printed as text, or with --json as
// one JSON object a line, and the exit status tells the shell how the maps fared. Options are read as GNU's
// getopt_long reads them, and said wrong in its words, on every system alike.
#include "command.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "print.h"
#include "system.h"
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
    "      --info     show each MAP's card before its report: name, author, uid, title pack, medal times\n"
    "                 and dependencies\n"
    "      --limit=GAME|BYTES\n"
    "                 say which maps are larger than a game takes: tm2020 (Trackmania, 7,336,960 bytes),\n"
    "                 maniaplanet (4,194,304), forever (TrackMania Forever, 1,048,576) or BYTES\n"
    "  --             end of options: every argument after it is a MAP\n"
    "\n"
    "Each report goes to standard output; with several maps, each map's output is headed by a line\n"
    "\"==> MAP <==\". Errors, warnings and findings go to standard error as\n"
    "\"tallyglass: MAP: SENTENCE\", each after what the map's report has written.\n"
    "\n"
    "A MAP whose uid an earlier MAP holds too is a finding.\n"
    "\n"
    "Exit status: 0 if every MAP got its report, within the limit and without a finding; 1 if any did\n"
    "not; 2 on a usage error.\n"
    "\n"
    "Example: tallyglass maps/*.Map.Gbx\n"
    "The sentences, the JSON fields, the codes and what each means: ";
const char kVersion[] = "tallyglass " TALLYGLASS_VERSION
                        "\n"
                        "Licence: GNU GPL, version 2 or later.\n";
const WCHAR kStandardInput[] = TEXT("standard input");

enum ExitStatus { kAllReported = 0, kSomeNotReported = 1, kUsageError = 2 };

enum OptionName { kHelpOption, kVersionOption, kJsonOption, kFilesOption, kInfoOption, kLimitOption };

struct Option {
    const char* name;  // its long name
    char letter;       // its short name; 0: none
    bool argument;     // it takes one
    OptionName option;
};

const Option kOptions[] = {{"help", 'h', false, kHelpOption},
                           {"version", 'V', false, kVersionOption},
                           {"json", 0, false, kJsonOption},
                           {"files", 0, false, kFilesOption},
                           {"info", 0, false, kInfoOption},
                           {"limit", 0, true, kLimitOption}};

// The long option a word names: whole, or by a beginning that only it has. Null when none does.
const Option* LongOption(const std::string& given) {
    const Option* found = nullptr;
    for (const Option& option : kOptions) {
        if (given == option.name) return &option;
        if (!given.empty() && strncmp(option.name, given.c_str(), given.size()) == 0) {
            if (found) return nullptr;
            found = &option;
        }
    }
    return found;
}

const Option* ShortOption(char letter) {
    for (const Option& option : kOptions) {
        if (option.letter != 0 && option.letter == letter) return &option;
    }
    return nullptr;
}

// The limit that --limit names: a game's, or a byte count.
bool ParseLimit(const std::string& text, SizeLimit* limit) {
    static const SizeLimit kGames[] = {{"tm2020", "Trackmania (2020)", 7336960},
                                       {"maniaplanet", "ManiaPlanet", 4194304},
                                       {"forever", "TrackMania Forever", 1048576}};
    for (const SizeLimit& game : kGames) {
        if (text == game.name) {
            *limit = game;
            return true;
        }
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long bytes = strtoull(text.c_str(), &end, 10);
    if (text[0] < '0' || text[0] > '9' || *end != 0 || errno != 0) return false;
    *limit = {nullptr, nullptr, bytes};
    return true;
}

ExitStatus UsageError(const std::string& problem) {
    WriteErr((problem.empty() ? "" : "tallyglass: " + problem + "\n") + kUsage +
             "Try 'tallyglass --help' for more information.\n");
    return kUsageError;
}

// Said once, as other tools do.
void ReportWriteError() { WriteErr("tallyglass: write error: " + StdoutError() + "\n"); }

// Help and version: a text that could not be written is a failure, said as any other write error.
ExitStatus PrintFixedText(const std::string& text) {
    if (WriteOut(text)) return kAllReported;
    ReportWriteError();
    return kSomeNotReported;
}

// The maps of the run by their uids, each uid to the first map that holds it.
typedef std::unordered_map<std::string, MapName> MapsByUid;

// Runs one map and prints its record. False when it got no report, is over the limit or has a finding.
bool ReportMap(const MapName& name, const PrintOptions& options, MapsByUid* maps) {
    MapRun run = {};
    if (!name.standardInput) {
        RunMap(name.path.c_str(), &run);
    } else {
        HANDLE input = INVALID_HANDLE_VALUE;
        std::string why;
        run.failure = OpenStandardInput(&input, &why);
        if (!why.empty() && !options.json) WriteErr("tallyglass: standard input: " + why + "\n");
        if (run.failure == MapFailure::kNone) RunMapFile(input, &run);
    }
    TakeNoItemsAsNone(&run);
    // A device or pipe is never read again; a file the run opened has its card read from its header.
    MapCard card = {};
    if (run.map.file && run.failure != MapFailure::kFileNotOpened) {
        ReadMapFileCard(run.map.file, MapFileOf(&run, options).size, &card);
    }
    const MapName* sameUid = nullptr;
    if (card.uid) {
        const auto first = maps->emplace(*card.uid, name);
        if (!first.second) sameUid = &first.first->second;
    }
    const bool reported = PrintRun({&name, &run, &card, sameUid}, options);
    EndMapRun(&run);
    return reported;
}

// Acts on an option given. True when it ends the run, with `status`: help, version, or a limit that is none.
bool Apply(const Option& option, const std::string& value, PrintOptions* print, SizeLimit* limit, ExitStatus* status) {
    switch (option.option) {
        case kHelpOption: *status = PrintFixedText(std::string(kUsage) + kHelp + kManualPlace + "\n"); return true;
        case kVersionOption: *status = PrintFixedText(kVersion); return true;
        case kJsonOption: print->json = true; return false;
        case kFilesOption: print->files = true; return false;
        case kInfoOption: print->info = true; return false;
        case kLimitOption: break;
    }
    if (!ParseLimit(value, limit)) {
        WriteErr("tallyglass: invalid limit '" + value + "': give tm2020, maniaplanet, forever or a byte count\n");
        *status = UsageError("");
        return true;
    }
    print->limit = limit;
    return false;
}

}  // namespace

int RunCommand(const std::vector<Argument>& arguments) {
    PrintOptions print = {false, false, false, nullptr, JsonInAscii()};
    SizeLimit limit = {};
    ExitStatus status = kAllReported;
    std::vector<const Argument*> maps;
    bool optionsEnded = false;
    // Options anywhere before "--", each acted on as it comes; a map wherever a word is not one.
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i].text;
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            maps.push_back(&arguments[i]);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word[1] != '-') {
            for (size_t k = 1; k < word.size(); ++k) {
                const Option* option = ShortOption(word[k]);
                if (!option) return UsageError(std::string("invalid option -- '") + word[k] + "'");
                if (Apply(*option, "", &print, &limit, &status)) return status;
            }
            continue;
        }
        const size_t equals = word.find('=');
        const Option* option = LongOption(word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
        if (!option) return UsageError("unrecognized option '" + word + "'");
        const std::string name = std::string("--") + option->name;
        if (equals != std::string::npos && !option->argument) return UsageError("option '" + name + "' doesn't allow an argument");
        if (option->argument && equals == std::string::npos && i + 1 == arguments.size()) {
            return UsageError("option '" + name + "' requires an argument");
        }
        std::string value;
        if (option->argument) value = equals != std::string::npos ? word.substr(equals + 1) : arguments[++i].text;
        if (Apply(*option, value, &print, &limit, &status)) return status;
    }
    if (maps.empty()) return UsageError("");
    // Standard input is read once: a second "-" would find it spent.
    if (std::count_if(maps.begin(), maps.end(), [](const Argument* map) { return map->text == "-"; }) > 1) {
        return UsageError("standard input (-) given more than once: it can be read only once");
    }

    MapsByUid byUid;
    for (const Argument* argument : maps) {
        const bool standardInput = argument->text == "-";
        MapName name = {standardInput, argument->text, standardInput ? kStandardInput : argument->path, ""};
        name.shown = LineText(name.path.data(), name.path.size());
        // Headers as head(1) writes them: a blank line between one map's output and the next header.
        if (maps.size() > 1 && !print.json) WriteOut((argument != maps.front() ? "\n==> " : "==> ") + name.shown + " <==\n");
        if (!ReportMap(name, print, &byUid)) status = kSomeNotReported;
    }
    // The maps whose reports were lost already count as not reported.
    if (!StdoutError().empty()) {
        ReportWriteError();
        status = kSomeNotReported;
    }
    return status;
}
