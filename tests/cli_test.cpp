// The built binary, end to end: what a user sees on stdout and stderr, and the exit code.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
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

    static Output Run(const std::vector<std::string>& args) {
        const std::string out = dir + "/stdout", err = dir + "/stderr";
        const pid_t pid = fork();
        if (pid == 0) {
            const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(outFd, STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            std::vector<char*> argv = {const_cast<char*>(TALLYGLASS_BINARY)};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(TALLYGLASS_BINARY, argv.data());
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
            expected.err += "Tallyglass: " + Lines(m.text);
        }
    }
    return expected;
}

void ExpectOutput(const Output& actual, const Output& expected, const std::string& name) {
    EXPECT_EQ(actual.out, expected.out) << name;
    EXPECT_EQ(actual.err, expected.err) << name;
    EXPECT_EQ(actual.exitCode, 0) << name;
}

const Output kUsage = {"", "Tallyglass: Usage: Tallyglass.exe <Map.Gbx>\n", 0};
const Output kNotFound = {"", "Tallyglass: File not found.\n", 0};

TEST_F(CliTest, EveryMapCaseShowsItsMessages) {
    for (const RunCase& c : MapRunCases()) {
        ExpectOutput(Run({WriteMap("case.Map.Gbx", c.map)}), Expected(c.messages), c.name);
    }
}

TEST_F(CliTest, ShippedSampleShowsItsReport) {
    const std::string shipped = ReadWholeFile(SAMPLE_MAP);
    EXPECT_EQ(Bytes(shipped.begin(), shipped.end()), SampleMap()) << "regenerate it with make_sample";
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
        {"no argument", {}, kUsage},
        {"empty argument", {""}, kUsage},
        {"blank argument", {"  "}, kUsage},
        {"whole tail is the path", {path}, report},
        {"blanks split into arguments", {dir + "/my", "maps/A", "", "B.Map.Gbx"}, report},
        {"quoted", {"\"" + path + "\""}, report},
        {"leading blanks skipped", {"  " + path}, report},
        {"quoted, then a second argument", {"\"" + path + "\"", "x"}, kNotFound},
        {"lone quote", {"\""}, kNotFound},
        {"missing file", {dir + "/none.Map.Gbx"}, kNotFound},
        {"directory", {dir}, {"", "Tallyglass: Could not open input file.\n", 0}},
    };
    for (const Case& c : cases) ExpectOutput(Run(c.args), c.expected, c.name);
}

TEST_F(CliTest, TailIsCutAfter259Characters) {
    std::string name = dir + "/";
    name += std::string(259 - name.size(), 'n');
    ASSERT_EQ(name.size(), 259u);
    WriteMap(name.substr(dir.size() + 1), SampleMap());
    ExpectOutput(Run({name + ".Gbx"}), {Lines(SampleReport()), "", 0}, "cut to an existing file");
    ExpectOutput(Run({name.substr(0, 258)}), kNotFound, "one character short");
}

}  // namespace
