// Writes a map for the benchmark: a body of about BODY_BYTES of body-like filler, with the items chunk near its
// end listing ITEM_COUNT items as a real map does (every identifier new, one of a few authors referred back to).
// With ZERO_BYTES, its embedded files are one deflated entry of that many zero bytes.
//   make_bench_map OUTPUT BODY_BYTES ITEM_COUNT [ZERO_BYTES]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive_file.h"
#include "filler.h"

namespace {

// A chunk's id, "PIKS", its size and `size` bytes of filler.
void PutFillerChunk(Bytes& out, uint32_t id, size_t size, uint64_t* state) {
    PutU32(out, id);
    PutBytes(out, "PIKS");
    PutU32(out, static_cast<uint32_t>(size));
    out.resize(out.size() + size);
    FillBodyLike(out.data() + out.size() - size, size, state);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        fprintf(stderr, "usage: make_bench_map OUTPUT BODY_BYTES ITEM_COUNT [ZERO_BYTES]\n");
        return 2;
    }
    const size_t target = strtoull(argv[2], nullptr, 10);
    const uint32_t count = static_cast<uint32_t>(strtoul(argv[3], nullptr, 10));
    uint64_t state = 0x9E3779B97F4A7C15ull ^ target ^ (static_cast<uint64_t>(count) << 32);

    const char* const authors[] = {"Zoe", "Hana", "Pieter", "Marta", "Kenji", "Ines", "Tomas", "Ayla"};
    ItemsChunk chunk;
    chunk.items.reserve(count);
    char identifier[64];
    for (uint32_t item = 0; item < count; ++item) {
        snprintf(identifier, sizeof identifier, "Items\\Blocks\\Block%07u.Item.Gbx", item);
        chunk.items.push_back({identifier, 10003, item % 4 == 3 ? "" : authors[item % 8]});
    }
    chunk.embeddedSize = 123456;
    if (argc == 5) {
        chunk.archive = BuildArchive({{"Items/Zeros.Item.Gbx", std::string(strtoull(argv[4], nullptr, 10), '\0')}});
        chunk.embeddedSize = static_cast<uint32_t>(chunk.archive.size());
    }
    const Bytes items = BuildItemsChunk(chunk);

    // A chunk of filler, the items chunk, and a small chunk behind it.
    const size_t fixed = 12 + items.size() + 12 + 256 + 32;
    Bytes chunks;
    chunks.reserve(target + items.size() + 512);
    PutFillerChunk(chunks, 0x03043040u, target > fixed ? target - fixed : 0, &state);
    chunks.insert(chunks.end(), items.begin(), items.end());
    PutFillerChunk(chunks, 0x03043055u, 256, &state);

    MapLayout layout;
    layout.userData = Bytes(64, '*');
    layout.body = BodyWithChunk(chunks);
    const Bytes map = BuildMap(layout);
    if (layout.body.size() > 0xFFFFFFFFu || !WriteFile(argv[1], map)) {
        fprintf(stderr, "make_bench_map: cannot write %s\n", argv[1]);
        return 1;
    }
    printf("%s: body %zu bytes, map %zu bytes, %u items\n", argv[1], layout.body.size(), map.size(), count);
    return 0;
}
