// The built binary, end to end: what a user sees on stdout and stderr, and the exit code. With TALLYGLASS_UNDER
// set to a command (valgrind and its options), every run goes through it, and what it reports fails the test.
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
    int exitCode;
};

class CliTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/tallyglass-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    static void TearDownTestSuite() { (void)system(("rm -rf '" + dir + "'").c_str()); }

    // Runs the binary with stdout and stderr to files, or `closed` (one of them) to a pipe nobody reads. A run
    // that takes over a minute is ended, and fails on its exit code.
    static Output Run(const std::vector<std::string>& args, int closed = -1) {
        const std::string out = dir + "/stdout", err = dir + "/stderr";
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            int unread[2];
            if (closed >= 0 && (pipe(unread) != 0 || close(unread[0]) != 0 || dup2(unread[1], closed) < 0)) _exit(126);
            alarm(60);
            std::vector<std::string> words;
            std::istringstream under(getenv("TALLYGLASS_UNDER") ? getenv("TALLYGLASS_UNDER") : "");
            for (std::string word; under >> word;) words.push_back(word);
            words.push_back(TALLYGLASS_BINARY);
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

    static std::string WriteMap(const std::string& name, const Bytes& bytes) {
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    static std::string dir;
};

std::string CliTest::dir;

// A message box as the Linux build shows it.
std::string Lines(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") != 0) out += text[i];
    }
    return out + "\n";
}

Output Expected(const std::vector<Message>& messages) {
    Output expected = {"", "", 0};
    for (const Message& m : messages) {
        if (m.information) {
            expected.out += Lines(m.text);
        } else {
            expected.err += kCaption + std::string(": ") + Lines(m.text);
        }
    }
    return expected;
}

void ExpectOutput(const Output& actual, const Output& expected, const std::string& name) {
    EXPECT_EQ(actual.out, expected.out) << name;
    EXPECT_EQ(actual.err, expected.err) << name;
    EXPECT_EQ(actual.exitCode, 0) << name;
}

const Output kUsageShown = Expected({Warning(kUsage)});
const Output kNotFoundShown = Expected({Warning(kNotFound)});

TEST_F(CliTest, EveryMapCaseShowsItsMessages) {
    for (const RunCase& c : MapRunCases()) {
        ExpectOutput(Run({WriteMap("case.Map.Gbx", c.map)}), Expected(c.messages), c.name);
    }
}

TEST_F(CliTest, ShippedSampleShowsItsReport) {
    const std::string shipped = ReadWholeFile(SAMPLE_MAP);
    EXPECT_EQ(Bytes(shipped.begin(), shipped.end()), SampleMap()) << "regenerate it with write_case_maps";
    ExpectOutput(Run({SAMPLE_MAP}), {Lines(SampleReport()), "", 0}, "sample");
}

TEST_F(CliTest, CommandLineTail) {
    ASSERT_EQ(mkdir((dir + "/my maps").c_str(), 0700), 0);
    const std::string path = WriteMap("my maps/A  B.Map.Gbx", SampleMap());
    const Output report = {Lines(SampleReport()), "", 0};
    struct Case {
        const char* name;
        std::vector<std::string> args;
        Output expected;
    };
    const Case cases[] = {
        {"no argument", {}, kUsageShown},
        {"empty argument", {""}, kUsageShown},
        {"blank argument", {"  "}, kUsageShown},
        {"whole tail is the path", {path}, report},
        {"blanks split into arguments", {dir + "/my", "maps/A", "", "B.Map.Gbx"}, report},
        {"quoted", {"\"" + path + "\""}, report},
        {"leading blanks skipped", {"  " + path}, report},
        {"quoted, then a second argument", {"\"" + path + "\"", "x"}, kNotFoundShown},
        {"lone quote", {"\""}, kNotFoundShown},
        {"missing file", {dir + "/none.Map.Gbx"}, kNotFoundShown},
        {"directory", {dir}, Expected({Warning(kCannotOpen)})},
        {"link to the map", {dir + "/link.Map.Gbx"}, report},
        {"FIFO with no writer", {dir + "/fifo"}, Expected({Warning(kCannotOpen)})},
        {"device", {"/dev/null"}, Expected({Warning(kCannotOpen)})},
    };
    ASSERT_EQ(symlink(path.c_str(), (dir + "/link.Map.Gbx").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    for (const Case& c : cases) ExpectOutput(Run(c.args), c.expected, c.name);
}

// A closed pipe ends nothing: the write fails quietly, the run goes on and ends with 0.
TEST_F(CliTest, ClosedOutputs) {
    ExpectOutput(Run({SAMPLE_MAP}, STDOUT_FILENO), {"", "", 0}, "report to a closed stdout");
    ExpectOutput(Run({}, STDERR_FILENO), {"", "", 0}, "usage to a closed stderr");
    ExpectOutput(Run({dir}, STDERR_FILENO), {"", "", 0}, "failure to a closed stderr");
}

TEST_F(CliTest, TailIsCutAfter259Characters) {
    std::string name = dir + "/";
    name += std::string(259 - name.size(), 'n');
    ASSERT_EQ(name.size(), 259u);
    WriteMap(name.substr(dir.size() + 1), SampleMap());
    ExpectOutput(Run({name + ".Gbx"}), {Lines(SampleReport()), "", 0}, "cut to an existing file");
    ExpectOutput(Run({name.substr(0, 258)}), kNotFoundShown, "one character short");
}

}  // namespace
