// Linux platform layer, the terminal: the message box prints the report on stdout and every other message on
// stderr, behind "tallyglass: " in place of the caption.
#include "console.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform.h"
#include "utf.h"

namespace {

const char16_t kReplacement = 0xFFFD;

int stdoutError = 0;

bool IsTerminalControl(char16_t c) { return (c < 0x20 && c != u'\t' && c != u'\n') || (c >= 0x7F && c <= 0x9F); }

}  // namespace

std::string LineText(const char16_t* units, size_t count) {
    std::u16string shown(units, count);
    ReplaceUnsafeInLine(&shown[0], count);
    return Utf16ToUtf8(shown.data(), shown.size());
}

std::string TerminalText(const char16_t* units, size_t count) {
    std::u16string shown(units, count);
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (units[i] == u'\r' && i + 1 < count && units[i + 1] == u'\n') continue;
        shown[kept++] = IsTerminalControl(units[i]) ? kReplacement : units[i];
    }
    return Utf16ToUtf8(shown.data(), kept);
}

bool WriteAll(int fd, const char* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteOut(const std::string& text) {
    if (WriteAll(STDOUT_FILENO, text)) return true;
    if (errno == EPIPE) {
        // Nobody reads any more: end as a reader's early exit ends cat, silently and at once.
        signal(SIGPIPE, SIG_DFL);
        raise(SIGPIPE);
    }
    if (stdoutError == 0) stdoutError = errno;
    return false;
}

int StdoutError() { return stdoutError; }

// A failed write ends nothing: the run goes on as after a box the user closed.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT type) {
    const std::string lines = TerminalText(text, std::char_traits<char16_t>::length(text)) + "\n";
    if ((type & 0xF0u) == MB_ICONINFORMATION) {
        WriteOut(lines);
    } else {
        WriteAll(STDERR_FILENO, "tallyglass: " + lines);
    }
    return IDOK;
}
