// The built binary, end to end: what a user sees on stdout and stderr, and the exit status. With
// TALLYGLASS_UNDER set to a command (valgrind and its options), every run goes through it, and what it reports
// fails the test. With TALLYGLASS_COMMAND set to the Windows console twin (Tallyglass.com) and TALLYGLASS_UNDER
// to Wine, the same rows check it, but for those that only POSIX can set up (closed descriptors, other users,
// /proc, devices and FIFOs, names that are not text or that Windows forbids, paths past Windows' 259 units).
// With TALLYGLASS_JSON_LINES set to a file, every line that --json writes is appended to it, for the check
// against the JSON Schema (tests/support/check_json_lines.py) that runs after the suite.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive_file.h"
#include "items_report.h"
#include "run_cases.h"

namespace {

// The program under test: the built binary, or another build of the command.
std::string Program() {
    const char* other = getenv("TALLYGLASS_COMMAND");
    return other ? other : TALLYGLASS_BINARY;
}

bool ForWindows() {
    const std::string program = Program();
    return program.size() > 4 && program.compare(program.size() - 4, 4, ".com") == 0;
}

struct Output {
    std::string out;
    std::string err;
    int status;
};

const char kUsageError[] = "Usage: tallyglass [OPTION]... MAP...\nTry 'tallyglass --help' for more information.\n";
const char kFffd[] = "\xEF\xBF\xBD";  // U+FFFD, what a terminal is shown in place of what it would obey
const uid_t kNobody = 65534;
// The sample's items as --json writes them, collections by name.
const char kSampleItems[] =
    R"({"id": "Blocks\\Ramp_Café.Item.Gbx", "collection": "Common", "author": "Zoë"}, )"
    R"({"id": "Deco\\Sakura木.Item.Gbx", "collection": "Common", "author": "Hana"}, )"
    R"({"id": "Signs\\Start.Item.Gbx", "collection": "SMCommon", "author": ""}, )"
    R"({"id": "Blocks\\Loop.Item.Gbx", "collection": "Common", "author": "Zoë"})";

// How a run is started: what it reads on stdin (never the test's own), and the outputs it meets.
struct RunSetup {
    std::string input;          // standard input's bytes
    int closed = -1;            // stdout or stderr: a pipe nobody reads; stdin: a pipe's writing end
    bool full = false;          // stdout is /dev/full
    bool unprivileged = false;  // as user nobody, when this test runs as root
    rlim_t fileLimit = RLIM_INFINITY;
    int shut = -1;              // a standard stream not open at all
    bool noProc = false;        // in a mount namespace of its own, with nothing at /proc
    bool merged = false;        // stderr is stdout, as on a terminal: what each wrote, in the order written
};

// Whether a run's set-up is one that only POSIX makes: a stream closed or full, another user, a file size
// limit, no /proc.
bool NeedsPosix(const RunSetup& setup) {
    return setup.closed >= 0 || setup.full || setup.unprivileged || setup.fileLimit != RLIM_INFINITY || setup.shut >= 0 ||
           setup.noProc;
}

// Hides /proc from this process and its children, in a mount namespace of their own (of a user namespace of
// their own too, where the test does not run as root). False when it cannot.
bool HideProc() {
    if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    if (umount2("/proc", MNT_DETACH) != 0 && mount("none", "/proc", "tmpfs", 0, nullptr) != 0) return false;
    return access("/proc/self", F_OK) != 0;
}

// Appends what a --json run wrote to the file TALLYGLASS_JSON_LINES names, in one write: the suite's tests
// run at once in processes of their own.
void KeepJsonLines(const std::vector<std::string>& args, const std::string& out) {
    const char* file = getenv("TALLYGLASS_JSON_LINES");
    const auto options = std::find(args.begin(), args.end(), "--");
    if (!file || out.empty() || std::find(args.begin(), options, "--json") == options) return;
    const int fd = open(file, O_WRONLY | O_CREAT | O_APPEND, 0644);
    EXPECT_TRUE(fd >= 0 && write(fd, out.data(), out.size()) == static_cast<ssize_t>(out.size())) << file;
    if (fd >= 0) close(fd);
}

class CliTest : public ::testing::Test {
  protected:
    // Every run starts in `dir`, with a copy of the binary there, which a user without privileges may run too.
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/tallyglass-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        binary = dir + (ForWindows() ? "/tallyglass.com" : "/tallyglass");
        const std::string built = ReadWholeFile(Program());
        ASSERT_TRUE(WriteFile(binary, Bytes(built.begin(), built.end())));
        ASSERT_EQ(chmod(binary.c_str(), 0755), 0);
        ASSERT_EQ(chmod(pattern, 0755), 0);
    }
    static void TearDownTestSuite() { EXPECT_EQ(system(("chmod -R u+rwx '" + dir + "'; rm -rf '" + dir + "'").c_str()), 0); }

