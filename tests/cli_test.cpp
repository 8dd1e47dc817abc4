// The built binary, end to end: what a user sees on stdout and stderr, and the exit status. With
// TALLYGLASS_UNDER set to a command (valgrind and its options), every run goes through it, and what it reports
// fails the test.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "run_cases.h"

namespace {

struct Output {
    std::string out;
    std::string err;
    int status;
};

const char kUsageError[] = "Usage: tallyglass [OPTION]... MAP...\nTry 'tallyglass --help' for more information.\n";
const char kFffd[] = "\xEF\xBF\xBD";  // U+FFFD, what a terminal is shown in place of what it would obey
const uid_t kNobody = 65534;

class CliTest : public ::testing::Test {
  protected:
    // Every run starts in `dir`, with a copy of the binary there, which a user without privileges may run too.
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/tallyglass-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        binary = dir + "/tallyglass";
        const std::string built = ReadWholeFile(TALLYGLASS_BINARY);
        ASSERT_TRUE(WriteFile(binary, Bytes(built.begin(), built.end())));
        ASSERT_EQ(chmod(binary.c_str(), 0755), 0);
        ASSERT_EQ(chmod(pattern, 0755), 0);
    }
    static void TearDownTestSuite() { (void)system(("chmod -R u+rwx '" + dir + "'; rm -rf '" + dir + "'").c_str()); }

