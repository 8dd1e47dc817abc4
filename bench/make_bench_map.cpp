// Writes maps for the benchmark.
// One map: a body of about BODY_BYTES of body-like filler, with the items chunk near its end listing ITEM_COUNT
// items as a real map does (every identifier new, one of a few authors referred back to). Its embedded files
// can be one deflated entry of N zero bytes (zeros=N), N small deflated entries (entries=N), or the zip bomb of
// N entries whose data overlap on one kernel of 256 MiB of zeros (bomb=N), or N files of 1 GiB of zeros, each
// deflated on its own (gibs=N). --repeat sets the filler's longest
// repeat (bench/filler.h): 300 makes a body that LZO packs about 6:1 instead of 2.4:1.
//   make_bench_map [--repeat=BYTES] OUTPUT BODY_BYTES ITEM_COUNT [zeros=N|entries=N|bomb=N|gibs=N]
// A pool: COUNT maps of the sizes that maps with embedded items have, FOLDER/pool-NNN.Map.Gbx (below).
//   make_bench_map --pool FOLDER COUNT
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive_file.h"
#include "filler.h"

namespace {

const char* const kAuthors[] = {"Zoe", "Hana", "Pieter", "Marta", "Kenji", "Ines", "Tomas", "Ayla"};

// The embedded files that `request` (KIND=N) asks for; false when it asks for none that this makes.
bool BuildFiles(const std::string& request, Bytes* archive) {
    const size_t equals = request.find('=');
    const std::string kind = request.substr(0, equals);
    const unsigned long long n =
        equals == std::string::npos ? 0 : strtoull(request.c_str() + equals + 1, nullptr, 10);
    if (kind == "zeros") {
        *archive = BuildArchive({{"Items/Zeros.Item.Gbx", std::string(n, '\0')}});
    } else if (kind == "gibs") {
        // N files of 1 GiB of zeros, each deflated on its own and sound to the last byte: the map's LZO body
        // packs them again about 160:1.
        RawArchive raw;
        for (unsigned long long i = 0; i < n; ++i) {
            raw.entries.push_back(ZerosEntry("Items/Zeros" + std::to_string(i) + ".Item.Gbx", 1024));
        }
        *archive = WriteArchive(raw);
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
void PutFillerChunk(Bytes& out, uint32_t id, size_t size, uint64_t* state, size_t repeat) {
    PutU32(out, id);
    PutBytes(out, "PIKS");
    PutU32(out, static_cast<uint32_t>(size));
    out.resize(out.size() + size);
    FillBodyLike(out.data() + out.size() - size, size, state, repeat);
}

// A header as a current map's: its XML, a thumbnail of `thumbnail` bytes and its author.
Bytes HeaderOf(unsigned map, size_t thumbnail) {
    char uid[32], name[64];
    snprintf(uid, sizeof uid, "Bench%022uX", map);
    snprintf(name, sizeof name, "$s$o$f80Bench $fff%03u $i$0cfPool", map);
    const std::string deps = "<deps><dep file=\"Skins\\Any\\Bench.zip\" url=\"https://example.invalid/Bench.zip\"/></deps>";
    return CardUserData(MapXml(uid, name, "benchauthor", deps), JpegShaped(thumbnail), "$h[benchauthor]$f00Bench$h");
}

// The map of a body of about `target` bytes: a chunk of filler, the items chunk, and a small chunk behind it;
// its header a real map's (that of map 0 when none is given).
Bytes MapOf(const ItemsChunk& chunk, size_t target, uint64_t* state, size_t repeat, const Bytes& header = HeaderOf(0, 30000)) {
    const Bytes items = BuildItemsChunk(chunk);
    const size_t fixed = 12 + items.size() + 12 + 256 + 32;
    Bytes chunks;
    chunks.reserve(target + items.size() + 512);
    PutFillerChunk(chunks, 0x03043040u, target > fixed ? target - fixed : 0, state, repeat);
    chunks.insert(chunks.end(), items.begin(), items.end());
    PutFillerChunk(chunks, 0x03043055u, 256, state, kBodyLikeRepeat);

    MapLayout layout;
    layout.userData = header;
    layout.body = BodyWithChunk(chunks);
    if (layout.body.size() > 0xFFFFFFFFu) return {};
    return BuildMap(layout);
}

// A number from `low` up to below `high`, evenly spread on a log scale, as sizes are.
size_t LogUniform(uint64_t* state, double low, double high) {
    const double share = static_cast<double>(NextRandom(state) >> 11) / 9007199254740992.0;
    return static_cast<size_t>(low * std::pow(high / low, share));
}

// The maps of a pool, each different: a body of 30 KB to 2 MB of filler besides the embedded files, and 3 to
// 40 files (two items in three, the rest meshes that the items use) of 1 to 100 KB, half body-like and half
// random bytes (a real item file is a map-like file whose own body is packed), deflated.
int WritePool(const std::string& folder, unsigned count) {
    size_t total = 0, files = 0;
    for (unsigned map = 0; map < count; ++map) {
        uint64_t state = 0x9E3779B97F4A7C15ull ^ (static_cast<uint64_t>(map + 1) << 20);
        ItemsChunk chunk;
        std::vector<ArchiveEntry> entries;
        const unsigned fileCount = 3 + static_cast<unsigned>(NextRandom(&state) % 38);
        char name[96];
        for (unsigned file = 0; file < fileCount; ++file) {
            const bool item = file % 3 != 2;
            snprintf(name, sizeof name, "%s\\Pool%03u\\Part%02u.%s.Gbx", item ? "Blocks" : "Meshes", map, file,
                     item ? "Item" : "Mesh");
            std::string content(LogUniform(&state, 1e3, 100e3), '\0');
            unsigned char* bytes = reinterpret_cast<unsigned char*>(&content[0]);
            FillBodyLike(bytes, content.size() / 2, &state);
            for (size_t at = content.size() / 2; at < content.size(); ++at) {
                bytes[at] = static_cast<unsigned char>(NextRandom(&state) >> 56);
            }
            std::string entryName = std::string("Items/") + name;
            for (char& c : entryName) c = c == '\\' ? '/' : c;
            entries.push_back({entryName, content});
            if (item) chunk.items.push_back({name, 10003, file % 4 == 3 ? "" : kAuthors[(map + file) % 8]});
        }
        chunk.archive = BuildArchive(entries);
        chunk.embeddedSize = static_cast<uint32_t>(chunk.archive.size());
        const size_t thumbnail = LogUniform(&state, 10e3, 80e3);
        const Bytes bytes = MapOf(chunk, LogUniform(&state, 30e3, 2e6), &state, kBodyLikeRepeat, HeaderOf(map, thumbnail));
        snprintf(name, sizeof name, "/pool-%03u.Map.Gbx", map);
        if (bytes.empty() || !WriteFile(folder + name, bytes)) {
            fprintf(stderr, "make_bench_map: cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
        total += bytes.size();
        files += fileCount;
    }
    printf("%s: %u maps, %zu bytes, %zu embedded files\n", folder.c_str(), count, total, files);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--pool") == 0) return WritePool(argv[2], static_cast<unsigned>(atoi(argv[3])));
    size_t repeat = kBodyLikeRepeat;
    if (argc > 1 && strncmp(argv[1], "--repeat=", 9) == 0) {
        repeat = strtoull(argv[1] + 9, nullptr, 10);
        --argc;
        ++argv;
    }
    if ((argc != 4 && argc != 5) || repeat == 0) {
        fprintf(stderr, "usage: make_bench_map [--repeat=BYTES] OUTPUT BODY_BYTES ITEM_COUNT [zeros=N|entries=N|bomb=N|gibs=N]\n"
                        "       make_bench_map --pool FOLDER COUNT\n");
        return 2;
    }
    const size_t target = strtoull(argv[2], nullptr, 10);
    const uint32_t count = static_cast<uint32_t>(strtoul(argv[3], nullptr, 10));
    uint64_t state = 0x9E3779B97F4A7C15ull ^ target ^ (static_cast<uint64_t>(count) << 32);

    ItemsChunk chunk;
    chunk.items.reserve(count);
    char identifier[64];
    for (uint32_t item = 0; item < count; ++item) {
        snprintf(identifier, sizeof identifier, "Items\\Blocks\\Block%07u.Item.Gbx", item);
        chunk.items.push_back({identifier, 10003, item % 4 == 3 ? "" : kAuthors[item % 8]});
    }
    chunk.embeddedSize = 123456;
    if (argc == 5) {
        if (!BuildFiles(argv[4], &chunk.archive)) {
            fprintf(stderr, "make_bench_map: no embedded files of the kind %s\n", argv[4]);
            return 2;
        }
        chunk.embeddedSize = static_cast<uint32_t>(chunk.archive.size());
    }
    const Bytes map = MapOf(chunk, target, &state, repeat);
    if (map.empty() || !WriteFile(argv[1], map)) {
        fprintf(stderr, "make_bench_map: cannot write %s\n", argv[1]);
        return 1;
    }
    MapSizes sizes;
    ReadMapSizes(map, &sizes);
    printf("%s: body %u bytes, map %zu bytes (LZO packs the body %.2f:1), %u items\n", argv[1], sizes.bodySize,
           map.size(), static_cast<double>(sizes.bodySize) / sizes.compressedSize, count);
    return 0;
}
