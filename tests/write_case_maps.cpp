// Writes the map of every run case to DIR/<case>.Map.Gbx, or with "bodies" the decompressed body of every case
// whose map has one to DIR/<case>.body: seeds for the fuzzers and maps for checking the real binary. With
// "sample" it writes the project's sample map to FILE.
// Usage: write_case_maps DIR [bodies] | write_case_maps FILE sample
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
    const char* mode = argc == 3 ? argv[2] : "";
    if ((argc != 2 && argc != 3) || (argc == 3 && strcmp(mode, "bodies") != 0 && strcmp(mode, "sample") != 0)) {
        fprintf(stderr, "usage: write_case_maps DIR [bodies] | write_case_maps FILE sample\n");
        return 2;
    }
    bool written = true;
    if (strcmp(mode, "sample") == 0) {
        written = WriteFile(argv[1], SampleMap());
    } else {
        std::vector<RunCase> cases = MapRunCases();
        cases.push_back(ShortFullReport());
        for (const RunCase& c : cases) {
            const std::string stem = std::string(argv[1]) + "/" + FileName(c.name);
            Bytes body;
            if (*mode == 0) written = written && WriteFile(stem + ".Map.Gbx", c.map);
            if (*mode != 0 && DecompressBody(c.map, &body)) written = written && WriteFile(stem + ".body", body);
        }
    }
    if (!written) fprintf(stderr, "write_case_maps: cannot write %s\n", argv[1]);
    return written ? 0 : 1;
}
