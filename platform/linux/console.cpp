// Linux platform layer, the message box: the report on stdout, every other message on stderr.
#include <unistd.h>

#include <cerrno>
#include <string>

#include "console.h"
#include "platform.h"
#include "utf.h"

namespace {

size_t WideLength(LPCWSTR text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

std::string warningPrefix = "tallyglass: ";
MessageRecord messages = {false, 0};

bool IsTerminalControl(char16_t c) { return (c < 0x20 && c != u'\t' && c != u'\n') || (c >= 0x7F && c <= 0x9F); }

}  // namespace

std::string TerminalText(const char16_t* units, size_t count) {
    std::u16string shown(units, count);
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (units[i] == u'\r' && i + 1 < count && units[i + 1] == u'\n') continue;
        shown[kept++] = IsTerminalControl(units[i]) ? u'\uFFFD' : units[i];
    }
    return Utf16ToUtf8(shown.data(), kept);
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void BeginMessages(const std::string& prefix) {
    warningPrefix = prefix;
    messages = {false, 0};
}

MessageRecord MessagesSinceBegin() { return messages; }

// A failed write ends nothing: the run goes on as after a box the user closed.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT type) {
    const std::string lines = (text ? TerminalText(text, WideLength(text)) : std::string()) + "\n";
    if ((type & 0xF0u) == MB_ICONINFORMATION) {
        if (WriteAll(STDOUT_FILENO, lines)) {
            messages.reported = true;
        } else {
            messages.stdoutError = errno;
        }
    } else {
        WriteAll(STDERR_FILENO, warningPrefix + lines);
    }
    return IDOK;
}

