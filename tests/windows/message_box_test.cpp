// Tallyglass.exe end to end under Wine: every message box it shows, read two ways. The box itself, found on
// the screen (an X server), gives the whole text and the buttons and is closed with OK; Wine's relay trace of
// user32.MessageBoxW gives the arguments as passed: owner, caption, style and the start of the text (the trace
// shortens long texts). The exit code is checked too.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "run_cases.h"

namespace {

// What the box on the screen shows.
struct Box {
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // ids of the visible buttons
};

// One traced call of MessageBoxW.
struct Call {
    bool ownerNull;
    std::wstring text;  // the whole text, or its start when `textCut`
    bool textCut;
    std::wstring caption;
    unsigned long style;
};

struct ProgramRun {
    bool ended;
    DWORD exitCode;
    std::vector<Box> boxes;
    std::vector<Call> calls;
};

const DWORD kRunTimeoutMs = 60000;

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], static_cast<int>(wide.size()));
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    std::string narrow;
    for (wchar_t c : wide) narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

// Wine shows the Unix file system as drive Z:.
std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + Wide(unixPath);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

std::wstring WindowText(HWND window) {
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(copied));
    return text;
}

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
    BoxSearch* search = reinterpret_cast<BoxSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    WCHAR className[16] = {};
    GetClassNameW(window, className, 16);
    if (processId != search->processId || !IsWindowVisible(window) || lstrcmpW(className, L"#32770") != 0) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM parameter) {
    WCHAR className[16] = {};
    GetClassNameW(child, className, 16);
    if (lstrcmpiW(className, L"Button") == 0 && IsWindowVisible(child)) {
        reinterpret_cast<std::vector<int>*>(parameter)->push_back(GetDlgCtrlID(child));
    }
    return TRUE;
}

// Reads the box, then presses its OK button and waits until the box is gone.
Box ReadAndClose(HWND window) {
    Box box;
    box.caption = WindowText(window);
    box.text = WindowText(GetDlgItem(window, 0xFFFF));  // the text's static control
    EnumChildWindows(window, CollectButton, reinterpret_cast<LPARAM>(&box.buttons));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
    for (int i = 0; i < 1000 && IsWindow(window); ++i) Sleep(5);
    return box;
}

// A relay string argument: L"..." with Wine's escapes (\n, \r, \t, \", \\ and \XXXX in hex), followed by "..."
// when the trace cut it short.
bool ParseTracedString(const std::string& line, size_t* at, std::wstring* text, bool* cut) {
    const size_t start = line.find("L\"", *at);
    if (start == std::string::npos) return false;
    size_t i = start + 2;
    text->clear();
    while (i < line.size() && line[i] != '"') {
        if (line[i] != '\\') {
            *text += static_cast<wchar_t>(static_cast<unsigned char>(line[i++]));
            continue;
        }
        const char escaped = i + 1 < line.size() ? line[i + 1] : '\0';
        if (escaped == 'n' || escaped == 'r' || escaped == 't' || escaped == '"' || escaped == '\\') {
            *text += escaped == 'n' ? L'\n' : escaped == 'r' ? L'\r' : escaped == 't' ? L'\t' : static_cast<wchar_t>(escaped);
            i += 2;
        } else {
            *text += static_cast<wchar_t>(std::stoul(line.substr(i + 1, 4), nullptr, 16));
            i += 5;
        }
    }
    if (i >= line.size()) return false;
    ++i;
    *cut = line.compare(i, 3, "...") == 0;
    *at = i;
    return true;
}

// The calls made by one thread, from lines such as
// "0024:Call user32.MessageBoxW(00000000,0021ba70 L"text",14000c060 L"Tallyglass",00000040) ret=140001ff0".
std::vector<Call> TracedCalls(const std::string& trace, DWORD threadId) {
    std::vector<Call> calls;
    std::istringstream lines(trace);
    std::string line;
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04lx:", static_cast<unsigned long>(threadId));
    const std::string marker = std::string(prefix) + "Call user32.MessageBoxW(";
    while (std::getline(lines, line)) {
        const size_t begin = line.find(marker);
        if (begin != 0) continue;
        Call call = {};
        size_t at = begin + marker.size();
        call.ownerNull = line.find_first_not_of('0', at) == line.find(',', at);
        bool captionCut = false;
        if (!ParseTracedString(line, &at, &call.text, &call.textCut) ||
            !ParseTracedString(line, &at, &call.caption, &captionCut)) {
            ADD_FAILURE() << "unreadable trace line: " << line;
            continue;
        }
        const size_t comma = line.find(',', at);
        call.style = std::stoul(line.substr(comma + 1), nullptr, 16);
        calls.push_back(call);
    }
    return calls;
}

class MessageBoxTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Trace MessageBoxW only, and only in the programs started from here.
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Debug", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        const WCHAR relayed[] = L"user32.MessageBoxW";
        RegSetValueExW(key, L"RelayInclude", 0, REG_SZ, reinterpret_cast<const BYTE*>(relayed), sizeof relayed);
        RegCloseKey(key);
        ASSERT_TRUE(SetEnvironmentVariableW(L"WINEDEBUG", L"+relay"));
        // Wine writes the traces to the Unix stderr, which the runner sends to this file.
        const char* log = std::getenv("TALLYGLASS_WINE_LOG");
        ASSERT_NE(log, nullptr) << "run through tests/windows/wine-x11-run.sh";
        tracePath = WindowsPath(log);

        WCHAR temp[MAX_PATH] = {};
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        dir = std::wstring(temp) + L"tallyglass-e2e-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    }

    static void TearDownTestSuite() {
        WCHAR command[] = L"cmd /c rd /s /q ";
        std::wstring line = std::wstring(command) + L"\"" + dir + L"\"";
        _wsystem(line.c_str());
    }

    // Starts Tallyglass.exe with the command line `"<exe>"` + `tail`, reads and closes each box it shows.
    static ProgramRun RunTallyglass(const std::wstring& tail) {
        ProgramRun run = {};
        const size_t traceStart = ReadWholeFile(Narrow(tracePath)).size();
        std::wstring commandLine = L"\"" + WindowsPath(TALLYGLASS_EXE) + L"\"" + tail;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        const BOOL started =
            CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
        EXPECT_TRUE(started);
        if (!started) return run;

        const DWORD deadline = GetTickCount() + kRunTimeoutMs;
        while (static_cast<LONG>(deadline - GetTickCount()) > 0) {
            BoxSearch search = {process.dwProcessId, nullptr};
            EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
            if (search.found) {
                run.boxes.push_back(ReadAndClose(search.found));
                continue;
            }
            if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) {
                run.ended = true;
                break;
            }
        }
        if (!run.ended) TerminateProcess(process.hProcess, 99);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        run.calls = TracedCalls(ReadWholeFile(Narrow(tracePath)).substr(traceStart), process.dwThreadId);
        return run;
    }

    static std::wstring WriteMap(const std::wstring& name, const Bytes& bytes) {
        const std::wstring path = dir + L"\\" + name;
        EXPECT_TRUE(WriteFile(Narrow(path), bytes));
        return path;
    }

    static std::wstring dir;
    static std::wstring tracePath;
};

std::wstring MessageBoxTest::dir;
std::wstring MessageBoxTest::tracePath;

void ExpectRun(const ProgramRun& run, const std::vector<Message>& expected, const std::string& name) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(run.ended) << "still running after " << kRunTimeoutMs << " ms";
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), expected.size());
    ASSERT_EQ(run.calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::wstring text = Wide(expected[i].text);
        const Box& box = run.boxes[i];
        EXPECT_EQ(box.caption, Wide(kCaption)) << "box " << i;
        EXPECT_EQ(box.text, text) << "box " << i;
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << "box " << i;

        const Call& call = run.calls[i];
        EXPECT_TRUE(call.ownerNull) << "box " << i;
        EXPECT_EQ(call.caption, Wide(kCaption)) << "box " << i;
        EXPECT_EQ(call.style, expected[i].information ? 0x40u : 0x30u) << "box " << i;
        if (call.textCut) {
            EXPECT_FALSE(call.text.empty()) << "box " << i;
            EXPECT_EQ(call.text, text.substr(0, call.text.size())) << "box " << i;
        } else {
            EXPECT_EQ(call.text, text) << "box " << i;
        }
    }
}

const std::vector<Message> kUsageShown = {Warning(kUsage)};
const std::vector<Message> kNotFoundShown = {Warning(kNotFound)};

TEST_F(MessageBoxTest, EveryMapCaseShowsItsMessages) {
    int cut = 0;
    for (const RunCase& c : MapRunCases()) {
        const ProgramRun run = RunTallyglass(L" " + WriteMap(L"case.Map.Gbx", c.map));
        ExpectRun(run, c.messages, c.name);
        for (const Call& call : run.calls) cut += call.textCut ? 1 : 0;
    }
    // Seen in the log: how many texts the trace shortened (the box gave them whole).
    std::printf("relay trace shortened %d of the message texts\n", cut);
}

TEST_F(MessageBoxTest, CommandLineTail) {
    ASSERT_TRUE(CreateDirectoryW((dir + L"\\my maps").c_str(), nullptr));
    const std::wstring path = WriteMap(L"my maps\\A  B.Map.Gbx", SampleMap());
    const std::vector<Message> report = {Information(SampleReport())};
    struct Case {
        const char* name;
        std::wstring tail;
        std::vector<Message> expected;
    };
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