    // Runs the binary in `dir` with stdout and stderr to files, or `closed` (one of them) to a pipe nobody
    // reads, as user nobody when `unprivileged` and this test runs as root. A run that takes over a minute is
    // ended, and fails on its status.
    static Output Run(const std::vector<std::string>& args, int closed = -1, bool unprivileged = false) {
        const std::string out = dir + "/.stdout", err = dir + "/.stderr";
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            int unread[2];
            if (closed >= 0 && (pipe(unread) != 0 || close(unread[0]) != 0 || dup2(unread[1], closed) < 0)) _exit(126);
            if (chdir(dir.c_str()) != 0) _exit(126);
            if (unprivileged && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(126);
            alarm(60);
            std::vector<std::string> words;
            // Unprivileged runs go without the wrapper: its own files may lie where user nobody cannot read.
            const char* wrapper = unprivileged ? nullptr : getenv("TALLYGLASS_UNDER");
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
        return {ReadWholeFile(out), ReadWholeFile(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }

    // Writes a map under `dir`; returns its path relative to `dir`.
    static std::string WriteMap(const std::string& name, const Bytes& bytes) {
        EXPECT_TRUE(WriteFile(dir + "/" + name, bytes)) << name;
        return name;
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
    for (const Message& m : messages) {
        if (m.information) {
            expected.out += Lines(m.text);
            expected.status = 0;
        } else {
            expected.err += "tallyglass: " + path + ": " + Lines(m.text);
        }
    }
    return expected;
}

Output Fails(const std::string& path, const char* sentence) { return Expected(path, {Warning(sentence)}); }
Output Reports(const std::string& text) { return {Lines(text), "", 0}; }

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

TEST_F(CliTest, EveryMapCaseShowsItsMessages) {
    for (const RunCase& c : MapRunCases()) {
        ExpectOutput(Run({WriteMap("case.Map.Gbx", c.map)}), Expected("case.Map.Gbx", c.messages), c.name);
    }
}

// One process over the whole table, each case between two good maps: every map's output is the one it has
// alone, so nothing of one map outlives it.
TEST_F(CliTest, ManyMapsInOneRunKeepNothingBetweenThem) {
    const std::string sample = WriteMap("sample.Map.Gbx", SampleMap());
    std::vector<std::string> args = {sample};
    std::vector<std::pair<std::string, Output>> maps = {{sample, Reports(SampleReport())}};
    const std::vector<RunCase> cases = MapRunCases();
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string path = WriteMap("case-" + std::to_string(i) + ".Map.Gbx", cases[i].map);
        args.insert(args.end(), {path, sample});
        maps.insert(maps.end(), {{path, Expected(path, cases[i].messages)}, {sample, Reports(SampleReport())}});
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
    std::string longest = dir + "/";
    longest += std::string(259 - longest.size(), 'n');
    WriteMap(longest.substr(dir.size() + 1), SampleMap());
    ASSERT_EQ(symlink(path.c_str(), (dir + "/link.Map.Gbx").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dir + "/locked").c_str(), 0755), 0);
    WriteMap("locked/A.Map.Gbx", SampleMap());
    ASSERT_EQ(chmod((dir + "/locked").c_str(), 0), 0);

    const Output report = Reports(SampleReport());
    const Output usage = {"", kUsageError, 2};
    struct Case {
        const char* name;
        std::vector<std::string> args;
        Output expected;
        bool unprivileged = false;
    };
    const Case cases[] = {
        {"no argument", {}, usage},
        {"unknown option", {"-x", path}, {"", "tallyglass: unknown option '-x'\n" + std::string(kUsageError), 2}},
        {"unknown long option", {"--frob"}, {"", "tallyglass: unknown option '--frob'\n" + std::string(kUsageError), 2}},
        {"options end at --", {"--", "-dash.Map.Gbx"}, report},
        {"a lone - is a name", {"-"}, Fails("-", kNotFound)},
        {"blanks belong to the name", {path}, report},
        {"a blank name", {"  "}, Fails("  ", kNotFound)},
        {"an empty name", {""}, Fails("", kNotFound)},
        {"quotes belong to the name", {"\"" + path + "\""}, Fails("\"" + path + "\"", kNotFound)},
        {"a name that is a quote", {"\""}, report},
        {"a name in quotes", {"\"q\""}, report},
        {"a name with quotes", {"\"quoted\".Map.Gbx"}, report},
        {"missing file", {"none.Map.Gbx"}, Fails("none.Map.Gbx", kNotFound)},
        {"directory", {"my maps"}, Fails("my maps", kCannotOpen)},
        {"link to the map", {"link.Map.Gbx"}, report},
        {"FIFO with no writer", {"fifo"}, Fails("fifo", kCannotOpen)},
        {"device", {"/dev/null"}, Fails("/dev/null", kCannotOpen)},
        {"no permission to look", {"locked/A.Map.Gbx"}, Fails("locked/A.Map.Gbx", kCannotOpen), true},
        {"nothing there, unprivileged", {"my maps/none"}, Fails("my maps/none", kNotFound), true},
        {"invalid UTF-8", {"bad\xFF.Map.Gbx"}, report},
        {"invalid UTF-8 shown", {"gone\xFF"}, Fails(std::string("gone") + kFffd, kNotFound)},
        {"controls in a name shown", {"esc\x1B[2J\r\x9B"}, Fails(std::string("esc") + kFffd + "[2J" + kFffd + kFffd, kNotFound)},
        {"259 units", {longest}, report},
        {"260 units are not cut to 259", {longest + "x"},
         {"", "tallyglass: " + longest + "x: Path too long: Tallyglass takes at most 259 UTF-16 code units.\n", 1}},
        {"two maps", {path, "none"}, Together({{path, report}, {"none", Fails("none", kNotFound)}})},
        {"two good maps", {path, "--", "-dash.Map.Gbx"}, Together({{path, report}, {"-dash.Map.Gbx", report}})},
    };
    for (const Case& c : cases) ExpectOutput(Run(c.args, -1, c.unprivileged), c.expected, c.name);
}

TEST_F(CliTest, HelpAndVersion) {
    for (const char* option : {"-h", "--help"}) {
        const Output help = Run({option, "never.Map.Gbx"});
        EXPECT_EQ(help.out.rfind("Usage: tallyglass [OPTION]... MAP...\n", 0), 0u) << help.out;
        for (const char* word : {"--version", "--", "==> MAP <==", "tallyglass: MAP: SENTENCE", "Exit status"}) {
            EXPECT_NE(help.out.find(word), std::string::npos) << word;
        }
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.status, 0);
    }
    for (const char* option : {"-V", "--version"}) {
        const Output version = Run({option});
        EXPECT_EQ(version.out.substr(0, version.out.find('\n')), "tallyglass " PROJECT_VERSION);
        EXPECT_NE(version.out.find("GNU GPL, version 2 or later"), std::string::npos);
        EXPECT_EQ(version.status, 0);
    }
}

// A map's names are shown, never obeyed: no control but TAB and LF reaches the terminal, and each item keeps
// its one line.
TEST_F(CliTest, ControlsInNamesAreShownNotObeyed) {
    ItemsChunk chunk;
    chunk.items = {{"clear\x1B[2J", 11, "title\x1B]0;owned\x07"}, {"over\rwrite", 11, "c1\xC2\x9B" "31m\x7F"},
                   {"tab\tand\r\nbreak", 11, ""}};
    MapLayout layout;
    layout.body = BodyWithChunk(BuildItemsChunk(chunk));
    const std::string f = kFffd;
    const std::string shown = kReportHeading + std::string("3\n") + "clear" + f + "[2J (title" + f + "]0;owned" + f +
                              ")\nover" + f + "write (c1" + f + "31m" + f + ")\ntab\tand\nbreak\n";
    ExpectOutput(Run({WriteMap("controls.Map.Gbx", BuildMap(layout))}), {shown, "", 0}, "controls");
}

// A closed output neither hangs nor kills the tool: what cannot be written counts as not reported.
TEST_F(CliTest, ClosedOutputs) {
    const Output writeError = {"", "tallyglass: write error: Broken pipe\n", 1};
    ExpectOutput(Run({SAMPLE_MAP}, STDOUT_FILENO), writeError, "report to a closed stdout");
    ExpectOutput(Run({SAMPLE_MAP, SAMPLE_MAP}, STDOUT_FILENO), writeError, "said once for many maps");
    ExpectOutput(Run({SAMPLE_MAP}, STDERR_FILENO), Reports(SampleReport()), "report with stderr closed");
    ExpectOutput(Run({}, STDERR_FILENO), {"", "", 2}, "usage to a closed stderr");
    ExpectOutput(Run({"."}, STDERR_FILENO), {"", "", 1}, "failure to a closed stderr");
}

}  // namespace
