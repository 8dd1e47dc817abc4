// Speed of the chunk search over a large body with the items chunk at its very end, so that every byte is
// searched: body-like bytes, random bytes, and nothing but 0x54, the chunk id's first byte.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "filler.h"
#include "items_report.h"

namespace {

const unsigned char kChunkStart[8] = {0x54, 0x30, 0x04, 0x03, 'P', 'I', 'K', 'S'};

void FindItemsChunkOver(benchmark::State& state, int kind) {
    const size_t size = static_cast<size_t>(state.range(0));
    static std::vector<unsigned char> body;  // one at a time: 512 MiB each
    body.assign(size, 0x54);
    uint64_t random = 0x243F6A8885A308D3ull;
    if (kind == 0) FillBodyLike(body.data(), size, &random);
    for (size_t i = 0; kind == 1 && i < size; ++i) body[i] = static_cast<unsigned char>(NextRandom(&random) >> 56);
    const unsigned char* expected = body.data() + size - sizeof kChunkStart - 4;
    memcpy(body.data() + size - sizeof kChunkStart - 4, kChunkStart, sizeof kChunkStart);
    for (auto _ : state) {
        const unsigned char* found = FindItemsChunk(body.data(), static_cast<uint32_t>(size));
        benchmark::DoNotOptimize(found);
        if (found != expected) state.SkipWithError("the chunk was not found where it is");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

// 1 MiB for the quick run among the tests, 512 MiB for the real figure.
BENCHMARK_CAPTURE(FindItemsChunkOver, BodyLike, 0)->Arg(1 << 20)->Arg(512 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FindItemsChunkOver, RandomBytes, 1)->Arg(1 << 20)->Arg(512 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FindItemsChunkOver, AllFirstByte, 2)->Arg(1 << 20)->Arg(512 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