    // Runs the binary in `dir` with stdout and stderr to files. A run that takes over a minute is ended, and
    // fails on its status; a run ended by a signal has the shell's status for it, 128 + the signal.
    static Output Run(const std::vector<std::string>& args, const RunSetup& setup = {}) {
        const std::string in = dir + "/.stdin", out = dir + "/.stdout", err = dir + "/.stderr";
        if (!WriteFile(in, Bytes(setup.input.begin(), setup.input.end()))) return {"", "cannot write " + in, -1};
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(open(in.c_str(), O_RDONLY), STDIN_FILENO);
            dup2(open(setup.full ? "/dev/full" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
            dup2(setup.merged ? STDOUT_FILENO : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            int unread[2];
            const int closed = setup.closed;
            if (closed >= 0 && (pipe(unread) != 0 || close(unread[0]) != 0 || dup2(unread[1], closed) < 0)) _exit(126);
            if (setup.shut >= 0) close(setup.shut);
            if (setup.noProc && !HideProc()) _exit(126);
            if (chdir(dir.c_str()) != 0) _exit(126);
            if (setup.unprivileged && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(126);
            const rlimit limit = {setup.fileLimit, setup.fileLimit};
            if (setup.fileLimit != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
            alarm(60);
            std::vector<std::string> words;
            // Unprivileged runs go without the wrapper: its own files may lie where user nobody cannot read.
            // So do runs ended by a closed pipe, of which the wrapper would tell, and runs without /proc or a
            // stream, which the wrapper needs.
            const bool wrapped = !setup.unprivileged && closed != STDOUT_FILENO && !setup.noProc && setup.shut < 0;
            const char* wrapper = wrapped ? getenv("TALLYGLASS_UNDER") : nullptr;
            std::istringstream under(wrapper ? wrapper : "");
            for (std::string word; under >> word;) words.push_back(word);
            words.push_back(binary);
            words.insert(words.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(&word[0]);
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
        const Output output = {setup.full ? "" : ReadWholeFile(out), setup.merged ? "" : ReadWholeFile(err), code};
        KeepJsonLines(args, output.out);
        return output;
    }

    // Writes a map under `dir`; returns its path relative to `dir`.
    static std::string WriteMap(const std::string& name, const Bytes& bytes) {
        EXPECT_TRUE(WriteFile(dir + "/" + name, bytes)) << name;
        return name;
    }

    // What jq writes for the command's JSON lines, given its options and filter (quoted for the shell);
    // empty when it cannot read every line.
    static std::string Jq(const std::string& options, const std::string& json) {
        const std::string file = dir + "/.json";
        if (!WriteFile(file, Bytes(json.begin(), json.end()))) return "";
        FILE* jq = popen(("jq " + options + " '" + file + "'").c_str(), "r");
        if (!jq) return "";
        std::string out;
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, jq)) > 0;) out.append(buffer, n);
        return pclose(jq) == 0 ? out : "";
    }

    static inline std::string dir, binary;
};

// A message box as the Linux build shows it.
std::string Lines(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") != 0) out += text[i];
    }
    return out + "\n";
}

// The output of one map named `path`; `status` 0 when it got its report, else 1.
Output Expected(const std::string& path, const std::vector<Message>& messages) {
    Output expected = {"", "", 1};
    for (const Message& m : DoorMessages(messages)) {
        if (m.information) {
            expected.out += Lines(LineSafe(m.text));
            expected.status = 0;
        } else {
            expected.err += "tallyglass: " + path + ": " + Lines(m.text);
        }
    }
    return expected;
}

Output Fails(const std::string& path, const char* sentence) { return Expected(path, {Warning(sentence)}); }
Output Reports(const std::string& text) { return {Lines(text), "", 0}; }

// The size text the box shows for a byte count.
std::string SizeText(unsigned long size) {
    WCHAR text[kSizeTextCapacity];
    FormatSize(static_cast<uint32_t>(size), text);
    std::string narrow;
    for (unsigned i = 0; text[i] != 0; ++i) narrow += static_cast<char>(text[i]);
    return narrow;
}

// Text with each run of U+FFFD as one: the box's decoder and JSON's replace bad bytes in runs of their own.
std::string OneReplacementARun(std::string text) {
    for (size_t at = 0; (at = text.find(std::string(kFffd) + kFffd, at)) != std::string::npos;) text.erase(at, 3);
    return text;
}

// JSON as the console twin writes it to a file: every character beyond ASCII escaped, as PowerShell needs.
std::string AsWindowsJson(const std::string& json) {
    std::string ascii;
    for (size_t at = 0, length = 0; at < json.size(); at += length) {
        const uint32_t c = CodePointAt(json, at, &length);
        char escaped[16];
        if (c >= 0x10000) {
            snprintf(escaped, sizeof escaped, "\\u%04X\\u%04X", 0xD800 + ((c - 0x10000) >> 10), 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            snprintf(escaped, sizeof escaped, c < 0x80 ? "%c" : "\\u%04X", c);
        }
        ascii += escaped;
    }
    return ascii;
}

// Several maps' outputs in one run: each under its header, a blank line between them.
Output Together(const std::vector<std::pair<std::string, Output>>& maps) {
    Output together = {"", "", 0};
    for (const auto& [path, output] : maps) {
        together.out += (together.out.empty() ? "==> " : "\n==> ") + path + " <==\n" + output.out;
        together.err += output.err;
        together.status = std::max(together.status, output.status);
    }
    return together;
}

void ExpectOutput(const Output& actual, const Output& expected, const std::string& name) {
    EXPECT_EQ(actual.out, expected.out) << name;
    EXPECT_EQ(actual.err, expected.err) << name;
    EXPECT_EQ(actual.status, expected.status) << name;
}

// Each case from a file, and the same bytes from a pipe as standard input.
TEST_F(CliTest, EveryMapCaseShowsItsMessages) {
    for (const RunCase& c : MapRunCases()) {
        ExpectOutput(Run({WriteMap("case.Map.Gbx", c.map)}), Expected("case.Map.Gbx", c.messages), c.name);
        ExpectOutput(Run({"-"}, {std::string(c.map.begin(), c.map.end())}), Expected("standard input", c.messages),
                     c.name + " from standard input");
    }
}

// One process over the whole table, each case between two good maps: every map's output is the one it has
// alone, so nothing of one map outlives it.
TEST_F(CliTest, ManyMapsInOneRunKeepNothingBetweenThem) {
    const std::string sample = WriteMap("sample.Map.Gbx", SampleMap());
    std::vector<std::string> args = {sample};
    std::vector<std::pair<std::string, Output>> maps = {{sample, Reports(SampleReport())}};
    const std::vector<RunCase> cases = MapRunCases();
    std::map<std::string, std::string> paths;  // each case's map, by the case's name
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string path = WriteMap("case-" + std::to_string(i) + ".Map.Gbx", cases[i].map);
        paths[cases[i].name] = path;
        Output expected = Expected(path, cases[i].messages);
        if (!cases[i].sameUid.empty()) {
            expected.err += "tallyglass: " + path + ": Same uid as an earlier map: " + paths.at(cases[i].sameUid) + "\n";
            expected.status = 1;
        }
        args.insert(args.end(), {path, sample});
        maps.insert(maps.end(), {{path, expected}, {sample, Reports(SampleReport())}});
    }
    ExpectOutput(Run(args), Together(maps), "the whole table");
}

TEST_F(CliTest, ShippedSampleShowsItsReport) {
    const std::string shipped = ReadWholeFile(SAMPLE_MAP);
    EXPECT_EQ(Bytes(shipped.begin(), shipped.end()), SampleMap()) << "regenerate it with write_case_maps";
    ExpectOutput(Run({SAMPLE_MAP}), Reports(SampleReport()), "sample");
}

TEST_F(CliTest, CommandLine) {
    ASSERT_EQ(mkdir((dir + "/my maps").c_str(), 0755), 0);
    const std::string path = WriteMap("my maps/A  B.Map.Gbx", SampleMap());
    WriteMap("-dash.Map.Gbx", SampleMap());
    WriteMap("\"", SampleMap());
    WriteMap("\"quoted\".Map.Gbx", SampleMap());
    WriteMap("\"q\"", SampleMap());
    // A name that is not UTF-8 reaches its own file, not the one its shown name would spell.
    WriteMap("bad\xFF.Map.Gbx", SampleMap());
    WriteMap(std::string("bad") + kFffd + ".Map.Gbx", {});
    // Paths as long as the system takes, far beyond the 259 units of a Windows path.
    const std::string deep = dir + "/" + std::string(150, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    const std::string path360 = deep + "/" + std::string(360 - deep.size() - 1, 'f');
    WriteMap(path360.substr(dir.size() + 1), SampleMap());
    // Names whole in JSON: one of 600 bytes with an emoji where a box's 511 end, one with a zero byte, one
    // with bad UTF-8 that a box's decoder and JSON's replace differently.
    ItemsChunk whole;
    const std::string tree = "\xF0\x9F\x8C\xB2";
    whole.items = {{std::string(509, 'a') + tree + std::string(87, 'b'), 11, ""},
                   {std::string("Items\\Visible\0Hidden.Item.Gbx", 29), 11, "Bad\xE0\x80Name\xED\xA0\x80" "End"}};
    MapLayout wholeLayout;
    wholeLayout.body = BodyWithChunk(BuildItemsChunk(whole));
    const std::string wholeMap = WriteMap("whole.Map.Gbx", BuildMap(wholeLayout));
    const RunCase wrong = EmbeddedFindingsCase();
    const std::string wrongMap = WriteMap("files.Map.Gbx", wrong.map);
    const std::string wrongFiles = "Embedded files, largest packed first: packed, size, name\n"
                                   "   2 bytes    2 bytes  E:/Maker/Items/A/B.Item.Gbx\n"
                                   "   1 bytes    1 bytes  Items/A/B.Item.Gbx\n"
                                   "   1 bytes    1 bytes  Items/A/B.Item.Gbx\n"
                                   "Packed: 4 bytes in all, 1 % of the map file\n";
    const std::string wrongSaid = "tallyglass: files.Map.Gbx: Embedded file named from the maker's own folders: "
                                  "E:/Maker/Items/A/B.Item.Gbx\ntallyglass: files.Map.Gbx: Embedded files that share "
                                  "a name: Items/A/B.Item.Gbx\ntallyglass: files.Map.Gbx: Listed item without its file "
                                  "among the embedded files: Gone\\G.Item.Gbx\n";
    const std::string sampleFiles = "Embedded files, largest packed first: packed, size, name\n"
                                    " 317 bytes     9.0 kB  Items/Blocks/Ramp_Caf\xC3\xA9.Mesh.gbx\n"
                                    " 134 bytes     2.4 kB  Items/Blocks/Ramp_Caf\xC3\xA9.Item.Gbx\n"
                                    " 117 bytes     1.9 kB  Items/Blocks/Loop.Item.Gbx\n"
                                    "  98 bytes     1.5 kB  Items/Deco/Sakura\xE6\x9C\xA8.Item.Gbx\n"
                                    "  66 bytes  700 bytes  Blocks/Signs/Start.Item.Gbx\n"
                                    "Packed: 732 bytes in all, 59 % of the map file\n";
    ASSERT_EQ(symlink(path.c_str(), (dir + "/link.Map.Gbx").c_str()), 0);
    ASSERT_EQ(symlink("loop.Map.Gbx", (dir + "/loop.Map.Gbx").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dir + "/locked").c_str(), 0755), 0);
    WriteMap("locked/A.Map.Gbx", SampleMap());
    ASSERT_EQ(chmod((dir + "/locked").c_str(), 0), 0);
    const Bytes sampleMap = SampleMap();
    const std::string sample(sampleMap.begin(), sampleMap.end());

    auto shut = [](int fd, const std::string& input) {
        RunSetup setup;
        setup.input = input;
        setup.shut = fd;
        return setup;
    };
    RunSetup merged;
    merged.merged = true;
    MapLayout noItemsLayout;
    noItemsLayout.body = BodyWithChunk({});  // a body, without the chunk that lists items
    const Bytes noItems = BuildMap(noItemsLayout);
    const std::string noItemsMap = WriteMap("no-items.Map.Gbx", noItems);
    // Maps with a card: one as a current map's header holds it, its copy under another name, one whose strings
    // would break a line.
    MapLayout cardLayout = noItemsLayout;
    cardLayout.userData = CardUserData(MapXml("uid1", "$s$fffspm$f01Xmas", "author1",
                                              "<deps><dep file=\"Skins\\A.zip\" url=\"http://x/A.zip\"/><dep file=\"B.zip\"/></deps>"),
                                       JpegShaped(300), "\xEF\xBB\xBF$h[author1]$f00Nick$h");
    const Bytes cardBytes = BuildMap(cardLayout);
    const std::string cardMap = WriteMap("card.Map.Gbx", cardBytes), cardCopy = WriteMap("copy.Map.Gbx", cardBytes);
    cardLayout.userData = CardUserData(MapXml("uid2", "$i&#x1B;[2Jx&#10;y\xE2\x80\xAE", "a"));
    const std::string hostileCard = WriteMap("hostile.Map.Gbx", BuildMap(cardLayout));
    const std::string cardText = "Name: spmXmas\nAuthor: Nick (author1)\nUid: uid1\nTitle pack: TMStadium\nEnvironment: Stadium\n"
                                 "Medal times: author 0:45.120, gold 0:48.000, silver 0:55.000, bronze 1:08.000\n"
                                 "Dependency: Skins\\A.zip (http://x/A.zip)\nDependency: B.zip\n";
    const std::string cardJson = ", \"info\": {\"uid\": \"uid1\", \"name\": \"$s$fffspm$f01Xmas\", \"name_text\": "
        "\"spmXmas\", \"author\": \"author1\", \"author_nickname\": \"\xEF\xBB\xBF$h[author1]$f00Nick$h\", "
        "\"author_zone\": \"World|Europe\", \"environment\": \"Stadium\", \"mood\": \"Day\", \"title\": \"TMStadium\", "
        "\"map_type\": \"TrackMania\\\\TM_Race\", \"laps\": 0, \"times\": {\"bronze\": 68000, \"silver\": 55000, "
        "\"gold\": 48000, \"author\": 45120}, \"dependencies\": [{\"file\": \"Skins\\\\A.zip\", \"url\": "
        "\"http://x/A.zip\"}, {\"file\": \"B.zip\", \"url\": null}], \"thumbnail_size\": 300}, \"items\": [], "
        "\"embedded_size\": 0, \"findings\": [";
    const std::string cardEnd = "], \"warnings\": [], \"warning_codes\": [], \"error\": null, \"error_code\": null}\n";
    const std::string size = std::to_string(cardBytes.size());
    const std::string filesJson = cardJson.substr(0, cardJson.rfind("\"findings\"")) + "\"files\": [], \"findings\": [";
    RunSetup withoutProc;
    withoutProc.input = sample;
    withoutProc.noProc = true;

    const Output report = Reports(SampleReport());
    const Output usage = {"", kUsageError, 2};
    const std::string f = kFffd;
    struct Case {
        const char* name;
        std::vector<std::string> args;
        Output expected;
        RunSetup setup = {};
        bool posixOnly = false;  // files or names that Windows has not, or takes otherwise
    };
    const Case cases[] = {
        {"no argument", {}, usage},
        {"unknown option", {"-x", path}, {"", "tallyglass: invalid option -- 'x'\n" + std::string(kUsageError), 2}},
        {"unknown long option", {"--frob"}, {"", "tallyglass: unrecognized option '--frob'\n" + std::string(kUsageError), 2}},
        {"options end at --", {"--", "-dash.Map.Gbx"}, report},
        {"an option after a map", {path, "--json", "none"},
         {"{\"map\": \"" + path + "\", \"file_size\": " + std::to_string(sample.size()) + ", \"info\": null, \"items\": [" +
          kSampleItems + "], \"embedded_size\": 1426, \"findings\": [], \"warnings\": [], \"warning_codes\": [], \"error\": null, \"error_code\": null}\n{\"map\": "
          "\"none\", \"info\": null, \"findings\": [], \"warnings\": [], \"warning_codes\": [], \"error\": \"File not found.\", \"error_code\": "
          "\"not_found\"}\n", "", 1}},
        {"a lone - is standard input", {"-"}, report, {sample}},
        {"- after --", {"--", "-"}, report, {sample}},
        {"standard input, empty", {"-"}, Fails("standard input", kFormatError)},
        {"standard input beyond what can be held", {"-"}, Fails("standard input", kOutOfMemory), {sample, -1, false, false, 200}},
        {"standard input not readable", {"-"}, Fails("standard input", kCannotOpen), {"", STDIN_FILENO}},
        {"standard input closed", {"-"}, Fails("standard input", kCannotOpen), shut(STDIN_FILENO, "")},
        {"standard input to a closed stdout", {"-"}, {"", "tallyglass: write error: Bad file descriptor\n", 1},
         shut(STDOUT_FILENO, sample)},
        {"standard input among maps", {"-", path}, Together({{"standard input", report}, {path, report}}), {sample}},
        {"blanks belong to the name", {path}, report},
        {"a blank name", {"  "}, Fails("  ", kNotFound)},
        {"an empty name", {""}, Fails("", kNotFound)},
        {"quotes belong to the name", {"\"" + path + "\""}, Fails("\"" + path + "\"", kNotFound)},
        {"a name that is a quote", {"\""}, report, {}, true},
        {"a name in quotes", {"\"q\""}, report, {}, true},
        {"a name with quotes", {"\"quoted\".Map.Gbx"}, report, {}, true},
        {"missing file", {"none.Map.Gbx"}, Fails("none.Map.Gbx", kNotFound)},
        {"directory", {"my maps"}, Fails("my maps", kCannotOpen)},
        {"link to the map", {"link.Map.Gbx"}, report},
        {"link loop", {"loop.Map.Gbx"}, Fails("loop.Map.Gbx", kCannotOpen), {}, true},
        {"FIFO with no writer", {"fifo"}, Fails("fifo", kCannotOpen), {}, true},
        {"device", {"/dev/null"}, Fails("/dev/null", kCannotOpen), {}, true},
        {"no permission to look", {"locked/A.Map.Gbx"}, Fails("locked/A.Map.Gbx", kCannotOpen), {"", -1, false, true}},
        {"nothing there, unprivileged", {"my maps/none"}, Fails("my maps/none", kNotFound), {"", -1, false, true}},
        {"invalid UTF-8", {"bad\xFF.Map.Gbx"}, report, {}, true},
        {"invalid UTF-8 shown", {"gone\xFF"}, Fails("gone" + f, kNotFound), {}, true},
        {"a bad byte alone is replaced", {"ab\xE2" "c"}, Fails("ab" + f + "c", kNotFound), {}, true},
        {"a bad byte at the end", {"ab\xE2"}, Fails("ab" + f, kNotFound), {}, true},
        {"controls in a name shown", {"esc\x1B[2J\r\x9B\t"}, Fails("esc" + f + "[2J" + f + f + f, kNotFound), {}, true},
        {"line breaks and bidi controls in names shown",
         {"a\nb", "c\r\nd", "e\xE2\x80\xA8" "f", "g\xE2\x80\xAEh"},
         Together({{"a" + f + "b", Fails("a" + f + "b", kNotFound)}, {"c" + f + f + "d", Fails("c" + f + f + "d", kNotFound)},
                   {"e" + f + "f", Fails("e" + f + "f", kNotFound)}, {"g" + f + "h", Fails("g" + f + "h", kNotFound)}}),
         {}, true},
        // Windows takes such a path only where long paths are turned on, and Wine is not Windows there.
        {"360 units", {path360}, report, {}, true},
        {"names whole in JSON", {"--json", wholeMap},
         {"{\"map\": \"whole.Map.Gbx\", \"file_size\": " + std::to_string(BuildMap(wholeLayout).size()) +
          ", \"info\": null, \"items\": [{\"id\": \"" + std::string(509, 'a') + tree + std::string(87, 'b') + "\", \"collection\": "
          "\"Valley\", \"author\": \"\"}, {\"id\": \"Items\\\\Visible\\u0000Hidden.Item.Gbx\", \"collection\": "
          "\"Valley\", \"author\": \"Bad" + f + f + "Name" + f + f + f + "End\"}], \"embedded_size\": 0, "
          "\"findings\": [], \"warnings\": [], \"warning_codes\": [], \"error\": null, \"error_code\": null}\n", "", 0}},
        {"names as a box holds them in text", {wholeMap},
         Reports(kReportHeading + std::string("2\r\n") + std::string(509, 'a') + f + "\r\nItems\\Visible (Bad" + f +
                 "Name" + f + f + "End)")},
        {"two maps", {path, "none"}, Together({{path, report}, {"none", Fails("none", kNotFound)}})},
        {"two good maps", {path, "--", "-dash.Map.Gbx"}, Together({{path, report}, {"-dash.Map.Gbx", report}})},
        {"JSON of a failure", {"--json", "gone\xFF", "--", "-"},
         {"{\"map\": \"gone" + f + "\", \"map_bytes\": \"Z29uZf8=\", \"info\": null, \"findings\": [], \"warnings\": [], \"warning_codes\": [], "
          "\"error\": \"File not found.\", \"error_code\": \"not_found\"}\n{\"map\": \"standard input\", "
          "\"file_size\": 0, \"info\": null, \"findings\": [], \"warnings\": [], \"warning_codes\": [], \"error\": \"" + std::string(kFormatError) +
          "\", \"error_code\": \"invalid_format\"}\n", "", 1}, {}, true},
        {"the sample's files", {"--files", path}, {Lines(SampleReport()) + sampleFiles, "", 0}},
        {"findings, each on stderr", {"--files", wrongMap}, {Lines(wrong.messages[0].text) + wrongFiles, wrongSaid, 1}},
        {"findings after the report, on one terminal", {"--files", wrongMap, path},
         {"==> files.Map.Gbx <==\n" + Lines(wrong.messages[0].text) + wrongFiles + wrongSaid + "\n==> " + path + " <==\n" +
          Lines(SampleReport()) + sampleFiles, "", 1},
         merged},
        {"a map without items", {"--files", noItemsMap}, {Lines(kReportHeading + std::string("0")) + "No embedded files.\n", "", 0}},
        {"a map without items in JSON", {"--json", "--files", noItemsMap},
         {"{\"map\": \"no-items.Map.Gbx\", \"file_size\": " + std::to_string(noItems.size()) + ", \"info\": null, \"items\": [], "
          "\"embedded_size\": 0, \"files\": [], \"findings\": [], \"warnings\": [], \"warning_codes\": [], "
          "\"error\": null, \"error_code\": null}\n", "", 0}},
        {"a map's card", {"--info", cardMap}, {cardText + Lines(kReportHeading + std::string("0")), "", 0}},
        {"a map's card in JSON", {"--json", cardMap},
         {"{\"map\": \"card.Map.Gbx\", \"file_size\": " + size + cardJson + cardEnd, "", 0}},
        {"no card", {"--info", noItemsMap, "none"},
         Together({{"no-items.Map.Gbx", {"No map card in its header.\n" + Lines(kReportHeading + std::string("0")), "", 0}},
                   {"none", {"No map card in its header.\n", Fails("none", kNotFound).err, 1}}})},
        {"a card's strings each on their line", {"--info", hostileCard},
         {"Name: " + f + "[2Jx" + f + "y" + f + "\nAuthor: a\nUid: uid2\nTitle pack: TMStadium\nEnvironment: Stadium\n"
          "Medal times: author 0:45.120, gold 0:48.000, silver 0:55.000, bronze 1:08.000\n" +
          Lines(kReportHeading + std::string("0")), "", 0}},
        {"the same uid in two maps", {cardMap, cardCopy, cardMap},
         {"==> card.Map.Gbx <==\n" + Lines(kReportHeading + std::string("0")) + "\n==> copy.Map.Gbx <==\n" +
          Lines(kReportHeading + std::string("0")) + "\n==> card.Map.Gbx <==\n" + Lines(kReportHeading + std::string("0")),
          "tallyglass: copy.Map.Gbx: Same uid as an earlier map: card.Map.Gbx\n"
          "tallyglass: card.Map.Gbx: Same uid as an earlier map: card.Map.Gbx\n", 1}},
        {"the same uid in JSON, with the files", {"--json", "--files", cardMap, cardCopy},
         {"{\"map\": \"card.Map.Gbx\", \"file_size\": " + size + filesJson + cardEnd + "{\"map\": \"copy.Map.Gbx\", "
          "\"file_size\": " + size + filesJson + "{\"kind\": \"duplicate_uid\", \"map\": \"card.Map.Gbx\"}" + cardEnd, "", 1}},
        {"standard input given twice", {"-", path, "-"},
         {"", "tallyglass: standard input (-) given more than once: it can be read only once\n" + std::string(kUsageError), 2}},
        {"over a limit of bytes", {"--limit=1000", path},
         {Lines(SampleReport()), "tallyglass: " + path + ": The map file is 248 bytes over the limit of 1,000 bytes.\n", 1}},
        {"under a game's limit, with the files", {"--files", "--limit", "forever", path},
         {Lines(SampleReport()) + sampleFiles + "The map file is 1,047,328 bytes under the 1,048,576 bytes that TrackMania "
          "Forever takes.\n", "", 0}},
        {"a limit that is no game nor count", {"--limit=tm2021", path},
         {"", "tallyglass: invalid limit 'tm2021': give tm2020, maniaplanet, forever or a byte count\n" +
          std::string(kUsageError), 2}},
        {"files, findings and the limit in JSON", {"--json", "--files", "--limit=maniaplanet", wrongMap},
         {"{\"map\": \"files.Map.Gbx\", \"file_size\": " + std::to_string(wrong.map.size()) +
          ", \"info\": null, \"items\": [{\"id\": \"A\\\\B.Item.Gbx\", \"collection\": \"Valley\", \"author\": \"\"}, {\"id\": "
          "\"Gone\\\\G.Item.Gbx\", \"collection\": \"Valley\", \"author\": \"\"}], \"embedded_size\": 380, \"files\": [{\"name\": \"Items/A/B.Item.Gbx\", \"size\": 1, "
          "\"packed_size\": 1}, {\"name\": \"E:/Maker/Items/A/B.Item.Gbx\", \"size\": 2, \"packed_size\": 2}, "
          "{\"name\": \"Items/A/B.Item.Gbx\", \"size\": 1, \"packed_size\": 1}], \"findings\": [{\"kind\": "
          "\"local_path\", \"name\": \"E:/Maker/Items/A/B.Item.Gbx\", \"detail\": null}, {\"kind\": \"duplicate\", "
          "\"name\": \"Items/A/B.Item.Gbx\", \"detail\": null}, {\"kind\": \"missing\", \"name\": \"Gone\\\\G.Item.Gbx\", "
          "\"detail\": null}], \"limit\": {\"name\": \"maniaplanet\", \"bytes\": 4194304, \"over\": false}, "
          "\"warnings\": [], \"warning_codes\": [], \"error\": null, \"error_code\": null}\n", "", 1}},
        {"report to a full disk", {path, path}, {"", "tallyglass: write error: No space left on device\n", 1}, {"", -1, true}},
    };
    for (const Case& c : cases) {
        if (ForWindows() && (c.posixOnly || NeedsPosix(c.setup))) continue;
        Output expected = c.expected;
        if (ForWindows() && std::count(c.args.begin(), c.args.end(), "--json") > 0) expected.out = AsWindowsJson(expected.out);
        ExpectOutput(Run(c.args, c.setup), expected, c.name);
    }
#ifndef TALLYGLASS_SANITIZED  // the sanitizers' runtime needs /proc itself
    if (!ForWindows()) ExpectOutput(Run({"-"}, withoutProc), report, "standard input without /proc");
#endif
}

// The JSON line of every case: it parses (jq reads it), its map and file size are the case's, its warnings,
// error, items and size give back the case's boxes, and each sentence comes with its code.
TEST_F(CliTest, JsonAgreesWithEveryCase) {
    const std::map<std::string, std::string> codes = {
        {kNotFound, "not_found"}, {kCannotOpen, "cannot_open"}, {kFormatError, "invalid_format"},
        {kUncompressed, "uncompressed"}, {kReadError, "read_error"}, {kOutOfMemory, "out_of_memory"},
        {kDecompressError, "decompress_error"},
        {kVersionWarning, "unsupported_chunk_version"}};
    const std::vector<RunCase> cases = MapRunCases();
    std::vector<std::string> args = {"--json"};
    for (size_t i = 0; i < cases.size(); ++i) args.push_back(WriteMap("json-" + std::to_string(i), cases[i].map));
    const Output json = Run(args);
    EXPECT_EQ(json.err, "");
    // Each line as its boxes, each behind a RS: the warnings, then the error or the report; a sentence's code
    // behind a US, the size behind a GS, and a FS at the end.
    const char* boxes = R"jq(.map, " ", (.file_size | tostring),
        (range(.warnings | length) as $i | "\u001ew " + .warnings[$i] + "\u001f" + .warning_codes[$i]),
        if .error then "\u001ew " + .error + "\u001f" + .error_code
        else "\u001ei Number of embedded items: \(.items | length)",
             (.items[] | "\r\n" + .id + if .author == "" then "" else " (" + .author + ")" end),
             if .embedded_size > 0 then "\r\nSize of embedded files: \u001d\(.embedded_size)" else empty end
        end, "\u001c")jq";
    const std::string lines = Jq("-j '" + std::string(boxes) + "'", json.out);
    ASSERT_NE(lines, "") << "jq could not read every line";

    std::istringstream read(lines);
    for (size_t i = 0; i < cases.size(); ++i) {
        const RunCase& c = cases[i];
        std::string line;
        ASSERT_TRUE(static_cast<bool>(std::getline(read, line, '\x1c'))) << c.name;
        const std::string head = args[i + 1] + " " + std::to_string(c.map.size());
        EXPECT_EQ(line.substr(0, line.find('\x1e')), head) << c.name;
        std::vector<Message> shown, expected;
        for (size_t at = line.find('\x1e'); at != std::string::npos;) {
            const size_t next = line.find('\x1e', at + 1);
            std::string text = line.substr(at + 3, next == std::string::npos ? std::string::npos : next - at - 3);
            const size_t size = text.find('\x1d'), code = text.find('\x1f');
            if (size != std::string::npos) text = text.substr(0, size) + SizeText(std::stoul(text.substr(size + 1)));
            if (code != std::string::npos) {
                EXPECT_EQ(text.substr(code + 1), codes.at(text.substr(0, code))) << c.name;
                text.resize(code);
            }
            shown.push_back({line[at + 1] == 'i', OneReplacementARun(text)});
            at = next;
        }
        for (const Message& m : DoorMessages(c.messages)) expected.push_back({m.information, OneReplacementARun(m.text)});
        EXPECT_EQ(shown, expected) << c.name;
    }
}

// Each archive case as a map's embedded files, all in one run with --files and in one with --json --files:
// each report, then its files or a line saying they cannot be listed; each finding on stderr, its name kept
// on its line; in JSON each file's name whole, `files` null where they are not known, and each finding's code
// and name. The zip bombs among them are answered without their kernels inflated.
TEST_F(CliTest, EveryArchiveCaseInAMap) {
    const std::vector<ArchiveCase> cases = ArchiveCases();
    std::vector<std::string> paths;
    std::string said, json;
    std::vector<std::string> reports;
    bool sound = true;  // no case has a finding: then the exit status is 0
    for (size_t i = 0; i < cases.size(); ++i) {
        const ArchiveCase& c = cases[i];
        const RunCase map = ArchiveMap(c);
        paths.push_back(WriteMap("archive-" + std::to_string(i) + ".Map.Gbx", map.map));
        reports.push_back(Lines(map.messages[0].text));
        json += c.listed ? "false\n" : "true\n";
        for (const std::string& name : c.names) json += name + "\n";
        json += "--\n";
        for (const auto& [sentence, name] : c.findings) {
            said += "tallyglass: " + paths.back() + ": " + sentence + (ConcernsArchive(sentence) ? "." : ": " + LineSafe(name)) + "\n";
            json += std::string(FindingCodeOf(sentence)) + " " + name + " " + FindingDetailOf(sentence) + "\n";
        }
        if (!c.findings.empty()) sound = false;
        json += "==\n";
    }
    std::vector<std::string> args = {"--files"};
    args.insert(args.end(), paths.begin(), paths.end());
    const Output text = Run(args);
    EXPECT_EQ(text.err, said);
    EXPECT_EQ(text.status, sound ? 0 : 1);
    for (size_t i = 0; i < cases.size(); ++i) {
        const size_t at = text.out.find("==> " + paths[i] + " <==\n");
        const size_t end = text.out.find("\n==> ", at);
        const std::string shown = at == std::string::npos ? "" : text.out.substr(at, end == std::string::npos ? end : end - at);
        EXPECT_NE(shown.find(" <==\n" + reports[i]), std::string::npos) << cases[i].name << ": " << shown;
        EXPECT_EQ(shown.find("\nThe embedded files cannot be listed.\n") != std::string::npos, !cases[i].listed) << cases[i].name;
    }
    args[0] = "--json";
    args.insert(args.begin() + 1, "--files");
    const Output lines = Run(args);
    EXPECT_EQ(lines.status, sound ? 0 : 1);
    EXPECT_EQ(Jq("-r '(.files == null), (.files // [] | .[].name), \"--\", "
                 "(.findings[] | .kind + \" \" + (.name // \"\") + \" \" + (.detail // \"\")), \"==\"'", lines.out), json);
    // Each map alone: 0 when it has no finding, and 1 when it has any.
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(Run({"--files", paths[i]}).status, cases[i].findings.empty() ? 0 : 1) << cases[i].name;
    }
}

