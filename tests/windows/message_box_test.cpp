// Tallyglass.exe end to end under Wine: every message box it shows, read two ways. The box itself, found on
// the screen (an X server), gives the whole text and the buttons and is closed with OK; Wine's relay trace of
// user32.MessageBoxW gives the arguments as passed: owner, caption, style and the start of the text (the trace
// shortens long texts). The exit code is checked too.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "run_cases.h"

namespace {

struct Box {  // what the box on the screen shows
    std::wstring caption, text;
    std::vector<int> buttons;  // ids of the visible buttons
};
struct Call {  // one traced call of MessageBoxW
    bool ownerNull = false, textCut = false;
    std::wstring text, caption;  // text: the whole text, or its start when `textCut`
    unsigned long style = 0;
};
struct ProgramRun {
    bool ended = false;
    DWORD exitCode = 0;
    std::vector<Box> boxes;
    std::vector<Call> calls;
};

const DWORD kRunTimeoutMs = 60000;

std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');  // never more UTF-16 units than UTF-8 bytes
    const int size = static_cast<int>(utf8.size());
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], size)));
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    std::string narrow;
    for (wchar_t c : wide) narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

std::wstring WindowsPath(const std::string& unixPath) {  // Wine shows the Unix file system as drive Z:
    std::wstring path = L"Z:" + Wide(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring WindowText(HWND window) {  // by message: GetWindowText does not read other processes' controls
    std::wstring text(static_cast<size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]))));
    return text;
}

HWND FindBox(DWORD processId) {  // the visible dialog box of that process, if any
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"#32770", nullptr));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

// Reads the box, then presses its OK button and waits until the box is gone.
Box ReadAndClose(HWND window) {
    Box box{WindowText(window), WindowText(GetDlgItem(window, 0xFFFF)), {}};  // 0xFFFF: the text's static control
    for (HWND button = nullptr; (button = FindWindowExW(window, button, L"Button", nullptr));) {
        if (IsWindowVisible(button)) box.buttons.push_back(GetDlgCtrlID(button));
    }
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
    for (int i = 0; i < 1000 && IsWindow(window); ++i) Sleep(5);
    return box;
}

// The next relay string argument from `at` on: L"..." with Wine's escapes (\n \r \t \" \\ and \XXXX in hex),
// followed by "..." when the trace cut it short.
bool ParseTracedString(const std::string& line, size_t* at, std::wstring* text, bool* cut = nullptr) {
    size_t i = line.find("L\"", *at);
    if (i == std::string::npos) return false;
    text->clear();
    for (i += 2; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\') {
            *text += static_cast<wchar_t>(static_cast<unsigned char>(line[i]));
        } else if (const size_t k = std::string("nrt\"\\").find(line.at(++i)); k != std::string::npos) {
            *text += L"\n\r\t\"\\"[k];
        } else {  // \XXXX
            *text += static_cast<wchar_t>(std::stoul(line.substr(i, 4), nullptr, 16));
            i += 3;
        }
    }
    if (i >= line.size()) return false;
    *at = i + 1;
    if (cut) *cut = line.compare(*at, 3, "...") == 0;
    return true;
}

// The calls made by one thread, from lines such as
// "0024:Call user32.MessageBoxW(00000000,0021ba70 L"text",14000c060 L"Tallyglass",00000040) ret=140001ff0".
std::vector<Call> TracedCalls(const std::string& trace, DWORD threadId) {
    char marker[64];
    std::snprintf(marker, sizeof marker, "%04lx:Call user32.MessageBoxW(", static_cast<unsigned long>(threadId));
    std::vector<Call> calls;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(marker, 0) != 0) continue;
        Call call;
        size_t at = std::strlen(marker);
        call.ownerNull = line.find_first_not_of('0', at) == line.find(',', at);
        if (!ParseTracedString(line, &at, &call.text, &call.textCut) || !ParseTracedString(line, &at, &call.caption)) {
            ADD_FAILURE() << "unreadable trace line: " << line;
            continue;
        }
        call.style = std::stoul(line.substr(line.find(',', at) + 1), nullptr, 16);
        calls.push_back(call);
    }
    return calls;
}

class MessageBoxTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Trace MessageBoxW only, and only in the programs started from here.
        const WCHAR relayed[] = L"user32.MessageBoxW";
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Debug", L"RelayInclude", REG_SZ, relayed,
                                  sizeof relayed),
                  ERROR_SUCCESS);
        ASSERT_TRUE(SetEnvironmentVariableW(L"WINEDEBUG", L"+relay"));
        // Wine writes the traces to the Unix stderr, which the runner sends to this file.
        const char* log = std::getenv("TALLYGLASS_WINE_LOG");
        ASSERT_NE(log, nullptr) << "run through tests/windows/wine-x11-run.sh";
        tracePath = Narrow(WindowsPath(log));
        WCHAR temp[MAX_PATH] = {};
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        dir = std::wstring(temp) + L"tallyglass-e2e-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    }

    static void TearDownTestSuite() { _wsystem((L"cmd /c rd /s /q \"" + dir + L"\"").c_str()); }

    // Starts Tallyglass.exe with the command line `"<exe>"` + `tail`, reads and closes each box it shows.
    static ProgramRun RunTallyglass(const std::wstring& tail) {
        ProgramRun run;
        const size_t traceStart = ReadWholeFile(tracePath).size();
        std::wstring commandLine = L"\"" + WindowsPath(TALLYGLASS_EXE) + L"\"" + tail;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        const BOOL started =
            CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
        EXPECT_TRUE(started);
        if (!started) return run;
        const DWORD deadline = GetTickCount() + kRunTimeoutMs;
        while (!run.ended && static_cast<LONG>(deadline - GetTickCount()) > 0) {
            if (HWND box = FindBox(process.dwProcessId)) {
                run.boxes.push_back(ReadAndClose(box));
            } else {
                run.ended = WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0;
            }
        }
        if (!run.ended) TerminateProcess(process.hProcess, 99);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        run.calls = TracedCalls(ReadWholeFile(tracePath).substr(traceStart), process.dwThreadId);
        return run;
    }

    static std::wstring WriteMap(const std::wstring& name, const Bytes& bytes) {
        const std::wstring path = dir + L"\\" + name;
        EXPECT_TRUE(WriteFile(Narrow(path), bytes));
        return path;
    }

    static inline std::wstring dir;
    static inline std::string tracePath;
};

void ExpectRun(const ProgramRun& run, const std::vector<Message>& expected, const std::string& name) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(run.ended) << "still running after " << kRunTimeoutMs << " ms";
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), expected.size());
    ASSERT_EQ(run.calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("box " + std::to_string(i));
        const std::wstring text = Wide(expected[i].text), caption = Wide(kCaption);
        const Box& box = run.boxes[i];
        const Call& call = run.calls[i];
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        EXPECT_TRUE(call.ownerNull);
        EXPECT_EQ(call.caption, caption);
        EXPECT_EQ(call.style, expected[i].information ? 0x40u : 0x30u);
        // The trace may shorten the text: then what it kept must be a start of it, and not an empty one.
        EXPECT_EQ(call.text, call.textCut ? text.substr(0, call.text.size()) : text);
        EXPECT_FALSE(call.textCut && call.text.empty());
    }
}

const std::vector<Message> kUsageShown = {Warning(kUsage)};
const std::vector<Message> kNotFoundShown = {Warning(kNotFound)};

TEST_F(MessageBoxTest, EveryMapCaseShowsItsMessages) {
    int cut = 0;
    for (const RunCase& c : MapRunCases()) {
        const ProgramRun run = RunTallyglass(L" " + WriteMap(L"case.Map.Gbx", c.map));
        ExpectRun(run, BoxMessages(c.messages), c.name);
        for (const Call& call : run.calls) cut += call.textCut ? 1 : 0;
    }
    // Seen in the log: how many texts the trace shortened (the box gave them whole).
    std::printf("relay trace shortened %d of the message texts\n", cut);
}

TEST_F(MessageBoxTest, CommandLineTail) {
    ASSERT_TRUE(CreateDirectoryW((dir + L"\\my maps").c_str(), nullptr));
    const std::wstring path = WriteMap(L"my maps\\A  B.Map.Gbx", SampleMap());
    const std::vector<Message> report = {Information(SampleReport())};
    struct Case { const char* name; std::wstring tail; std::vector<Message> expected; };
    const Case cases[] = {
        {"no argument", L"", kUsageShown},
        {"blanks alone", L"   ", kUsageShown},
        {"shipped sample", L" " + WindowsPath(SAMPLE_MAP), report},
        {"whole tail is the path", L" " + path, report},
        {"quoted", L" \"" + path + L"\"", report},
        {"leading blanks and tabs skipped", L" \t  " + path, report},
        {"quoted, then a second argument", L" \"" + path + L"\" x", kNotFoundShown},
        {"lone quote", L" \"", kNotFoundShown},
        {"missing file", L" " + dir + L"\\none.Map.Gbx", kNotFoundShown},
        {"directory", L" " + dir, {Warning(kCannotOpen)}},
        // Devices open but are no disk file: a read from them may never return.
        {"NUL device", L" NUL", {Warning(kCannotOpen)}},
        {"serial port", L" COM1", {Warning(kCannotOpen)}},
    };
    for (const Case& c : cases) ExpectRun(RunTallyglass(c.tail), c.expected, c.name);
}

TEST_F(MessageBoxTest, TailIsCutAfter259Characters) {
    std::wstring name = dir + L"\\";
    name += std::wstring(259 - name.size(), L'n');
    ASSERT_EQ(name.size(), 259u);
    WriteMap(name.substr(dir.size() + 1), SampleMap());
    ExpectRun(RunTallyglass(L" " + name + L".Gbx"), {Information(SampleReport())}, "cut to an existing file");
    ExpectRun(RunTallyglass(L" " + name.substr(0, 258)), kNotFoundShown, "one character short");
}

}  // namespace
