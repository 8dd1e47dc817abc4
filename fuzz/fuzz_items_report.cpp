// The report step alone over arbitrary decompressed body bytes: chunk search, lookback strings and size
// formatting, against the Linux layer's trace. Aborts when a report breaks a rule of tests/support/run_rules.h.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "items_report.h"
#include "platform_trace.h"
#include "run_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    // An exact-size copy: the fuzzer's own buffer may have room behind it that the sanitizer cannot see.
    std::unique_ptr<unsigned char[]> body(new unsigned char[size]);
    if (size > 0) memcpy(body.get(), data, size);

    PlatformTraceBegin();
    BuildItemsReport(body.get(), static_cast<uint32_t>(size));
    const std::vector<std::string> trace = PlatformTraceEnd();

    const std::string broken = CheckReportTrace(trace, PlatformCurrentCounts());
    if (!broken.empty()) {
        fprintf(stderr, "rule broken: %s\n", broken.c_str());
        for (const std::string& line : trace) fprintf(stderr, "  %s\n", line.c_str());
        abort();
    }
    return 0;
}
