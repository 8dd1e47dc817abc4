// The embedded files' reader over arbitrary archive bytes: libzip opening the archive and inflating every
// entry, and the findings drawn from what it lists. Aborts when they do not agree with the list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "embedded_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy: the fuzzer's own buffer may have room behind it that the sanitizer cannot see.
    std::unique_ptr<unsigned char[]> archive(new unsigned char[size > 0 ? size : 1]);
    if (size > 0) memcpy(archive.get(), data, size);
    EmbeddedFiles files = {};
    ReadArchive(archive.get(), size, &files);
    uint64_t packed = 0;
    for (const EmbeddedFile& file : files.files) packed += file.packedSize;
    bool named = true;
    for (const Finding& finding : files.findings) {
        bool listed = false;
        for (const EmbeddedFile& file : files.files) listed = listed || file.name == finding.name;
        named = named && (finding.kind == FindingKind::kDamagedArchive ? finding.name.empty() : listed);
    }
    if (packed == files.packedTotal && named) return 0;
    fprintf(stderr, "rule broken: %s\n", named ? "the packed total is not the files' sum" : "a finding names no file");
    abort();
}
