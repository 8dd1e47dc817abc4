// Writes a map for the benchmark: a body of about BODY_BYTES of body-like filler, with the items chunk near its
// end listing ITEM_COUNT items as a real map does (every identifier new, one of a few authors referred back to).
// Its embedded files can be one deflated entry of N zero bytes (zeros=N), N small deflated entries
// (entries=N), or the zip bomb of N entries whose data overlap on one kernel of 256 MiB of zeros (bomb=N).
//   make_bench_map OUTPUT BODY_BYTES ITEM_COUNT [zeros=N|entries=N|bomb=N]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive_file.h"
#include "filler.h"

namespace {

// The embedded files that `spec` asks for; false when it asks for none that this makes.
bool BuildFiles(const std::string& spec, Bytes* archive) {
    const size_t equals = spec.find('=');
    const std::string kind = spec.substr(0, equals);
    const unsigned long long n = equals == std::string::npos ? 0 : strtoull(spec.c_str() + equals + 1, nullptr, 10);
    if (kind == "zeros") {
        *archive = BuildArchive({{"Items/Zeros.Item.Gbx", std::string(n, '\0')}});
    } else if (kind == "bomb") {
        *archive = OverlappingBomb(static_cast<unsigned>(n), size_t{256} << 20);
    } else if (kind == "entries") {
        // Each entry as small as an item's file packs, its data packed once.
        RawArchive raw;
        raw.entries.resize(n, PackedEntry("", Text(2000)));
        char name[64];
        for (unsigned long long i = 0; i < n; ++i) {
            snprintf(name, sizeof name, "Items/Many/Block%07llu.Item.Gbx", i);
            raw.entries[i].name = name;
        }
        *archive = WriteArchive(raw);
    } else {
        return false;
    }
    return true;
}

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
    if ((argc != 4 && argc != 5) || (argc == 5 && std::string(argv[4]).find('=') == std::string::npos)) {
        fprintf(stderr, "usage: make_bench_map OUTPUT BODY_BYTES ITEM_COUNT [zeros=N|entries=N|bomb=N]\n");
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
        if (!BuildFiles(argv[4], &chunk.archive)) {
            fprintf(stderr, "make_bench_map: no embedded files of the kind %s\n", argv[4]);
            return 2;
        }
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
