// Start-up of the console twin, Tallyglass.com: the `tallyglass` command (command.h) on Windows, its arguments
// UTF-16 as Windows gives them; and the command's standard streams and standard input (system.h). A console
// gets text through its wide-character output, a pipe or a file gets UTF-8.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "command.h"
#include "system.h"
#include "utf.h"

// Wildcards in the arguments are expanded by the C runtime's start-up, as a shell expands them elsewhere:
// cmd and PowerShell hand them over as typed.
extern "C" {
int _dowildcard = -1;
}

// An exception nobody catches (only running out of memory throws here) ends the run at once: the runtime's own
// handler would print the exception's name, and bring a demangler and mingw-w64's printf along for it.
namespace __gnu_cxx {
void __verbose_terminate_handler() { abort(); }
}  // namespace __gnu_cxx

namespace {

// A console takes at most this many units a call.
const size_t kConsolePiece = 8192;

DWORD stdoutError = 0;

bool IsConsole(HANDLE stream) {
    DWORD mode = 0;
    return GetConsoleMode(stream, &mode) != 0;
}

// Writes the whole text to a standard stream. False when it fails; GetLastError tells why.
bool WriteStream(DWORD which, const std::string& text) {
    const HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!IsConsole(stream)) {
        for (size_t done = 0; done < text.size();) {
            DWORD written = 0;
            const DWORD piece = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1 << 20));
            if (!WriteFile(stream, text.data() + done, piece, &written, nullptr)) return false;
            done += written;
        }
        return true;
    }
    const WideString wide = Utf8ToUtf16(text.data(), text.size());
    for (size_t done = 0; done < wide.size();) {
        size_t piece = std::min(wide.size() - done, kConsolePiece);
        // A surrogate pair goes whole.
        if (piece > 1 && done + piece < wide.size() && wide[done + piece - 1] >= 0xD800 && wide[done + piece - 1] <= 0xDBFF) {
            --piece;
        }
        DWORD written = 0;
        if (!WriteConsoleW(stream, wide.data() + done, static_cast<DWORD>(piece), &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

// The system's words for an error, on one line, without the period that ends them: they come inside a sentence.
std::string SystemWords(DWORD error) {
    LPWSTR message = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    std::string words = length > 0 ? Utf16ToUtf8(message, length) : "error " + std::to_string(error);
    if (message) LocalFree(message);
    std::replace(words.begin(), words.end(), '\r', ' ');
    std::replace(words.begin(), words.end(), '\n', ' ');
    while (!words.empty() && (words.back() == ' ' || words.back() == '.')) words.pop_back();
    return words;
}

}  // namespace

bool WriteOut(const std::string& text) {
    if (WriteStream(STD_OUTPUT_HANDLE, text)) return true;
    const DWORD error = GetLastError();
    // Nobody reads the pipe any more: end silently and at once, as the reader's early exit ends the run elsewhere.
    if ((error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE) &&
        GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE) {
        ExitProcess(1);
    }
    if (stdoutError == 0) stdoutError = error != 0 ? error : ERROR_WRITE_FAULT;
    return false;
}

// The words of the C library for the failures a script meets most, so that they read as they do elsewhere;
// Windows' own words for the others.
std::string StdoutError() {
    switch (stdoutError) {
        case 0: return "";
        case ERROR_INVALID_HANDLE: return "Bad file descriptor";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return "No space left on device";
        default: return SystemWords(stdoutError);
    }
}

void WriteErr(const std::string& text) { WriteStream(STD_ERROR_HANDLE, text); }

namespace {

// A new file of its own in the temporary folder (TMP, else TEMP, as GetTempPathW finds it), which goes when it
// is closed. Where none can be made, INVALID_HANDLE_VALUE, and `why` says what stood in the way.
HANDLE MakeTemporaryFile(std::string* why) {
    // The folder may be longer than MAX_PATH: the call says how long, and is asked again.
    WideString folder(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), &folder[0]);
        if (length == 0) {
            *why = "cannot find the temporary folder: " + SystemWords(GetLastError());
            return INVALID_HANDLE_VALUE;
        }
        const bool whole = length < folder.size();
        folder.resize(whole ? length : length + 1);
        if (whole) break;
    }
    // Named by the process and a count, and made only where no file is: GetTempFileNameW would make it first
    // (leaving it behind if the run ended there) and takes no folder longer than MAX_PATH.
    const std::string name = "tgl" + std::to_string(GetCurrentProcessId()) + "-";
    for (int count = 0;; ++count) {
        const std::string last = name + std::to_string(count) + ".tmp";
        const WideString path = folder + Utf8ToUtf16(last.data(), last.size());
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS && count < 100) continue;
        // The folder as TMP names it, without the separator GetTempPathW ends it with (but a drive's root's).
        if (folder.size() > 1 && folder.back() == L'\\' && folder[folder.size() - 2] != L':') folder.pop_back();
        *why = "cannot make a temporary file in " + Utf16ToUtf8(folder.data(), folder.size()) + ": " +
               SystemWords(error);
        return INVALID_HANDLE_VALUE;
    }
}

}  // namespace

// A copy of the whole stream in a temporary file that goes when it is closed, read once. A temporary folder
// where no file can be made gives "Could not open input file." and says why. A stream that cannot be held is
// "Out of memory.": one of more than half the machine's memory, or one whose copy the system refuses (a full
// disk).
MapFailure OpenStandardInput(HANDLE* file, std::string* why) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return MapFailure::kFileNotOpened;
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof memory;
    const uint64_t limit = GlobalMemoryStatusEx(&memory) ? memory.ullTotalPhys / 2 : UINT64_MAX;
    const HANDLE copy = MakeTemporaryFile(why);
    if (copy == INVALID_HANDLE_VALUE) return MapFailure::kFileNotOpened;
    std::vector<char> buffer(64 * 1024);
    MapFailure failure = MapFailure::kNone;
    for (uint64_t total = 0;;) {
        DWORD got = 0;
        if (!ReadFile(input, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            // The writing end of a pipe closed: the stream's end.
            if (GetLastError() == ERROR_BROKEN_PIPE) got = 0;
            else {
                failure = GetLastError() == ERROR_INVALID_HANDLE ? MapFailure::kFileNotOpened : MapFailure::kReadFailed;
                break;
            }
        }
        if (got == 0) {
            if (SetFilePointer(copy, 0, nullptr, FILE_BEGIN) == 0) {
                *file = copy;
                return MapFailure::kNone;
            }
            failure = MapFailure::kNoMemory;
            break;
        }
        total += got;
        DWORD written = 0;
        if (total > limit || !WriteFile(copy, buffer.data(), got, &written, nullptr) || written != got) {
            failure = MapFailure::kNoMemory;
            break;
        }
    }
    CloseHandle(copy);
    return failure;
}

const char kManualPlace[] = "Tallyglass.html, beside Tallyglass.com";

bool JsonInAscii() { return !IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)); }

int wmain(int argc, wchar_t** argv) {
    std::vector<Argument> arguments;
    for (int i = 1; i < argc; ++i) {
        const WideString path = argv[i];
        arguments.push_back({Utf16ToUtf8(path.data(), path.size()), path});
    }
    return RunCommand(arguments);
}