TEST_F(CliTest, HelpAndVersion) {
    for (const char* option : {"-h", "--help", "--hel", "-hV"}) {
        const Output help = Run({option, "never.Map.Gbx"});
        EXPECT_EQ(help.out.rfind("Usage: tallyglass [OPTION]... MAP...\n", 0), 0u) << help.out;
        const char* manual = ForWindows() ? "Tallyglass.html" : "man tallyglass";
        for (const char* word : {"--version", "--json", "==> MAP <==", "tallyglass: MAP: SENTENCE", "Exit status", manual}) {
            EXPECT_NE(help.out.find(word), std::string::npos) << word;
        }
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.status, 0);
    }
    for (const char* option : {"-V", "--version", "--v"}) {
        const Output version = Run({option});
        EXPECT_EQ(version.out.substr(0, version.out.find('\n')), "tallyglass " PROJECT_VERSION);
        EXPECT_NE(version.out.find("GNU GPL, version 2 or later"), std::string::npos);
        EXPECT_EQ(version.status, 0);
    }
    if (ForWindows()) return;
    const Output full = {"", "tallyglass: write error: No space left on device\n", 1};
    ExpectOutput(Run({"--help"}, {"", -1, true}), full, "help to a full disk");
    ExpectOutput(Run({"--version"}, {"", -1, true}), full, "version to a full disk");
}

