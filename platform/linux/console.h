// How the Linux layer's message box reaches a terminal: the report on stdout, every other message on stderr
// behind a prefix the start-up sets for each map, and text from a map shown but never obeyed.
#pragma once

#include <string>

// UTF-8 for a terminal: controls it would act on (C0 other than TAB and LF, a CR not before LF, DEL, C1)
// become U+FFFD, CR LF becomes LF, and a lone surrogate becomes U+FFFD.
std::string TerminalText(const char16_t* units, size_t count);

// Writes the whole text; false when the stream is closed or fails (errno tells why).
bool WriteAll(int fd, const std::string& text);

// Before each map: the prefix of its warnings on stderr, such as "tallyglass: MAP: ". Clears the record.
void BeginMessages(const std::string& warningPrefix);

// Since BeginMessages: whether a report reached stdout whole, and the errno of a failed write to stdout.
struct MessageRecord {
    bool reported;
    int stdoutError;  // 0: none failed
};
MessageRecord MessagesSinceBegin();
