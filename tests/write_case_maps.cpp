// Writes the map of every run case to DIR/<case>.Map.Gbx, or with "bodies" the decompressed body of every case
// whose map has one to DIR/<case>.body: seeds for the fuzzers and maps for checking the real binary.
// Usage: write_case_maps DIR [bodies]
#include <lzo/lzo1x.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "run_cases.h"

namespace {

std::string FileName(const std::string& name) {
    std::string out;
    for (char c : name) out += (isalnum(static_cast<unsigned char>(c)) || c == '-') ? c : '_';
    return out;
}

uint32_t WordAt(const Bytes& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

// The body as the loader would decompress it; false when the header or the compressed body is not sound.
bool Decompress(const Bytes& map, Bytes* body) {
    if (map.size() < 17) return false;
    const uint64_t sizes = 17 + static_cast<uint64_t>(WordAt(map, 13)) + 8;
    if (sizes + 8 > map.size()) return false;
    const uint32_t bodySize = WordAt(map, static_cast<size_t>(sizes));
    const uint32_t compressedSize = WordAt(map, static_cast<size_t>(sizes) + 4);
    if (bodySize == 0 || sizes + 8 + compressedSize > map.size() || lzo_init() != LZO_E_OK) return false;
    body->assign(bodySize, 0);
    lzo_uint length = bodySize;
    const int result = lzo1x_decompress_safe(map.data() + sizes + 8, compressedSize, body->data(), &length, nullptr);
    return result == LZO_E_OK && length == bodySize;
}

// A report cut at its 8191 characters from a small body: back-references repeat two strings of 511 bytes.
// The fuzzers keep their inputs short, too short for the run case that fills the report item by item.
RunCase ShortFullReport() {
    ItemsChunk chunk;
    for (int i = 0; i < 12; ++i) chunk.items.push_back({std::string(511, 'x'), 11, std::string(511, 'y')});
    chunk.embeddedSize = 1;
    MapLayout layout;
    layout.body = BodyWithChunk(BuildItemsChunk(chunk));
    return {"report filled by back-references", BuildMap(layout), {}, 3};
}

}  // namespace

int main(int argc, char** argv) {
    const bool bodies = argc == 3 && strcmp(argv[2], "bodies") == 0;
    if (argc != 2 && !bodies) {
        fprintf(stderr, "usage: write_case_maps DIR [bodies]\n");
        return 2;
    }
    std::vector<RunCase> cases = MapRunCases();
    cases.push_back(ShortFullReport());
    for (const RunCase& c : cases) {
        const std::string stem = std::string(argv[1]) + "/" + FileName(c.name);
        Bytes body;
        if (bodies && !Decompress(c.map, &body)) continue;
        const bool written = bodies ? WriteFile(stem + ".body", body) : WriteFile(stem + ".Map.Gbx", c.map);
        if (!written) {
            fprintf(stderr, "write_case_maps: cannot write into %s\n", argv[1]);
            return 1;
        }
    }
    return 0;
}