// A map's names are shown, never obeyed: every item keeps its one line whatever its name holds, and no
// control reaches the terminal. In JSON they are escaped.
TEST_F(CliTest, ControlsInNamesAreShownNotObeyed) {
    ItemsChunk chunk;
    chunk.items = {{"clear\x1B[2J", 11, "title\x1B]0;owned\x07"}, {"over\rwrite", 11, "c1\xC2\x9B" "31m\x7F"},
                   {"tab\tand\r\nbreak", 11, ""}, {"forged\nSize of embedded files: 1 bytes", 11, ""},
                   {"lines\xE2\x80\xA8paragraphs\xE2\x80\xA9", 11, "\xE2\x80\xAEreversed\xE2\x81\xA6"}};
    MapLayout layout;
    layout.body = BodyWithChunk(BuildItemsChunk(chunk));
    const std::string map = WriteMap("controls.Map.Gbx", BuildMap(layout));
    const std::string f = kFffd;
    const std::string shown = kReportHeading + std::string("5\n") + "clear" + f + "[2J (title" + f + "]0;owned" + f +
                              ")\nover" + f + "write (c1" + f + "31m" + f + ")\ntab" + f + "and" + f + f + "break\n"
                              "forged" + f + "Size of embedded files: 1 bytes\nlines" + f + "paragraphs" + f + " (" +
                              f + "reversed" + f + ")\n";
    ExpectOutput(Run({map}), {shown, "", 0}, "controls");
    const Output json = Run({"--json", map});
    EXPECT_NE(json.out.find(R"({"id": "clear\u001B[2J", "collection": "Valley", "author": "title\u001B]0;owned\u0007"})"),
              std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"("over\rwrite")"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"("c1\u009B31m\u007F")"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"("tab\tand\r\nbreak")"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"("lines\u2028paragraphs\u2029", "collection": "Valley", "author": "\u202Ereversed\u2066")"),
              std::string::npos) << json.out;
}

// A closed stdout ends the run at once and silently, as it ends cat; a closed stderr changes nothing else.
TEST_F(CliTest, ClosedOutputs) {
    if (ForWindows()) GTEST_SKIP() << "descriptors that only POSIX closes";
    const Output piped = {"", "", 128 + SIGPIPE};
    ExpectOutput(Run({SAMPLE_MAP}, {"", STDOUT_FILENO}), piped, "report to a closed stdout");
    ExpectOutput(Run({SAMPLE_MAP, "none", SAMPLE_MAP}, {"", STDOUT_FILENO}), piped, "no map after the pipe closed");
    ExpectOutput(Run({"--json", SAMPLE_MAP}, {"", STDOUT_FILENO}), piped, "JSON to a closed stdout");
    ExpectOutput(Run({SAMPLE_MAP}, {"", STDERR_FILENO}), Reports(SampleReport()), "report with stderr closed");
    ExpectOutput(Run({}, {"", STDERR_FILENO}), {"", "", 2}, "usage to a closed stderr");
    ExpectOutput(Run({"."}, {"", STDERR_FILENO}), {"", "", 1}, "failure to a closed stderr");
}

}  // namespace
