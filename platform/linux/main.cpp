// Start-up of the Linux build: the `tallyglass` command (command.h), its arguments the bytes that Linux
// gives, each as the path of its own file whatever its bytes are.
#include <csignal>

#include "command.h"
#include "utf.h"

int main(int argc, char** argv) {
    // Writes to a closed stderr fail rather than end the run; a closed stdout ends it (WriteOut).
    signal(SIGPIPE, SIG_IGN);
    // Past the file size limit, a copy of standard input fails its write (EFBIG) instead of ending the run.
    signal(SIGXFSZ, SIG_IGN);
    std::vector<Argument> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back({argv[i], FileNameToUtf16(argv[i])});
    return RunCommand(arguments);
}
