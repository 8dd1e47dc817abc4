// How the Linux layer's message box reaches a terminal or a script: the report on stdout, every other message
// on stderr behind a prefix the start-up sets for each map, or every message kept for the start-up to print.
// Text from a map or a command line is shown, never obeyed.
#pragma once

#include <string>
#include <vector>

// Whether a character could break a line, move the cursor, or reorder what follows it on a terminal: C0
// (TAB, CR and LF too), DEL, C1, the bidirectional embeddings, overrides and isolates, U+2028 and U+2029.
inline bool IsUnsafeInLine(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
           c == 0x2028 || c == 0x2029;
}

// Replaces each unsafe character with U+FFFD, in place.
void ReplaceUnsafeInLine(char16_t* units, size_t count);

// UTF-8 for one line of a terminal: each unsafe character and each lone surrogate (a byte of a file name
// that is not UTF-8) becomes U+FFFD.
std::string LineText(const char16_t* units, size_t count);

// UTF-8 for a terminal: controls it would act on (C0 other than TAB and LF, a CR not before LF, DEL, C1)
// become U+FFFD, CR LF becomes LF, and a lone surrogate becomes U+FFFD.
std::string TerminalText(const char16_t* units, size_t count);

// Writes the whole text; false when the stream fails (errno tells why).
bool WriteAll(int fd, const char* bytes, size_t size);
inline bool WriteAll(int fd, const std::string& text) { return WriteAll(fd, text.data(), text.size()); }

// Writes to stdout. A closed pipe ends the process at once, by SIGPIPE, as it ends cat; any other failure
// is kept (see StdoutError) and makes this false.
bool WriteOut(const std::string& text);
int StdoutError();  // errno of the first failed write to stdout since the start; 0: none

struct ShownMessage {
    bool information;
    std::u16string text;
};

// Before each map: the prefix of its warnings on stderr, such as "tallyglass: MAP: "; with `keep`, messages
// are kept for MessagesSinceBegin instead of printed. Forgets the previous map's messages.
void BeginMessages(const std::string& warningPrefix, bool keep);

// Since BeginMessages: whether a report reached stdout whole, and the kept messages in order.
struct MessageRecord {
    bool reported;
    std::vector<ShownMessage> kept;
};
const MessageRecord& MessagesSinceBegin();
