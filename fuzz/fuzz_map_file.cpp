// The whole run on a file of arbitrary bytes: the real entry function, loader, decompression and report,
// against the Linux layer's trace. Aborts when a run breaks a rule of tests/support/run_rules.h.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "entry.h"
#include "platform_trace.h"
#include "run_rules.h"

namespace {

// One in-memory file for the whole process, rewritten for every input and opened by the tool through
// /proc, so that fuzzing neither wears a disk nor collides with a parallel job.
int MapFile() {
    static const int fd = memfd_create("tallyglass-fuzz.Map.Gbx", 0);
    if (fd < 0) {
        perror("memfd_create");
        abort();
    }
    return fd;
}

void Rewrite(int fd, const uint8_t* data, size_t size) {
    if (ftruncate(fd, 0) != 0) abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) abort();
        done += static_cast<size_t>(n);
    }
}

}  // namespace

// This process's allocator grants blocks of up to 64 MB, far more than any body that an input of the fuzzer's
// length decompresses to. A larger declared size takes the "Out of memory." path at once, instead of having
// the sanitizer map and poison gigabytes on every run; the hostile-input test runs the huge sizes for real.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=64"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = MapFile();
    Rewrite(fd, data, size);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    std::u16string tail(path.begin(), path.end());

    PlatformTraceBegin();
    const int result = wWinMain(nullptr, nullptr, tail.data(), 0);
    const std::vector<std::string> trace = PlatformTraceEnd();

    std::string broken = result == 0 ? CheckRunTrace(trace, PlatformCurrentCounts()) : "exit code not 0";
    if (!broken.empty()) {
        fprintf(stderr, "rule broken: %s\n", broken.c_str());
        for (const std::string& line : trace) fprintf(stderr, "  %s\n", line.c_str());
        abort();
    }
    return 0;
}
