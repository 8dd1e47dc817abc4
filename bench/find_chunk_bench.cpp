// Speed of the chunk search over a large body, with the items chunk at its very end so that every byte is
// searched: body-like bytes, uniformly random bytes, and an adversarial body made of nothing but 0x54, the
// chunk id's first byte.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "filler.h"
#include "items_report.h"

namespace {

enum Kind { kBodyLike, kRandom, kAllFirstByte, kKindCount };

const unsigned char kChunkStart[8] = {0x54, 0x30, 0x04, 0x03, 'P', 'I', 'K', 'S'};

struct Buffer {
    std::unique_ptr<unsigned char[]> bytes;
    size_t size;
};

// Built once per kind and size; a 512 MiB buffer takes a moment to fill.
const unsigned char* BodyOf(Kind kind, size_t size) {
    static Buffer buffers[kKindCount];
    Buffer& buffer = buffers[kind];
    if (buffer.size != size) {
        buffer.bytes.reset(new unsigned char[size]);
        buffer.size = size;
        uint64_t state = 0x243F6A8885A308D3ull;
        if (kind == kBodyLike) {
            static FillerWords words;
            MakeFillerWords(&words, &state);
            FillBodyLike(buffer.bytes.get(), size, &words, &state);
        } else if (kind == kRandom) {
            for (size_t i = 0; i + 8 <= size; i += 8) {
                const uint64_t r = NextRandom(&state);
                memcpy(buffer.bytes.get() + i, &r, 8);
            }
        } else {
            memset(buffer.bytes.get(), 0x54, size);
        }
        memcpy(buffer.bytes.get() + size - sizeof kChunkStart - 4, kChunkStart, sizeof kChunkStart);
    }
    return buffer.bytes.get();
}

void FindItemsChunkOver(benchmark::State& state, Kind kind) {
    const size_t size = static_cast<size_t>(state.range(0));
    const unsigned char* body = BodyOf(kind, size);
    const unsigned char* expected = body + size - sizeof kChunkStart - 4;
    for (auto _ : state) {
        const unsigned char* found = FindItemsChunk(body, static_cast<uint32_t>(size));
        benchmark::DoNotOptimize(found);
        if (found != expected) {
            state.SkipWithError("the chunk was not found where it is");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

void BodyLike(benchmark::State& state) { FindItemsChunkOver(state, kBodyLike); }
void RandomBytes(benchmark::State& state) { FindItemsChunkOver(state, kRandom); }
void AllFirstByte(benchmark::State& state) { FindItemsChunkOver(state, kAllFirstByte); }

// 1 MiB for the quick smoke run, 512 MiB for the real figure.
BENCHMARK(BodyLike)->Arg(1 << 20)->Arg(512 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(RandomBytes)->Arg(1 << 20)->Arg(512 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(AllFirstByte)->Arg(1 << 20)->Arg(512 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
