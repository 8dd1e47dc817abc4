// How the Linux build reaches a terminal or a script: text for a terminal, whole writes, and stdout's failures
// kept for the end of the run. Text from a map or a command line is shown, never obeyed.
#pragma once

#include <string>

// UTF-8 for one line of a terminal: each character that is unsafe in a line (utf.h) and each lone surrogate
// (a byte of a file name that is not UTF-8) becomes U+FFFD.
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
