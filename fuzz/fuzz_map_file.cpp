// The whole run on a file of arbitrary bytes: the real entry function, loader, decompression and report.
// Aborts when a run breaks a rule every run keeps.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "run_check.h"

// This process's allocator grants blocks of up to 64 MB, far more than any body that an input of the fuzzer's
// length decompresses to. A larger declared size takes the "Out of memory." path at once, instead of having
// the sanitizer map and poison gigabytes on every run; the hostile-input test runs the huge sizes for real.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=64"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One in-memory file for the whole process, rewritten for every input and opened by the tool through
    // /proc, so that fuzzing neither wears a disk nor collides with a parallel job.
    static const int fd = memfd_create("tallyglass-fuzz.Map.Gbx", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0) abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) abort();
        done += static_cast<size_t>(n);
    }
    const RunRecord run = TracedRun(("/proc/self/fd/" + std::to_string(fd)).c_str());
    if (run.broken.empty()) return 0;
    fprintf(stderr, "rule broken: %s\n", run.broken.c_str());
    for (const std::string& line : run.trace) fprintf(stderr, "  %s\n", line.c_str());
    abort();
}
