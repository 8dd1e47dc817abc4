// The report step alone over arbitrary decompressed body bytes: chunk search, lookback strings and size
// formatting. Aborts when a report breaks a rule every run keeps.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "run_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    // An exact-size copy: the fuzzer's own buffer may have room behind it that the sanitizer cannot see.
    std::unique_ptr<unsigned char[]> body(new unsigned char[size]);
    if (size > 0) memcpy(body.get(), data, size);
    const RunRecord run = TracedReport(body.get(), static_cast<uint32_t>(size));
    if (run.broken.empty()) return 0;
    fprintf(stderr, "rule broken: %s\n", run.broken.c_str());
    for (const std::string& line : run.trace) fprintf(stderr, "  %s\n", line.c_str());
    abort();
}
