// Start-up of the Linux build: forms the command-line tail that Windows would hand to wWinMain.
#include <csignal>
#include <string>

#include "entry.h"
#include "utf.h"

// The arguments after the program name, joined with single blanks so that an unquoted path with blanks is one
// path, as on Windows. Leading characters of code 1 to 32 are skipped, as the Windows start-up does.
int main(int argc, char** argv) {
    // A closed output ends nothing: the write fails quietly, and the run still releases all and returns 0.
    signal(SIGPIPE, SIG_IGN);
    if (argc < 2) return wWinMain(nullptr, nullptr, nullptr, 0);
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    std::u16string tail = Utf8ToUtf16(joined.data(), joined.size());
    size_t start = 0;
    while (start < tail.size() && tail[start] >= 1 && tail[start] <= 32) ++start;
    tail.erase(0, start);
    return wWinMain(nullptr, nullptr, tail.data(), 0);
}
