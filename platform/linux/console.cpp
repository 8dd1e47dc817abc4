// Linux platform layer, the message box: the report on stdout, every other message on stderr.
#include "console.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform.h"
#include "utf.h"

namespace {

const char16_t kReplacement = 0xFFFD;

std::string warningPrefix = "tallyglass: ";
bool keepMessages = false;
MessageRecord messages = {false, {}};
int stdoutError = 0;

bool IsTerminalControl(char16_t c) { return (c < 0x20 && c != u'\t' && c != u'\n') || (c >= 0x7F && c <= 0x9F); }

}  // namespace

void ReplaceUnsafeInLine(char16_t* units, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (IsUnsafeInLine(units[i])) units[i] = kReplacement;
    }
}

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

void BeginMessages(const std::string& prefix, bool keep) {
    warningPrefix = prefix;
    keepMessages = keep;
    messages = {false, {}};
}

const MessageRecord& MessagesSinceBegin() { return messages; }

// A failed write ends nothing: the run goes on as after a box the user closed.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT type) {
    const bool information = (type & 0xF0u) == MB_ICONINFORMATION;
    const size_t length = std::char_traits<char16_t>::length(text);
    if (keepMessages) {
        messages.kept.push_back({information, std::u16string(text, length)});
        return IDOK;
    }
    const std::string lines = TerminalText(text, length) + "\n";
    if (information) {
        if (WriteOut(lines)) messages.reported = true;
    } else {
        WriteAll(STDERR_FILENO, warningPrefix + lines);
    }
    return IDOK;
}
