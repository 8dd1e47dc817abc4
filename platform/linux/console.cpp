// Linux platform layer, the terminal: the message box prints the report on stdout and every other message on
// stderr, behind "tallyglass: " in place of the caption; and the command's standard streams and standard
// input (system.h).
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform.h"
#include "system.h"
#include "utf.h"

namespace {

const char16_t kReplacement = 0xFFFD;

int stdoutError = 0;

bool IsTerminalControl(char16_t c) { return (c < 0x20 && c != u'\t' && c != u'\n') || (c >= 0x7F && c <= 0x9F); }

// UTF-8 for a terminal: controls it would act on (C0 other than TAB and LF, a CR not before LF, DEL, C1)
// become U+FFFD, CR LF becomes LF, and a lone surrogate becomes U+FFFD.
std::string TerminalText(const char16_t* units, size_t count) {
    std::u16string shown(units, count);
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (units[i] == u'\r' && i + 1 < count && units[i + 1] == u'\n') continue;
        shown[kept++] = IsTerminalControl(units[i]) ? kReplacement : units[i];
    }
    return Utf16ToUtf8(shown.data(), kept);
}

// Writes the whole text; false when the stream fails (errno tells why).
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

}  // namespace

bool WriteOut(const std::string& text) {
    if (WriteAll(STDOUT_FILENO, text.data(), text.size())) return true;
    if (errno == EPIPE) {
        // Nobody reads any more: end as a reader's early exit ends cat, silently and at once.
        signal(SIGPIPE, SIG_DFL);
        raise(SIGPIPE);
    }
    if (stdoutError == 0) stdoutError = errno;
    return false;
}

std::string StdoutError() { return stdoutError == 0 ? "" : strerror(stdoutError); }

void WriteErr(const std::string& text) { WriteAll(STDERR_FILENO, text.data(), text.size()); }

// An in-memory copy of the whole stream, read once. It never takes descriptors 0 to 2, which a closed stream
// leaves free. A stream that cannot be held is "Out of memory.": one of more than half the machine's memory,
// which its body and buffers would then not fit beside, or one whose copy the system refuses (ENOSPC, ENOMEM,
// or EFBIG beyond the file size limit).
MapFailure OpenStandardInput(HANDLE* file, std::string*) {
    const uint64_t limit =
        static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) / 2;
    const int made = memfd_create("tallyglass-input", MFD_CLOEXEC);
    const int copy = made < 0 || made > STDERR_FILENO ? made : fcntl(made, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (made >= 0 && made != copy) close(made);
    if (copy < 0) return MapFailure::kNoMemory;
    MapFailure failure = MapFailure::kNone;
    char buffer[64 * 1024];
    for (uint64_t total = 0;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            // No stream at all, or a directory given as one, cannot be opened as a map.
            failure = errno == EBADF || errno == EISDIR ? MapFailure::kFileNotOpened : MapFailure::kReadFailed;
        } else if (n == 0) {
            if (lseek(copy, 0, SEEK_SET) == 0) {
                *file = HandleFromDescriptor(copy);
                return MapFailure::kNone;
            }
            failure = MapFailure::kNoMemory;
        } else {
            total += static_cast<uint64_t>(n);
            if (total <= limit && WriteAll(copy, buffer, static_cast<size_t>(n))) continue;
            failure = MapFailure::kNoMemory;
        }
        close(copy);
        return failure;
    }
}

const char kManualPlace[] = "man tallyglass";

bool JsonInAscii() { return false; }

// A failed write ends nothing: the run goes on as after a box the user closed.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT type) {
    const std::string lines = TerminalText(text, std::char_traits<char16_t>::length(text)) + "\n";
    if ((type & 0xF0u) == MB_ICONINFORMATION) {
        WriteOut(lines);
    } else {
        WriteErr("tallyglass: " + lines);
    }
    return IDOK;
}
